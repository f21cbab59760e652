#include "platform/StartProgram.h"

#include <windows.h>

#include "platform/Handle.h"
#include "platform/MessagePump.h"
#include "platform/Seams.h"

namespace tw {

UniqueKernelHandle LaunchShown(const std::string& commandLine, DWORD flags, const std::string& directory) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    std::string cmd = commandLine;
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, flags | NORMAL_PRIORITY_CLASS, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &si, &pi))
        return UniqueKernelHandle();
    UniqueKernelHandle thread(pi.hThread);
    return UniqueKernelHandle(pi.hProcess);
}

bool SystemStartProgram(const std::string& commandLine) {
    return static_cast<bool>(LaunchShown(commandLine, 0, std::string()));
}

WaitEnd SystemRunAndWaitLimited(const std::string& commandLine, DWORD limitMs, const std::function<bool()>& stop,
                                DWORD& exitCode) {
    UniqueKernelHandle process = LaunchShown(commandLine, CREATE_NEW_CONSOLE, std::string());
    if (!process) return WaitEnd::NotStarted;
    bool stopped = false;
    const bool ended = RunUntil(
        [&] {
            if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) return true;
            stopped = stop && stop();
            return stopped;
        },
        limitMs);
    if (!ended) return WaitEnd::TimedOut;
    if (stopped) return WaitEnd::Stopped;
    exitCode = 0;
    GetExitCodeProcess(process.get(), &exitCode);
    return WaitEnd::Ended;
}

bool StartProgram(const std::string& commandLine) { return CurrentSeams().startProgram(commandLine); }

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

}  // namespace tw
