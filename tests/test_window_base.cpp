// The window base: an object gets its own window's messages from WM_NCCREATE to WM_NCDESTROY,
// and one procedure serves the main, history and progress windows.
#include <doctest.h>

#include <windows.h>

#include <memory>
#include <vector>

#include "app/HistoryWindow.h"
#include "app/MainWindow.h"
#include "app/ProgressWindow.h"
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

TEST_CASE("the main, history and progress windows share the base's procedure") {
    test::RegistrySandbox sb;
    std::unique_ptr<TForm1> main(new TForm1);
    REQUIRE(main->Create(GetModuleHandleW(nullptr)));
    TForm2 history(main->Handle());
    TForm3 progress(main->Handle());
    Probe probe;
    auto procedureOf = [](HWND h) { return GetClassLongPtrW(h, GCLP_WNDPROC); };
    for (HWND h : {main->Handle(), history.Handle(), progress.Handle()})
        CHECK(procedureOf(h) == procedureOf(probe.Handle()));
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
