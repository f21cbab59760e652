// The commands on the report list's selected row and on the list as a whole: "Ignore This Item",
// "Open in Registry Editor" / "Open Containing Folder", "Export Report..." and the ignore-list window, with the
// popup items that follow the selected row. The main window routes its commands here.
#pragma once
#include <windows.h>
#include <memory>

#include "app/IgnoreWindow.h"
#include "app/ReportListView.h"
#include "repair/RepairView.h"
#include "scanners/FindingList.h"
#include "scanners/IgnoreList.h"

namespace tw {

class RowCommands {
public:
    // The Findings, the list showing them, the program's one ignore list and the window they
    // belong to; all must outlive the commands.
    RowCommands(FindingList& findings, ReportListView& report, IgnoreList& ignored, RepairView& window)
        : findings_(findings), report_(report), ignored_(ignored), window_(window) {}
    RowCommands(const RowCommands&) = delete;
    RowCommands& operator=(const RowCommands&) = delete;

    // "Ignore This Item": the selected row's object goes on the ignore list, and every row naming it
    // leaves the report list.
    void IgnoreSelected();
    // Opens the place the selected row names.
    void OpenSelected();
    // "Export Report...": the report list, in the order shown, to a file the user names.
    void ExportReport();
    void ShowIgnoreWindow();
    // The popup's row items: enabled with a selected row (ignoring only when `scanIdle`, since a
    // running scan still adds to the list) and worded for its kind.
    void UpdatePopupItems(HMENU popup, bool scanIdle);
    // Null until the ignore list is first shown.
    IgnoreWindow* IgnoreListWindow() const { return ignoreWindow_.get(); }
    // After the language changed: the ignore-list window is made again in the new one, shown if
    // it was shown.
    void RemakeIgnoreWindow();

private:
    FindingList& findings_;
    ReportListView& report_;
    IgnoreList& ignored_;
    RepairView& window_;
    std::unique_ptr<IgnoreWindow> ignoreWindow_;
};

}  // namespace tw
