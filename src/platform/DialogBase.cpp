#include "platform/DialogBase.h"

#include "platform/MessagePump.h"
#include "platform/Text.h"

namespace tw {

DialogBase::~DialogBase() { Destroy(); }

bool DialogBase::Create(int templateId, HWND owner) {
    // The templates name the list view and header classes of the common controls.
    static const bool controlsReady = [] {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
        return InitCommonControlsEx(&icc) != FALSE;
    }();
    (void)controlsReady;
    if (!CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), owner, &DialogBase::Procedure,
                            reinterpret_cast<LPARAM>(this)))
        return false;
    RECT r;
    GetWindowRect(hwnd_, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    SetWindowPos(hwnd_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return hwnd_ != nullptr;
}

void DialogBase::Destroy() {
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

void DialogBase::SetAnchors(std::initializer_list<Anchor> anchors) {
    for (const Anchor& a : anchors) {
        HWND control = GetDlgItem(hwnd_, a.id);
        if (!control) continue;
        RECT r;
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
        placed_.push_back({control, r, a.edges});
    }
}

void DialogBase::SetMinimumSize(int width, int height) {
    RECT r{0, 0, width, height};
    MapDialogRect(hwnd_, &r);
    if (width == 0) r.right = design_.cx;
    if (height == 0) r.bottom = design_.cy;
    AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
    minTrack_ = {r.right - r.left, r.bottom - r.top};
}

void DialogBase::SetIcons(int iconId) {
    HINSTANCE inst = GetModuleHandleW(nullptr);
    const int sizes[2][2] = {{SM_CXICON, SM_CYICON}, {SM_CXSMICON, SM_CYSMICON}};
    const WPARAM kinds[2] = {ICON_BIG, ICON_SMALL};
    for (int i = 0; i < 2; ++i) {
        HANDLE icon = LoadImageW(inst, MAKEINTRESOURCEW(iconId), IMAGE_ICON, GetSystemMetrics(sizes[i][0]),
                                 GetSystemMetrics(sizes[i][1]), LR_SHARED);
        SendMessageW(hwnd_, WM_SETICON, kinds[i], reinterpret_cast<LPARAM>(icon));
    }
}

void DialogBase::TakeDialogKeys() { AddDialogWindow(hwnd_); }

void DialogBase::RunModalLoop(HWND focus, const bool& done) {
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    SetFocus(focus);
    MSG msg;
    while (!done) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got < 0) break;
        if (IsDialogMessageW(hwnd_, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void DialogBase::SetText(const std::string& text) { SetWindowTextW(hwnd_, AnsiToWide(text).c_str()); }

void DialogBase::SetItemText(int id, const std::string& text) {
    SetDlgItemTextW(hwnd_, id, AnsiToWide(text).c_str());
}

void DialogBase::LayOut(int width, int height) {
    const int dx = width - design_.cx, dy = height - design_.cy;
    for (const Placed& p : placed_) {
        RECT r = p.design;
        if (p.edges & kRight) {
            r.right += dx;
            if (!(p.edges & kLeft)) r.left += dx;
        }
        if (p.edges & kBottom) {
            r.bottom += dy;
            if (!(p.edges & kTop)) r.top += dy;
        }
        SetWindowPos(p.control, nullptr, r.left, r.top, r.right > r.left ? r.right - r.left : 0,
                     r.bottom > r.top ? r.bottom - r.top : 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
    }
    // What moved leaves its old place behind, and a window that grows shows new ground: the
    // whole window paints again, controls included.
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

INT_PTR DialogBase::Dispatch(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            OnCommand(LOWORD(wp), HIWORD(wp));
            return TRUE;
        case WM_NOTIFY:
            OnNotify(*reinterpret_cast<const NMHDR*>(lp));
            return TRUE;
        case WM_SIZE:
            if (wp != SIZE_MINIMIZED) LayOut(LOWORD(lp), HIWORD(lp));
            return TRUE;
        case WM_GETMINMAXINFO:
            reinterpret_cast<MINMAXINFO*>(lp)->ptMinTrackSize = minTrack_;
            return TRUE;
    }
    return OnMessage(msg, wp, lp) ? TRUE : FALSE;
}

INT_PTR CALLBACK DialogBase::Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        auto* self = reinterpret_cast<DialogBase*>(lp);
        SetWindowLongPtrW(hwnd, DWLP_USER, lp);
        self->hwnd_ = hwnd;
        RECT r;
        GetClientRect(hwnd, &r);
        self->design_ = {r.right, r.bottom};
        GetWindowRect(hwnd, &r);
        self->minTrack_ = {r.right - r.left, r.bottom - r.top};
        self->OnInit();
        // The window is still hidden: each window sets its focus when it is shown.
        return FALSE;
    }
    // Messages before WM_INITDIALOG (WM_SETFONT, WM_GETMINMAXINFO) go to the dialog manager.
    auto* self = reinterpret_cast<DialogBase*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self) return FALSE;
    const INT_PTR result = self->Dispatch(msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        RemoveDialogWindow(hwnd);
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
        self->placed_.clear();
    }
    return result;
}

}  // namespace tw
