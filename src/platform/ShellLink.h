// The target of a shortcut file (*.lnk), read through the system's shell-link object.
#pragma once
#include <objbase.h>
#include <shlobj.h>
#include <string>

#include "platform/Handle.h"

namespace tw {

// Reads shortcut targets; keep one for a whole walk. Each file gets a fresh shell-link object,
// so a file that does not load never shows the target of the file read before it. Needs COM on
// the calling thread.
class ShellLinkReader {
public:
    // Throws std::runtime_error when the shell-link class cannot be reached.
    ShellLinkReader();
    // The target path as IShellLinkA::GetPath with SLGP_UNCPRIORITY reports it (the UNC form
    // where the link holds one); empty when the file does not load as a shortcut or its path
    // does not fit MAX_PATH. Throws std::runtime_error when no shell-link object can be made.
    std::string Target(const std::string& file);

private:
    UniqueCom<IClassFactory> factory_;
};

}  // namespace tw
