// The main window stays answerable while work runs: keys and Stop during a flood of Findings or a
// long UI-thread step, and what arrives at the window while a repair waits.
#include <doctest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

#include "app/MainWindow.h"
#include "platform/FileSystem.h"
#include "platform/MessagePump.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "strings.h"
#include "support/MainWindowFixture.h"
#include "support/Sandbox.h"
#include "support/WindowProbes.h"

using namespace tw;
using namespace tw::test;

namespace {

// A key as the keyboard gives it to the focused control; Ctrl is held in the thread's key state
// while the key waits in the queue, as the accelerator translation reads it from there.
struct Keys {
    Keys(HWND target, UINT vk, bool ctrl) : ctrl_(ctrl) {
        if (ctrl_) SetCtrl(true);
        PostMessageW(target, WM_KEYDOWN, vk, 1);
        PostMessageW(target, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
    }
    ~Keys() {
        if (ctrl_) SetCtrl(false);
    }
    static void SetCtrl(bool down) {
        BYTE state[256];
        GetKeyboardState(state);
        state[VK_CONTROL] = down ? 0x80 : 0;
        state[VK_LCONTROL] = down ? 0x80 : 0;
        SetKeyboardState(state);
    }
    bool ctrl_;
};

// As PumpUntil; returns the milliseconds it took, or -1 after `ms`.
long PumpProgramUntil(const std::function<bool()>& cond, DWORD ms) {
    const DWORD start = GetTickCount();
    return PumpUntil(cond, ms) ? static_cast<long>(GetTickCount() - start) : -1;
}

// A hive worker that reports Findings without pause until it is stopped.
class FloodThread : public WorkerThread {
public:
    explicit FloodThread(ScanSink& sink) : sink_(sink) {}

protected:
    void Execute() override {
        for (int i = 0; !Terminated(); ++i)
            sink_.AddFinding(Finding{"HKEY_CURRENT_USER", "Software\\Flood", std::to_string(i), "", 0, FindingKind::RegistryValue});
        sink_.Flush();
    }

private:
    ScanSink& sink_;
};

// When the window began to be destroyed (0: not yet). Under Wine without a window manager,
// hiding a window waits for the display for a while, so its end is no measure of the program.
DWORD g_destroyStarted = 0;
HWND g_watched = nullptr;

LRESULT CALLBACK WatchDestroy(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_DESTROYWND && reinterpret_cast<HWND>(wp) == g_watched && !g_destroyStarted)
        g_destroyStarted = GetTickCount();
    return CallNextHookEx(nullptr, code, wp, lp);
}

struct DestroyWatch {
    explicit DestroyWatch(HWND hwnd) {
        g_watched = hwnd;
        g_destroyStarted = 0;
        hook = SetWindowsHookExW(WH_CBT, WatchDestroy, nullptr, GetCurrentThreadId());
    }
    ~DestroyWatch() { UnhookWindowsHookEx(hook); }
    HHOOK hook;
};

void TickOnly(MainWindow& f, int row) {
    HWND chk = f.Checklist();
    for (int i = 0; i < ListView_GetItemCount(chk); ++i) ListView_SetCheckState(chk, i, i == row);
}

struct KeyCase {
    const char* name;
    UINT vk;
    bool ctrl;
    bool closes;  // F10 and Close end the program, Ctrl+S stops the scan
};
const KeyCase kKeyCases[] = {
    {"Ctrl+S stops", 'S', true, false},
    {"F10 exits", VK_F10, false, true},
    {"Close exits", 0, false, true},
};

}  // namespace

