// The base of the program's small windows, each made from a DIALOGEX template of the resource
// file: the template places the controls and holds their texts, the object answers through
// virtual handlers. Resizing is handled here once: every control keeps its distances to the
// window edges it is anchored to, the window repaints whole, and it cannot be made smaller than
// its minimum. The object learns its handle at WM_INITDIALOG and forgets it at WM_NCDESTROY.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace tw {

class DialogBase {
public:
    DialogBase(const DialogBase&) = delete;
    DialogBase& operator=(const DialogBase&) = delete;

    HWND Handle() const { return hwnd_; }
    bool IsVisible() const { return hwnd_ && IsWindowVisible(hwnd_); }
    // A control of the window by its number in the template; null without the window.
    HWND Item(int id) const { return hwnd_ ? GetDlgItem(hwnd_, id) : nullptr; }

protected:
    DialogBase() = default;
    // Destroys the window if it still exists.
    virtual ~DialogBase();

    // Makes the window of template `templateId`, hidden and centred on the screen, owned by
    // `owner` (may be null); OnInit runs before it returns. False when the window could not be
    // made.
    bool Create(int templateId, HWND owner);
    // Destroys the window now. A window whose controls call back into the object is destroyed
    // so by its own destructor, while the object is still whole.
    void Destroy();

    // The window edges a control follows; a control without an anchor keeps its place.
    enum Edges : unsigned { kLeft = 1, kTop = 2, kRight = 4, kBottom = 8, kAll = 15 };
    struct Anchor {
        int id;
        unsigned edges;
    };
    // Called in OnInit, while the window has its template's size.
    void SetAnchors(std::initializer_list<Anchor> anchors);
    // The smallest client area the user can drag the window to, in dialog units; by default,
    // and in a dimension given as 0, the template's own size.
    void SetMinimumSize(int width, int height);
    // The window's large and small icon from the resource file.
    void SetIcons(int iconId);
    // A modeless window: from now until it is destroyed every message pump gives it its dialog
    // keys (Tab between controls, Enter, Esc as its IDCANCEL button).
    void TakeDialogKeys();
    // Shows the window in front with the keyboard on `focus`, then runs its own message loop,
    // with its dialog keys, until `done` turns true. A quit message ends it too and is posted
    // again, so that the program's own loop ends as well.
    void RunModalLoop(HWND focus, const bool& done);
    // The text of the window or of one of its controls, in the ANSI code page.
    void SetText(const std::string& text);
    void SetItemText(int id, const std::string& text);

    // The handlers. OnInit sets the window up; OnCommand gets every WM_COMMAND (menu items,
    // buttons, IDCANCEL from Esc and the close box); OnNotify every WM_NOTIFY of a control.
    virtual void OnInit() {}
    virtual void OnCommand(int /*id*/, int /*code*/) {}
    virtual void OnNotify(const NMHDR& /*n*/) {}
    // Any other message: true when handled (the dialog manager then leaves it alone).
    virtual bool OnMessage(UINT /*msg*/, WPARAM /*wp*/, LPARAM /*lp*/) { return false; }

    HWND hwnd_ = nullptr;

private:
    static INT_PTR CALLBACK Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    INT_PTR Dispatch(UINT msg, WPARAM wp, LPARAM lp);
    void LayOut(int width, int height);

    struct Placed {
        HWND control;
        RECT design;  // in the client area at the template's size
        unsigned edges;
    };
    std::vector<Placed> placed_;
    SIZE design_{};    // client size at the template's size
    POINT minTrack_{};  // smallest window size
};

}  // namespace tw
