// The scan categories offered in the checklist, by row index.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tw {

enum ChecklistRow {
    kRowSoftware = 0,
    kRowProgramMenu = 1,
    kRowFileTypes = 2,
    kRowHelpFiles = 3,
    kRowSharedDlls = 4,
    kRowUninstall = 5,
    kRowFonts = 6,
    kRowCurrentUser = 7,
    kRowAllUsers = 8,
    kRowMachine = 9,
    kRowDiskFiles = 10,
    kRowDiskDirs = 11,
    kRowSystemFiles = 12,
};

struct ChecklistItem {
    std::string caption;
    std::string note;
    int image = 0;
    bool ticked = false;
};

// The caption of a row ("扫描：..."), empty for an index that is no row.
std::string ChecklistCaption(int row);

// The rows for this system: the system-file row exists only on major version 5 with
// "<windows>\system32\sfc.exe" present. Every row but the last starts ticked.
std::vector<ChecklistItem> BuildChecklist(uint32_t majorVersion, const std::string& windowsDir);

}  // namespace tw
