// The window bases: an object gets its own window's messages from WM_NCCREATE to WM_NCDESTROY,
// and the windows made from templates keep their layout when resized.
#include <doctest.h>

#include <windows.h>

#include <memory>
#include <vector>

#include "app/HistoryWindow.h"
#include "app/IgnoreWindow.h"
#include "app/MainWindow.h"
#include "app/UndoWindow.h"
#include "platform/MessagePump.h"
#include "platform/WindowBase.h"
#include "support/Sandbox.h"

using namespace tw;

namespace {

class Probe : public WindowBase {
public:
    Probe() {
        RegisterClassOnce({L"TarnwellProbeWindow"});
        CreateFor(0, L"TarnwellProbeWindow", L"probe", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr);
    }
    std::vector<UINT> seen;
    HWND handleAtFirst = nullptr;
    int cancels = 0;  // WM_COMMAND IDCANCEL, as Esc gives a window that takes dialog keys
    using WindowBase::TakeDialogKeys;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override {
        if (seen.empty()) handleAtFirst = hwnd_;
        seen.push_back(msg);
        if (msg == WM_COMMAND && LOWORD(wp) == IDCANCEL) ++cancels;
        return WindowBase::OnMessage(msg, wp, lp);
    }
};

}  // namespace

TEST_CASE("each object gets its own window's messages, from WM_NCCREATE to WM_NCDESTROY") {
    Probe a, b;
    REQUIRE(a.Handle() != nullptr);
    REQUIRE_FALSE(a.seen.empty());
    CHECK(a.seen.front() == WM_NCCREATE);
    CHECK(a.handleAtFirst == a.Handle());
    size_t aBefore = a.seen.size();
    SendMessageW(b.Handle(), WM_USER + 7, 0, 0);
    CHECK(a.seen.size() == aBefore);
    CHECK(b.seen.back() == WM_USER + 7);

    HWND h = a.Handle();
    DestroyWindow(h);
    CHECK(a.Handle() == nullptr);
    CHECK(a.seen.back() == WM_NCDESTROY);
    {
        Probe gone;
        h = gone.Handle();
    }
    CHECK_FALSE(IsWindow(h));  // the window goes with its object
}

namespace {

RECT ClientRectOf(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

SIZE ClientSize(HWND window) {
    RECT r;
    GetClientRect(window, &r);
    return {r.right, r.bottom};
}

// Whole and within the window's client area.
bool Inside(HWND control, HWND window) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    const SIZE c = ClientSize(window);
    return r.left >= 0 && r.top >= 0 && r.right <= c.cx && r.bottom <= c.cy && r.right > r.left && r.bottom > r.top;
}

void SizeWindow(HWND window, int width, int height) {
    SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

TEST_CASE("resized windows keep their buttons in the corner and their controls whole, down to their minimum") {
    test::RegistrySandbox sb;
    test::ScratchDir dir;
    std::unique_ptr<TForm1> main(new TForm1);
    REQUIRE(main->Create(GetModuleHandleW(nullptr)));
    TForm2 history(main->Handle());
    IgnoreList ignored(dir / "Ignore.ini");
    IgnoreWindow ignore(main->Handle(), ignored);
    UndoWindow undo(main->Handle(), dir.Path() + "\\");
    const struct {
        const char* name;
        HWND window, corner, body;  // the button in the lower right corner, the control that grows
    } windows[] = {
        {"history", history.Handle(), history.ExitButton(), history.Memo()},
        {"ignore", ignore.Handle(), GetDlgItem(ignore.Handle(), IDCANCEL), ignore.ListView()},
        {"undo", undo.Handle(), GetDlgItem(undo.Handle(), IDCANCEL), GetDlgItem(undo.Handle(), IDC_UNDO_LIST)},
    };
    for (const auto& w : windows) {
        CAPTURE(w.name);
        REQUIRE(w.corner);
        const SIZE client = ClientSize(w.window);
        const RECT corner = ClientRectOf(w.corner), body = ClientRectOf(w.body);
        RECT frame;
        GetWindowRect(w.window, &frame);
        SizeWindow(w.window, frame.right - frame.left + 200, frame.bottom - frame.top + 100);
        const SIZE grown = ClientSize(w.window);
        REQUIRE(grown.cx == client.cx + 200);
        const RECT movedCorner = ClientRectOf(w.corner), grownBody = ClientRectOf(w.body);
        CHECK(client.cx - corner.right == grown.cx - movedCorner.right);
        CHECK(client.cy - corner.bottom == grown.cy - movedCorner.bottom);
        CHECK(grownBody.right - grownBody.left == body.right - body.left + 200);
        CHECK(grownBody.bottom - grownBody.top == body.bottom - body.top + 100);

        SizeWindow(w.window, 1, 1);
        CHECK(Inside(w.corner, w.window));
        CHECK(Inside(w.body, w.window));
    }
    // The main window at its smallest: the report list keeps its header and some rows, the
    // buttons are whole.
    SizeWindow(main->Handle(), 1, 1);
    CHECK(ListView_GetCountPerPage(main->ReportList()) >= 3);
    CHECK(Inside(main->ReportList(), main->Handle()));
    CHECK(Inside(main->Control(ID_FLATBUTTON4), main->Handle()));
}

TEST_CASE("a modeless window takes its dialog keys in every pump while it is shown, and only its own") {
    Probe modeless, plain;
    modeless.TakeDialogKeys();
    auto escape = [](Probe& p) {
        PostMessageW(p.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
        ProcessMessages();
        return p.cancels;
    };
    CHECK(escape(modeless) == 0);  // hidden: the key is the window's own
    for (Probe* p : {&modeless, &plain}) ShowWindow(p->Handle(), SW_SHOWNOACTIVATE);
    CHECK(escape(modeless) == 1);
    CHECK(escape(plain) == 0);
    DestroyWindow(modeless.Handle());
    CHECK(escape(plain) == 0);  // the pump forgot the destroyed window
}
