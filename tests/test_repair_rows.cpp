#include <doctest.h>

#include "app/RepairCommands.h"
#include "support/RepairFixtures.h"

using namespace tw;
using namespace tw::test;

namespace {

// The message box the system shows, measured and answered with Cancel from a timer of this
// thread (it fires inside the box's own message loop).
struct BoxMeasure {
    static RECT rect;
    static bool seen;
    static BOOL CALLBACK Find(HWND w, LPARAM) {
        wchar_t cls[16] = {};
        GetClassNameW(w, cls, 16);
        if (lstrcmpW(cls, L"#32770") != 0 || !IsWindowVisible(w)) return TRUE;
        GetWindowRect(w, &rect);
        seen = true;
        PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
        return FALSE;
    }
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
        if (!seen) EnumThreadWindows(GetCurrentThreadId(), &BoxMeasure::Find, 0);
    }
};
RECT BoxMeasure::rect{};
bool BoxMeasure::seen = false;

}  // namespace

TEST_SUITE("hostile rows") {

TEST_CASE("a value really named like the default-value marker is told apart from the default value") {
    for (bool all : {false, true}) {
        CAPTURE(all);
        RegistrySandbox sb;
        ScratchDir dir;
        CleanProgramFolder clean;
        const HKEY cu = HKEY_CURRENT_USER;
        const std::string valid = dir.File("valid.exe"), gone = dir / "gone.exe";
        // One: the default value is sound, the value named like the marker is stale. Two: the
        // other way round.
        SetString(cu, "Software\\One", "", valid);
        SetString(cu, "Software\\One", "@D_e_f_a_u_l_t", gone);
        SetString(cu, "Software\\Two", "", gone);
        SetString(cu, "Software\\Two", "@D_e_f_a_u_l_t", valid);
        ScanContext ctx;
        ctx.windowsDir = WindowsDirectory();
        CollectingSink sink;
        HiveReferenceScan scanner(ctx, sink);
        scanner.root = cu;
        scanner.ScanKey("Software");
        REQUIRE(sink.findings.size() == 2);
        FindingList list;
        for (const Finding& f : sink.findings) {
            CHECK(f.keyName == "@D_e_f_a_u_l_t");  // the same text in both rows
            list.Add(f);
        }

        ScriptedRepairUi ui;
        if (all) ui.answers = {false, true};  // no backup, then go
        FakeView view;
        Repairer repair(list, view, ui, RepairContext{5}, nullptr);
        if (all) {
            repair.RepairAll();
        } else {
            for (int row : {0, 1}) view.selected = row, repair.RepairSelected();
        }
        CHECK(GetString(cu, "Software\\One", "") == valid);
        CHECK_FALSE(ValuePresent(cu, "Software\\One", "@D_e_f_a_u_l_t"));
        CHECK(ValuePresent(cu, "Software\\Two", ""));
        CHECK(GetString(cu, "Software\\Two", "") == "");
        CHECK(GetString(cu, "Software\\Two", "@D_e_f_a_u_l_t") == valid);
        CHECK(Marks(list) == std::vector<bool>{true, true});
    }
}

TEST_CASE("a huge description is shortened in the question, and the box fits on the screen") {
    RegistrySandbox sb;
    CleanProgramFolder clean;
    SetString(HKEY_CURRENT_USER, "Software\\A", "v", "x");
    const std::string description = "C:\\" + std::string(1 << 20, 'x') + "\\end.exe";
    FindingList list;
    list.Add(RegistryValueFinding("HKEY_CURRENT_USER", "Software\\A", "v", description));
    FakeView view;
    view.selected = 0;
    {
        const std::string q = RowQuestion(list.At(0));
        CHECK(q.size() <= kMessageTextLimit);
        const std::string shortened = ShortForDisplay(description, kQuestionFieldLimit);
        CHECK(shortened.find("...") != std::string::npos);
        CHECK(q == LoadText(IDS_ASK_DELETE_VALUE, {"HKEY_CURRENT_USER", "Software\\A", "v", shortened}));
    }
    // The system's own box, asked by the window.
    RepairMessages ui(view);
    Repairer repair(list, view, ui, RepairContext{5}, nullptr);
    ScopedSeams seams;
    seams->messageBox = SystemSeams().messageBox;
    BoxMeasure::seen = false;
    UINT_PTR timer = SetTimer(nullptr, 0, 50, &BoxMeasure::OnTimer);
    repair.RepairSelected();
    KillTimer(nullptr, timer);
    REQUIRE(BoxMeasure::seen);
    const RECT r = BoxMeasure::rect;
    MESSAGE("question box " << r.right - r.left << "x" << r.bottom - r.top);
    CHECK(r.right - r.left <= GetSystemMetrics(SM_CXSCREEN));
    CHECK(r.bottom - r.top <= GetSystemMetrics(SM_CYSCREEN));
    CHECK(ValuePresent(HKEY_CURRENT_USER, "Software\\A", "v"));  // Cancel
    CHECK_FALSE(list.At(0).Repaired());
}

}  // TEST_SUITE

