// "Set.ini" in the data folder (platform/DataFolder.h): the backup-folder name the disk walks skip, and the main
// window's placement.
#pragma once
#include <string>

namespace tw {

struct WindowSettings {
    std::string bakPath = "Backup";
    bool maximized = false;
    bool hasTop = false, hasHeight = false, hasWidth = false;
    int top = 0, height = 0, width = 0;
};

// Reads the settings; a missing file or key leaves the defaults, and each non-numeric
// Top/Height/Width is ignored on its own, as is a Width or Height below the window's minimum
// (a window too small to use would be saved again at every close).
WindowSettings LoadSettings(const std::string& iniPath, int minWidth = 0, int minHeight = 0);
// Writes the placement and flushes the file; throws IniError when the system refuses.
void SaveWindowPlacement(const std::string& iniPath, bool maximized, int top, int height, int width);
// True when the boot menu at bootIni lists more than one operating system.
bool DetectMultiBoot(const std::string& bootIni);

}  // namespace tw
