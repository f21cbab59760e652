#include "platform/StartProgram.h"

#include <windows.h>

#include "platform/Handle.h"
#include "platform/Seams.h"

namespace tw {

bool SystemStartProgram(const std::string& commandLine) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    std::string cmd = commandLine;
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &si,
                        &pi))
        return false;
    UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
    return true;
}

bool StartProgram(const std::string& commandLine) { return CurrentSeams().startProgram(commandLine); }

}  // namespace tw
