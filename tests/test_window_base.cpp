// The window bases: an object gets its own window's messages from WM_NCCREATE to WM_NCDESTROY,
// and the windows made from templates keep their layout when resized.
#include <doctest.h>

#include <windows.h>

#include <utility>
#include <vector>

#include "app/DetailsWindow.h"
#include "app/HistoryWindow.h"
#include "app/IgnoreWindow.h"
#include "app/UndoWindow.h"
#include "platform/MessagePump.h"
#include "platform/WindowBase.h"
#include "support/Sandbox.h"
#include "support/WindowProbes.h"

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

TEST_CASE("resized small windows keep Esc's button in the corner and their main control whole, down to a minimum") {
    test::ScratchDir dir;
    HistoryWindow history(nullptr);
    IgnoreList ignored(dir / "Ignore.ini");
    IgnoreWindow ignore(nullptr, ignored);
    UndoWindow undo(nullptr, {dir.Path() + "\\"});
    DetailsWindow details(nullptr, "row", true, true);
    for (auto [window, bodyId] : {std::pair{history.Handle(), IDC_HISTORY_MEMO},
                                  {ignore.Handle(), IDC_IGNORE_LIST}, {undo.Handle(), IDC_UNDO_LIST},
                                  {details.Handle(), IDC_DETAILS_TEXT}}) {
        HWND corner = GetDlgItem(window, IDCANCEL), body = GetDlgItem(window, bodyId);
        auto gaps = [&] {  // from the lower right corners of the button and the control to the window's
            RECT c, k = test::RectIn(corner, window), b = test::RectIn(body, window);
            GetClientRect(window, &c);
            return std::vector<LONG>{c.right - k.right, c.bottom - k.bottom, c.right - b.right, c.bottom - b.bottom};
        };
        const std::vector<LONG> designed = gaps();
        for (int size : {1000, 1}) {  // larger than the screen, then below the minimum
            SetWindowPos(window, nullptr, 0, 0, size, size, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            const RECT b = test::RectIn(body, window);
            CHECK(gaps() == designed);
            CHECK((b.right - b.left > 100 && b.bottom - b.top > 40));
        }
    }
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
