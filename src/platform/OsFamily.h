// Which family of Windows the program runs on, decided once from the system's major version.
// The 98/Me family keeps Start-menu groups per user, deletes a registry key with all it holds in
// one call and lists file types without shell keys; the 2000/XP/2003 family does none of that.
// A version of neither family (a later Windows, a failed query) is judged as the other systems.
#pragma once
#include <cstdint>

namespace tw {

class OsFamily {
public:
    // 2000/XP/2003 unless told otherwise.
    constexpr OsFamily() = default;
    // 4: the 98/Me family; 5: 2000/XP/2003; anything else: neither.
    constexpr explicit OsFamily(uint32_t majorVersion) : major_(majorVersion) {}
    constexpr bool IsNineX() const { return major_ == 4; }
    constexpr bool IsNt() const { return major_ == 5; }
    constexpr uint32_t MajorVersion() const { return major_; }

private:
    uint32_t major_ = 5;
};

}  // namespace tw
