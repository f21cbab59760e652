#include "scan/Settings.h"

#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/Text.h"

namespace tw {

// The sections "Other" and "Tarnwell" and their keys are the names settings files on users' disks
// already hold: they stay as they are.
WindowSettings LoadSettings(const std::string& iniPath, int minWidth, int minHeight) {
    WindowSettings s;
    IniFile ini(iniPath);
    std::string bak = ini.ReadString("Other", "BakPath", "");
    if (!bak.empty()) s.bakPath = bak;
    std::string window = ini.ReadString("Tarnwell", "Window", "");
    if (window == "Max") {
        s.maximized = true;
        return s;
    }
    // Each key defaults to the text read just before it, as the settings file has always
    // been read; a value that is not a number is skipped on its own.
    std::string top = ini.ReadString("Tarnwell", "Top", window);
    s.hasTop = TryStrToInt(top, s.top);
    std::string height = ini.ReadString("Tarnwell", "Height", top);
    s.hasHeight = TryStrToInt(height, s.height);
    std::string width = ini.ReadString("Tarnwell", "Width", height);
    s.hasWidth = TryStrToInt(width, s.width);
    if (s.hasHeight && s.height < minHeight) s.hasHeight = false;
    if (s.hasWidth && s.width < minWidth) s.hasWidth = false;
    return s;
}

void SaveWindowPlacement(const std::string& iniPath, bool maximized, int top, int height, int width) {
    IniFile ini(iniPath);
    ini.WriteString("Tarnwell", "Window", maximized ? "Max" : "Normal");
    ini.WriteString("Tarnwell", "Top", IntToStr(top));
    ini.WriteString("Tarnwell", "Height", IntToStr(height));
    ini.WriteString("Tarnwell", "Width", IntToStr(width));
    ini.Flush();
}

bool DetectMultiBoot(const std::string& bootIni) {
    if (!FileExists(bootIni)) return false;
    return IniFile(bootIni).ReadSection("operating systems").size() > 1;
}

}  // namespace tw
