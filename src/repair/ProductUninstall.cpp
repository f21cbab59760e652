#include "repair/ProductUninstall.h"

#include "platform/LoadText.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "scanners/registry/MsiProduct.h"
#include "strings.h"

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
    view.SetStatus(LoadText(IDS_STATUS_WAITING_FOR_INSTALLER, {code}));
    if (progress) progress->ShowStoppable(LoadText(IDS_PROGRESS_REPAIR), LoadText(IDS_PROGRESS_WAITING_FOR_INSTALLER));
    view.ProcessMessages();
    DWORD exitCode = 0;
    const WaitEnd end = CurrentSeams().runAndWaitLimited(
        command, kUninstallWaitLimitMs, [progress] { return progress && progress->StopRequested(); }, exitCode);
    if (progress) progress->Hide();

    answer.code = end == WaitEnd::Ended ? IntToStr(exitCode) : "-";
    switch (end) {
        case WaitEnd::Ended: answer.meaning = InstallerExitText(exitCode); break;
        case WaitEnd::NotStarted: answer.meaning = LoadText(IDS_INSTALLER_NOT_STARTED); break;
        case WaitEnd::TimedOut: answer.meaning = LoadText(IDS_INSTALLER_TIMED_OUT, {kUninstallWaitLimitMs / 60000}); break;
        case WaitEnd::Stopped: answer.meaning = LoadText(IDS_INSTALLER_STOPPED); break;
    }
    // What the installer says is not the answer: a killed installer may say 0 and have removed
    // nothing. The product is gone when nothing registers it any more.
    std::string again;
    const bool gone = ProductOfEntry(root, location, again) == EntryProduct::NoEntry && !ProductRegistered(code);
    if (!gone && end == WaitEnd::Ended && InstallerRemoved(exitCode))
        answer.meaning = LoadText(IDS_INSTALLER_STILL_REGISTERED, {answer.meaning});
    else if (gone && !(end == WaitEnd::Ended && InstallerRemoved(exitCode)))
        answer.meaning = LoadText(IDS_INSTALLER_GONE_ANYWAY, {answer.meaning});
    answer.said = end == WaitEnd::Ended        ? LoadText(IDS_INSTALLER_RETURNED, {code, answer.code, answer.meaning})
                  : end == WaitEnd::NotStarted ? LoadText(IDS_INSTALLER_NOT_RUN, {answer.meaning, command})
                                               : LoadText(IDS_INSTALLER_ENDED, {code, answer.meaning});
    return gone;
}

}  // namespace tw
