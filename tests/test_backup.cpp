#include <doctest.h>

#include "app/RepairCommands.h"
#include "support/RepairFixtures.h"

using namespace tw;
using namespace tw::test;

TEST_SUITE("repair all") {

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
        CHECK(msgs.types[1] == (MB_OK | MB_ICONERROR));
        CHECK(msgs.captions[1] == "Tarnwell");
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
        CHECK(msgs.types[1] == (MB_OK | MB_ICONERROR));
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
        CHECK(msgs.types[1] == (MB_OK | MB_ICONERROR));
        CHECK(view.Status() == LoadText(IDS_STATUS_BACKUP_FAILED));
        std::vector<LogEntry> log = ReadLog();
        REQUIRE(log.size() == 1);
        CHECK(log[0].record == LoadText(IDS_LOG_BACKUP_FAILED));
        CHECK(ValuePresent(HKEY_CURRENT_USER, "Software\\A", "v"));
        CHECK_FALSE(list.At(0).Repaired());
    }
}

}  // TEST_SUITE
