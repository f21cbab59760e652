#include <doctest.h>

#include <shlobj.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "app/RepairCommands.h"
#include "platform/LoadText.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/ScopeExit.h"
#include "platform/Seams.h"
#include "platform/StartProgram.h"
#include "platform/Text.h"
#include "platform/Threads.h"
#include "repair/RepairLog.h"
#include "repair/UndoFile.h"
#include "scanners/registry/Fonts.h"
#include "scanners/registry/HelpFiles.h"
#include "scanners/registry/HiveReferences.h"
#include "scanners/registry/MsiProduct.h"
#include "scanners/registry/SharedDlls.h"
#include "strings.h"
#include "support/RegistryFixtures.h"
#include "support/Sandbox.h"
#include "support/ScriptedRepairUi.h"
#include "support/WindowProbes.h"
#include "wording/RepairWording.h"

using namespace tw;
using namespace tw::test;

namespace {

using Controls = std::vector<std::pair<bool, bool>>;  // (on, popupToo) per call

struct FakeView : RepairView {
    int selected = -1;
    std::vector<std::string> statuses;
    Controls controls;
    int pumps = 0;
    int SelectedRow() override { return selected; }
    void RowChanged(int) override {}
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void SetRepairControls(bool on, bool popupToo) override { controls.emplace_back(on, popupToo); }
    void ProcessMessages() override { ++pumps, tw::ProcessMessages(); }
    HWND OwnerWindow() override { return nullptr; }
    std::string Status() const { return statuses.empty() ? "" : statuses.back(); }
};

struct Shown {
    std::string text, caption;
    UINT type;
};

// Message boxes answered from a script (OK once it runs out), each one recorded.
struct Messages {
    ScopedSeams seams;
    std::deque<int> answers;
    std::vector<Shown> shown;
    Messages(std::initializer_list<int> script = {}) : answers(script) {
        seams->messageBox = [this](HWND, const std::string& text, const std::string& caption, UINT type) {
            shown.push_back({text, caption, type});
            int a = answers.empty() ? IDOK : answers.front();
            if (!answers.empty()) answers.pop_front();
            return a;
        };
    }
};

// Repair.log, Backup_Tw.reg and the undo files beside the test exe are gone before and after
// each test.
struct CleanProgramFolder {
    CleanProgramFolder() { Remove(); }
    ~CleanProgramFolder() { Remove(); }
    static void Remove() {
        DeleteFileA(RepairLogPath().c_str());
        DeleteFileA(BackupFilePath().c_str());
        RemoveDirectoryA(RepairLogBackupPath().c_str());
        DeleteFileA(RepairLogBackupPath().c_str());
        // Every registry repair leaves its undo file.
        for (const std::string& f : ListUndoFiles()) DeleteFileA(f.c_str());
        RemoveDirectoryA(UndoFolder().c_str());
    }
};

struct ScopedCurrentDir {
    char saved[MAX_PATH] = {};
    explicit ScopedCurrentDir(const std::string& dir) {
        GetCurrentDirectoryA(sizeof saved, saved);
        SetCurrentDirectoryA(dir.c_str());
    }
    ~ScopedCurrentDir() { SetCurrentDirectoryA(saved); }
};

struct LogEntry {
    std::string section, action, record;
};

std::vector<LogEntry> ReadLog() {
    const std::string path = RepairLogPath();
    std::vector<char> buf(65536);
    DWORD n = GetPrivateProfileSectionNamesA(buf.data(), static_cast<DWORD>(buf.size()), path.c_str());
    std::vector<LogEntry> entries;
    for (const char* p = buf.data(); p < buf.data() + n && *p; p += strlen(p) + 1) {
        char action[1024] = {}, record[4096] = {};
        GetPrivateProfileStringA(p, "行为", "", action, sizeof action, path.c_str());
        GetPrivateProfileStringA(p, "记录", "", record, sizeof record, path.c_str());
        entries.push_back({p, action, record});
    }
    return entries;
}

// The tests' Recycle Bin is the desktop trash under XDG_DATA_HOME (scripts/wine-run.sh): each
// object lies in files/ under the name of its record in info/, and the record's Path line holds
// its old place. True when the bin holds a file (or folder) deleted from `original` on C:. What
// the bin holds from there is erased, so that the next run, whose scratch folders may have the
// same names (Wine reuses process ids), does not find it.
bool TakeFromRecycleBin(const std::string& original, bool folder) {
    const char* xdg = getenv("XDG_DATA_HOME");
    REQUIRE_MESSAGE(xdg, "run through scripts/wine-run.sh");
    std::string bin = std::string("Z:") + xdg + "\\Trash\\";
    std::replace(bin.begin(), bin.end(), '/', '\\');
    std::string place = original.substr(2) + "\n";  // the old place's path below the drive
    std::replace(place.begin(), place.end(), '\\', '/');
    bool found = false;
    ListDirectory(bin + "info\\*.trashinfo", 0, [&](const DirEntry& e) {
        const std::string record = bin + "info\\" + e.name;
        if (ReadFileBytes(record).find(place) == std::string::npos) return true;
        const std::string object = bin + "files\\" + e.name.substr(0, e.name.size() - strlen(".trashinfo"));
        found = found || (folder ? DirectoryExists(object) : FileExists(object));
        folder ? RemoveDirectoryA(object.c_str()) : DeleteFileA(object.c_str());
        DeleteFileA(record.c_str());
        return true;
    });
    return found;
}

std::vector<bool> Marks(const FindingList& list) {
    std::vector<bool> marks;
    for (int i = 0; i < list.Count(); ++i) marks.push_back(list.At(i).Repaired());
    return marks;
}

// An outside program that does not end until the test is over: this test program, waiting for
// an event (tests/support/TestMain.cpp).
struct EndlessProgram {
    std::string event = "TwEndless" + IntToStr(GetCurrentProcessId());
    UniqueKernelHandle handle{CreateEventA(nullptr, TRUE, FALSE, event.c_str())};
    std::string CommandLine() const { return "\"" + ProgramPath() + "\" --stand-in-until " + event; }
    ~EndlessProgram() { SetEvent(handle.get()); }
};

// Stands in for the registry editor: writes the export (or not) where the real one would, and
// notes what the progress window showed meanwhile.
struct FakeEditor {
    ScopedSeams seams;
    std::vector<std::string> commandLines, directories, currentDirs, progressCaptions;
    bool start = true, writeExport = true;
    std::string exportContent = "REGEDIT4\r\n";
    DWORD exitCode = 0;
    ProgressOnDemand* progress = nullptr;
    HWND watched = nullptr;               // a window whose state is noted while the editor runs
    std::vector<bool> watchedEnabled;
    FakeEditor() {
        seams->runAndWait = [this](const std::string& cmd, const std::string& dir, DWORD& code) {
            commandLines.push_back(cmd);
            if (watched) watchedEnabled.push_back(IsWindowEnabled(watched) != FALSE);
            directories.push_back(dir);
            char cur[MAX_PATH] = {};
            GetCurrentDirectoryA(sizeof cur, cur);
            currentDirs.push_back(std::string(cur) + "\\");
            ProgressWindow* window = progress ? progress->Window() : nullptr;
            if (window && IsWindowVisible(window->Handle()))
                progressCaptions.push_back(WindowText(window->Handle()));
            if (!start) return false;
            if (writeExport && cmd.find("/e") != std::string::npos)
                if (FILE* f = fopen((dir + "Backup_Tw.reg").c_str(), "wb"))
                    fwrite(exportContent.data(), 1, exportContent.size(), f), fclose(f);
            code = exitCode;
            return true;
        };
    }
};

}  // namespace

