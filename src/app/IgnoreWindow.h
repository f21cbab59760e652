// The ignore-list window: lists the objects that scans no longer report and takes the selected
// ones off the list. One window for the run, created on first use, owned by the main window,
// modeless.
#pragma once
#include <windows.h>
#include <vector>

#include "platform/DialogBase.h"
#include "resource.h"
#include "scanners/IgnoreList.h"

namespace tw {

class IgnoreWindow : public DialogBase {
public:
    // Creates the window hidden, centred on the desktop. The list is the program's one list,
    // the same the scans filter with; it must outlive the window.
    IgnoreWindow(HWND owner, IgnoreList& list);

    // Shows the window with the list as it is now.
    void Show();
    // "Remove": takes the selected objects off the list and writes the file. A file that cannot
    // be written is reported; the list in the window then shows what is still in force.
    void RemoveSelected();
    // "Close": hides the window.
    void Close();

    HWND ListView() const { return Item(IDC_IGNORE_LIST); }
    HWND RemoveButton() const { return Item(IDC_IGNORE_REMOVE); }

private:
    void OnInit() override;
    void OnCommand(int id, int code) override;
    void OnNotify(const NMHDR& n) override;
    void Fill();
    void UpdateButtons();

    IgnoreList& list_;
};

}  // namespace tw
