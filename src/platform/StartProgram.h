// Starting an outside program without waiting for it (the registry editor at a key, the
// Explorer at a file).
#pragma once
#include <string>

namespace tw {

// Starts the command line through the program-start seam; false when it could not be started.
bool StartProgram(const std::string& commandLine);
// The system's way, which the seam uses outside tests.
bool SystemStartProgram(const std::string& commandLine);

}  // namespace tw