TEST_SUITE("repair selected") {

TEST_CASE("no selection or a repaired row: nothing happens, not even a question") {
    RegistrySandbox sb;
    CleanProgramFolder clean;
    ScriptedRepairUi ui;
    SetString(HKEY_CURRENT_USER, "Software\\A", "v", "x");
    FindingList list;
    list.Add(RegistryValueFinding("HKEY_CURRENT_USER", "Software\\A", "v"));
    list.MarkRepaired(0);
    FakeView view;
    Repairer repair(list, view, ui, RepairContext{5}, nullptr);
    for (int row : {-1, 0}) {
        view.selected = row;
        repair.RepairSelected();
    }
    CHECK(ui.heard.empty());
    CHECK(ValuePresent(HKEY_CURRENT_USER, "Software\\A", "v"));
    CHECK(view.statuses.empty());
    CHECK_FALSE(FileExists(RepairLogPath()));
}

TEST_CASE("each kind asks its own question, and Cancel changes nothing") {
    RegistrySandbox sb;
    ScratchDir dir;
    CleanProgramFolder clean;
    const std::string file = dir.File("old.lnk"), folder = dir.Dir("Empty");
    SetString(HKEY_LOCAL_MACHINE, "Software\\Fonts", "Arial", "arial.ttf");
    MakeKey(HKEY_LOCAL_MACHINE, "Software\\Gone\\Sub");
    const std::pair<Finding, std::string> cases[] = {
        {DiskFileFinding(file, "1 Byte", "C:\\missing.exe"), LoadText(IDS_ASK_REPAIR_FILE, {file, "C:\\missing.exe"})},
        {DiskFolderFinding(folder), LoadText(IDS_ASK_REPAIR_FOLDER, {folder})},
        {RegistryValueFinding("HKEY_LOCAL_MACHINE", "Software\\Fonts", "Arial", "bad font"),
         LoadText(IDS_ASK_DELETE_VALUE, {"HKEY_LOCAL_MACHINE", "Software\\Fonts", "Arial", "bad font"})},
        {RegistryKeyFinding("HKEY_LOCAL_MACHINE", "Software\\Gone"),
         LoadText(IDS_ASK_DELETE_KEY, {"HKEY_LOCAL_MACHINE", "Software\\Gone"})},
    };
    for (const auto& c : cases) {
        CAPTURE(c.second);
        ScriptedRepairUi ui{false};
        FindingList list;
        list.Add(c.first);
        FakeView view;
        view.selected = 0;
        Repairer(list, view, ui, RepairContext{5}, nullptr).RepairSelected();
        CHECK(ui.heard == std::vector<std::string>{"ConfirmRow"});
        CHECK(RowQuestion(c.first) == c.second);
        CHECK_FALSE(list.At(0).Repaired());
        CHECK(view.statuses.empty());
    }
    CHECK(FileExists(file));
    CHECK(DirectoryExists(folder));
    CHECK(ValuePresent(HKEY_LOCAL_MACHINE, "Software\\Fonts", "Arial"));
    CHECK(KeyPresent(HKEY_LOCAL_MACHINE, "Software\\Gone\\Sub"));
    CHECK_FALSE(FileExists(RepairLogPath()));
}

TEST_CASE("value rows: the default-value marker empties the default value; an unknown caption means HKEY_CURRENT_USER") {
    RegistrySandbox sb;
    CleanProgramFolder clean;
    ScriptedRepairUi ui;
    SetString(HKEY_USERS, "S-1\\Software\\App", "", "C:\\gone\\app.exe");
    SetString(HKEY_USERS, "S-1\\Software\\App", "Other", "keep");
    SetString(HKEY_CURRENT_USER, "Software\\X", "v", "1");
    SetString(HKEY_LOCAL_MACHINE, "Software\\X", "v", "1");
    FindingList list;
    list.Add(RegistryDefaultValueFinding("HKEY_USERS", "S-1\\Software\\App", "C:\\gone\\app.exe"));
    list.Add(RegistryValueFinding("HKEY_SOMEWHERE", "Software\\X", "v"));
    FakeView view;
    Repairer repair(list, view, ui, RepairContext{5}, nullptr);
    for (int row : {0, 1}) view.selected = row, repair.RepairSelected();
    CHECK(GetString(HKEY_USERS, "S-1\\Software\\App", "") == "");  // still there, empty
    CHECK(GetString(HKEY_USERS, "S-1\\Software\\App", "Other") == "keep");
    CHECK_FALSE(ValuePresent(HKEY_CURRENT_USER, "Software\\X", "v"));
    CHECK(ValuePresent(HKEY_LOCAL_MACHINE, "Software\\X", "v"));
    CHECK(Marks(list) == std::vector<bool>{true, true});
    std::vector<LogEntry> log = ReadLog();
    REQUIRE(log.size() == 2);
    CHECK(log[0].action == LogActionName(LogAction::Delete));
    CHECK(log[0].record == "HKEY_USERS S-1\\Software\\App @D_e_f_a_u_l_t C:\\gone\\app.exe");
    // The empty description still brings its blank; reading a profile value drops it again.
    CHECK(ReadFileBytes(RepairLogPath()).find("记录=HKEY_SOMEWHERE Software\\X v \r\n") != std::string::npos);
}

TEST_CASE("a key finding takes its whole subtree, level by level on 5 and at once on 4") {
    for (uint32_t major : {5u, 4u}) {
        CAPTURE(major);
        RegistrySandbox sb;
        CleanProgramFolder clean;
        ScriptedRepairUi ui;
        MakeKey(HKEY_LOCAL_MACHINE, "Software\\Old\\A\\A1\\A11");
        MakeKey(HKEY_LOCAL_MACHINE, "Software\\Old\\B");
        MakeKey(HKEY_LOCAL_MACHINE, "Software\\Older");  // a neighbour sharing the prefix
        FindingList list;
        list.Add(RegistryKeyFinding("HKEY_LOCAL_MACHINE", "Software\\Old", "empty key"));
        FakeView view;
        view.selected = 0;
        Repairer(list, view, ui, RepairContext{major}, nullptr).RepairSelected();
        CHECK_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, "Software\\Old"));
        CHECK(KeyPresent(HKEY_LOCAL_MACHINE, "Software\\Older"));
        CHECK(list.At(0).Repaired());
        // Only the walk of 5 lets the window repaint, once per level that had subkeys.
        CHECK(view.pumps == (major == 5 ? 3 : 0));
    }
}

