// The checklist model: the rows of the category table that this system shows, in table order.
#pragma once
#include <string>
#include <vector>

#include "platform/OsFamily.h"
#include "scan/ScanCategories.h"

namespace tw {

struct ChecklistItem {
    std::string caption;
    std::string note;
    int image = 0;
    bool ticked = false;
    int row = -1;  // the category (ChecklistRow) the item stands for
};

// The rows for this system: the system-file row exists only where SystemFileCheckerPresent
// says so. Of the Windows rows every one but the last starts ticked. Under Wine the Wine row,
// ticked, stands after the directory row.
std::vector<ChecklistItem> BuildChecklist(OsFamily os, const std::string& windowsDir);
// Where the category stands among the rows: its index, -1 when the rows lack it.
int ChecklistIndexOf(const std::vector<ChecklistItem>& rows, ChecklistRow row);

}  // namespace tw
