#include <doctest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/LoadText.h"
#include "platform/MessagePump.h"
#include "platform/Seams.h"
#include "platform/Threads.h"
#include "platform/Volumes.h"
#include "scan/Checklist.h"
#include "scan/ScanDriver.h"
#include "scanners/HandOverSink.h"
#include "strings.h"
#include "support/Sandbox.h"

using namespace tw;

namespace {

class FakeView : public ScanView, public ScanSink {
public:
    explicit FakeView(int rows = 12) : ticks(static_cast<size_t>(rows), false) {}
    bool ScanCaptionIsStart() override { return !scanning; }
    void SetScanCaptions(bool on) override { scanning = on; }
    void ResetScanHints() override { ++hintResets; }
    void SetSelectAllEnabled(bool on) override { selectAll = on; }
    void SetRepairControls(bool on) override { repair = on; }
    void SetStatus(const std::string& text) override { status = text; statuses.push_back(text); }
    int ChecklistRowCount() override { return static_cast<int>(ticks.size()); }
    bool IsRowTicked(int row) override { return ticks.at(static_cast<size_t>(row)); }
    int ChecklistIndexOf(ChecklistRow row) override {
        return layout.empty() ? ScanView::ChecklistIndexOf(row) : tw::ChecklistIndexOf(layout, row);
    }
    int FindingCount() override { return static_cast<int>(findings.size()); }
    void ClearFindings() override { findings.clear(); }
    ScanSink& Sink() override { return *this; }
    void ProcessMessages() override { tw::ProcessMessages(); }
    void AddFinding(const Finding& f) override { findings.push_back(f); }
    void ShowStatus(const std::string& text) override { SetStatus(text); }
    bool ConfirmOnMultiBoot(ChecklistRow row) override {
        asked.push_back(row);
        return multiBootAnswer;
    }
    void ReportEndedEarly(const std::vector<EndedEarly>& e) override { ended.push_back(e); }

    void Tick(std::initializer_list<int> rows) {
        for (int r : rows) ticks.at(static_cast<size_t>(r)) = true;
    }