TEST_CASE("the status counts the rows left, and the last one switches the repair commands off") {
    RegistrySandbox sb;
    CleanProgramFolder clean;
    ScriptedRepairUi ui;
    FindingList list;
    for (int i = 0; i < 5; ++i) {
        SetString(HKEY_CURRENT_USER, "Software\\Five", "v" + IntToStr(i), "x");
        list.Add(RegistryValueFinding("HKEY_CURRENT_USER", "Software\\Five", "v" + IntToStr(i)));
    }
    FakeView view;
    Repairer repair(list, view, ui, RepairContext{5}, nullptr);
    auto repairRows = [&](std::initializer_list<int> rows) {
        for (int row : rows) view.selected = row, repair.RepairSelected();
    };
    repairRows({1, 3});
    CHECK(view.Status() == LoadText(IDS_STATUS_REPAIRED_REMAINING, {3, ""}));
    CHECK(view.controls.empty());
    CHECK(ReadLog().size() == 2);  // two entries, most likely within one second
    repairRows({0, 2, 4});
    CHECK(view.Status() == LoadText(IDS_STATUS_REPAIRED_REMAINING, {0, ""}));
    CHECK(view.controls == Controls{{false, false}});  // the popup items keep their state
}

}  // TEST_SUITE

TEST_SUITE("repair guards") {

TEST_CASE("locations that could reach beyond what a row names are refused") {
    struct {
        const char* location;
        bool key, value;
    } registry[] = {
        {"Software\\Old", true, true},
        {"Software\\CLASSES\\*\\shellex\\ContextMenuHandlers\\X", true, true},  // "*" is a class
        {"Software\\\xB1\x5C", true, true},  // 0x5C inside a double-byte character
        {"Software", false, true},           // a first-level key keeps its values repairable
        {"", false, false},
        {"\\Software\\Old", false, false},
        {"Software\\Old\\", false, false},
        {"Software\\\\Old", false, false},
    };
    for (const auto& r : registry) {
        CAPTURE(r.location);
        CHECK(IsRepairableKeyLocation(r.location) == r.key);
        CHECK(IsRepairableValueLocation(r.location) == r.value);
    }
    const char* good[] = {"C:\\Start Menu\\old.lnk", "\\\\server\\share\\old.lnk"};
    const char* bad[] = {"",          "C:\\",         "C:",
                         "C:old.lnk", "old.lnk",      "\\Windows\\old.lnk",
                         "C:\\*.lnk", "C:\\old?.lnk", "C:\\Start Menu\\..\\old.lnk",
                         "C:\\a\\.",  "C:/Windows",   "C:\\a\\b.lnk:stream",
                         "\\\\server\\share"};
    for (const char* p : good) CHECK_MESSAGE(IsRepairableDiskPath(p), p);
    for (const char* p : bad) CHECK_MESSAGE(!IsRepairableDiskPath(p), p);
}

TEST_CASE("refused rows delete nothing and stay unmarked") {
    RegistrySandbox sb;
    ScratchDir dir;
    CleanProgramFolder clean;
    ScriptedRepairUi ui;
    MakeKey(HKEY_CURRENT_USER, "Software\\Keep");
    SetString(HKEY_CURRENT_USER, "", "rootvalue", "x");
    const std::string folder = dir.Dir("Folder"), victim = dir.File("Folder\\victim.lnk");
    dir.File("relative.lnk");
    ScopedCurrentDir cd(dir.Path());
    FindingList list;
    list.Add(RegistryKeyFinding("HKEY_CURRENT_USER", "Software"));                // a first-level key
    list.Add(RegistryKeyFinding("HKEY_CURRENT_USER", ""));                        // the root itself
    list.Add(RegistryValueFinding("HKEY_CURRENT_USER", "", "rootvalue"));           // a value of the root
    list.Add(DiskFileFinding(folder, "0 Byte"));               // a folder, not a file
    list.Add(DiskFileFinding(folder + "\\*.lnk", "0 Byte"));   // a wildcard
    list.Add(DiskFileFinding("relative.lnk", "0 Byte"));       // relative to anything
    list.Add(DiskFolderFinding(folder + "\\..\\Folder"));
    FakeView view;
    Repairer repair(list, view, ui, RepairContext{5}, nullptr);
    for (int row = 0; row < list.Count(); ++row) view.selected = row, repair.RepairSelected();
    CHECK(KeyPresent(HKEY_CURRENT_USER, "Software\\Keep"));
    CHECK(ValuePresent(HKEY_CURRENT_USER, "", "rootvalue"));
    CHECK(FileExists(victim));
    CHECK(FileExists(dir / "relative.lnk"));
    CHECK(list.UnrepairedCount() == list.Count());
    CHECK_FALSE(FileExists(RepairLogPath()));
}

}  // TEST_SUITE

