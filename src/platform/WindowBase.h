// The base of every top-level window of the program: its class is registered once per process
// and one window procedure hands each message to the object that created the window. The
// object learns its handle at WM_NCCREATE, so even the first messages of a window reach it, and
// forgets it at WM_NCDESTROY, so nothing reaches an object whose window is gone.
#pragma once
#include <windows.h>

namespace tw {

class WindowBase {
public:
    WindowBase(const WindowBase&) = delete;
    WindowBase& operator=(const WindowBase&) = delete;

    HWND Handle() const { return hwnd_; }

protected:
    WindowBase() = default;
    // Destroys the window if it still exists.
    virtual ~WindowBase();

    struct ClassInfo {
        const wchar_t* name;
        HICON icon = nullptr;       // large icon, or none
        HICON smallIcon = nullptr;  // small icon, or none
        UINT style = 0;             // class style (CS_*)
        // Null for windows bound to an object; a plain procedure for helper windows that
        // belong to no object (panels that only hold controls).
        WNDPROC procedure = nullptr;
    };
    // Registers the class unless the process has it already; false only when the system
    // refuses it.
    static bool RegisterClassOnce(const ClassInfo& info);
    // Creates a window of a class registered through RegisterClassOnce, bound to this object.
    // Returns the handle (also kept in Handle()), or null when creation fails.
    HWND CreateFor(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x,
                   int y, int width, int height, HWND parent, HMENU menu = nullptr);
    // A modeless window: from now until it is destroyed every message pump gives it its dialog
    // keys (Tab between controls, Esc as its IDCANCEL button).
    void TakeDialogKeys();
    // Handles one message; what it does not handle goes to DefWindowProcW.
    virtual LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);

    HWND hwnd_ = nullptr;

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
};

}  // namespace tw