    std::vector<bool> ticks;
    std::vector<ChecklistItem> layout;  // empty: the rows as on Windows
    bool scanning = false;  // the Scan button reads "停止"
    std::string status;
    std::vector<std::string> statuses;
    std::vector<Finding> findings;
    bool selectAll = true, repair = false;
    int hintResets = 0;
    std::vector<ChecklistRow> asked;  // the categories the multi-boot question was asked for
    bool multiBootAnswer = false;
    std::vector<std::vector<EndedEarly>> ended;  // each report of categories that ended early
};

// A worker that reports `count` Findings, then waits for its release (or a stop request).
class FakeThread : public WorkerThread {
public:
    FakeThread(ScanSink& sink, std::string name, int count, HANDLE release)
        : sink_(sink), name_(std::move(name)), count_(count), release_(release) {}

protected:
    void Execute() override {
        for (int i = 0; i < count_ && !Terminated(); ++i)
            sink_.AddFinding(Finding{"HKEY_CURRENT_USER", name_, std::to_string(i), "", 0, FindingKind::RegistryValue});
        while (release_ && !Terminated() && WaitForSingleObject(release_, 5) == WAIT_TIMEOUT) {
        }
        // Keep handing over until asked to stop, when told to flood.
        while (count_ < 0 && !Terminated()) sink_.AddFinding(Finding{"HKEY_USERS", name_, "", "", 0, FindingKind::RegistryKey});
    }

private:
    ScanSink& sink_;
    std::string name_;
    int count_;
    HANDLE release_;
};

struct Event {
    Event() : h(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Event() { CloseHandle(h); }
    void Set() { SetEvent(h); }
    HANDLE h;
};

// Lets messages run until the condition holds (or a few seconds pass).
bool PumpUntil(const std::function<bool()>& cond, DWORD ms = 5000) { return RunUntil(cond, ms); }

// No scanners, but the system's own file check at the end (the seams answer it).
ScanCategories FileCheckOnly() {
    ScanCategories c;
    c.Row(kRowSystemFiles).step = DefaultScanCategories().Row(kRowSystemFiles).step;
    return c;
}

void SetHiveThreads(ScanCategories& c, const ThreadStep& thread) {
    for (ChecklistRow row : {kRowCurrentUser, kRowAllUsers, kRowMachine}) c.Row(row).thread = thread;
}

ScanCategories HiveCategories(int count, HANDLE release, std::vector<HKEY>* roots = nullptr) {
    ScanCategories c = FileCheckOnly();
    const std::pair<ChecklistRow, HKEY> hives[] = {
        {kRowCurrentUser, HKEY_CURRENT_USER}, {kRowAllUsers, HKEY_USERS}, {kRowMachine, HKEY_LOCAL_MACHINE}};
    for (const auto& hive : hives) {
        const HKEY root = hive.second;
        c.Row(hive.first).thread = [=](const ScanContext&, ScanSink& sink) {
            if (roots) roots->push_back(root);
            return std::unique_ptr<WorkerThread>(new FakeThread(sink, "hive", count, release));
        };
    }
    return c;
}

// The closing status line of a scan of n rows; `afterThreads` when its last worker thread ended it.
std::string DoneLine(int n, bool afterThreads = false, bool stopped = false) {
    if (stopped) return LoadText(afterThreads ? IDS_SCAN_STOPPED_AFTER_THREADS : IDS_SCAN_STOPPED, {n, ""});
    return LoadText(afterThreads ? IDS_SCAN_DONE_AFTER_THREADS : IDS_SCAN_DONE, {n, ""});
}

}  // namespace

TEST_CASE("every shipped category has its own number and caption, and the scanner its thread runs") {
    const ScanCategories shipped = DefaultScanCategories();
    std::set<int> rows;
    std::set<std::string> captions;
    for (const ScanCategory& c : shipped.Rows()) {
        CAPTURE(c.caption);
        CHECK(rows.insert(c.row).second);
        CHECK(captions.insert(LoadText(c.caption)).second);
        CHECK(ChecklistCaption(c.row) == LoadText(c.caption));
        // A scanner of the wrong kind would never run: its category would silently find nothing.
        // (The disk walk of every drive has one more step, after the drives.)
        CHECK(static_cast<bool>(c.step) ==
              (c.runs == RunsOn::UiThread || c.runs == RunsOn::ScanEnd || c.row == kRowDiskFiles));
        CHECK(static_cast<bool>(c.thread) == (c.runs == RunsOn::WorkerThread || c.runs == RunsOn::WorkerFromStart));
        CHECK(static_cast<bool>(c.driveStep) == (c.runs == RunsOn::EachFixedDrive));
    }
    CHECK(rows.size() == static_cast<size_t>(kRowWineDesktop) + 1);
    CHECK(ChecklistCaption(kRowWineDesktop + 1).empty());
}

TEST_CASE("nothing ticked: finished at once with 0 and the closing full stop, repair stays off") {
    FakeView view;
    ScanDriver d(view, ScanContext{}, ScanCategories{});
    int finishes = 0;
    d.onScanFinished = [&] { ++finishes; };
    d.ScanCommand();
    CHECK(view.status == DoneLine(0));
    CHECK_FALSE(view.scanning);
    CHECK_FALSE(view.repair);
    CHECK(view.selectAll);
    CHECK(finishes == 1);
    CHECK(d.Scanning());  // only Stop clears it
    CHECK(d.Idle());
}

TEST_CASE("UI-thread categories run in order and the command finishes the scan") {
    FakeView view;
    view.Tick({0, 1, 3, 4, 5, 6});
    std::vector<std::string> order;
    ScanCategories c;
    auto step = [&order](const char* name) {
        return [&order, name](const ScanContext&, ScanSink& sink) {
            order.push_back(name);
            sink.AddFinding(Finding{"HKEY_LOCAL_MACHINE", name, "", "", 0, FindingKind::RegistryKey});
        };
    };
    c.Row(kRowSoftware).step = step("software");
    c.Row(kRowProgramMenu).step = ProgramMenuStep(
        [&order](const ScanContext&, ScanSink&, const std::string& type) { order.push_back("menu " + type); },
        step("startmenu"));
    c.Row(kRowHelpFiles).step = step("help");
    c.Row(kRowSharedDlls).step = step("dll");
    c.Row(kRowUninstall).step = step("uninstall");
    c.Row(kRowFonts).step = step("fonts");
    c.Row(kRowDiskDirs).step = step("dirs");  // row 11 not ticked
    ScanDriver d(view, ScanContext{}, c);
    view.findings.push_back(Finding{"old", "", "", "", 0, FindingKind::RegistryKey});
    d.ScanCommand();
    CHECK(order == std::vector<std::string>{"software", "menu *", "menu Directory", "menu Drive", "menu Folder",
                                            "startmenu", "help", "dll", "uninstall", "fonts"});
    CHECK(view.findings.size() == 6);  // the old row was cleared first
    CHECK(view.status == DoneLine(6));
    CHECK(view.repair);
    CHECK(view.hintResets == 1);
}

TEST_CASE("after a repair only the scanned categories it may have left rows for are scanned again") {
    FakeView view;
    view.Tick({kRowSoftware, kRowUninstall, kRowDiskDirs});
    std::map<int, int> runs;
    ScanCategories c;
    for (ChecklistRow row : {kRowSoftware, kRowUninstall, kRowDiskDirs, kRowWineDesktop})
        c.Row(row).step = [&runs, row](const ScanContext&, ScanSink& sink) {
            ++runs[row];
            sink.AddFinding(DiskFolderFinding("C:\\row" + std::to_string(row)));
        };
    ScanDriver d(view, ScanContext{}, c);
    d.ScanCommand();
    REQUIRE(view.findings.size() == 3);
    const std::string status = view.status;
    // A shortcut gone may empty its group: the folders are looked at again, nothing else.
    std::vector<Finding> again = d.ScanAfterRepair({DiskFileFinding("C:\\Group\\a.lnk")});
    CHECK(runs == std::map<int, int>{{kRowSoftware, 1}, {kRowUninstall, 1}, {kRowDiskDirs, 2}});
    REQUIRE(again.size() == 1);
    CHECK(again[0].location == "C:\\row11");
    // A value gone may empty its program key.
    d.ScanAfterRepair({RegistryValueFinding("HKEY_LOCAL_MACHINE", "Software\\App", "Path")});
    CHECK(runs[kRowSoftware] == 2);
    // Wine's files on the host only concern Wine's category, which this scan did not run.
    CHECK(d.ScanAfterRepair({DiskFileFinding("/home/u/.local/share/applications/wine/x.desktop")}).empty());
    CHECK(runs.count(kRowWineDesktop) == 0);
    // The list and the status line are the scan's, untouched.
    CHECK(view.findings.size() == 3);
    CHECK(view.status == status);
}

TEST_CASE("hive threads: started in root order, the last completion finishes without the full stop") {
    FakeView view;
    view.Tick({7, 8, 9});
    Event release;
    std::vector<HKEY> roots;
    ScanDriver d(view, ScanContext{}, HiveCategories(2, release.h, &roots));
    int finishes = 0;
    d.onScanFinished = [&] { ++finishes; };
    d.ScanCommand();
    CHECK(roots == std::vector<HKEY>{HKEY_CURRENT_USER, HKEY_USERS, HKEY_LOCAL_MACHINE});
    CHECK(view.scanning);
    CHECK_FALSE(view.selectAll);
    CHECK(d.RunningScans() == 3);
    CHECK(PumpUntil([&] { return view.findings.size() == 6; }));
    CHECK(finishes == 0);
    release.Set();
    CHECK(PumpUntil([&] { return finishes == 1; }));
    CHECK(view.status == DoneLine(6, true));
    CHECK_FALSE(view.scanning);
    CHECK(view.repair);
    CHECK(view.selectAll);
    CHECK(d.RunningScans() == 0);
    CHECK(d.Idle());
}

TEST_CASE("Stop during the hive scan keeps the rows; the completion reports them; no system check") {
    FakeView view(13);
    view.Tick({7, 12});
    Event release;
    ScopedSeams seams;
    int runs = 0;
    seams->runAndWait = [&](const std::string&, const std::string&, DWORD&) { ++runs; return true; };
    ScanDriver d(view, ScanContext{}, HiveCategories(3, release.h));
    int finishes = 0;
    d.onScanFinished = [&] { ++finishes; };
    d.ScanCommand();
    CHECK(PumpUntil([&] { return view.findings.size() == 3; }));
    d.ScanCommand();  // Stop
    CHECK_FALSE(d.Scanning());
    CHECK_FALSE(view.scanning);
    CHECK_FALSE(view.selectAll);  // still off until the finish
    CHECK(PumpUntil([&] { return finishes == 1; }));
    CHECK(view.status == DoneLine(3, true, true));  // the list is incomplete, and says so
    CHECK(view.findings.size() == 3);
    CHECK(runs == 0);
}

TEST_CASE("the system file check runs once after a threaded scan that was not stopped") {
    FakeView view(13);
    view.Tick({8, 12});
    ScopedSeams seams;
    std::vector<std::string> commands;
    seams->runAndWait = [&](const std::string& cmd, const std::string&, DWORD&) {
        commands.push_back(cmd);
        return true;
    };
    ScanContext ctx;
    ctx.windowsDir = "C:\\windows";
    ScanDriver d(view, ctx, HiveCategories(1, nullptr));
    int finishes = 0;
    d.onScanFinished = [&] { ++finishes; };
    d.ScanCommand();
    CHECK(PumpUntil([&] { return finishes == 1; }));
    CHECK(commands == std::vector<std::string>{"C:\\windows\\system32\\sfc.exe /SCANNOW"});
    CHECK(std::find(view.statuses.begin(), view.statuses.end(),
                    LoadText(IDS_SYSTEM_FILE_CHECK_WAIT)) != view.statuses.end());
    CHECK(view.status == DoneLine(1, true));
}

TEST_CASE("a new scan right after a Stop is never finished by the old scan's late completion") {
    FakeView view;
    view.Tick({7});
    Event first, second;
    int made = 0;
    ScanCategories c;
    SetHiveThreads(c, [&](const ScanContext&, ScanSink& sink) {
        // The first scan's thread ignores the stop until released, as a slow key read would.
        HANDLE h = made++ == 0 ? first.h : second.h;
        struct Stubborn : WorkerThread {
            Stubborn(ScanSink& s, HANDLE r) : sink(s), release(r) {}
            void Execute() override {
                WaitForSingleObject(release, 10000);
                sink.AddFinding(Finding{"HKEY_CURRENT_USER", "late", "", "", 0, FindingKind::RegistryKey});
            }
            ScanSink& sink;
            HANDLE release;
        };
        return std::unique_ptr<WorkerThread>(new Stubborn(sink, h));
    });
    ScanDriver d(view, ScanContext{}, c);
    int finishes = 0;
    d.onScanFinished = [&] { ++finishes; };
    d.ScanCommand();  // scan 1
    d.ScanCommand();  // Stop
    d.ScanCommand();  // scan 2
    CHECK(view.scanning);
    first.Set();      // scan 1's thread ends now
    CHECK_FALSE(PumpUntil([&] { return finishes > 0; }, 300));
    CHECK(view.findings.empty());  // its late Finding is not shown in scan 2's list
    CHECK(view.scanning);
    second.Set();
    CHECK(PumpUntil([&] { return finishes == 1; }));
    CHECK(view.findings.size() == 1);
    CHECK(view.status == DoneLine(1, true));
    CHECK(PumpUntil([&] { return d.Idle(); }));
}

TEST_CASE("a worker ending while a UI-thread scanner lets messages run does not finish the scan early") {
    FakeView view;
    view.Tick({7, 0, 3});
    int finishes = 0;
    std::vector<std::string> finishedDuring;
    ScanCategories c = HiveCategories(1, nullptr);
    c.Row(kRowSoftware).step = [&](const ScanContext&, ScanSink& sink) {
        // Long enough for the hive thread to end and its completion to arrive here.
        PumpUntil([&] { return view.findings.size() == 1; });
        Sleep(50);
        sink.ProcessMessages();
        if (finishes) finishedDuring.push_back("software");
        sink.AddFinding(Finding{"HKEY_LOCAL_MACHINE", "sw", "", "", 0, FindingKind::RegistryKey});
    };
    c.Row(kRowHelpFiles).step = [&](const ScanContext&, ScanSink&) {
        if (finishes) finishedDuring.push_back("help");
    };
    ScanDriver d(view, ScanContext{}, c);
    d.onScanFinished = [&] { ++finishes; };
    d.ScanCommand();
    CHECK(finishedDuring.empty());
    CHECK(finishes == 1);
    CHECK(view.status == DoneLine(2));
    PumpUntil([] { return false; }, 100);
    CHECK(finishes == 1);
}

TEST_CASE("shutting down mid-scan stops and joins workers that are handing Findings over") {
    FakeView view;
    view.Tick({7, 8, 9});
    {
        ScanDriver d(view, ScanContext{}, HiveCategories(-1, nullptr));
        d.ScanCommand();
        CHECK(PumpUntil([&] { return view.findings.size() > 10; }));
        d.Shutdown();
        size_t after = view.findings.size();
        PumpUntil([] { return false; }, 100);
        CHECK(view.findings.size() == after);  // nothing reaches the view any more
        d.ScanCommand();                        // and no new scan starts
        CHECK(view.findings.size() == after);
    }
}

TEST_CASE("disk-file step: fixed drives only, never A:, multi-boot question on the 98 family") {
    ScopedSeams seams;
    seams->driveType = [](const std::string& root) {
        return static_cast<UINT>(root == "C:\\" ? DRIVE_FIXED : DRIVE_CDROM);
    };
    std::vector<std::string> walked;
    int dirs = 0;
    ScanCategories c;
    c.Row(kRowDiskFiles).driveStep = [&](const ScanContext& ctx, ScanSink&, const std::string& root) {
        CHECK(ctx.scanning());
        walked.push_back(root);
    };
    c.Row(kRowDiskDirs).step = [&](const ScanContext&, ScanSink&) { ++dirs; };

    FakeView view;
    view.Tick({10, 11});
    ScanContext ctx;
    ctx.os = OsFamily(5);
    {
        ScanDriver d(view, ctx, c);
        d.SetMultiBoot(true);
        d.ScanCommand();
        CHECK(view.asked.empty());  // only the 98 family is asked
        CHECK(walked == std::vector<std::string>{"C:\\"});
        CHECK(dirs == 1);
    }
    walked.clear();
    ctx.os = OsFamily(4);
    {
        ScanDriver d(view, ctx, c);
        d.SetMultiBoot(true);
        d.ScanCommand();
        CHECK(view.asked == std::vector<ChecklistRow>{kRowDiskFiles});
        CHECK(walked.empty());  // No skips the shortcut walk...
        CHECK(dirs == 2);       // ...but not the directory walk
        view.multiBootAnswer = true;
        d.ScanCommand();
        CHECK(walked == std::vector<std::string>{"C:\\"});
    }
}

TEST_CASE("a scanner's error ends its category only: the rows stay, the next categories run, the end says so") {
    FakeView view;
    view.Tick({5, 6});
    bool fontsRan = false;
    ScanCategories c;
    c.Row(kRowUninstall).step = [](const ScanContext&, ScanSink& sink) {
        sink.AddFinding(Finding{"HKEY_LOCAL_MACHINE", "x", "", "", 0, FindingKind::RegistryKey});
        throw std::runtime_error("Invalid data type for 'DisplayName'");
    };
    c.Row(kRowFonts).step = [&](const ScanContext&, ScanSink&) { fontsRan = true; };
    ScanDriver d(view, ScanContext{}, c);
    d.ScanCommand();
    // One report at the end, naming the category and the error.
    REQUIRE(view.ended.size() == 1);
    REQUIRE(view.ended[0].size() == 1);
    CHECK(view.ended[0][0].row == kRowUninstall);
    CHECK(view.ended[0][0].why == "Invalid data type for 'DisplayName'");
    CHECK(fontsRan);  // the next category still runs
    CHECK(view.findings.size() == 1);
    CHECK_FALSE(view.scanning);
    CHECK(view.selectAll);
    CHECK(view.status == LoadText(IDS_SCAN_DONE, {1, LoadText(IDS_SCAN_ENDED_EARLY_NOTE, {1})}));
}

namespace {

// The driver with the program's own scanners on a sandboxed registry, the error display
// answered by the test.
struct RealScan {
    tw::test::RegistrySandbox sandbox;
    FakeView view;
    int finishes = 0;

