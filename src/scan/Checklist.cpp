#include "scan/Checklist.h"

#include "platform/LoadText.h"
#include "platform/WineHost.h"

namespace tw {

std::vector<ChecklistItem> BuildChecklist(OsFamily os, const std::string& windowsDir) {
    const bool checker = SystemFileCheckerPresent(os, windowsDir);
    const bool wine = !WineVersion().empty();
    std::vector<ChecklistItem> rows;
    const ScanCategories table;
    for (const ScanCategory& c : table.Rows()) {
        const bool shown = c.shown == Shown::Always || (c.shown == Shown::WithFileChecker && checker) ||
                           (c.shown == Shown::UnderWine && wine);
        if (!shown) continue;
        const bool ticked = c.ticked == Ticked::Yes || (c.ticked == Ticked::WithFileChecker && checker);
        rows.push_back(ChecklistItem{LoadText(c.caption), LoadText(c.note), c.image, ticked, c.row});
    }
    return rows;
}

int ChecklistIndexOf(const std::vector<ChecklistItem>& rows, ChecklistRow row) {
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].row == row) return static_cast<int>(i);
    return -1;
}

}  // namespace tw
