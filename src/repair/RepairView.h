// What repair needs of the main window: the selected row, the repaint of a row whose mark
// changed, the status line, the repair controls and a chance to let messages run.
#pragma once
#include <windows.h>
#include <string>

namespace tw {

class RepairView {
public:
    virtual ~RepairView() = default;
    // Index of the selected report-list row, -1 when none.
    virtual int SelectedRow() = 0;
    // The row's Finding changed (its image); the list must show it.
    virtual void RowChanged(int row) = 0;
    // Rows were added at the end of the list (found after a repair); the list must show them.
    virtual void RowsAdded() {}
    virtual void SetStatus(const std::string& text) = 0;
    // Switches the repair commands; `popupToo` false leaves the report list's popup items as
    // they are.
    virtual void SetRepairControls(bool on, bool popupToo) = 0;
    virtual void ProcessMessages() = 0;
    // The main window, owner of the history and progress windows (may be null in tests).
    virtual HWND OwnerWindow() = 0;
};

}  // namespace tw