    void Run(std::initializer_list<int> rows) {
        view.Tick(rows);
        ScanDriver d(view, ScanContext{}, DefaultScanCategories());
        d.onScanFinished = [this] { ++finishes; };
        d.ScanCommand();
        PumpUntil([&] { return d.Idle(); });
    }
    int ClosingLines() const {
        const std::string closing = LoadText(IDS_SCAN_DONE).substr(0, LoadText(IDS_SCAN_DONE).find("%"));
        return static_cast<int>(std::count_if(view.statuses.begin(), view.statuses.end(), [&](const std::string& s) {
            return s.rfind(closing, 0) == 0;
        }));
    }
};

const char kUninstallList[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kHandlers[] = "Software\\CLASSES\\*\\shellex\\ContextMenuHandlers\\";

}  // namespace

TEST_CASE("a display name or a handler that is not text: its category ends, the others run, told once at the end") {
    RealScan scan;
    EndedEarly expected;
    SUBCASE("uninstall entries") {
        tw::test::MakeKey(HKEY_LOCAL_MACHINE, kUninstallList + std::string("AAA"));
        tw::test::SetBinary(HKEY_LOCAL_MACHINE, kUninstallList + std::string("BBB"), "DisplayName", "xy");
        tw::test::MakeKey(HKEY_LOCAL_MACHINE, kUninstallList + std::string("CCC"));
        tw::test::MakeKey(HKEY_LOCAL_MACHINE, "Software\\EmptyProgram");  // row 0, before the error
        scan.Run({0, 5, 6});
        expected = {kRowUninstall, "HKEY_LOCAL_MACHINE\\" + std::string(kUninstallList) +
                                       "BBB：Invalid data type for 'DisplayName'"};
        CHECK(scan.view.findings.size() == 3);  // the empty program key, AAA and BBB; CCC never examined
    }
    SUBCASE("context-menu handlers, with a hive thread running beside them") {
        tw::test::MakeKey(HKEY_LOCAL_MACHINE, "Software\\CLASSES\\CLSID");
        tw::test::SetString(HKEY_LOCAL_MACHINE, kHandlers + std::string("Bad"), "", "{22222222-0000-0000-0000-000000000002}");
        tw::test::SetDword(HKEY_LOCAL_MACHINE, kHandlers + std::string("Number"), "", 7);
        tw::test::SetString(HKEY_CURRENT_USER, "Software\\Old", "Path", "C:\\twgone\\gone.exe");
        scan.Run({1, 3, 7});
        expected = {kRowProgramMenu, "HKEY_LOCAL_MACHINE\\" + std::string(kHandlers) + "Number：Invalid data type for ''"};
        // The handler listed before the bad one, and the hive thread's own Finding.
        CHECK(scan.view.findings.size() == 2);
    }
    REQUIRE(scan.view.ended.size() == 1);
    REQUIRE(scan.view.ended[0].size() == 1);
    CHECK(scan.view.ended[0][0].row == expected.row);
    CHECK(scan.view.ended[0][0].why == expected.why);
    CHECK(scan.finishes == 1);
    CHECK(scan.ClosingLines() == 1);
    CHECK_FALSE(scan.view.scanning);
    CHECK(scan.view.selectAll);
    CHECK(scan.view.repair);
}

namespace {

// Records the Findings it is given and on which thread, and how far the worker was ahead.
class RecordingSink : public ScanSink {
public:
    void AddFinding(const Finding& f) override {
        threads.push_back(GetCurrentThreadId());
        keys.push_back(f.keyName);
        LONG lead = InterlockedCompareExchange(&produced, 0, 0) - static_cast<LONG>(keys.size());
        if (lead > maxLead) maxLead = lead;
        // A slow list now and then: the worker must wait for it rather than run away.
        if (keys.size() % 500 == 0) Sleep(30);
    }
    void ShowStatus(const std::string&) override {}
    void ProcessMessages() override {}

