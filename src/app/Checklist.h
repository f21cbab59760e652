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
    // Shown only under Wine, at index 12 after the directory row: the system-file row then
    // follows it. Every other row keeps its index on every system.
    kRowWineDesktop = 13,
};

struct ChecklistItem {
    std::string caption;
    std::string note;
    int image = 0;
    bool ticked = false;
    int row = -1;  // the category (ChecklistRow) the item stands for
};

// The caption of a category ("扫描：..."), empty for a number that is no category.
std::string ChecklistCaption(int row);

// The rows for this system: the system-file row exists only on major version 5 with
// "<windows>\system32\sfc.exe" present. Of the Windows rows every one but the last starts
// ticked. Under Wine the Wine row, ticked, stands after the directory row.
std::vector<ChecklistItem> BuildChecklist(uint32_t majorVersion, const std::string& windowsDir);
// Where the category stands among the rows: its index, -1 when the rows lack it.
int ChecklistIndexOf(const std::vector<ChecklistItem>& rows, ChecklistRow row);

}  // namespace tw
