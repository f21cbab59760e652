// What the window tests share: where a control lies, what it says, and a pump that waits.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>

#include "platform/MessagePump.h"
#include "platform/Text.h"

namespace tw::test {

// The control's rectangle in the client area of `window`.
inline RECT RectIn(HWND control, HWND window) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

inline std::string WindowText(HWND window) {
    std::wstring s(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    s.resize(static_cast<size_t>(GetWindowTextW(window, &s[0], static_cast<int>(s.size()))));
    return WideToAnsi(s);
}

// The text of a list view's cell.
inline std::string ListItemText(HWND list, int row, int column) {
    wchar_t buf[512] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buf;
    item.cchTextMax = 512;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return WideToAnsi(buf);
}

// Lets messages run through the program's own pump (accelerators included) until the
// condition holds. No loop here ends on the quit that a closing window posts: it is dropped.
inline bool PumpUntil(const std::function<bool()>& cond, DWORD ms = 10000) {
    const bool held = RunUntil(cond, ms);
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    return held;
}

}  // namespace tw::test