    std::vector<DWORD> threads;
    std::vector<std::string> keys;
    LONG produced = 0;
    LONG maxLead = 0;
};

class CountingThread : public WorkerThread {
public:
    CountingThread(ScanSink& sink, LONG& produced, int count) : sink_(sink), produced_(produced), count_(count) {}

protected:
    void Execute() override {
        for (int i = 0; i < count_ && !Terminated(); ++i) {
            InterlockedIncrement(&produced_);
            sink_.AddFinding(Finding{"HKEY_CURRENT_USER", "k", std::to_string(i), "", 0, FindingKind::RegistryValue});
        }
        sink_.Flush();
    }

private:
    ScanSink& sink_;
    LONG& produced_;
    int count_;
};

LRESULT CALLBACK RefuseWindows(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_CREATEWND) return 1;
    return CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace

TEST_CASE("hand-over: every Finding arrives once, in order, on the UI thread, the worker kept close behind") {
    UiDispatcher ui;
    RecordingSink target;
    HandOverSink handOver(ui, target);
    const int n = 5000;
    CountingThread t(handOver, target.produced, n);
    handOver.SetProducer(&t);
    REQUIRE(t.Start());
    HANDLE h = t.Handle();
    WaitPumping(&h, 1);
    ProcessMessages();
    REQUIRE(target.keys.size() == static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        if (target.keys[static_cast<size_t>(i)] != std::to_string(i)) {
            FAIL("Finding " << i << " arrived as " << target.keys[static_cast<size_t>(i)]);
            break;
        }
    }
    CHECK(std::count(target.threads.begin(), target.threads.end(), GetCurrentThreadId()) == n);
    CHECK(target.maxLead <= static_cast<LONG>(2 * HandOverSink::kMaxBatch + 1));
}

TEST_CASE("hand-over: each Finding arrives whole; of status texts in a row only the newest is shown") {
    struct Log : ScanSink {
        void AddFinding(const Finding& f) override {
            findings.push_back(f);
            events.push_back("F");
        }
        void ShowStatus(const std::string& text) override { events.push_back("S:" + text); }
        void ProcessMessages() override {}
        std::vector<Finding> findings;
        std::vector<std::string> events;
    } target;
    Finding odd{"HKEY_USERS", std::string("S-1\\\xB1\x5C\0tail", 11), std::string("\0", 1),
                std::string(5000, 'd'), kImageSharedDll, FindingKind::RegistryDefaultValue};
    odd.missingPaths = {"C:\\a\xB1\x5C", "", std::string(300, 'p')};
    odd.missingRule = Finding::Missing::NoProgram;
    Finding blank{"", "", "", "", kImageFresh, FindingKind::RegistryKey};
    UiDispatcher ui;
    HandOverSink handOver(ui, target);
    UniqueKernelHandle handed(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    struct Worker : WorkerThread {
        Worker(ScanSink& s, HANDLE e, const Finding& a, const Finding& b) : sink(s), done(e), odd(a), blank(b) {}
        void Execute() override {
            sink.ShowStatus("a");
            sink.ShowStatus("b");
            sink.AddFinding(odd);
            sink.ShowStatus("c");
            sink.AddFinding(blank);
            sink.ShowStatus("d");
            sink.ShowStatus(std::string(300, 'e'));
            SetEvent(done);
            sink.Flush();
        }
        ScanSink& sink;
        HANDLE done;
        const Finding &odd, &blank;
    } worker(handOver, handed.get(), odd, blank);
    handOver.SetProducer(&worker);
    REQUIRE(worker.Start());
    // Everything waits in one batch before the UI thread takes any of it.
    REQUIRE(WaitForSingleObject(handed.get(), 5000) == WAIT_OBJECT_0);
    HANDLE h = worker.Handle();
    WaitPumping(&h, 1);
    CHECK(target.events == std::vector<std::string>{"S:b", "F", "S:c", "F", "S:" + std::string(300, 'e')});
    REQUIRE(target.findings.size() == 2u);
    CHECK(target.findings[0] == odd);
    CHECK(target.findings[0].missingPaths == odd.missingPaths);
    CHECK(target.findings[0].missingRule == odd.missingRule);
    CHECK(target.findings[1] == blank);
    CHECK(target.findings[1].missingPaths.empty());
}

TEST_CASE("without a dispatcher window a hand-over fails and ends the worker; no window code runs on it") {
    HHOOK hook = SetWindowsHookExW(WH_CBT, RefuseWindows, nullptr, GetCurrentThreadId());
    REQUIRE(hook);
    std::unique_ptr<UiDispatcher> ui(new UiDispatcher);
    UnhookWindowsHookEx(hook);
    REQUIRE(ui->Window() == nullptr);

    RecordingSink target;
    HandOverSink handOver(*ui, target);
    FakeThread flood(handOver, "flood", -1, nullptr);  // reports until it is stopped
    handOver.SetProducer(&flood);
    REQUIRE(flood.Start());
    CHECK(WaitForSingleObject(flood.Handle(), 5000) == WAIT_OBJECT_0);
    CHECK(flood.Terminated());
    ProcessMessages();
    CHECK(target.keys.empty());

    // The completion's hand-over refuses too, rather than running the call on the worker.
    struct PostThread : WorkerThread {
        explicit PostThread(UiDispatcher& d) : ui(d) {}
        void Execute() override { refused = !ui.Post([this] { ranOn = GetCurrentThreadId(); }); }
        UiDispatcher& ui;
        DWORD ranOn = 0;
        bool refused = false;
    } caller(*ui);
    REQUIRE(caller.Start());
    WaitForSingleObject(caller.Handle(), 5000);
    CHECK(caller.refused);
    CHECK(caller.ranOn == 0u);
}

TEST_CASE("the system file check ends a scan without worker threads too, once, with the window disabled") {
    struct Row { int rows; std::vector<int> ticks; bool stopDuringScan; int checks; bool wine = false; int wineSteps = 0; };
    const Row table[] = {
        {13, {0, 12}, false, 1},   // the user ticked it: it runs at the scan's end
        {13, {0}, false, 0},       // not ticked
        {13, {0, 12}, true, 0},    // a stopped scan never runs it
        {12, {0, 11}, false, 0},   // no such row on this system
        // Under Wine the Wine row stands at 12 and the system-file row, where there is one, after it.
        {14, {0, 13}, false, 1, true, 0},
        {14, {0, 12}, false, 0, true, 1},
        {13, {0, 12}, false, 0, true, 1},
    };
    for (const Row& r : table) {
        CAPTURE(r.checks);
        CAPTURE(r.rows);
        struct WindowView : FakeView {
            using FakeView::FakeView;
            HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
            ~WindowView() override { DestroyWindow(window); }
            HWND OwnerWindow() override { return window; }
        } view(r.rows);
        for (int row : r.ticks) view.ticks.at(static_cast<size_t>(row)) = true;
        for (int i = 0; r.wine && i < r.rows; ++i) {
            view.layout.push_back(ChecklistItem{});
            view.layout.back().row = i < kRowSystemFiles ? i : i == kRowSystemFiles ? kRowWineDesktop : kRowSystemFiles;
        }
        int wineSteps = 0;
        ScopedSeams seams;
        std::vector<bool> enabledDuring;
        size_t findingsAtCheck = 0;
        seams->runAndWait = [&](const std::string& cmd, const std::string&, DWORD&) {
            CHECK(cmd == "C:\\windows\\system32\\sfc.exe /SCANNOW");
            CHECK(view.status == LoadText(IDS_SYSTEM_FILE_CHECK_WAIT));
            enabledDuring.push_back(IsWindowEnabled(view.window) != FALSE);
            findingsAtCheck = view.findings.size();
            return true;
        };
        ScanContext ctx;
        ctx.windowsDir = "C:\\windows";
        ScanDriver* driver = nullptr;
        ScanCategories c = FileCheckOnly();
        c.Row(kRowSoftware).step = [&](const ScanContext&, ScanSink& sink) {
            sink.AddFinding(Finding{"HKEY_LOCAL_MACHINE", "sw", "", "", 0, FindingKind::RegistryKey});
            if (r.stopDuringScan) driver->ScanCommand();  // Stop, as it arrives during a pause
        };
        c.Row(kRowWineDesktop).step = [&](const ScanContext&, ScanSink&) { ++wineSteps; };
        ScanDriver d(view, ctx, c);
        driver = &d;
        d.ScanCommand();
        CHECK(enabledDuring == std::vector<bool>(static_cast<size_t>(r.checks), false));
        CHECK(wineSteps == r.wineSteps);
        if (r.checks) CHECK(findingsAtCheck == 1);  // after the last step
        CHECK(IsWindowEnabled(view.window));
        CHECK(view.status == DoneLine(1, false, r.stopDuringScan));
    }
}

TEST_CASE("the disk step walks the fixed drives but never the one that maps the host's root") {
    ScopedSeams seams;
    seams->driveType = [](const std::string&) { return static_cast<UINT>(DRIVE_FIXED); };
    FakeView view;
    view.Tick({10});
    std::vector<std::string> walked;
    ScanCategories c;
    c.Row(kRowDiskFiles).driveStep = [&](const ScanContext&, ScanSink&, const std::string& root) { walked.push_back(root); };
    ScanDriver d(view, ScanContext{}, c);
    d.ScanCommand();
    CHECK(std::find(walked.begin(), walked.end(), "C:\\") != walked.end());
    for (const std::string& root : walked) CHECK_FALSE(IsHostRootDrive(root));
    if (IsHostRootDrive("Z:\\")) CHECK(std::find(walked.begin(), walked.end(), "Z:\\") == walked.end());
}

TEST_CASE("Stop arriving during a drive walk ends the walk and the directory step; the scan finishes once") {
    struct StopView : FakeView {
        ScanDriver* driver = nullptr;
        int pumps = 0, pumpsAfterStop = 0;
        void ProcessMessages() override {
            if (!driver->Scanning()) ++pumpsAfterStop;
            if (++pumps == 5) driver->ScanCommand();
        }
    } view;
    view.Tick({10, 11});
    ScopedSeams seams;
    seams->driveType = [](const std::string& root) {
        return static_cast<UINT>(root == "C:\\" ? DRIVE_FIXED : DRIVE_CDROM);
    };
    int walks = 0, dirs = 0;
    ScanCategories c;
    c.Row(kRowDiskFiles).driveStep = [&](const ScanContext& ctx, ScanSink& sink, const std::string&) {
        ++walks;
        while (ctx.scanning()) sink.ProcessMessages();  // goes on until stopped
    };
    c.Row(kRowDiskDirs).step = [&](const ScanContext& ctx, ScanSink&) { dirs += ctx.scanning() ? 1 : 0; };
    ScanDriver d(view, ScanContext{}, c);
    view.driver = &d;
    int finishes = 0;
    d.onScanFinished = [&] { ++finishes; };
    d.ScanCommand();
    CHECK(walks == 1);
    CHECK(view.pumpsAfterStop == 0);
    CHECK(dirs == 0);
    CHECK(finishes == 1);
    CHECK(d.RunningScans() == 0);
    CHECK_FALSE(view.scanning);
}

TEST_CASE("what a stopped scan's thread hands over after Stop and a new Scan never reaches the new list") {
    // The stopped scan's thread goes on reporting as a slow read would, Findings and status
    // texts alike, after the new scan has started; however the hand-overs are grouped, none of
    // it may reach the new scan's list or its status line.
    FakeView view;
    view.Tick({7});
    Event oldRunning, oldGo, oldDone, newGo;
    struct Reporter : WorkerThread {
        Reporter(ScanSink& s, std::string t, int n, HANDLE go, HANDLE done, HANDLE running)
            : sink(s), tag(std::move(t)), count(n), go(go), done(done), running(running) {}
        void Execute() override {
            if (running) SetEvent(running);
            WaitForSingleObject(go, 10000);
            for (int i = 0; i < count; ++i) {
                sink.ShowStatus("scanning " + tag);
                sink.AddFinding(Finding{"HKEY_CURRENT_USER", tag, std::to_string(i), "", 0, FindingKind::RegistryValue});
            }
            if (done) SetEvent(done);
        }
        ScanSink& sink;
        std::string tag;
        int count;
        HANDLE go, done, running;
    };
    int made = 0;
    ScanCategories c;
    SetHiveThreads(c, [&](const ScanContext&, ScanSink& sink) -> std::unique_ptr<WorkerThread> {
        if (made++ == 0) return std::unique_ptr<WorkerThread>(new Reporter(sink, "old", 300, oldGo.h, oldDone.h, oldRunning.h));
        return std::unique_ptr<WorkerThread>(new Reporter(sink, "new", 3, newGo.h, nullptr, nullptr));
    });
    ScanDriver d(view, ScanContext{}, c);
    int finishes = 0;
    d.onScanFinished = [&] { ++finishes; };
    d.ScanCommand();  // scan 1
    REQUIRE(WaitForSingleObject(oldRunning.h, 10000) == WAIT_OBJECT_0);
    d.ScanCommand();  // Stop
    d.ScanCommand();  // scan 2
    const size_t statusesBefore = view.statuses.size();
    oldGo.Set();
    CHECK(PumpUntil([&] { return WaitForSingleObject(oldDone.h, 0) == WAIT_OBJECT_0; }, 20000));
    newGo.Set();
    CHECK(PumpUntil([&] { return finishes == 1 && d.Idle(); }, 20000));
    PumpUntil([] { return false; }, 100);

    std::vector<std::string> listed;
    for (const Finding& f : view.findings) listed.push_back(f.location + " " + f.keyName);
    CHECK(listed == std::vector<std::string>{"new 0", "new 1", "new 2"});
    CHECK(std::count(view.statuses.begin() + static_cast<std::ptrdiff_t>(statusesBefore), view.statuses.end(),
                     std::string("scanning old")) == 0);
    CHECK(view.status == DoneLine(3, true));
}
