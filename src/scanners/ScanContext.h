// What the scanners read besides the registry and the file system.
#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/OsFamily.h"

namespace tw {

struct ScanContext {
    OsFamily os;                 // the system the scan runs on
    std::string windowsDir;      // without a trailing backslash
    std::string bakPath = "Backup";  // disk walks skip folders whose path contains it
    HWND desktop = nullptr;      // owner of special-folder queries
    HWND owner = nullptr;        // the window that owns the scan's questions and waits (null: none)
    // True while the scan has not been stopped (the disk walks end when it turns false).
    std::function<bool()> scanning = [] { return true; };
};

}  // namespace tw
