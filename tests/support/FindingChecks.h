// Comparing what a scanner found with what it should find, whatever the order it found it in.
#pragma once
#include <doctest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/Seams.h"
#include "scanners/Finding.h"

namespace tw::test {

inline std::string FindingLines(const std::vector<Finding>& findings) {
    std::string out;
    for (const Finding& f : findings)
        out += "\n{" + f.caption + " | " + f.location + " | " + f.keyName + " | " + f.description + " | " +
               std::to_string(f.image) + "}";
    return out;
}

inline void CheckSame(std::vector<Finding> got, std::vector<Finding> want) {
    auto byText = [](const Finding& a, const Finding& b) {
        return a.caption + a.location + a.keyName + a.description < b.caption + b.location + b.keyName + b.description;
    };
    std::sort(got.begin(), got.end(), byText);
    std::sort(want.begin(), want.end(), byText);
    CHECK_MESSAGE(got == want, "got:" << FindingLines(got) << "\nwanted:" << FindingLines(want));
}

// An entry of the machine's uninstall list, as the uninstall scanner reports it.
const char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

inline Finding Uninstall(const std::string& entry) {
    return Finding{"HKEY_LOCAL_MACHINE", kUninstall + entry, "", "无效的反安装信息", 0, FindingKind::RegistryKey};
}

// D: is a CD drive, N: a network drive; the rest as the system says.
inline void OddDrives(ScopedSeams& seams) {
    auto real = seams->driveType;
    seams->driveType = [real](const std::string& root) -> UINT {
        switch (root.empty() ? 0 : (root[0] & ~0x20)) {
            case 'D': return DRIVE_CDROM;
            case 'N': return DRIVE_REMOTE;
            default: return real(root);
        }
    };
}

}  // namespace tw::test
