#include "repair/SystemFileCheck.h"

#include "platform/Seams.h"

namespace tw {

namespace {
const char kWaitText[] = "扫描所有受保护的系统文件并用正确的 Microsoft 版本替换不正确版本，请稍候...";
}  // namespace

std::string SystemFileCheckCommand(const std::string& windowsDir) {
    return windowsDir + "\\system32\\sfc.exe /SCANNOW";
}

bool RunAndWaitDisabled(HWND window, const std::string& commandLine, const std::string& directory,
                        DWORD& exitCode) {
    // A window that something else has disabled (a message box) stays as it was.
    const bool disable = window && IsWindowEnabled(window);
    if (disable) EnableWindow(window, FALSE);
    exitCode = 0;
    bool started = CurrentSeams().runAndWait(commandLine, directory, exitCode);
    if (disable) EnableWindow(window, TRUE);
    return started;
}

void RunSystemFileCheck(ScanSink& sink, HWND window, const std::string& windowsDir) {
    sink.ShowStatus(kWaitText);
    sink.ProcessMessages();
    DWORD exitCode = 0;  // the checker's own result changes nothing
    RunAndWaitDisabled(window, SystemFileCheckCommand(windowsDir), std::string(), exitCode);
}

}  // namespace tw
