#include <doctest.h>

#include "scan/ScanDriver.h"
#include "scanners/HandOverSink.h"
#include "support/ScanFixtures.h"

using namespace tw;
using namespace tw::test;


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
    CHECK(d.ScanAfterRepair({Finding{"", "/home/u/.local/share/applications/wine/x.desktop", "", "", 0,
                                     FindingKind::HostFile}}).empty());
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
        if (ctx.scanning()) walked.push_back(root);
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
        REQUIRE(PumpUntil([&] { return d.Idle(); }));
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
        REQUIRE(PumpUntil([&] { return d.Idle(); }));
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
    SUBCASE("file types, on a worker thread") {
        tw::test::MakeKey(HKEY_LOCAL_MACHINE, "Software\\CLASSES\\.bare");
        tw::test::SetBinary(HKEY_LOCAL_MACHINE, "Software\\CLASSES\\binary\\Shell\\open\\Command", "", "xy");
        scan.Run({2, 5});
        expected = {kRowFileTypes, ""};  // the worker's own words
        CHECK(scan.view.findings.size() == 1);  // pass 1's Finding, handed over before the end
    }
    REQUIRE(scan.view.ended.size() == 1);
    REQUIRE(scan.view.ended[0].size() == 1);
    CHECK(scan.view.ended[0][0].row == expected.row);
    if (!expected.why.empty()) CHECK(scan.view.ended[0][0].why == expected.why);
    CHECK_FALSE(scan.view.ended[0][0].why.empty());
    CHECK(scan.finishes == 1);
    CHECK(scan.ClosingLines() == 1);
    CHECK(scan.view.status.find(LoadText(IDS_SCAN_ENDED_EARLY_NOTE, {1})) != std::string::npos);
    CHECK_FALSE(scan.view.scanning);
    CHECK(scan.view.selectAll);
    CHECK(scan.view.repair);
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

TEST_CASE("the disk step walks the fixed drives off the UI thread, never the host's root; a drive's error ends that drive") {
    ScopedSeams seams;
    seams->driveType = [](const std::string&) { return static_cast<UINT>(DRIVE_FIXED); };
    FakeView view;
    view.Tick({10});
    const DWORD uiThread = GetCurrentThreadId();
    std::vector<std::string> walked;
    bool onUiThread = false, desktops = false;
    ScanCategories c;
    c.Row(kRowDiskFiles).driveStep = [&](const ScanContext&, ScanSink& sink, const std::string& root) {
        onUiThread = onUiThread || GetCurrentThreadId() == uiThread;
        walked.push_back(root);
        sink.AddFinding(Finding{"disk", root + "x.lnk", "", "", 0, FindingKind::File});
        if (root == "C:\\") throw std::runtime_error("C: ended");
    };
    c.Row(kRowDiskFiles).step = [&](const ScanContext&, ScanSink&) { desktops = true; };
    ScanDriver d(view, ScanContext{}, c);
    d.ScanCommand();
    REQUIRE(PumpUntil([&] { return d.Idle(); }));
    CHECK_FALSE(onUiThread);
    CHECK(std::find(walked.begin(), walked.end(), "C:\\") != walked.end());
    for (const std::string& root : walked) CHECK_FALSE(IsHostRootDrive(root));
    if (IsHostRootDrive("Z:\\")) CHECK(std::find(walked.begin(), walked.end(), "Z:\\") == walked.end());
    // Every drive's rows in drive order, the drives after C: still walked, then the desktops.
    REQUIRE(view.findings.size() == walked.size());
    for (size_t i = 0; i < walked.size(); ++i) CHECK(view.findings[i].location == walked[i] + "x.lnk");
    CHECK(desktops);
    REQUIRE(view.ended.size() == 1);
    REQUIRE(view.ended[0].size() == 1);
    CHECK(view.ended[0][0].row == kRowDiskFiles);
    CHECK(view.ended[0][0].why == "C: ended");
}

TEST_CASE("Stop arriving during a drive walk ends the walk and its desktop step; the scan finishes once") {
    FakeView view;
    view.Tick({10, 11});
    ScopedSeams seams;
    seams->driveType = [](const std::string& root) {
        return static_cast<UINT>(root == "C:\\" ? DRIVE_FIXED : DRIVE_CDROM);
    };
    volatile LONG walks = 0, stoppedWalks = 0;
    bool desktops = false;
    ScanDriver* driver = nullptr;
    ScanCategories c;
    c.Row(kRowDiskFiles).driveStep = [&](const ScanContext& ctx, ScanSink&, const std::string&) {
        InterlockedIncrement(&walks);
        for (int i = 0; i < 5000 && ctx.scanning(); ++i) Sleep(1);  // goes on until stopped
        if (!ctx.scanning()) InterlockedIncrement(&stoppedWalks);
    };
    c.Row(kRowDiskFiles).step = [&](const ScanContext&, ScanSink&) { desktops = true; };
    // The directory walk runs on the UI thread beside the drive walk; the user stops meanwhile.
    c.Row(kRowDiskDirs).step = [&](const ScanContext&, ScanSink&) {
        PumpUntil([&] { return walks > 0; });
        driver->ScanCommand();
    };
    ScanDriver d(view, ScanContext{}, c);
    driver = &d;
    int finishes = 0;
    d.onScanFinished = [&] { ++finishes; };
    d.ScanCommand();
    REQUIRE(PumpUntil([&] { return finishes > 0; }));
    PumpUntil([] { return false; }, 100);
    CHECK(walks == 1);
    CHECK(stoppedWalks == 1);
    CHECK_FALSE(desktops);
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