TEST_CASE("Stop, F10 and Close act within a second while a worker floods the list with Findings") {
    for (const KeyCase& k : kKeyCases) {
        CAPTURE(std::string(k.name));
        Window w;
        MainWindow& f = *w.form;
        DestroyWatch watch(f.Handle());
        // Two hive workers, as when both user hives hold many stale values.
        HWND chk = f.Checklist();
        for (int i = 0; i < ListView_GetItemCount(chk); ++i) ListView_SetCheckState(chk, i, i == 7 || i == 8);
        for (ChecklistRow row : {kRowCurrentUser, kRowAllUsers, kRowMachine})
            f.Driver().Categories().Row(row).thread = [](const ScanContext&, ScanSink& sink) {
                return std::unique_ptr<WorkerThread>(new FloodThread(sink));
            };
        f.Command(IDM_SCAN);
        // Let the flood fill the list for a while.
        REQUIRE(PumpProgramUntil([&] { return f.Findings().Count() >= 5000; }, 20000) >= 0);
        // The list grows during the scan.
        CHECK(PumpProgramUntil([&] { return ListView_GetItemCount(f.ReportList()) > 0; }, 1000) >= 0);

        HWND hwnd = f.Handle();
        long took;
        {
            std::unique_ptr<Keys> keys;
            DWORD start = GetTickCount();
            if (k.vk)
                keys.reset(new Keys(f.ReportList(), k.vk, k.ctrl));
            else
                PostMessageW(hwnd, WM_CLOSE, 0, 0);
            if (k.closes) {
                REQUIRE(PumpProgramUntil([&] { return !IsWindow(hwnd); }, 10000) >= 0);
                took = static_cast<long>(g_destroyStarted - start);
            } else {
                took = PumpProgramUntil([&] { return f.Driver().Idle(); }, 10000);
            }
        }
        CHECK(took >= 0);
        CHECK(took < 1000);
        if (!k.closes) {
            CHECK(WindowText(f.Control(ID_SCAN_BUTTON)) == "扫描");
            CHECK(f.StatusText() == LoadText(IDS_SCAN_STOPPED_AFTER_THREADS, {f.Findings().Count(), ""}));
            CHECK(ListView_GetItemCount(f.ReportList()) == f.Findings().Count());
        }
    }
}

TEST_CASE("Ctrl+S and F10 reach the window during a long scan step on the UI thread") {
    for (const KeyCase& k : kKeyCases) {
        if (!k.vk) continue;
        CAPTURE(std::string(k.name));
        Window w;
        MainWindow& f = *w.form;
        TickOnly(f, 0);
        DWORD stepMs = 0;
        f.Driver().Categories().Row(kRowSoftware).step = [&stepMs](const ScanContext& ctx, ScanSink& sink) {
            DWORD start = GetTickCount();
            while (ctx.scanning() && GetTickCount() - start < 5000) sink.ProcessMessages();
            stepMs = GetTickCount() - start;
        };
        HWND hwnd = f.Handle();
        {
            // Typed before the step starts: the step's pauses are where the key gets through.
            Keys keys(f.ReportList(), k.vk, k.ctrl);
            f.Command(IDM_SCAN);
        }
        CHECK(stepMs < 1000);
        CHECK(WindowText(f.Control(ID_SCAN_BUTTON)) == "扫描");
        if (k.closes) CHECK(PumpProgramUntil([&] { return !IsWindow(hwnd); }, 2000) >= 0);
        else CHECK(f.StatusText() == LoadText(IDS_SCAN_STOPPED, {0, ""}));
    }
}

namespace {

// What arrives at the window while a repair waits: a click on a report-list header or on Scan.
enum class Intruder { HeaderClick, ScanClick };
// Where the repair waits: in its question, or between the levels of a key's deletion.
enum class Pause { Question, Deletion };

struct RepairDuringPauseCase {
    UINT command;
    Pause pause;
    Intruder intruder;
};

}  // namespace