namespace {

// The registry's own name of a key ("\\Registry\\..."), as a link's target names it.
std::wstring NativeKeyName(HKEY root, const std::string& path) {
    UniqueHKey key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return {};
    return KeyRealName(key.get());
}

// Makes root\path a registry link to the key `target` names.
bool MakeLink(HKEY root, const std::string& path, const std::wstring& target) {
    HKEY link = nullptr;
    if (RegCreateKeyExW(root, AnsiToWide(path).c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                        KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &link, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG rc = RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK,
                                   reinterpret_cast<const BYTE*>(target.data()),
                                   static_cast<DWORD>(target.size() * sizeof(wchar_t)));
    RegCloseKey(link);
    return rc == ERROR_SUCCESS;
}

}  // namespace

TEST_SUITE("repair of keys with registry links") {

// An undo file cannot give a link back (the editor's import makes an ordinary key of it), so a
// key that is a link or holds one is left whole, and the user is told why.
TEST_CASE("a registry link in a repaired key's subtree, or the key itself a link: nothing goes, the user learns why") {
    for (uint32_t major : {5u, 4u}) {
        for (bool all : {false, true}) {
            CAPTURE(major);
            CAPTURE(all);
            RegistrySandbox sb;
            CleanProgramFolder clean;
            const HKEY lm = HKEY_LOCAL_MACHINE;
            SetString(lm, "Software\\Target\\Child", "keep", "1");
            const std::wstring target = NativeKeyName(lm, "Software\\Target");
            REQUIRE_FALSE(target.empty());
            MakeKey(lm, "Software\\Old\\Sub");
            REQUIRE(MakeLink(lm, "Software\\Old\\Sub\\ToTarget", target));
            REQUIRE(MakeLink(lm, "Software\\OldLink", target));
            REQUIRE(KeyPresent(lm, "Software\\Old\\Sub\\ToTarget\\Child"));  // the link works

            FindingList list;
            list.Add(RegistryKeyFinding("HKEY_LOCAL_MACHINE", "Software\\Old", "empty key"));
            list.Add(RegistryKeyFinding("HKEY_LOCAL_MACHINE", "Software\\OldLink", "empty key"));
            ScriptedRepairUi ui;
            if (all) ui.answers = {false, true};
            FakeView view;
            Repairer repair(list, view, ui, RepairContext{major}, nullptr);
            if (all) {
                repair.RepairAll();
            } else {
                for (int row : {0, 1}) view.selected = row, repair.RepairSelected();
            }
            CHECK(GetString(lm, "Software\\Target\\Child", "keep") == "1");
            CHECK(KeyPresent(lm, "Software\\Old\\Sub\\ToTarget\\Child"));
            HKEY link = nullptr;
            CHECK(RegOpenKeyExA(lm, "Software\\OldLink", REG_OPTION_OPEN_LINK, KEY_READ, &link) == ERROR_SUCCESS);
            CHECK((link && IsLinkKey(link)));
            if (link) RegCloseKey(link);
            CHECK(Marks(list) == std::vector<bool>{false, false});
            if (all) {
                CHECK(ui.counts.notRecorded == 2);
                CHECK(ui.counts.linksRefused == 2);
            } else {
                CHECK(ui.heard.back() == "RowNotRecorded");
                CHECK(ui.refusal.key == "HKEY_LOCAL_MACHINE\\Software\\OldLink");
                CHECK(ui.refusal.link == ui.refusal.key);
            }
        }
    }
}

}  // TEST_SUITE

TEST_SUITE("repair deletes nothing valid") {

TEST_CASE("a default-value row deletes or empties that value only, never its key") {
    RegistrySandbox sb;
    CleanProgramFolder clean;
    ScratchDir dir;
    ScopedSeams fonts;
    const std::string fontsDir = dir.Dir("Fonts");
    fonts->specialFolder = [&](HWND, int csidl) { return csidl == CSIDL_FONTS ? fontsDir : std::string(); };
    const char fontsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";
    const char dllKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
    const char helpKey[] = "Software\\Microsoft\\Windows\\Help";
    SetString(HKEY_LOCAL_MACHINE, fontsKey, "", "");
    SetString(HKEY_LOCAL_MACHINE, fontsKey, "Kept", "kept.ttf");
    SetDword(HKEY_LOCAL_MACHINE, dllKey, "", 0);
    const std::string keptDll = dir.File("kept.dll");
    SetDword(HKEY_LOCAL_MACHINE, dllKey, keptDll, 2);
    SetString(HKEY_LOCAL_MACHINE, helpKey, "", WindowsDirectory());
    SetString(HKEY_LOCAL_MACHINE, helpKey, "kept.hlp", fontsDir);
    dir.File("Fonts\\kept.ttf");
    dir.File("Fonts\\kept.hlp");

    CollectingSink sink;
    ScanContext ctx;
    ctx.windowsDir = WindowsDirectory();
    ScanFonts(ctx, sink);
    ScanSharedDlls(ctx, sink);
    ScanHelpFiles(ctx, sink);
    REQUIRE(sink.findings.size() == 3);
    FindingList list;
    for (const Finding& f : sink.findings) list.Add(f);
    FakeView view;
    ScriptedRepairUi ui{false, true};  // no backup, then OK
    Repairer(list, view, ui, RepairContext{5}, nullptr).RepairAll();
    CHECK(Marks(list) == std::vector<bool>{true, true, true});
    // Each key keeps its other values; an empty or non-text default goes, a text one is emptied.
    CHECK(GetString(HKEY_LOCAL_MACHINE, fontsKey, "Kept") == "kept.ttf");
    CHECK_FALSE(ValuePresent(HKEY_LOCAL_MACHINE, fontsKey, ""));
    CHECK(ValuePresent(HKEY_LOCAL_MACHINE, dllKey, keptDll));
    CHECK_FALSE(ValuePresent(HKEY_LOCAL_MACHINE, dllKey, ""));
    CHECK(GetString(HKEY_LOCAL_MACHINE, helpKey, "kept.hlp") == fontsDir);
    CHECK(GetString(HKEY_LOCAL_MACHINE, helpKey, "") == "");
}

TEST_CASE("right before it deletes, repair checks again: what is back stays, and the log says so") {
    RegistrySandbox sb;
    CleanProgramFolder clean;
    ScratchDir dir;
    SetString(HKEY_CURRENT_USER, "Software\\App", "Path", dir / "app\\app.exe");
    Finding row = RegistryValueFinding("HKEY_CURRENT_USER", "Software\\App", "Path", dir / "app\\app.exe");
    row.missingPaths = {dir / "app\\app.exe"};
    FindingList list;
    list.Add(row);
    FakeView view;
    view.selected = 0;
    dir.File("app\\app.exe");  // reinstalled while the row sat in the list
    ScriptedRepairUi ui;
    Repairer(list, view, ui, RepairContext{5}, nullptr).RepairSelected();
    CHECK(ValuePresent(HKEY_CURRENT_USER, "Software\\App", "Path"));
    CHECK_FALSE(list.At(0).Repaired());
    CHECK(ui.heard == std::vector<std::string>{"ConfirmRow", "RowNowPresent"});  // why nothing was done
    CHECK(ui.text == dir / "app\\app.exe");
    std::vector<LogEntry> log = ReadLog();
    REQUIRE(log.size() == 1);
    CHECK(log[0].action == LogActionName(LogAction::NotRepaired));
    CHECK(log[0].record == LoadText(IDS_LOG_NOW_PRESENT, {"HKEY_CURRENT_USER Software\\App Path " + (dir / "app\\app.exe"),
                                                          dir / "app\\app.exe"}));

    // Gone again: the same row is repaired.
    DeleteFileA((dir / "app\\app.exe").c_str());
    Repairer(list, view, ui, RepairContext{5}, nullptr).RepairSelected();
    CHECK_FALSE(ValuePresent(HKEY_CURRENT_USER, "Software\\App", "Path"));
    CHECK(list.At(0).Repaired());
}

// The row the uninstall scan makes for an MSI product whose files are gone.
static Finding ProductRow(const std::string& root, const std::string& location) {
    Finding f = RegistryKeyFinding(root, location, "product files gone");
    f.kind = FindingKind::ProductUninstall;
    return f;
}

TEST_CASE("a product whose files are gone is removed by its installer, never by hand; what it returned is shown and logged") {
    RegistrySandbox sb;
    CleanProgramFolder clean;
    ScratchDir dir;
    const std::string code = "{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F6071}";
    const std::string entry = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + code;
    Finding row = ProductRow("HKEY_LOCAL_MACHINE", entry);
    row.missingPaths = {dir / "Gone"};
    const struct {
        bool all;  // repair all, else repair selected
        WaitEnd end;  // Ended: the installer's exit code; the others with a real program that does not end
        DWORD exit;
        bool removes;  // the installer really removed the product's uninstall entry
        bool stillRegistered;  // what the log and the last message say adds that it is still registered
        bool recordStays = false;  // and left its own record of the product
    } cases[] = {
        {false, WaitEnd::Ended, 0, true, false},
        {false, WaitEnd::Ended, 1603, false, false},
        {true, WaitEnd::Ended, 3010, true, false},
        {true, WaitEnd::Ended, 1641, true, false},
        {true, WaitEnd::Ended, 1605, false, false},
        // A killed installer reports 0 and leaves the product as it was.
        {false, WaitEnd::Ended, 0, false, true},
        {true, WaitEnd::Ended, 0, true, true, true},
        {true, WaitEnd::TimedOut, 0, false, false},
        {false, WaitEnd::Stopped, 0, false, false},
    };
    for (const auto& c : cases) {
        CAPTURE(c.exit);
        CAPTURE(static_cast<int>(c.end));
        // What the log and (repair selected) the last message say came of it.
        const std::string meaning = c.end == WaitEnd::TimedOut ? LoadText(IDS_INSTALLER_TIMED_OUT, {kUninstallWaitLimitMs / 60000})
                                    : c.end == WaitEnd::Stopped ? LoadText(IDS_INSTALLER_STOPPED)
                                    : c.stillRegistered ? LoadText(IDS_INSTALLER_STILL_REGISTERED, {InstallerExitText(c.exit)})
                                                        : InstallerExitText(c.exit);
        const std::string said = c.end == WaitEnd::Ended ? LoadText(IDS_INSTALLER_RETURNED, {code, c.exit, meaning})
                                                         : LoadText(IDS_INSTALLER_ENDED, {code, meaning});
        CleanProgramFolder::Remove();
        SetString(HKEY_LOCAL_MACHINE, entry, "DisplayName", "Tw Probe");
        SetString(HKEY_LOCAL_MACHINE, entry, "UninstallString", "MsiExec.exe /I" + code);
        const std::string record =
            "Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\\" + PackedGuid(code);
        c.recordStays ? MakeKey(HKEY_LOCAL_MACHINE, record) : (void)RegDeleteKeyA(HKEY_LOCAL_MACHINE, record.c_str());
        Messages msgs{IDCANCEL, IDOK};  // the window: no backup, then go
        ScriptedRepairUi ui{false, true};
        FindingList list;
        list.Add(row);
        FakeView view;
        view.selected = 0;
        // Where the wait may be stopped, the window's commands with their progress window (each
        // time it hides, Wine waits for the display: the other rows go without it).
        std::unique_ptr<RepairCommands> window;
        std::unique_ptr<Repairer> bare;
        if (c.end == WaitEnd::Ended) bare = std::make_unique<Repairer>(list, view, ui, RepairContext{5}, nullptr);
        else window = std::make_unique<RepairCommands>(list, view, RepairContext{5});
        EndlessProgram endless;
        std::vector<std::string> commands;
        bool waitShown = false;
        msgs.seams->runAndWaitLimited = [&](const std::string& cmd, DWORD limitMs, const std::function<bool()>& stop,
                                            DWORD& exitCode) {
            commands.push_back(cmd);
            CHECK(limitMs == kUninstallWaitLimitMs);
            ProgressWindow* progress = window ? window->Progress() : nullptr;
            waitShown = view.Status() == LoadText(IDS_STATUS_WAITING_FOR_INSTALLER, {code}) &&
                        (!window || (progress && IsWindowVisible(progress->StopButton())));
            if (c.removes) RegDeleteKeyA(HKEY_LOCAL_MACHINE, entry.c_str());
            if (c.end == WaitEnd::Ended) return exitCode = c.exit, WaitEnd::Ended;
            // The real wait, its limit shortened; or stopped by the window's button.
            if (c.end == WaitEnd::Stopped && progress) PostMessageW(progress->StopButton(), BM_CLICK, 0, 0);
            return SystemRunAndWaitLimited(endless.CommandLine(), c.end == WaitEnd::TimedOut ? 300 : 60000, stop,
                                           exitCode);
        };
        if (!c.all) msgs.answers = {IDOK}, ui.answers = {true};
        if (window) c.all ? window->RepairAll() : window->RepairSelected({0});
        else c.all ? bare->RepairAll() : bare->RepairSelected();
        REQUIRE(commands.size() == 1);
        const std::string tail = "\\msiexec.exe\" /x " + code + " /qn";
        CHECK(commands[0].compare(commands[0].size() - std::min(tail.size(), commands[0].size()), tail.size(), tail) == 0);
        CHECK(waitShown);
        if (window) CHECK_FALSE(IsWindowVisible(window->Progress()->Handle()));
        CHECK(KeyPresent(HKEY_LOCAL_MACHINE, entry) == !c.removes);  // only the installer removes it
        CHECK(list.At(0).Repaired() == (c.removes && !c.recordStays));
        CHECK(ListUndoFiles().empty());  // nothing was deleted by hand, nothing to record
        const std::vector<LogEntry> log = ReadLog();
        REQUIRE_FALSE(log.empty());
        CHECK(log[0].action == LogActionName(LogAction::Uninstall));
        CHECK(log[0].record.find(said) != std::string::npos);
        const std::string last = window ? msgs.shown.back() : std::string();
        if (!c.all && window) CHECK(last.find(said) != std::string::npos);
        if (!c.all && !window) CHECK(ui.product.said == said);
        if (c.all && !list.At(0).Repaired() && window) CHECK(last.find(LoadText(IDS_PRODUCTS_NOT_UNINSTALLED, {1})) != std::string::npos);
        if (c.all && !list.At(0).Repaired() && !window) CHECK(ui.counts.productsFailed == 1);
        CHECK(view.Status() != LoadText(IDS_STATUS_WAITING_FOR_INSTALLER, {code}));
    }
    SetString(HKEY_LOCAL_MACHINE, entry, "DisplayName", "Tw Probe");
    SetString(HKEY_LOCAL_MACHINE, entry, "UninstallString", "MsiExec.exe /I" + code);

    // The folder back: the installer is not run. The entry gone meanwhile: the row is done.
    Messages msgs;
    ScriptedRepairUi ui;
    int runs = 0;
    msgs.seams->runAndWaitLimited = [&](const std::string&, DWORD, const std::function<bool()>&, DWORD& exitCode) {
        return exitCode = 0, ++runs, WaitEnd::Ended;
    };
    FindingList list;
    list.Add(row);
    FakeView view;
    view.selected = 0;
    CreateDirectoryA((dir / "Gone").c_str(), nullptr);
    Repairer(list, view, ui, RepairContext{5}, nullptr).RepairSelected();
    CHECK_FALSE(list.At(0).Repaired());
    RemoveDirectoryA((dir / "Gone").c_str());
    REQUIRE(RegDeleteKeyA(HKEY_LOCAL_MACHINE, entry.c_str()) == ERROR_SUCCESS);
    Repairer(list, view, ui, RepairContext{5}, nullptr).RepairSelected();
    CHECK(list.At(0).Repaired());
    CHECK(runs == 0);
}

TEST_CASE("the ignore list protects what it names from rows of its key, a parent key, or another letter case") {
    RegistrySandbox sb;
    CleanProgramFolder clean;
    ScratchDir dir;
    IgnoreList ignored(dir / "Ignore.ini");
    REQUIRE(ignored.Add({"HKEY_CURRENT_USER", "Software\\Vendor\\App", "Keep"}));
    REQUIRE(ignored.Add({"HKEY_CURRENT_USER", "Software\\Whole", ""}));
    for (const char* key : {"Software\\Vendor\\App", "Software\\Vendor\\Other", "Software\\Whole"})
        SetString(HKEY_CURRENT_USER, key, "Keep", "x");
    const struct {
        Finding row;
        bool protectedRow;
    } rows[] = {
        {RegistryKeyFinding("HKEY_CURRENT_USER", "Software\\Vendor\\App", ""), true},
        {RegistryKeyFinding("HKEY_CURRENT_USER", "Software\\VENDOR", ""), true},      // a parent, other case
        {RegistryValueFinding("HKEY_CURRENT_USER", "software\\vendor\\app", "KEEP", ""), true},
        {RegistryValueFinding("HKEY_CURRENT_USER", "Software\\Whole", "Keep", ""), true},  // inside an ignored key
        {RegistryKeyFinding("HKEY_LOCAL_MACHINE", "Software\\Vendor", ""), false},    // another root
        {RegistryValueFinding("HKEY_CURRENT_USER", "Software\\Vendor\\Other", "Keep", ""), false},
        {ProductRow("HKEY_CURRENT_USER", "Software\\Vendor"), true},  // its uninstall removes the whole key
    };
    for (const auto& r : rows) {
        CAPTURE(r.row.location);
        CHECK(ignored.Protects(r.row) == r.protectedRow);
    }
    FindingList list;
    list.Add(rows[1].row);
    FakeView view;
    RepairContext context{5};
    context.ignored = &ignored;
    ScriptedRepairUi ui{false, true};
    Repairer(list, view, ui, context, nullptr).RepairAll();
    CHECK(GetString(HKEY_CURRENT_USER, "Software\\Vendor\\App", "Keep") == "x");
    CHECK(GetString(HKEY_CURRENT_USER, "Software\\Vendor\\Other", "Keep") == "x");
    CHECK_FALSE(list.At(0).Repaired());
    // The offer, the question, then why this row stayed.
    CHECK(ui.heard == std::vector<std::string>{"OfferBackup", "ConfirmRepairAll", "RepairAllDone"});
    CHECK(ui.counts.protectedRows == 1);
}

}  // TEST_SUITE
