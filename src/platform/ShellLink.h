// The target of a shortcut file (*.lnk), read through the system's shell-link object.
#pragma once
#include <objbase.h>
#include <shlobj.h>
#include <string>

#include "platform/ComHandle.h"

namespace tw {

// Reads shortcut targets; keep one for a whole walk. Each file gets a fresh shell-link object,
// so a file that does not load never shows the target of the file read before it. Needs COM on
// the calling thread.
class ShellLinkReader {
public:
    // Throws std::runtime_error when the shell-link class cannot be reached.
    ShellLinkReader();
    struct Result {
        std::string target;  // in the ANSI code page; empty when the file does not load
        // False when the target could not be read whole, or the code page cannot hold it
        // exactly (target then shows a look-alike for the user and must not be judged).
        bool whole = true;
    };
    // The target path as the shell-link object's GetPath with SLGP_UNCPRIORITY reports it (the
    // UNC form where the link holds one), read through the wide interface, any length. Throws
    // std::runtime_error when no shell-link object can be made.
    Result Read(const std::string& file);
    std::string Target(const std::string& file);

private:
    UniqueCom<IClassFactory> factory_;
};

}  // namespace tw