TEST_CASE("a header click or a Scan while a repair waits deletes nothing else and marks the right rows") {
    const RepairDuringPauseCase cases[] = {
        {ID_REPAIR_BUTTON, Pause::Question, Intruder::HeaderClick},
        {ID_REPAIR_BUTTON, Pause::Question, Intruder::ScanClick},
        {ID_REPAIR_BUTTON, Pause::Deletion, Intruder::HeaderClick},
        {ID_REPAIR_BUTTON, Pause::Deletion, Intruder::ScanClick},
        {ID_REPAIR_ALL_BUTTON, Pause::Question, Intruder::HeaderClick},
        {ID_REPAIR_ALL_BUTTON, Pause::Question, Intruder::ScanClick},
        {ID_REPAIR_ALL_BUTTON, Pause::Deletion, Intruder::HeaderClick},
        {ID_REPAIR_ALL_BUTTON, Pause::Deletion, Intruder::ScanClick},
    };
    for (const RepairDuringPauseCase& c : cases) {
        const bool all = c.command == ID_REPAIR_ALL_BUTTON;
        CAPTURE(all);
        CAPTURE(static_cast<int>(c.pause));
        CAPTURE(static_cast<int>(c.intruder));
        RegistrySandbox sb;
        // The rows' targets: a key with a subtree (its deletion lets messages run between
        // levels) and two values. Around them, keys that no row names, among them first-level
        // keys named like the subtree's keys.
        MakeKey(HKEY_CURRENT_USER, "Software\\A\\s1\\s2");
        SetString(HKEY_CURRENT_USER, "Software\\Z", "v", "C:\\gone.exe");
        SetString(HKEY_LOCAL_MACHINE, "Software\\M", "w", "C:\\gone.exe");
        SetString(HKEY_CURRENT_USER, "Software\\Keep", "k", "1");
        SetString(HKEY_CURRENT_USER, "s1", "k", "1");
        SetString(HKEY_CURRENT_USER, "B", "k", "1");
        SetString(HKEY_LOCAL_MACHINE, "Software\\Keep", "k", "1");

        Window w;
        MainWindow& f = *w.form;
        f.SelectAllClick();  // nothing ticked: a Scan that gets through clears the list at once
        f.AddFinding(Finding{"HKEY_CURRENT_USER", "Software\\A", "", "", 0, FindingKind::RegistryKey});
        f.AddFinding(Finding{"HKEY_CURRENT_USER", "Software\\Z", "v", "C:\\gone.exe", 0, FindingKind::RegistryValue});
        f.AddFinding(Finding{"HKEY_LOCAL_MACHINE", "Software\\M", "w", "C:\\gone.exe", 0, FindingKind::RegistryValue});
        f.SetRepairControls(true);
        f.SelectRow(0);

        NMLISTVIEW header{};  // a click on "位置": sorting by it reverses these rows
        header.hdr.hwndFrom = f.ReportList();
        header.hdr.idFrom = ID_REPORT_LIST;
        header.hdr.code = LVN_COLUMNCLICK;
        header.iItem = -1;
        header.iSubItem = 1;
        auto intrude = [&](bool post) {
            const UINT msg = c.intruder == Intruder::HeaderClick ? WM_NOTIFY : WM_COMMAND;
            const WPARAM wp = c.intruder == Intruder::HeaderClick ? ID_REPORT_LIST : ID_SCAN_BUTTON;
            const LPARAM lp = c.intruder == Intruder::HeaderClick ? reinterpret_cast<LPARAM>(&header) : 0;
            if (post)
                PostMessageW(f.Handle(), msg, wp, lp);
            else
                SendMessageW(f.Handle(), msg, wp, lp);
        };

        ScopedSeams seams;
        std::vector<std::string> shown;
        std::vector<HWND> owners;
        seams->messageBox = [&](HWND owner, const std::string& text, const std::string&, UINT) {
            shown.push_back(text);
            owners.push_back(owner);
            const bool confirmation = text.find("确认吗") != std::string::npos ||
                                      text.find("确定吗") != std::string::npos;
            if (c.pause == Pause::Question && confirmation) intrude(false);
            // No backup before repair all; OK to everything else.
            return text.find("建议在全部删除前") != std::string::npos ? IDCANCEL : IDOK;
        };
        if (c.pause == Pause::Deletion) intrude(true);  // waits in the queue for the deletion's pause
        f.Command(c.command);

        // The deletion's pause took what was waiting.
        MSG left;
        CHECK_FALSE(PeekMessageW(&left, f.Handle(), WM_NOTIFY, WM_NOTIFY, PM_NOREMOVE));
        CHECK_FALSE(PeekMessageW(&left, f.Handle(), WM_COMMAND, WM_COMMAND, PM_NOREMOVE));

        // Only the rows' own targets are gone.
        CHECK_FALSE(KeyPresent(HKEY_CURRENT_USER, "Software\\A"));
        CHECK(ValuePresent(HKEY_CURRENT_USER, "Software\\Z", "v") == !all);
        CHECK(ValuePresent(HKEY_LOCAL_MACHINE, "Software\\M", "w") == !all);
        CHECK(KeyPresent(HKEY_CURRENT_USER, "Software\\Z"));
        CHECK(ValuePresent(HKEY_CURRENT_USER, "Software\\Keep", "k"));
        CHECK(ValuePresent(HKEY_CURRENT_USER, "s1", "k"));
        CHECK(ValuePresent(HKEY_CURRENT_USER, "B", "k"));
        CHECK(ValuePresent(HKEY_LOCAL_MACHINE, "Software\\Keep", "k"));

        // Exactly the repaired rows carry the mark, and the rows stay where they were.
        CHECK(f.Findings().Count() == 3);
        const char* order[3] = {"Software\\A", "Software\\Z", "Software\\M"};
        for (int i = 0; i < f.Findings().Count(); ++i) {
            const Finding& row = f.Findings().At(i);
            CAPTURE(row.location);
            CHECK(row.Repaired() == (all || row.location == "Software\\A"));
            if (i < 3) CHECK(row.location == order[i]);
        }
        // The questions (and the summary of every row's repair) only, no error; each owned by
        // the window.
        CHECK(shown.size() == (all ? 3u : 1u));
        for (HWND owner : owners) CHECK(owner == f.Handle());
        // And the window takes commands again afterwards.
        CHECK(IsWindowEnabled(f.Handle()));
    }
}

