#include <doctest.h>

#include "app/RepairCommands.h"
#include "support/RepairFixtures.h"

using namespace tw;
using namespace tw::test;

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
    CHECK(msgs.shown[0] == LoadText(IDS_ASK_CLEAR_HISTORY));
    CHECK((msgs.types[0] & MB_DEFBUTTON2) != 0);
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

TEST_SUITE("hostile rows") {

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
    for (const std::string& box : msgs.shown) CHECK(box == LoadText(IDS_ASK_CLEAR_HISTORY));
}

}  // TEST_SUITE
