// A Finding: one row of the report list. Every scanner writes them, repair reads them back.
#pragma once
#include <string>

namespace tw {

// Captions of disk Findings; registry Findings carry the root's name instead.
extern const char* const kDiskFileCaption;   // "磁盘文件错误": a broken shortcut file
extern const char* const kDiskDirCaption;    // "磁盘目录错误": an empty folder
// Key name standing for a key's unnamed default value.
extern const char* const kDefaultValueMarker;  // "@D_e_f_a_u_l_t"

constexpr int kImageFresh = 0;
constexpr int kImageSharedDll = 6;
constexpr int kImageRepaired = 9;

struct Finding {
    std::string caption;      // column "项目"
    std::string location;     // column "位置"
    std::string keyName;      // column "键名"
    std::string description;  // column "说明"
    int image = kImageFresh;
    // The row stands for the key's unnamed default value (key name kDefaultValueMarker). Repair
    // acts on this, never on the text: a value may really be named "@D_e_f_a_u_l_t".
    bool defaultValue = false;

    bool Repaired() const { return image == kImageRepaired; }
    bool operator==(const Finding& o) const {
        return caption == o.caption && location == o.location && keyName == o.keyName &&
               description == o.description && image == o.image &&
               defaultValue == o.defaultValue;
    }
};

}  // namespace tw
