// A Finding: one row of the report list. Every scanner writes them, repair reads them back.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

#include "strings.h"

namespace tw {

// Captions of disk Findings, by their string ids; registry Findings carry the root's name
// instead, the same in every language.
constexpr unsigned kDiskFileCaption = IDS_CAPTION_DISK_FILE;  // a broken shortcut file
constexpr unsigned kDiskDirCaption = IDS_CAPTION_DISK_DIR;    // an empty folder
// Key name standing for a key's unnamed default value.
extern const char* const kDefaultValueMarker;  // "@D_e_f_a_u_l_t"

constexpr int kImageFresh = 0;
constexpr int kImageSharedDll = 6;
constexpr int kImageRepaired = 9;

// What a row names, as the scanner that made it meant it. Repair deletes a whole key only for a
// row that says so: neither a caption nor an empty key name is read for meaning.
enum class FindingKind {
    Unspecified,   // a row that does not say: nothing acts on it (repair refuses it)
    RegistryKey,   // the key with everything below it
    RegistryValue,  // the value named in the key-name column
    RegistryDefaultValue,  // the key's unnamed default value ("@D_e_f_a_u_l_t")
    File,
    Folder,
    // An uninstall entry of a product of the system's installer whose files are gone: repair
    // runs the product's own uninstall through the installer and never deletes the key itself.
    ProductUninstall,
    // Wine's leftovers on the Linux desktop (scanners/disk/WineDesktopEntries.h), named by their
    // Linux path: a file, or a folder that holds nothing else. Repair judges them again on their
    // own evidence and only moves them to the desktop's trash.
    HostFile,
    HostFolder,
};

inline bool IsDiskKind(FindingKind kind) {
    return kind == FindingKind::File || kind == FindingKind::Folder || kind == FindingKind::HostFile ||
           kind == FindingKind::HostFolder;
}

struct Finding {
    std::string caption;      // column "Item"
    std::string location;     // column "Location"
    std::string keyName;      // column "Key Name"
    std::string description;  // column "Description"
    int image = kImageFresh;
    // Repair acts on this, never on the texts: a value may really be named "@D_e_f_a_u_l_t".
    FindingKind kind = FindingKind::Unspecified;
    // The paths whose absence made the scanner report the row, as it judged them. Repair judges
    // them again right before it deletes: a row can sit in the list for hours, and what was
    // missing then may be back. Empty for rows that name no path (an empty key, a zero count).
    std::vector<std::string> missingPaths{};
    // What "still missing" means for them (the scanner's own rule, repeated by the re-check).
    enum class Missing : unsigned char {
        Nothing,  // neither a file nor a folder is there
        NoFile,   // no file is there (a folder does not count)
        NoProgram,  // no program is found as the system starts it
    };
    Missing missingRule = Missing::Nothing;

    bool Repaired() const { return image == kImageRepaired; }
    // A file or folder, of the system or of the Linux host; rows that are neither name the registry.
    bool OnDisk() const { return IsDiskKind(kind); }
    // A file or folder of the Linux host (a Unix path), not of the system.
    bool OnHost() const { return kind == FindingKind::HostFile || kind == FindingKind::HostFolder; }
    // The row's texts, image and kind; the evidence of missing paths is not part of it.
    bool operator==(const Finding& o) const {
        return caption == o.caption && location == o.location && keyName == o.keyName &&
               description == o.description && image == o.image && kind == o.kind;
    }
};

// Rows as the scanners make them, each with its kind.
Finding RegistryKeyFinding(const std::string& root, const std::string& location, const std::string& description = "");
Finding RegistryValueFinding(const std::string& root, const std::string& location, const std::string& valueName,
                             const std::string& description = "");
// The key's unnamed default value, shown under the key name kDefaultValueMarker.
Finding RegistryDefaultValueFinding(const std::string& root, const std::string& location,
                                    const std::string& description = "");
// A value row whose name may be empty: the unnamed value becomes a default-value row.
Finding NamedOrDefaultValueFinding(const std::string& root, const std::string& location,
                                   const std::string& valueName, const std::string& description);
// A file on disk under the caption kDiskFileCaption (a broken shortcut: its size in the key-name
// column, its target in the description).
Finding DiskFileFinding(const std::string& location, const std::string& keyName = "",
                        const std::string& description = "");
// An empty folder under the caption kDiskDirCaption.
Finding DiskFolderFinding(const std::string& location);

// A caption as stored lists compare it: a disk or Wine caption of either language becomes one
// key of its own ("#" and its string id), every other caption stays as it is.
std::string CaptionKey(const std::string& caption);
// The registry root a registry row's caption names; any other caption means HKEY_CURRENT_USER.
HKEY RootFromCaption(const std::string& caption);
// What the texts of a row read back from a report or the ignore list suggest it names, where
// its kind was not kept: a disk caption is a file or folder, the Wine desktop category's a file
// or folder of the host, an empty key name a key, any other a value. The one reading of a saved
// row's texts.
FindingKind KindFromTexts(const std::string& caption, const std::string& keyName, const std::string& location = "");

}  // namespace tw
