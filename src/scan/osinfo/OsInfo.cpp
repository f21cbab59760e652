#include "scan/osinfo/OsInfo.h"

namespace tw {

OsInfo::OsInfo() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;  // the 148-byte ANSI record
    Take(GetVersionExA(&info) ? &info : nullptr);
}

OsInfo::OsInfo(const OSVERSIONINFOA* info) { Take(info); }

void OsInfo::Take(const OSVERSIONINFOA* info) {
    if (info) {
        MajorVersion = info->dwMajorVersion;
        MinorVersion = info->dwMinorVersion;
        BuildNumber = info->dwBuildNumber & 0xFFFF;
        ServicePack.assign(info->szCSDVersion, strnlen(info->szCSDVersion, sizeof info->szCSDVersion));
    }
    VersionName = NameOf(MajorVersion, MinorVersion);
}

std::string OsInfo::NameOf(uint32_t major, uint32_t minor) {
    const OsFamily family(major);
    if (family.IsNineX()) {
        if (minor == 10) return "98";
        if (minor == 90) return "Me";
        return {};
    }
    if (family.IsNt()) {
        if (minor == 0) return "2000";
        if (minor == 1) return "XP";
        if (minor == 2) return "2003";
        return {};
    }
    return "Invalidated";
}

}  // namespace tw
