#include "platform/Seams.h"

#include <shellapi.h>
#include <shlobj.h>

#include "platform/ComHandle.h"
#include "platform/StartProgram.h"
#include "platform/MessagePump.h"
#include "platform/Text.h"

namespace tw {

namespace {

int SystemMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    return MessageBoxW(owner, AnsiToWide(text).c_str(), AnsiToWide(caption).c_str(), type);
}

std::string SystemSpecialFolder(HWND owner, int csidl) {
    UniqueCoTaskMem<ITEMIDLIST> pidl;
    if (FAILED(SHGetSpecialFolderLocation(owner, csidl, pidl.put())) || !pidl) return {};
    char buf[MAX_PATH + 1] = {};
    return SHGetPathFromIDListA(pidl.get(), buf) ? std::string(buf) : std::string();
}

// Keeps the calling thread's windows alive while it waits: a window procedure that waits
// without dispatching would freeze the window and any worker blocked on a hand-over to it.
bool SystemRunAndWait(const std::string& commandLine, const std::string& directory, DWORD& exitCode) {
    UniqueKernelHandle process = LaunchShown(commandLine, CREATE_NEW_CONSOLE, directory);
    if (!process) return false;
    HANDLE h = process.get();
    WaitPumping(&h, 1);
    exitCode = 0;
    GetExitCodeProcess(process.get(), &exitCode);
    return true;
}

}  // namespace

Seams SystemSeams() {
    Seams s;
    s.startProgram = SystemStartProgram;
    s.fileDialog = SystemFileDialog;
    s.messageBox = SystemMessageBox;
    s.driveType = [](const std::string& root) { return GetDriveTypeA(root.c_str()); };
    s.specialFolder = SystemSpecialFolder;
    s.runAndWait = SystemRunAndWait;
    s.runAndWaitLimited = SystemRunAndWaitLimited;
    s.shellOpen = [](HWND owner, const std::string& target) {
        ShellExecuteA(owner, nullptr, target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    };
    return s;
}

Seams& CurrentSeams() {
    static Seams seams = SystemSeams();
    return seams;
}

int ShowMessage(HWND owner, const std::string& text, UINT type) {
    return CurrentSeams().messageBox(owner, ShortForDisplay(text, kMessageTextLimit), "Tarnwell", type);
}

std::string ErrorSentence(const std::string& text) {
    std::string shown = text;
    if (!shown.empty() && static_cast<unsigned char>(shown.back()) > '.') shown += '.';
    return shown;
}

void ShowError(HWND owner, const std::string& text) { ShowMessage(owner, ErrorSentence(text), MB_OK | MB_ICONERROR); }

}  // namespace tw
