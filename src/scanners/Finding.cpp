#include "scanners/Finding.h"

#include "scanners/disk/WineDesktopEntries.h"

namespace tw {

const char* const kDiskFileCaption = "磁盘文件错误";
const char* const kDiskDirCaption = "磁盘目录错误";
const char* const kDefaultValueMarker = "@D_e_f_a_u_l_t";

FindingKind KindFromTexts(const std::string& caption, const std::string& keyName, const std::string& location) {
    if (caption == kDiskFileCaption) return FindingKind::File;
    if (caption == kDiskDirCaption) return FindingKind::Folder;
    // Wine's menu folders are folders under applications/wine, or folder entries (files).
    const std::string entry = ".directory";
    if (caption == kWineMenuFolderCaption &&
        (location.size() < entry.size() || location.compare(location.size() - entry.size(), entry.size(), entry) != 0))
        return FindingKind::HostFolder;
    if (IsWineHostCaption(caption)) return FindingKind::HostFile;
    return keyName.empty() ? FindingKind::RegistryKey : FindingKind::RegistryValue;
}

HKEY RootFromCaption(const std::string& caption) {
    if (caption == "HKEY_CLASSES_ROOT") return HKEY_CLASSES_ROOT;
    if (caption == "HKEY_CURRENT_USER") return HKEY_CURRENT_USER;
    if (caption == "HKEY_LOCAL_MACHINE") return HKEY_LOCAL_MACHINE;
    if (caption == "HKEY_USERS") return HKEY_USERS;
    if (caption == "HKEY_CURRENT_CONFIG") return HKEY_CURRENT_CONFIG;
    return HKEY_CURRENT_USER;
}

Finding RegistryKeyFinding(const std::string& root, const std::string& location, const std::string& description) {
    return Finding{root, location, "", description, kImageFresh, FindingKind::RegistryKey};
}

Finding RegistryValueFinding(const std::string& root, const std::string& location, const std::string& valueName,
                             const std::string& description) {
    return Finding{root, location, valueName, description, kImageFresh, FindingKind::RegistryValue};
}

Finding RegistryDefaultValueFinding(const std::string& root, const std::string& location,
                                    const std::string& description) {
    return Finding{root, location, kDefaultValueMarker, description, kImageFresh, FindingKind::RegistryDefaultValue};
}

Finding NamedOrDefaultValueFinding(const std::string& root, const std::string& location,
                                   const std::string& valueName, const std::string& description) {
    return valueName.empty() ? RegistryDefaultValueFinding(root, location, description)
                             : RegistryValueFinding(root, location, valueName, description);
}

Finding DiskFileFinding(const std::string& location, const std::string& keyName, const std::string& description) {
    return Finding{kDiskFileCaption, location, keyName, description, kImageFresh, FindingKind::File};
}

Finding DiskFolderFinding(const std::string& location) {
    return Finding{kDiskDirCaption, location, "", "", kImageFresh, FindingKind::Folder};
}

}  // namespace tw
