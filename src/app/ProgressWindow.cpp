#include "app/ProgressWindow.h"

#include "platform/LoadText.h"
#include "platform/Text.h"

namespace tw {

ProgressWindow::ProgressWindow(HWND owner) { Create(IDD_PROGRESS, owner); }

// "Stop Waiting" is IDCANCEL: Esc presses it too.
void ProgressWindow::OnInit() { TakeDialogKeys(); }

void ProgressWindow::Show(const std::string& caption, const std::string& text, bool stoppable) {
    if (!hwnd_) return;
    SetText(caption);
    SetItemText(IDC_PROGRESS_TEXT, text);
    stoppable_ = stoppable;
    stopRequested_ = false;
    EnableWindow(StopButton(), TRUE);
    ShowWindow(StopButton(), stoppable ? SW_SHOW : SW_HIDE);
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
}

void ProgressWindow::Hide() {
    if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

void ProgressOnDemand::Show(const std::string& caption, const std::string& text) {
    if (!window_) window_ = std::make_unique<ProgressWindow>(owner_);
    window_->Show(caption, text);
}

void ProgressOnDemand::ShowStoppable(const std::string& caption, const std::string& text) {
    if (!window_) window_ = std::make_unique<ProgressWindow>(owner_);
    window_->Show(caption, text, true);
}

void ProgressOnDemand::Hide() {
    if (window_) window_->Hide();
}

void ProgressWindow::OnCommand(int id, int) {
    if (id != IDCANCEL || !stoppable_ || stopRequested_) return;
    // Heard once: the waiting code looks at the request at its next turn.
    stopRequested_ = true;
    EnableWindow(StopButton(), FALSE);
    SetItemText(IDC_PROGRESS_TEXT, LoadText(IDS_PROGRESS_STOPPING));
}

// The editor cannot be stopped from here: Alt+F4 must not hide the only sign of it. A wait that
// may be ended takes it as the button.
bool ProgressWindow::OnMessage(UINT msg, WPARAM, LPARAM) {
    if (msg != WM_CLOSE) return false;
    OnCommand(IDCANCEL, BN_CLICKED);
    return true;
}

}  // namespace tw
