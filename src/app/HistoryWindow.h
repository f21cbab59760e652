// The history window: shows "Repair.log" as plain text, names the folder it is kept in, and can
// delete it. One window for the
// run, created on first use, owned by the main window, modeless and always on top.
#pragma once
#include <windows.h>
#include <string>

#include "platform/Handle.h"
#include "platform/WindowBase.h"

namespace tw {

class TForm2 : public WindowBase {
public:
    // Creates the window hidden, centred on the desktop, owned by `owner` (may be null).
    explicit TForm2(HWND owner);
    ~TForm2() override;
    TForm2(const TForm2&) = delete;
    TForm2& operator=(const TForm2&) = delete;

    // Shows the window; a hidden window first reloads the log (FormShow), a visible one is only
    // brought forward and keeps what it shows.
    void Show();
    // "清空": moves each log file the window shows, when there is one, to "Repair.log.bak" beside
    // it (replacing an older one) and empties the memo; never asks.
    void FlatButton1Click();
    // "退出": hides the window.
    void Button1Click();

    bool IsVisible() const { return hwnd_ && IsWindowVisible(hwnd_); }
    HWND Memo() const { return memo_; }
    HWND Panel() const { return panel1_; }
    HWND ClearButton() const { return clear_; }
    HWND ExitButton() const { return exit_; }

private:
    static LRESULT CALLBACK PanelProc(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK MemoProc(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK HeaderProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void CreateChildren();
    void LayOut();
    void FormShow();
    void Memo1Enter();

    HWND header_ = nullptr;
    HWND memo_ = nullptr;
    HWND panel1_ = nullptr;
    HWND panel2_ = nullptr;
    HWND clear_ = nullptr;
    HWND exit_ = nullptr;
    HWND tooltip_ = nullptr;
    WNDPROC memoDefault_ = nullptr;
    WNDPROC headerDefault_ = nullptr;
    UniqueGdiObject font_;
};

}  // namespace tw
