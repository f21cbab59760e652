#include "scanners/Finding.h"

namespace tw {

const char* const kDiskFileCaption = "磁盘文件错误";
const char* const kDiskDirCaption = "磁盘目录错误";
const char* const kDefaultValueMarker = "@D_e_f_a_u_l_t";

FindingKind Finding::Kind() const {
    if (kind != FindingKind::Unspecified) return kind;
    if (caption == kDiskFileCaption) return FindingKind::File;
    if (caption == kDiskDirCaption) return FindingKind::Folder;
    if (defaultValue) return FindingKind::RegistryDefaultValue;
    return keyName.empty() ? FindingKind::RegistryKey : FindingKind::RegistryValue;
}

Finding RegistryKeyFinding(const std::string& root, const std::string& location, const std::string& description) {
    Finding f;
    f.caption = root;
    f.location = location;
    f.description = description;
    f.kind = FindingKind::RegistryKey;
    return f;
}

Finding RegistryValueFinding(const std::string& root, const std::string& location, const std::string& valueName,
                             const std::string& description) {
    Finding f;
    f.caption = root;
    f.location = location;
    f.keyName = valueName;
    f.description = description;
    f.kind = FindingKind::RegistryValue;
    return f;
}

Finding NamedOrDefaultValueFinding(const std::string& root, const std::string& location,
                                   const std::string& valueName, const std::string& description) {
    Finding f = RegistryValueFinding(root, location, valueName, description);
    if (valueName.empty()) {
        f.keyName = kDefaultValueMarker;
        f.defaultValue = true;
        f.kind = FindingKind::RegistryDefaultValue;
    }
    return f;
}

}  // namespace tw
