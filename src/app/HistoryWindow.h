// The history window: shows "Repair.log" as plain text, names the folder it is kept in, and can
// delete it. One window for the
// run, created on first use, owned by the main window, modeless and always on top.
#pragma once
#include <windows.h>

#include "platform/DialogBase.h"
#include "resource.h"

namespace tw {

class HistoryWindow : public DialogBase {
public:
    // Creates the window hidden, centred on the desktop, owned by `owner` (may be null).
    explicit HistoryWindow(HWND owner);

    // Shows the window; a hidden window first reloads the log (Reload), a visible one is only
    // brought forward and keeps what it shows.
    void Show();
    // "Clear": moves each log file the window shows, when there is one, to "Repair.log.bak" beside
    // it (replacing an older one) and empties the memo, after the user's OK (Cancel is the
    // default); asks nothing when there is no log.
    void ClearLog();
    // "Exit": hides the window.
    void Hide();

    HWND Memo() const { return Item(IDC_HISTORY_MEMO); }
    // The band beside the buttons, where the focus rests.
    HWND Panel() const { return Item(IDC_HISTORY_PANEL); }
    HWND ClearButton() const { return Item(IDC_HISTORY_CLEAR); }
    HWND ExitButton() const { return Item(IDCANCEL); }

private:
    void OnInit() override;
    void OnCommand(int id, int code) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void Reload();
    void ParkFocus();
};

}  // namespace tw
