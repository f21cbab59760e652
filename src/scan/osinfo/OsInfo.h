// What Windows the program runs on. The rest of the program branches on its family alone
// (Family()): the Windows 98/Me family or Windows 2000/XP/2003.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>

#include "platform/OsFamily.h"

namespace tw {

class OsInfo {
public:
    // Asks the system once; a failed query leaves zeros and the name "Invalidated".
    OsInfo();
    // For tests and for callers that already hold a version record.
    explicit OsInfo(const OSVERSIONINFOA* info);

    std::string VersionName;
    uint32_t MajorVersion = 0;
    uint32_t MinorVersion = 0;
    uint32_t BuildNumber = 0;
    std::string ServicePack;

    OsFamily Family() const { return OsFamily(MajorVersion); }

    // Short name of a system version: "98", "Me", "2000", "XP", "2003", "Invalidated" or empty.
    static std::string NameOf(uint32_t major, uint32_t minor);

private:
    void Take(const OSVERSIONINFOA* info);
};

}  // namespace tw
