// What the scanners read besides the registry and the file system.
#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>

namespace tw {

struct ScanContext {
    uint32_t majorVersion = 5;   // 4: Windows 98/Me family, 5: 2000/XP/2003
    std::string windowsDir;      // without a trailing backslash
    std::string bakPath = "Backup";  // disk walks skip folders whose path contains it
    HWND desktop = nullptr;      // owner of special-folder queries
    // True while the scan has not been stopped (the disk walks end when it turns false).
    std::function<bool()> scanning = [] { return true; };
};

}  // namespace tw
