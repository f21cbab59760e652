// The system file check that may end a scan: the system's own checker (sfc.exe /SCANNOW) puts
// back protected system files that were replaced. The program waits for it and reads nothing
// of what it found.
#pragma once
#include <windows.h>
#include <string>

#include "scanners/ScanSink.h"

namespace tw {

// "<windows>\system32\sfc.exe /SCANNOW"; windowsDir has no trailing backslash.
std::string SystemFileCheckCommand(const std::string& windowsDir);

// Shows the wait text, lets it paint, then runs the checker and waits for it (the checker may
// take many minutes). A checker that cannot be started returns at once, without a message.
void RunSystemFileCheck(ScanSink& sink, HWND window, const std::string& windowsDir);

}  // namespace tw
