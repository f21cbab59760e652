#include "platform/WindowBase.h"

#include "platform/MessagePump.h"

namespace tw {

WindowBase::~WindowBase() {
    // The window must not outlive its object: after this no message can reach it.
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

bool WindowBase::RegisterClassOnce(const ClassInfo& info) {
    HINSTANCE inst = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(inst, info.name, &wc)) return true;
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof wc;
    wc.style = info.style;
    wc.lpfnWndProc = info.procedure ? info.procedure : &WindowBase::Procedure;
    wc.hInstance = inst;
    wc.hIcon = info.icon;
    wc.hIconSm = info.smallIcon;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = info.name;
    return RegisterClassExW(&wc) != 0;
}

HWND WindowBase::CreateFor(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style,
                       int x, int y, int width, int height, HWND parent, HMENU menu) {
    HWND h = CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent, menu,
                             GetModuleHandleW(nullptr), this);
    // A window whose creation failed half-way has already been forgotten at WM_NCDESTROY.
    return h ? hwnd_ : nullptr;
}

void WindowBase::TakeDialogKeys() { AddDialogWindow(hwnd_); }

LRESULT WindowBase::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

LRESULT CALLBACK WindowBase::Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    WindowBase* self;
    if (msg == WM_NCCREATE) {
        self = static_cast<WindowBase*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        if (self) {
            self->hwnd_ = hwnd;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    } else {
        self = reinterpret_cast<WindowBase*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    // Messages before WM_NCCREATE (WM_GETMINMAXINFO) and windows made without an object.
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    LRESULT result = self->OnMessage(msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        RemoveDialogWindow(hwnd);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
    }
    return result;
}

}  // namespace tw
