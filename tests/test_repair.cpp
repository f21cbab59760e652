#include <doctest.h>

#include "app/RepairCommands.h"
#include "cli/ConsoleRepair.h"
#include "support/RepairFixtures.h"

using namespace tw;
using namespace tw::test;

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
    CHECK(msgs.shown[0] == LoadText(IDS_ASK_REPAIR_ROWS, {3}));
    CHECK(msgs.shown[1] == LoadText(IDS_REPAIR_SUMMARY, {2, LoadText(IDS_SUMMARY_FAILED, {1})}));
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
    CHECK(msgs.shown[0] == RowQuestion(list.At(1)));
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

}  // TEST_SUITE

TEST_SUITE("repair plan") {

// The console's dry run and its repair print one line per row ending in the outcome's word.
std::vector<std::string> OutcomeWords(FindingList& list, bool dryRun, const IgnoreList* ignored,
                                      const ScratchDir& dir) {
    const std::string file = dir / (dryRun ? "dry.txt" : "repair.txt");
    FILE* out = fopen(file.c_str(), "w+b");
    REQUIRE(out);
    ConsoleView view({}, false, out);
    ConsoleRepairOptions options;
    options.dryRun = dryRun;
    options.ignored = ignored;
    ConsoleRepair(view, list, options);
    fclose(out);
    std::vector<std::string> words;
    for (const std::string& line : SplitAt(ReadFileBytes(file), '\n'))
        if (!line.empty() && line[0] != '\t') words.push_back(line.substr(line.rfind('\t') + 1));
    return words;
}

TEST_CASE("the repair and the console's dry run follow one plan: a rule of the ignore list changes both") {
    RegistrySandbox sb;
    ScratchDir dir;
    CleanProgramFolder clean;
    SetString(HKEY_CURRENT_USER, "Software\\TwPlan\\Sub", "v", "x");
    SetString(HKEY_CURRENT_USER, "Software\\TwValues", "gone", "C:\\gone.exe");
    const std::string lnk = dir.File("old.lnk"), busy = dir.Dir("Busy");
    dir.File("Busy\\inside.txt");
    FindingList list;
    list.Add(RegistryKeyFinding("HKEY_CURRENT_USER", "Software\\TwPlan"));
    list.Add(RegistryValueFinding("HKEY_CURRENT_USER", "Software\\TwValues", "gone"));
    list.Add(RegistryKeyFinding("HKEY_CURRENT_USER", "Software\\TwNeverThere"));
    list.Add(DiskFileFinding(lnk, "1 Byte"));
    list.Add(DiskFolderFinding(busy));  // holds a file: the plan keeps it
    Finding back = DiskFileFinding(dir.File("back.lnk"), "1 Byte");
    back.missingPaths = {busy};  // what the shortcut led to is there: no fault any more
    list.Add(back);

    RepairPlanner planner;
    const RepairPlan key = planner.Plan(list.At(0), RepairPlanner::WhatGoes);
    CHECK(key.step == RepairStep::DeleteKey);
    CHECK(key.goes == std::vector<std::string>{"[HKEY_CURRENT_USER\\Software\\TwPlan]",
                                               "[HKEY_CURRENT_USER\\Software\\TwPlan\\Sub]", "\"v\"=\"x\""});
    const std::vector<RepairOutcome> planned = {RepairOutcome::Repaired, RepairOutcome::Repaired,
                                                RepairOutcome::AlreadyGone, RepairOutcome::Repaired,
                                                RepairOutcome::Failed, RepairOutcome::NowPresent};
    std::vector<std::string> dry, done;
    for (int i = 0; i < list.Count(); ++i) {
        CHECK(planner.Plan(list.At(i)).outcome == planned[static_cast<size_t>(i)]);
        dry.push_back(OutcomeWord(planned[static_cast<size_t>(i)], true));
        done.push_back(OutcomeWord(planned[static_cast<size_t>(i)]));
    }
    CHECK(OutcomeWords(list, true, nullptr, dir) == dry);
    CHECK(KeyPresent(HKEY_CURRENT_USER, "Software\\TwPlan\\Sub"));

    // One rule more: the key's subkey on the ignore list. The plan keeps the key, and so do the
    // dry run and the repair.
    IgnoreList ignored(dir / "Ignore.ini");
    REQUIRE(ignored.Add({"HKEY_CURRENT_USER", "Software\\TwPlan\\Sub", ""}));
    CHECK(RepairPlanner(&ignored).Plan(list.At(0)).outcome == RepairOutcome::Ignored);
    dry[0] = done[0] = OutcomeWord(RepairOutcome::Ignored);
    CHECK(OutcomeWords(list, true, &ignored, dir) == dry);
    CHECK(OutcomeWords(list, false, &ignored, dir) == done);
    CHECK(KeyPresent(HKEY_CURRENT_USER, "Software\\TwPlan\\Sub"));
    CHECK_FALSE(ValuePresent(HKEY_CURRENT_USER, "Software\\TwValues", "gone"));
    CHECK_FALSE(FileExists(lnk));
    CHECK(TakeFromRecycleBin(lnk, false));
}

}  // TEST_SUITE
