#include "app/ProgressWindow.h"

#include "platform/UiFont.h"
#include "platform/Text.h"
#include "resource.h"

namespace tw {

namespace {

const wchar_t kClassName[] = L"TarnwellProgressWindow";
const int kClientWidth = 374;
const int kClientHeight = 122;
const int kStopId = IDCANCEL;  // Esc presses it too
// A dialog frame with a caption but without border icons: the user cannot cancel the editor.
const DWORD kStyle = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
const DWORD kExStyle = WS_EX_DLGMODALFRAME;

}  // namespace

TForm3::TForm3(HWND owner) {
    RegisterClassOnce({kClassName});
    font_.reset(CreateUiFont());
    RECT r{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&r, kStyle, FALSE, kExStyle);
    const int w = r.right - r.left, h = r.bottom - r.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    if (CreateFor(kExStyle, kClassName, L"Tarnwell", kStyle, x, y, w, h, owner)) CreateChildren();
}

TForm3::~TForm3() {
    if (hwnd_) DestroyWindow(hwnd_);
}

void TForm3::CreateChildren() {
    HINSTANCE inst = GetModuleHandleW(nullptr);
    image_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_ICON, 18, 17, 32, 32,
                             hwnd_, nullptr, inst, nullptr);
    icon_.reset(static_cast<HICON>(
        LoadImageW(inst, MAKEINTRESOURCEW(IDI_PROGRESS), IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR)));
    if (icon_) SendMessageW(image_, STM_SETICON, reinterpret_cast<WPARAM>(icon_.get()), 0);
    label_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_CENTER | SS_NOPREFIX,
                             22, 53, 344, 16, hwnd_, nullptr, inst, nullptr);
    SendMessageW(label_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    stop_ = CreateWindowExW(0, L"BUTTON", AnsiToWide("停止等待").c_str(), WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON,
                            139, 84, 96, 26, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStopId)), inst,
                            nullptr);
    SendMessageW(stop_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    TakeDialogKeys();
}

void TForm3::Show(const std::string& caption, const std::string& text, bool stoppable) {
    if (!hwnd_) return;
    SetWindowTextW(hwnd_, AnsiToWide(caption).c_str());
    SetWindowTextW(label_, AnsiToWide(text).c_str());
    stoppable_ = stoppable;
    stopRequested_ = false;
    EnableWindow(stop_, TRUE);
    ShowWindow(stop_, stoppable ? SW_SHOW : SW_HIDE);
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

void ProgressOnDemand::ShowStoppable(const std::string& caption, const std::string& text) {
    if (!window_) window_ = std::make_unique<TForm3>(owner_);
    window_->Show(caption, text, true);
}

void ProgressOnDemand::Hide() {
    if (window_) window_->Hide();
}

LRESULT TForm3::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    HWND hwnd = hwnd_;
    switch (msg) {
        case WM_CLOSE:
            // The editor cannot be stopped from here: Alt+F4 must not hide the only sign of it.
            // A wait that may be ended takes it as the button.
            if (stoppable_) SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(kStopId, BN_CLICKED), 0);
            return 0;
        case WM_COMMAND:
            if (LOWORD(wp) == kStopId && stoppable_ && !stopRequested_) {
                // Heard once: the waiting code looks at the request at its next turn.
                stopRequested_ = true;
                EnableWindow(stop_, FALSE);
                SetWindowTextW(label_, AnsiToWide("正在停止等待......").c_str());
            }
            return 0;
        case WM_NCDESTROY:
            image_ = label_ = stop_ = nullptr;
            break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace tw
