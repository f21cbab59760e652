// The window base: the object receives its window's messages from WM_NCCREATE to WM_NCDESTROY
// and no others, and one class registration and procedure serve every window of the program.
#include <doctest.h>

#include <windows.h>

#include <memory>
#include <vector>

#include "app/MainWindow.h"
#include "platform/FileSystem.h"
#include "platform/WindowBase.h"
#include "repair/HistoryWindow.h"
#include "repair/ProgressWindow.h"
#include "support/Sandbox.h"

using namespace tw;

namespace {

const wchar_t kProbeClass[] = L"TarnwellProbeWindow";

class Probe : public WindowBase {
public:
    explicit Probe(bool refuseCreation = false) : refuse_(refuseCreation) {
        RegisterClassOnce({kProbeClass});
        CreateFor(0, kProbeClass, L"probe", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr);
    }
    std::vector<UINT> seen;
    HWND handleAtFirstMessage = nullptr;
    HWND handleAtCreate = nullptr;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override {
        if (seen.empty()) handleAtFirstMessage = hwnd_;
        seen.push_back(msg);
        if (msg == WM_CREATE) handleAtCreate = hwnd_;
        if (msg == WM_NCCREATE && refuse_) return FALSE;
        return WindowBase::OnMessage(msg, wp, lp);
    }

private:
    bool refuse_;
};

bool Saw(const Probe& p, UINT msg) {
    for (UINT m : p.seen)
        if (m == msg) return true;
    return false;
}

}  // namespace

TEST_CASE("the object gets its window's messages from WM_NCCREATE to WM_NCDESTROY, and only its own") {
    Probe a, b;
    REQUIRE(a.Handle() != nullptr);
    REQUIRE(b.Handle() != nullptr);
    CHECK(a.Handle() != b.Handle());
    // The handle is known from the very first message the object sees, which is WM_NCCREATE.
    REQUIRE_FALSE(a.seen.empty());
    CHECK(a.seen.front() == WM_NCCREATE);
    CHECK(a.handleAtFirstMessage == a.Handle());
    CHECK(a.handleAtCreate == a.Handle());

    // Each window's messages reach its own object.
    size_t aBefore = a.seen.size(), bBefore = b.seen.size();
    SendMessageW(b.Handle(), WM_USER + 7, 0, 0);
    CHECK(a.seen.size() == aBefore);
    REQUIRE(b.seen.size() == bBefore + 1);
    CHECK(b.seen.back() == WM_USER + 7);

    // Destroyed: the last message is WM_NCDESTROY and the object forgets the handle.
    HWND h = a.Handle();
    DestroyWindow(h);
    CHECK(a.Handle() == nullptr);
    CHECK(a.seen.back() == WM_NCDESTROY);
    size_t after = a.seen.size();
    SendMessageW(h, WM_USER + 8, 0, 0);
    CHECK(a.seen.size() == after);
}

TEST_CASE("a window whose creation is refused leaves no handle; a window goes with its object") {
    Probe refused(true);
    CHECK(refused.Handle() == nullptr);
    CHECK(Saw(refused, WM_NCCREATE));
    CHECK_FALSE(Saw(refused, WM_CREATE));

    HWND h;
    {
        Probe p;
        h = p.Handle();
        REQUIRE(IsWindow(h));
    }
    CHECK_FALSE(IsWindow(h));
}

TEST_CASE("the main, history and progress windows share one window procedure") {
    test::RegistrySandbox sb;
    DeleteFileA((ProgramFolder() + "Set.ini").c_str());
    std::unique_ptr<TForm1> main(new TForm1);
    REQUIRE(main->Create(GetModuleHandleW(nullptr)));
    TForm2 history(main->Handle());
    TForm3 progress(main->Handle());
    Probe probe;
    REQUIRE(history.Handle() != nullptr);
    REQUIRE(progress.Handle() != nullptr);
    auto procedureOf = [](HWND h) { return GetClassLongPtrW(h, GCLP_WNDPROC); };
    CHECK(procedureOf(main->Handle()) == procedureOf(probe.Handle()));
    CHECK(procedureOf(history.Handle()) == procedureOf(probe.Handle()));
    CHECK(procedureOf(progress.Handle()) == procedureOf(probe.Handle()));
    // A second main window registers nothing new and still works.
    std::unique_ptr<TForm1> second(new TForm1);
    CHECK(second->Create(GetModuleHandleW(nullptr)));
    CHECK(IsWindow(second->Handle()));
    second.reset();
    main.reset();
    DeleteFileA((ProgramFolder() + "Set.ini").c_str());
}
