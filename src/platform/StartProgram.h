// Starting an outside program: without waiting for it (the registry editor at a key, the
// Explorer at a file), or waiting for its end (the registry editor's import, the file checker).
#pragma once
#include <windows.h>

#include <string>

#include "platform/Handle.h"
#include "platform/Seams.h"

namespace tw {

// Starts the command line through the program-start seam; false when it could not be started.
bool StartProgram(const std::string& commandLine);
// The system's way, which the seam uses outside tests.
bool SystemStartProgram(const std::string& commandLine);
// Starts the command line with its window shown normally, in `directory` when one is given;
// the process handle, empty when it could not be started.
UniqueKernelHandle LaunchShown(const std::string& commandLine, DWORD flags, const std::string& directory);
// The system's wait with a limit, which the seam uses outside tests: starts the command line in
// a console of its own and dispatches this thread's messages until it ends, limitMs have passed
// or `stop` holds.
WaitEnd SystemRunAndWaitLimited(const std::string& commandLine, DWORD limitMs, const std::function<bool()>& stop,
                                DWORD& exitCode);
// Starts a command line and waits for its end with the window disabled (when it is enabled)
// and still painting, so that nothing can be clicked meanwhile. False when the program could
// not be started.
bool RunAndWaitDisabled(HWND window, const std::string& commandLine, const std::string& directory,
                        DWORD& exitCode);

}  // namespace tw