TEST_SUITE("repair all") {

TEST_CASE("only rows that were repaired are marked, and the one log entry counts both") {
    RegistrySandbox sb;
    ScratchDir dir;
    CleanProgramFolder clean;
    ScriptedRepairUi ui{false, true};  // no backup, then go
    SetString(HKEY_LOCAL_MACHINE, "Software\\Fonts", "Old", "old.ttf");
    MakeKey(HKEY_LOCAL_MACHINE, "Software\\Dead\\Sub");
    const std::string busy = dir.Dir("Busy"), inside = dir.File("Busy\\inside.txt");
    const std::string lnk = dir.File("old.lnk");
    // Nothing in the bin from these places yet.
    TakeFromRecycleBin(lnk, false);
    TakeFromRecycleBin(busy, true);
    FindingList list;
    list.Add(RegistryValueFinding("HKEY_LOCAL_MACHINE", "Software\\Fonts", "Old"));
    list.Add(RegistryKeyFinding("HKEY_LOCAL_MACHINE", "Software\\Dead"));
    list.Add(RegistryKeyFinding("HKEY_LOCAL_MACHINE", "Software\\AlreadyGone"));
    list.Add(RegistryKeyFinding("HKEY_LOCAL_MACHINE", "Software"));  // refused
    list.Add(DiskFolderFinding(busy));              // not empty
    list.Add(DiskFileFinding(lnk, "1 Byte"));
    FakeView view;
    Repairer repairer(list, view, ui, RepairContext{5}, nullptr);
    std::vector<RepairOutcome> outcomes(6, RepairOutcome::NowPresent);
    repairer.SetRowOutcomes([&](int row, const Finding&, RepairOutcome o) { outcomes.at(static_cast<size_t>(row)) = o; });
    repairer.RepairAll();
    CHECK(ui.heard == std::vector<std::string>{"OfferBackup", "ConfirmRepairAll", "RepairAllDone"});
    // Each row hears its own outcome: a failed row is never taken for a repaired one.
    CHECK(outcomes == std::vector<RepairOutcome>{RepairOutcome::Repaired, RepairOutcome::Repaired,
                                                 RepairOutcome::AlreadyGone, RepairOutcome::Failed,
                                                 RepairOutcome::Failed, RepairOutcome::Repaired});
    CHECK_FALSE(ValuePresent(HKEY_LOCAL_MACHINE, "Software\\Fonts", "Old"));
    CHECK_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, "Software\\Dead"));
    CHECK(FileExists(inside));
    CHECK_FALSE(FileExists(lnk));
    CHECK(TakeFromRecycleBin(lnk, false));  // can be taken back, not erased
    CHECK(Marks(list) == std::vector<bool>{true, true, true, false, false, true});
    CHECK(view.Status() == LoadText(IDS_STATUS_REPAIRED_REMAINING, {2, ""}));
    CHECK(view.controls.empty());
    std::vector<LogEntry> log = ReadLog();
    REQUIRE(log.size() == 1);
    CHECK(log[0].action == LogActionName(LogAction::RepairAll));
    CHECK(log[0].record == LoadText(IDS_LOG_SOME_FAILED, {4, 2}));

    // Once nothing stands in the way, repair all finishes the list.
    DeleteFileA(inside.c_str());
    FindingList rest;
    rest.Add(DiskFolderFinding(busy));
    rest.Add(DiskFileFinding(lnk, "1 Byte"));  // gone by now
    FakeView view2;
    ui.answers = {false, true};
    Repairer(rest, view2, ui, RepairContext{5}, nullptr).RepairAll();
    CHECK(Marks(rest) == std::vector<bool>{true, true});
    CHECK(TakeFromRecycleBin(busy, true));
    CHECK(view2.Status() == LoadText(IDS_STATUS_ALL_REPAIRED));
    CHECK(view2.controls == Controls{{false, false}});
    CHECK(ReadLog().at(1).record == LoadText(IDS_LOG_ALL_REPAIRED));
}

TEST_CASE("chosen rows: one question naming how many, exactly their objects go, each row marked, one summary") {
    RegistrySandbox sb;
    CleanProgramFolder clean;
    Messages msgs;
    SetString(HKEY_LOCAL_MACHINE, "Software\\Fonts", "A", "a.ttf");
    SetString(HKEY_LOCAL_MACHINE, "Software\\Fonts", "B", "b.ttf");
    MakeKey(HKEY_LOCAL_MACHINE, "Software\\Dead\\Sub");
    FindingList list;
    list.Add(RegistryValueFinding("HKEY_LOCAL_MACHINE", "Software\\Fonts", "A"));
    list.Add(RegistryValueFinding("HKEY_LOCAL_MACHINE", "Software\\Fonts", "B"));  // not chosen
    list.Add(RegistryKeyFinding("HKEY_LOCAL_MACHINE", "Software"));                  // refused
    list.Add(RegistryKeyFinding("HKEY_LOCAL_MACHINE", "Software\\Dead"));
    FakeView view;
    RepairCommands commands(list, view, RepairContext{5});
    std::vector<std::string> marks(4, "unheard");
    commands.OnRowMark([&](int row, const std::string& mark) { marks.at(static_cast<size_t>(row)) = mark; });

    commands.RepairSelected({0, 2, 3});
    REQUIRE(msgs.shown.size() == 2);
    CHECK(msgs.shown[0].text == LoadText(IDS_ASK_REPAIR_ROWS, {3}));
    CHECK(msgs.shown[1].text == LoadText(IDS_REPAIR_SUMMARY, {2, LoadText(IDS_SUMMARY_FAILED, {1})}));
    CHECK_FALSE(ValuePresent(HKEY_LOCAL_MACHINE, "Software\\Fonts", "A"));
    CHECK(ValuePresent(HKEY_LOCAL_MACHINE, "Software\\Fonts", "B"));
    CHECK_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, "Software\\Dead"));
    CHECK(Marks(list) == std::vector<bool>{true, false, false, true});
    CHECK(marks == std::vector<std::string>{"", "unheard", LoadText(IDS_ROW_FAILED), ""});
    // Logged row by row, as the repair of one row is.
    CHECK(ReadLog().size() == 2);

    // One chosen row is the repair of one row: its own question.
    msgs.shown.clear();
    commands.RepairSelected({1});
    REQUIRE(msgs.shown.size() == 1);
    CHECK(msgs.shown[0].text == RowQuestion(list.At(1)));
    CHECK_FALSE(ValuePresent(HKEY_LOCAL_MACHINE, "Software\\Fonts", "B"));
}

