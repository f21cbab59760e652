#include "app/ProgressWindow.h"

#include "resource.h"

namespace tw {

TForm3::TForm3(HWND owner) { Create(IDD_PROGRESS, owner); }

void TForm3::Show(const std::string& caption, const std::string& text) {
    if (!hwnd_) return;
    SetText(caption);
    SetItemText(IDC_PROGRESS_TEXT, text);
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
}

void TForm3::Hide() {
    if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

void ProgressOnDemand::Show(const std::string& caption, const std::string& text) {
    if (!window_) window_ = std::make_unique<TForm3>(owner_);
    window_->Show(caption, text);
}

void ProgressOnDemand::Hide() {
    if (window_) window_->Hide();
}

// The editor cannot be stopped from here: Alt+F4 must not hide the only sign of it.
bool TForm3::OnMessage(UINT msg, WPARAM, LPARAM) { return msg == WM_CLOSE; }

}  // namespace tw
