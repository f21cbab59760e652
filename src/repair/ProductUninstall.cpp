#include "repair/ProductUninstall.h"

#include "platform/Seams.h"
#include "platform/Text.h"
#include "scanners/registry/MsiProduct.h"

namespace tw {

namespace {

// "msiexec" as the system finds it: in its own folder, never in the current one.
std::string InstallerCommand(const std::string& code) {
    char dir[MAX_PATH + 1] = {};
    const UINT n = GetSystemDirectoryA(dir, MAX_PATH);
    const std::string program = n > 0 && n < MAX_PATH ? std::string(dir) + "\\msiexec.exe" : "msiexec.exe";
    return "\"" + program + "\" /x " + code + " /qn";
}

}  // namespace

bool UninstallProduct(HKEY root, const std::string& location, const std::string& code, RepairView& view,
                      RepairProgress* progress, ProductAnswer& answer) {
    const std::string command = InstallerCommand(code);
    view.SetStatus("正在等待系统安装程序卸载产品" + code + "......");
    if (progress) progress->ShowStoppable("修复", "正在等待系统安装程序卸载产品，请稍候......");
    view.ProcessMessages();
    DWORD exitCode = 0;
    const WaitEnd end = CurrentSeams().runAndWaitLimited(
        command, kUninstallWaitLimitMs, [progress] { return progress && progress->StopRequested(); }, exitCode);
    if (progress) progress->Hide();

    answer.code = end == WaitEnd::Ended ? IntToStr(exitCode) : "-";
    switch (end) {
        case WaitEnd::Ended: answer.meaning = InstallerExitText(exitCode); break;
        case WaitEnd::NotStarted: answer.meaning = "无法启动系统安装程序"; break;
        case WaitEnd::TimedOut:
            answer.meaning = "系统安装程序在 " + IntToStr(kUninstallWaitLimitMs / 60000) +
                             " 分钟内没有结束，不再等待它（它可能还在运行）";
            break;
        case WaitEnd::Stopped: answer.meaning = "已停止等待系统安装程序（它可能还在运行）"; break;
    }
    // What the installer says is not the answer: a killed installer may say 0 and have removed
    // nothing. The product is gone when nothing registers it any more.
    std::string again;
    const bool gone = ProductOfEntry(root, location, again) == EntryProduct::NoEntry && !ProductRegistered(code);
    if (!gone && end == WaitEnd::Ended && InstallerRemoved(exitCode))
        answer.meaning += "，但是这个产品仍然登记在系统中";
    else if (gone && !(end == WaitEnd::Ended && InstallerRemoved(exitCode)))
        answer.meaning += "；这个产品已经不在系统中";
    answer.said = end == WaitEnd::Ended ? "msiexec /x " + code + " 返回 " + answer.code + "：" + answer.meaning
                  : end == WaitEnd::NotStarted ? answer.meaning + "：" + command
                                               : "msiexec /x " + code + "：" + answer.meaning;
    return gone;
}

}  // namespace tw