TEST_CASE("rows past the ANSI path limit are deleted, never marked done while still there") {
    ScratchDir dir;
    CleanProgramFolder clean;
    ScriptedRepairUi ui{false, true};
    // Seven folders of 40 characters: the rows are about 300 characters long.
    std::string folder = dir.Path();
    for (int i = 0; i < 7; ++i) {
        folder += "\\folder-with-a-rather-long-name-number-" + std::to_string(i);
        REQUIRE(CreateDirectoryW((L"\\\\?\\" + AnsiToWide(folder)).c_str(), nullptr));
    }
    const std::string file = folder + "\\old.lnk", empty = folder + "\\Empty";
    REQUIRE(file.size() > MAX_PATH);
    HANDLE h = CreateFileW((L"\\\\?\\" + AnsiToWide(file)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    CloseHandle(h);
    REQUIRE(CreateDirectoryW((L"\\\\?\\" + AnsiToWide(empty)).c_str(), nullptr));
    FindingList list;
    list.Add(DiskFileFinding(file, "0 Byte"));
    list.Add(DiskFolderFinding(empty));
    list.Add(DiskFileFinding(folder, "0 Byte"));        // a folder, not a file
    list.Add(DiskFolderFinding(folder + "\\gone"));     // already gone
    FakeView view;
    Repairer(list, view, ui, RepairContext{5}, nullptr).RepairAll();
    CHECK_FALSE(FileExists(file));
    CHECK_FALSE(DirectoryExists(empty));
    CHECK(DirectoryExists(folder));
    CHECK(Marks(list) == std::vector<bool>{true, true, false, true});
}

TEST_CASE("what a repair empties is found by a second look, listed, and repaired in the same command and undo file") {
    RegistrySandbox sb;
    ScratchDir dir;
    CleanProgramFolder clean;
    SetString(HKEY_LOCAL_MACHINE, "Software\\TwApp", "Path", "C:\\twgone\\app.exe");
    const std::string group = dir.Dir("Group"), lnk = dir.File("Group\\app.lnk");
    TakeFromRecycleBin(lnk, false);
    TakeFromRecycleBin(group, true);
    FindingList list;
    list.Add(RegistryValueFinding("HKEY_LOCAL_MACHINE", "Software\\TwApp", "Path"));
    list.Add(DiskFileFinding(lnk, "1 Byte"));
    // Stands in for the scan: what is empty now, and a row the list holds already.
    std::vector<size_t> looks;
    RepairContext context{5};
    context.scanAfterRepair = [&](const std::vector<Finding>& repaired) {
        looks.push_back(repaired.size());
        std::vector<Finding> now{RegistryValueFinding("HKEY_LOCAL_MACHINE", "Software\\TwApp", "Path")};
        if (KeyPresent(HKEY_LOCAL_MACHINE, "Software\\TwApp") && !ValuePresent(HKEY_LOCAL_MACHINE, "Software\\TwApp", "Path"))
            now.push_back(RegistryKeyFinding("HKEY_LOCAL_MACHINE", "Software\\TwApp", "empty key"));
        if (DirectoryExists(group) && !FileExists(lnk)) now.push_back(DiskFolderFinding(group));
        return now;
    };
    ScriptedRepairUi ui{false, true};
    FakeView view;
    Repairer(list, view, ui, context, nullptr).RepairAll();
    REQUIRE(list.Count() == 4);
    CHECK(Marks(list) == std::vector<bool>{true, true, true, true});
    CHECK(list.At(2).description == LoadText(IDS_FOUND_AFTER_REPAIR) + "empty key");
    CHECK(list.At(3).location == group);
    CHECK_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, "Software\\TwApp"));
    CHECK(TakeFromRecycleBin(group, true));
    CHECK(looks == std::vector<size_t>{2, 2});  // the second look found nothing new
    CHECK(view.Status() ==
          LoadText(IDS_STATUS_ALL_REPAIRED_AND, {LoadText(IDS_STATUS_FOUND_AFTER_REPAIR, {2})}));
    // One undo file brings back the value and the key; the log names each row found after.
    const std::vector<std::string> undoFiles = ListUndoFiles();
    REQUIRE(undoFiles.size() == 1);
    RegFileFlavor flavor;
    std::vector<RegFileKey> keys;
    REQUIRE(ReadUndoFile(undoFiles[0], flavor, keys));
    CHECK(keys.size() == 2);
    std::vector<LogEntry> log = ReadLog();
    REQUIRE(log.size() == 3);
    CHECK(log[0].action == LogActionName(LogAction::Delete));
    CHECK(log[0].record.find(LoadText(IDS_FOUND_AFTER_REPAIR)) != std::string::npos);
    CHECK(log[2].record == LoadText(IDS_LOG_ALL_REPAIRED) + LoadText(IDS_LOG_FOUND_AFTER_COUNT, {2}));

    // A look that keeps finding new rows holds the command for three rounds at most; a single
    // row's repair takes what it empties with it too.
    FindingList one;
    const std::string lnk2 = dir.File("Group2\\app.lnk");
    one.Add(DiskFileFinding(lnk2, "1 Byte"));
    looks.clear();
    context.scanAfterRepair = [&](const std::vector<Finding>&) {
        looks.push_back(0);
        return std::vector<Finding>{DiskFolderFinding(dir.Dir("Group2\\E" + std::to_string(looks.size())))};
    };
    FakeView view2;
    view2.selected = 0;
    Repairer(one, view2, ui, context, nullptr).RepairSelected();
    CHECK(looks.size() == 3);
    CHECK(Marks(one) == std::vector<bool>{true, true, true, true});
    CHECK(view2.Status() ==
          LoadText(IDS_STATUS_REPAIRED_REMAINING, {0, LoadText(IDS_STATUS_FOUND_AFTER_REPAIR, {3})}));
    CHECK(TakeFromRecycleBin(lnk2, false));
    for (int i = 1; i <= 3; ++i) TakeFromRecycleBin(dir / ("Group2\\E" + std::to_string(i)), true);
}

