// The ignore-list window: lists the objects that scans no longer report and takes the selected
// ones off the list. One window for the run, created on first use, owned by the main window,
// modeless.
#pragma once
#include <windows.h>
#include <vector>

#include "platform/Handle.h"
#include "platform/WindowBase.h"
#include "scanners/IgnoreList.h"

namespace tw {

class IgnoreWindow : public WindowBase {
public:
    // Creates the window hidden, centred on the desktop. The list is the program's one list,
    // the same the scans filter with; it must outlive the window.
    IgnoreWindow(HWND owner, IgnoreList& list);
    ~IgnoreWindow() override;

    // Shows the window with the list as it is now.
    void Show();
    // "移除": takes the selected objects off the list and writes the file. A file that cannot
    // be written is reported; the list in the window then shows what is still in force.
    void RemoveSelected();
    // "关闭": hides the window.
    void Close();

    bool IsVisible() const { return hwnd_ && IsWindowVisible(hwnd_); }
    HWND ListView() const { return list_view_; }
    HWND RemoveButton() const { return remove_; }

private:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void CreateChildren();
    void LayOut();
    void Fill();
    void UpdateButtons();

    IgnoreList& list_;
    HWND list_view_ = nullptr;
    HWND remove_ = nullptr;
    HWND close_ = nullptr;
    UniqueGdiObject font_;
};

}  // namespace tw