TEST_CASE("repair all after the backup offer") {
    RegistrySandbox sb;
    CleanProgramFolder clean;
    SetString(HKEY_CURRENT_USER, "Software\\A", "v", "x");
    FindingList list;
    list.Add(RegistryValueFinding("HKEY_CURRENT_USER", "Software\\A", "v"));
    FakeView view;
    RepairCommands commands(list, view, RepairContext{5});
    FakeEditor editor;

    SUBCASE("a backup that cannot start stops everything before the confirmation") {
        editor.start = false;
        Messages msgs;
        commands.RepairAll();
        REQUIRE(msgs.shown.size() == 2);  // the offer, then the error
        CHECK(msgs.shown[1].type == (MB_OK | MB_ICONERROR));
        CHECK(msgs.shown[1].caption == "Tarnwell");
        CHECK(view.Status() == LoadText(IDS_STATUS_BACKUP_FAILED));
        CHECK(ReadLog().at(0).record == LoadText(IDS_LOG_BACKUP_FAILED));
    }
    SUBCASE("only last hour's export is there: not this backup, nothing deleted") {
        fclose(fopen(BackupFilePath().c_str(), "wb"));
        WrittenAgo(BackupFilePath(), 3600);
        editor.writeExport = false;
        Messages msgs;
        commands.RepairAll();
        REQUIRE(msgs.shown.size() == 2);
        CHECK(msgs.shown[1].type == (MB_OK | MB_ICONERROR));
        CHECK(ReadLog().at(0).record == LoadText(IDS_LOG_BACKUP_FAILED));
    }
    SUBCASE("a good backup, then Cancel: the backup stays and no row changes") {
        Messages msgs{IDOK, IDOK, IDCANCEL};  // backup, its closing message, Cancel
        commands.RepairAll();
        CHECK(msgs.shown.size() == 3);
        CHECK(FileExists(BackupFilePath()));
        CHECK(ReadLog().at(0).record == LoadText(IDS_LOG_BACKUP_DONE));
    }
    CHECK(ValuePresent(HKEY_CURRENT_USER, "Software\\A", "v"));
    CHECK_FALSE(list.At(0).Repaired());
    std::vector<LogEntry> log = ReadLog();
    REQUIRE(log.size() == 1);
    CHECK(log[0].action == LogActionName(LogAction::Backup));
}

}  // TEST_SUITE

TEST_SUITE("backup and restore") {

TEST_CASE("both work in the program's folder wherever the program was started from") {
    ScratchDir elsewhere;
    CleanProgramFolder clean;
    ScopedCurrentDir cd(elsewhere.Path());
    FakeEditor editor;
    ScriptedRepairUi ui;
    FakeView view;
    ProgressOnDemand shown(view.OwnerWindow());
    RegistryBackup backup(view, shown, ui);
    editor.progress = &shown;

    REQUIRE(backup.Backup());
    HWND progress = shown.Window()->Handle();
    CHECK_FALSE(IsWindowVisible(progress));
    CHECK(FileExists(BackupFilePath()));
    CHECK(ui.heard == std::vector<std::string>{"BackupDone"});
    CHECK(ui.end == EditorEnd::Done);
    CHECK(view.statuses == std::vector<std::string>{LoadText(IDS_STATUS_BACKING_UP), LoadText(IDS_STATUS_BACKUP_DONE)});

    REQUIRE(backup.Restore());
    CHECK(ui.heard == std::vector<std::string>{"BackupDone", "ConfirmRestore", "RestoreDone"});
    CHECK(ui.end == EditorEnd::Done);
    CHECK(view.Status() == LoadText(IDS_STATUS_RESTORE_DONE));
    // One progress window, shown while the editor works, with each command's caption.
    CHECK(shown.Window()->Handle() == progress);
    CHECK(editor.progressCaptions == std::vector<std::string>{LoadText(IDS_PROGRESS_BACKUP), LoadText(IDS_PROGRESS_RESTORE)});

    CHECK(editor.commandLines == std::vector<std::string>{"RegEdit /e Backup_Tw.reg", "RegEdit /s Backup_Tw.reg"});
    CHECK(editor.directories == std::vector<std::string>(2, ProgramFolder()));
    CHECK(editor.currentDirs == std::vector<std::string>(2, ProgramFolder()));
    std::vector<LogEntry> log = ReadLog();
    REQUIRE(log.size() == 2);
    CHECK(log[0].record == LoadText(IDS_LOG_BACKUP_DONE));
    CHECK(log[1].action == LogActionName(LogAction::Restore));
    CHECK(log[1].record == LoadText(IDS_LOG_RESTORE_DONE));
}

TEST_CASE("the main window takes no command while the editor works; one disabled before stays so") {
    CleanProgramFolder clean;
    FakeEditor editor;
    ScriptedRepairUi ui;
    struct WindowView : FakeView {
        HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        ~WindowView() override { DestroyWindow(window); }
        HWND OwnerWindow() override { return window; }
    } view;
    editor.watched = view.window;
    ProgressOnDemand shown(view.OwnerWindow());
    RegistryBackup backup(view, shown, ui);
    CHECK(backup.Backup());
    CHECK(backup.Restore());
    CHECK(IsWindowEnabled(view.window));
    editor.exitCode = 1;  // a failed restore gives the window back too
    CHECK_FALSE(backup.Restore());
    CHECK(IsWindowEnabled(view.window));
    EnableWindow(view.window, FALSE);
    CHECK(backup.Backup());
    CHECK_FALSE(IsWindowEnabled(view.window));
    CHECK(editor.watchedEnabled == std::vector<bool>(4, false));
}

TEST_CASE("restore without an export, after Cancel, and when the editor fails") {
    CleanProgramFolder clean;
    FakeEditor editor;
    FakeView view;
    ProgressOnDemand shown(view.OwnerWindow());
    ScriptedRepairUi ui;
    RegistryBackup backup(view, shown, ui);

    SUBCASE("no export: the full path in the error, nothing started or logged") {
        CHECK_FALSE(backup.Restore());
        CHECK(ui.heard == std::vector<std::string>{"NoBackupToRestore"});
        CHECK(ui.text == ProgramFolder() + "Backup_Tw.reg");
        CHECK(editor.commandLines.empty());
        CHECK_FALSE(FileExists(RepairLogPath()));
    }
    fclose(fopen(BackupFilePath().c_str(), "wb"));
    SUBCASE("Cancel: no progress window, nothing logged") {
        ui.answers = {false};
        CHECK_FALSE(backup.Restore());
        CHECK(shown.Window() == nullptr);
        CHECK(editor.commandLines.empty());
        CHECK_FALSE(FileExists(RepairLogPath()));
    }
    auto failedRestore = [&](bool starts) {
        editor.exitCode = 1;
        editor.start = starts;
        CHECK_FALSE(backup.Restore());
        CHECK(ui.heard.back() == "RestoreDone");
        CHECK(ui.end == (starts ? EditorEnd::Failed : EditorEnd::NotStarted));
        CHECK(ReadLog().at(0).record == LoadText(IDS_LOG_RESTORE_FAILED));
        CHECK(view.Status() == LoadText(IDS_STATUS_RESTORE_FAILED));
        CHECK_FALSE(IsWindowVisible(shown.Window()->Handle()));
    };
    SUBCASE("the editor reports an error: an error message and a failure entry") { failedRestore(true); }
    SUBCASE("the editor cannot start: the same") { failedRestore(false); }
}

TEST_CASE("a backup and a restore through the registry editor bring back a key deleted between them") {
    // The editor is another process: it sees the real registry of this prefix, not a sandbox.
    CleanProgramFolder clean;
    ScriptedRepairUi ui;
    const std::string parent = "Software\\TarnwellRestoreTest";
    const std::string base = parent + "\\" + IntToStr(GetCurrentProcessId());
    ScopeExit cleanup([&] {
        Registry().DeleteKey(base);
        RegDeleteKeyA(HKEY_CURRENT_USER, parent.c_str());  // only when no other run uses it
    });
    SetString(HKEY_CURRENT_USER, base + "\\Sub\\Deep", "名称", "数据");

    FakeView view;
    ProgressOnDemand shown(view.OwnerWindow());
    RegistryBackup backup(view, shown, ui);
    REQUIRE(backup.Backup());
    REQUIRE(Registry().DeleteKey(base + "\\Sub"));
    REQUIRE_FALSE(KeyPresent(HKEY_CURRENT_USER, base + "\\Sub"));
    REQUIRE(backup.Restore());
    CHECK(GetString(HKEY_CURRENT_USER, base + "\\Sub\\Deep", "名称") == "数据");
    std::vector<LogEntry> log = ReadLog();
    REQUIRE(log.size() == 2);
    CHECK(log[0].record == LoadText(IDS_LOG_BACKUP_DONE));
    CHECK(log[1].record == LoadText(IDS_LOG_RESTORE_DONE));
}

}  // TEST_SUITE

TEST_SUITE("repair log and history window") {

TEST_CASE("entries go beside the executable, one section each, even within one second") {
    ScratchDir elsewhere;
    CleanProgramFolder clean;
    {
        ScopedCurrentDir cd(elsewhere.Path());
        SYSTEMTIME t{2024, 3, 2, 5, 9, 7, 2, 0};
        REQUIRE(WriteLog(LogAction::Delete, "first", t));
        REQUIRE(WriteLog(LogAction::Delete, "second", t));
        REQUIRE(WriteLog(LogAction::RepairAll, "third", t));
    }
    CHECK_FALSE(FileExists(elsewhere / "Repair.log"));
    const std::string base = LogSectionName(SYSTEMTIME{2024, 3, 2, 5, 9, 7, 2, 0});
    CHECK(base.rfind("2024-03-05|", 0) == 0);
    CHECK(base.find("07:02") != std::string::npos);
    std::vector<LogEntry> log = ReadLog();
    REQUIRE(log.size() == 3);
    CHECK(log[0].section == base);
    CHECK(log[1].section == base + " (2)");
    CHECK(log[2].section == base + " (3)");
    CHECK(log[1].record == "second");
    CHECK(log[2].action == LogActionName(LogAction::RepairAll));
    // GB2312 text as stored, "行为" before "记录".
    const std::string bytes = ReadFileBytes(RepairLogPath());
    CHECK(bytes.find("[" + base + "]\r\n行为=删除\r\n记录=first") != std::string::npos);
}

TEST_CASE("the history window shows the log as stored and clears it after a question whose default keeps it") {
    CleanProgramFolder clean;
    Messages msgs{IDCANCEL};
    FindingList list;
    FakeView view;
    RepairCommands commands(list, view, RepairContext{5});

    // Cleared with the window never opened: asked first, Cancel keeps the log; after OK the
    // file goes and the window stays hidden.
    REQUIRE(WriteLog(LogAction::Delete, "before"));
    commands.ClearHistory();
    CHECK(FileExists(RepairLogPath()));
    REQUIRE(msgs.shown.size() == 1);
    CHECK(msgs.shown[0].text == LoadText(IDS_ASK_CLEAR_HISTORY));
    CHECK((msgs.shown[0].type & MB_DEFBUTTON2) != 0);
    commands.ClearHistory();
    CHECK_FALSE(FileExists(RepairLogPath()));
    HistoryWindow* form = commands.History();
    REQUIRE(form);
    CHECK_FALSE(form->IsVisible());

    commands.ShowHistory();
    CHECK(form->IsVisible());
    CHECK(WindowText(form->Memo()) == "");
    form->Hide();

    // The next entry starts a fresh log.
    REQUIRE(WriteLog(LogAction::Delete, "HKEY_CURRENT_USER Software\\旧软件  无效软件"));
    const std::string stored = ReadFileBytes(RepairLogPath());
    CHECK(stored.find("before") == std::string::npos);
    commands.ShowHistory();
    CHECK(WindowText(form->Memo()) == stored);
    SetFocus(form->Memo());
    CHECK(GetFocus() == form->Panel());  // the memo never keeps the focus

    // Open already: a new entry shows only after closing and opening again.
    REQUIRE(WriteLog(LogAction::Delete, "later"));
    commands.ShowHistory();
    CHECK(WindowText(form->Memo()) == stored);
    SendMessageW(form->ExitButton(), BM_CLICK, 0, 0);
    CHECK_FALSE(form->IsVisible());
    commands.ShowHistory();
    CHECK(WindowText(form->Memo()).find("记录=later") != std::string::npos);

    SendMessageW(form->ClearButton(), BM_CLICK, 0, 0);
    CHECK_FALSE(FileExists(RepairLogPath()));
    CHECK(WindowText(form->Memo()) == "");
    CHECK(msgs.shown.size() == 3);
}

}  // TEST_SUITE

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

TEST_CASE("line breaks in a repaired value's name forge no log entry, in the file or the history window") {
    RegistrySandbox sb;
    CleanProgramFolder clean;
    Messages msgs;
    const std::string name = "v\r\n[2000-01-01|0:00:00]\r\n行为=伪造\r\n记录=forged";
    SetString(HKEY_CURRENT_USER, "Software\\A", name, "C:\\gone.exe");
    SetString(HKEY_CURRENT_USER, "Software\\A", "v", "keep");
    FindingList list;
    list.Add(RegistryValueFinding("HKEY_CURRENT_USER", "Software\\A", name, "C:\\gone.exe\tmore\x1b"));
    FakeView view;
    view.selected = 0;
    RepairCommands commands(list, view, RepairContext{5});
    commands.RepairSelected({0});
    CHECK_FALSE(ValuePresent(HKEY_CURRENT_USER, "Software\\A", name));
    CHECK(GetString(HKEY_CURRENT_USER, "Software\\A", "v") == "keep");

    std::vector<LogEntry> log = ReadLog();
    REQUIRE(log.size() == 1);
    CHECK(log[0].action == LogActionName(LogAction::Delete));
    CHECK(log[0].record ==
          "HKEY_CURRENT_USER Software\\A v\\r\\n[2000-01-01|0:00:00]\\r\\n行为=伪造\\r\\n记录=forged "
          "C:\\gone.exe\\tmore\\x1B");
    const std::string stored = ReadFileBytes(RepairLogPath());
    size_t lines = 0;
    for (size_t p = 0; (p = stored.find("\r\n", p)) != std::string::npos; p += 2) ++lines;
    CHECK(lines == 3);  // the section and its two keys

    commands.ShowHistory();
    const std::string shown = WindowText(commands.History()->Memo());
    CHECK(shown == stored);
    CHECK(shown.find("\r\n[2000") == std::string::npos);
    CHECK(shown.find("\r\n行为=伪造") == std::string::npos);
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
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    using NtQueryKeyFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    auto query = reinterpret_cast<NtQueryKeyFn>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryKey"));
    std::vector<BYTE> buf(4096);
    ULONG len = 0;
    std::wstring name;
    const int kKeyNameInformation = 3;
    if (query && query(key, kKeyNameInformation, buf.data(), static_cast<ULONG>(buf.size()), &len) == 0) {
        const ULONG bytes = *reinterpret_cast<ULONG*>(buf.data());
        name.assign(reinterpret_cast<const wchar_t*>(buf.data() + sizeof(ULONG)), bytes / sizeof(wchar_t));
    }
    RegCloseKey(key);
    return name;
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

TEST_SUITE("backup checks") {

TEST_CASE("an empty export, or only an earlier backup's, fails the backup and repair all deletes nothing") {
    struct {
        const char* what;
        bool editorWrites;
        bool earlierExport;
    } cases[] = {
        {"the editor leaves an empty export", true, false},
        {"the editor writes nothing; a non-empty export of an hour ago is there", false, true},
    };
    for (const auto& c : cases) {
        CAPTURE(c.what);
        RegistrySandbox sb;
        CleanProgramFolder clean;
        SetString(HKEY_CURRENT_USER, "Software\\A", "v", "x");
        if (c.earlierExport) {
            FILE* f = fopen(BackupFilePath().c_str(), "wb");
            REQUIRE(f);
            fputs("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n", f);
            fclose(f);
            WrittenAgo(BackupFilePath(), 3600);
        }
        FindingList list;
        list.Add(RegistryValueFinding("HKEY_CURRENT_USER", "Software\\A", "v"));
        FakeView view;
        RepairCommands commands(list, view, RepairContext{5});
        FakeEditor editor;
        editor.writeExport = c.editorWrites;
        editor.exportContent = "";
        Messages msgs;  // OK to the backup offer, and to whatever follows
        commands.RepairAll();
        REQUIRE(msgs.shown.size() == 2);  // the offer, then the failure
        CHECK(msgs.shown[1].type == (MB_OK | MB_ICONERROR));
        CHECK(view.Status() == LoadText(IDS_STATUS_BACKUP_FAILED));
        std::vector<LogEntry> log = ReadLog();
        REQUIRE(log.size() == 1);
        CHECK(log[0].record == LoadText(IDS_LOG_BACKUP_FAILED));
        CHECK(ValuePresent(HKEY_CURRENT_USER, "Software\\A", "v"));
        CHECK_FALSE(list.At(0).Repaired());
    }
}

}  // TEST_SUITE

TEST_SUITE("history kept at a clear") {

TEST_CASE("clearing keeps the cleared log as Repair.log.bak, replaced at each clear") {
    CleanProgramFolder clean;
    Messages msgs;
    FindingList list;
    FakeView view;
    RepairCommands commands(list, view, RepairContext{5});

    REQUIRE(WriteLog(LogAction::Delete, "first"));
    const std::string first = ReadFileBytes(RepairLogPath());
    commands.ClearHistory();  // the window never opened
    CHECK_FALSE(FileExists(RepairLogPath()));
    CHECK(ReadFileBytes(RepairLogBackupPath()) == first);

    REQUIRE(WriteLog(LogAction::Delete, "second"));
    const std::string second = ReadFileBytes(RepairLogPath());
    commands.ShowHistory();
    HistoryWindow* form = commands.History();
    SendMessageW(form->ClearButton(), BM_CLICK, 0, 0);
    CHECK_FALSE(FileExists(RepairLogPath()));
    CHECK(ReadFileBytes(RepairLogBackupPath()) == second);
    CHECK(WindowText(form->Memo()) == "");

    // Clearing without a log keeps the kept one.
    commands.ClearHistory();
    CHECK(ReadFileBytes(RepairLogBackupPath()) == second);

    // When the cleared log cannot be kept, it is not cleared either.
    DeleteFileA(RepairLogBackupPath().c_str());
    REQUIRE(CreateDirectoryA(RepairLogBackupPath().c_str(), nullptr));
    REQUIRE(WriteLog(LogAction::Delete, "third"));
    commands.ClearHistory();
    CHECK(FileExists(RepairLogPath()));
    // Only the questions: nothing to report.
    for (const Shown& box : msgs.shown) CHECK(box.text == LoadText(IDS_ASK_CLEAR_HISTORY));
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
        const std::string last = window ? msgs.shown.back().text : std::string();
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
