#include <doctest.h>

#include <deque>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "platform/Threads.h"
#include "repair/Backup.h"
#include "repair/HistoryWindow.h"
#include "repair/Repair.h"
#include "repair/RepairCommands.h"
#include "repair/RepairLog.h"
#include "support/Sandbox.h"

using namespace tw;
using namespace tw::test;

namespace {

// The main window as repair sees it.
struct FakeView : RepairView {
    int selected = -1;
    std::vector<int> changed;
    std::vector<std::string> statuses;
    std::vector<std::pair<bool, bool>> controls;  // (on, popupToo) per call
    int pumps = 0;

    int SelectedRow() override { return selected; }
    void RowChanged(int row) override { changed.push_back(row); }
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void SetRepairControls(bool on, bool popupToo) override { controls.emplace_back(on, popupToo); }
    void ProcessMessages() override {
        ++pumps;
        tw::ProcessMessages();
    }
    HWND MainWindow() override { return nullptr; }
    std::string Status() const { return statuses.empty() ? std::string() : statuses.back(); }
};

struct Shown {
    std::string text, caption;
    UINT type;
};

// Message boxes answered from a script (OK once the script runs out), every one recorded.
struct ScriptedMessages {
    ScopedSeams seams;
    std::deque<int> answers;
    std::vector<Shown> shown;
    ScriptedMessages(std::initializer_list<int> script = {}) : answers(script) {
        seams->messageBox = [this](HWND, const std::string& text, const std::string& caption, UINT type) {
            shown.push_back({text, caption, type});
            if (answers.empty()) return IDOK;
            int a = answers.front();
            answers.pop_front();
            return a;
        };
    }
};

// Repair.log and Backup_Tw.reg beside the test exe: gone before and after each test.
struct CleanProgramFolder {
    CleanProgramFolder() { Remove(); }
    ~CleanProgramFolder() { Remove(); }
    static void Remove() {
        DeleteFileA(RepairLogPath().c_str());
        DeleteFileA(BackupFilePath().c_str());
    }
};

std::vector<std::string> LogSections() {
    std::vector<char> buf(65536);
    DWORD n = GetPrivateProfileSectionNamesA(buf.data(), static_cast<DWORD>(buf.size()),
                                             RepairLogPath().c_str());
    std::vector<std::string> names;
    for (DWORD i = 0; i < n;) {
        std::string s(buf.data() + i);
        if (s.empty()) break;
        i += static_cast<DWORD>(s.size()) + 1;
        names.push_back(s);
    }
    return names;
}

std::string LogValue(const std::string& section, const std::string& key) {
    char buf[4096] = {};
    GetPrivateProfileStringA(section.c_str(), key.c_str(), "<none>", buf, sizeof buf,
                             RepairLogPath().c_str());
    return buf;
}

std::string ReadFileBytes(const std::string& path) {
    std::string out;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    fclose(f);
    return out;
}

std::string WindowText(HWND w) {
    int n = GetWindowTextLengthW(w);
    std::wstring s(static_cast<size_t>(n) + 1, L'\0');
    GetWindowTextW(w, &s[0], n + 1);
    s.resize(static_cast<size_t>(n));
    return WideToAnsi(s);
}

Finding Row(const std::string& caption, const std::string& location, const std::string& keyName = "",
            const std::string& description = "") {
    Finding f;
    f.caption = caption;
    f.location = location;
    f.keyName = keyName;
    f.description = description;
    return f;
}

// A registry editor stand-in: writes (or not) the export where the real one would.
struct FakeEditor {
    ScopedSeams seams;
    std::vector<std::string> commandLines, directories, currentDirs, progressCaptions;
    bool start = true;
    bool writeExport = true;
    DWORD exitCode = 0;
    RegistryBackup* backup = nullptr;  // whose progress window must show meanwhile

    FakeEditor() {
        seams->runAndWait = [this](const std::string& cmd, const std::string& dir, DWORD& code) {
            commandLines.push_back(cmd);
            directories.push_back(dir);
            char cur[MAX_PATH] = {};
            GetCurrentDirectoryA(sizeof cur, cur);
            currentDirs.push_back(cur);
            if (backup && backup->ProgressWindow() && IsWindowVisible(backup->ProgressWindow()->Handle()))
                progressCaptions.push_back(WindowText(backup->ProgressWindow()->Handle()));
            if (!start) return false;
            if (writeExport && cmd.find("/e") != std::string::npos) {
                FILE* f = fopen((dir + "Backup_Tw.reg").c_str(), "wb");
                if (f) {
                    fputs("REGEDIT4\r\n", f);
                    fclose(f);
                }
            }
            code = exitCode;
            return true;
        };
    }
};

std::string CurrentDirectoryWithSlash() {
    char cur[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof cur, cur);
    std::string s = cur;
    if (!s.empty() && s.back() != '\\') s += '\\';
    return s;
}

}  // namespace

TEST_SUITE("repair selected") {

TEST_CASE("nothing happens, not even a question, without a selection or on a repaired row") {
    RegistrySandbox sb;
    CleanProgramFolder clean;
    ScriptedMessages msgs;
    SetString(HKEY_CURRENT_USER, "Software\\A", "v", "x");
    FindingList list;
    list.Add(Row("HKEY_CURRENT_USER", "Software\\A", "v"));
    list.MarkRepaired(0);
    FakeView view;
    Repairer repair(list, view, 5, nullptr);

    view.selected = -1;
    repair.FlatButton2Click();
    view.selected = 0;
    repair.FlatButton2Click();

    CHECK(msgs.shown.empty());
    CHECK(ValuePresent(HKEY_CURRENT_USER, "Software\\A", "v"));
    CHECK(view.statuses.empty());
    CHECK_FALSE(FileExists(RepairLogPath()));
}

TEST_CASE("each kind asks its own question, and Cancel changes nothing") {
    RegistrySandbox sb;
    ScratchDir dir;
    CleanProgramFolder clean;
    const std::string file = dir.File("old.lnk");
    const std::string folder = dir.Dir("Empty");
    SetString(HKEY_LOCAL_MACHINE, "Software\\Fonts", "Arial", "arial.ttf");
    MakeKey(HKEY_LOCAL_MACHINE, "Software\\Gone\\Sub");

    struct Case {
        Finding row;
        std::string question;
    } cases[] = {
        {Row("磁盘文件错误", file, "1 Byte", "C:\\missing.exe"),
         "您确定要修复选中的错误吗？(文件位置：" + file + ") (文件目标：C:\\missing.exe)"},
        {Row("磁盘目录错误", folder), "您确定要修复选中的错误吗？(目录：" + folder + ")"},
        {Row("HKEY_LOCAL_MACHINE", "Software\\Fonts", "Arial", "无效字体arial.ttf"),
         "将要从注册表中删除“HKEY_LOCAL_MACHINE\\Software\\Fonts\\Arial：无效字体arial.ttf”，确定吗？"},
        {Row("HKEY_LOCAL_MACHINE", "Software\\Gone", "", "无效软件"),
         "将要从注册表中删除“HKEY_LOCAL_MACHINE\\Software\\Gone”，确定吗？"},
    };
    for (const Case& c : cases) {
        CAPTURE(c.question);
        ScriptedMessages msgs{IDCANCEL};
        FindingList list;
        list.Add(c.row);
        FakeView view;
        view.selected = 0;
        Repairer(list, view, 5, nullptr).FlatButton2Click();
        REQUIRE(msgs.shown.size() == 1);
        CHECK(msgs.shown[0].text == c.question);
        CHECK(msgs.shown[0].caption == "Tarnwell");
        CHECK(msgs.shown[0].type == (MB_OKCANCEL | MB_ICONQUESTION));
        CHECK_FALSE(list.At(0).Repaired());
        CHECK(view.statuses.empty());
    }
    CHECK(FileExists(file));
    CHECK(DirectoryExists(folder));
    CHECK(ValuePresent(HKEY_LOCAL_MACHINE, "Software\\Fonts", "Arial"));
    CHECK(KeyPresent(HKEY_LOCAL_MACHINE, "Software\\Gone\\Sub"));
    CHECK_FALSE(FileExists(RepairLogPath()));
}

TEST_CASE("the default-value marker empties the default value and counts as repaired") {
    RegistrySandbox sb;
    CleanProgramFolder clean;
    ScriptedMessages msgs;
    SetString(HKEY_USERS, "S-1\\Software\\App", "", "C:\\gone\\app.exe");
    SetString(HKEY_USERS, "S-1\\Software\\App", "Other", "keep");
    FindingList list;
    list.Add(Row("HKEY_USERS", "S-1\\Software\\App", "@D_e_f_a_u_l_t", "C:\\gone\\app.exe"));
    FakeView view;
    view.selected = 0;
    Repairer(list, view, 5, nullptr).FlatButton2Click();

    CHECK(ValuePresent(HKEY_USERS, "S-1\\Software\\App", ""));
    CHECK(GetString(HKEY_USERS, "S-1\\Software\\App", "") == "");
    CHECK(GetString(HKEY_USERS, "S-1\\Software\\App", "Other") == "keep");
    CHECK(list.At(0).Repaired());
    CHECK(view.changed == std::vector<int>{0});
    std::vector<std::string> sections = LogSections();
    REQUIRE(sections.size() == 1);
    CHECK(LogValue(sections[0], "行为") == "删除");
    CHECK(LogValue(sections[0], "记录") ==
          "HKEY_USERS S-1\\Software\\App @D_e_f_a_u_l_t C:\\gone\\app.exe");
}

TEST_CASE("a key finding takes its whole subtree, level by level on 5 and at once on 4") {
    for (uint32_t major : {5u, 4u}) {
        CAPTURE(major);
        RegistrySandbox sb;
        CleanProgramFolder clean;
        ScriptedMessages msgs;
        MakeKey(HKEY_LOCAL_MACHINE, "Software\\Old\\A\\A1\\A11");
        MakeKey(HKEY_LOCAL_MACHINE, "Software\\Old\\B");
        SetString(HKEY_LOCAL_MACHINE, "Software\\Old\\A\\A1", "v", "x");
        MakeKey(HKEY_LOCAL_MACHINE, "Software\\Older");  // a neighbour sharing the prefix
        FindingList list;
        list.Add(Row("HKEY_LOCAL_MACHINE", "Software\\Old", "", "无效软件"));
        FakeView view;
        view.selected = 0;
        Repairer(list, view, major, nullptr).FlatButton2Click();

        CHECK_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, "Software\\Old"));
        CHECK(KeyPresent(HKEY_LOCAL_MACHINE, "Software\\Older"));
        CHECK(list.At(0).Repaired());
        // Only the walk of 5 lets the window repaint, once per level that had subkeys.
        CHECK(view.pumps == (major == 5 ? 3 : 0));
    }
}

TEST_CASE("a caption that names no root is repaired under HKEY_CURRENT_USER") {
    RegistrySandbox sb;
    CleanProgramFolder clean;
    ScriptedMessages msgs;
    SetString(HKEY_CURRENT_USER, "Software\\X", "v", "1");
    SetString(HKEY_LOCAL_MACHINE, "Software\\X", "v", "1");
    FindingList list;
    list.Add(Row("HKEY_SOMEWHERE", "Software\\X", "v"));
    FakeView view;
    view.selected = 0;
    Repairer(list, view, 5, nullptr).FlatButton2Click();
    CHECK_FALSE(ValuePresent(HKEY_CURRENT_USER, "Software\\X", "v"));
    CHECK(ValuePresent(HKEY_LOCAL_MACHINE, "Software\\X", "v"));
    CHECK(list.At(0).Repaired());
}

TEST_CASE("the status counts the rows left, and the last one switches the repair commands off") {
    RegistrySandbox sb;
    CleanProgramFolder clean;
    ScriptedMessages msgs;
    FindingList list;
    for (int i = 0; i < 5; ++i) {
        std::string name = "v" + IntToStr(i);
        SetString(HKEY_CURRENT_USER, "Software\\Five", name, "x");
        list.Add(Row("HKEY_CURRENT_USER", "Software\\Five", name));
    }
    FakeView view;
    Repairer repair(list, view, 5, nullptr);
    view.selected = 1;
    repair.FlatButton2Click();
    view.selected = 3;
    repair.FlatButton2Click();
    CHECK(view.Status() == "修复完毕。剩余：3 个错误。");
    CHECK(view.controls.empty());
    CHECK(LogSections().size() == 2);

    for (int row : {0, 2, 4}) {
        view.selected = row;
        repair.FlatButton2Click();
    }
    CHECK(view.Status() == "修复完毕。剩余：0 个错误。");
    // The popup items keep their state.
    CHECK(view.controls == std::vector<std::pair<bool, bool>>{{false, false}});
}

TEST_CASE("a row whose target is already gone counts as repaired; a failed deletion does not") {
    RegistrySandbox sb;
    ScratchDir dir;
    CleanProgramFolder clean;
    ScriptedMessages msgs;
    const std::string busy = dir.Dir("Busy");
    dir.File("Busy\\inside.txt");
    FindingList list;
    list.Add(Row("HKEY_CURRENT_USER", "Software\\NeverThere", "v"));
    list.Add(Row("磁盘目录错误", busy));
    FakeView view;
    Repairer repair(list, view, 5, nullptr);
    view.selected = 0;
    repair.FlatButton2Click();
    view.selected = 1;
    repair.FlatButton2Click();
    CHECK(list.At(0).Repaired());
    CHECK_FALSE(list.At(1).Repaired());
    CHECK(FileExists(busy + "\\inside.txt"));
    CHECK(LogSections().size() == 1);
    CHECK(view.Status() == "修复完毕。剩余：1 个错误。");
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
        {"Software", false, true},
        {"", false, false},
        {"\\Software\\Old", false, false},
        {"Software\\Old\\", false, false},
        {"Software\\\\Old", false, false},
        {"Software\\\xB1\x5C", true, true},  // a backslash byte inside a double-byte character
    };
    for (const auto& r : registry) {
        CAPTURE(r.location);
        CHECK(IsRepairableKeyLocation(r.location) == r.key);
        CHECK(IsRepairableValueLocation(r.location) == r.value);
    }
    struct {
        const char* path;
        bool ok;
    } disk[] = {
        {"C:\\Documents\\Start Menu\\old.lnk", true},
        {"\\\\server\\share\\old.lnk", true},
        {"C:\\", false},
        {"C:", false},
        {"C:old.lnk", false},
        {"old.lnk", false},
        {"\\Windows\\old.lnk", false},
        {"C:\\Start Menu\\*.lnk", false},
        {"C:\\Start Menu\\old?.lnk", false},
        {"C:\\Start Menu\\..\\old.lnk", false},
        {"C:\\Start Menu\\.", false},
        {"C:/Windows", false},
        {"C:\\a\\b.lnk:stream", false},
        {"\\\\server\\share", false},
        {"", false},
    };
    for (const auto& d : disk) {
        CAPTURE(d.path);
        CHECK(IsRepairableDiskPath(d.path) == d.ok);
    }
}

TEST_CASE("refused rows delete nothing and stay unmarked") {
    RegistrySandbox sb;
    ScratchDir dir;
    CleanProgramFolder clean;
    ScriptedMessages msgs;
    MakeKey(HKEY_CURRENT_USER, "Software\\Keep");
    SetString(HKEY_CURRENT_USER, "", "rootvalue", "x");
    const std::string folder = dir.Dir("Folder");
    const std::string victim = dir.File("Folder\\victim.lnk");
    dir.File("relative.lnk");
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof previous, previous);
    SetCurrentDirectoryA(dir.Path().c_str());

    FindingList list;
    list.Add(Row("HKEY_CURRENT_USER", "Software"));                 // first-level key
    list.Add(Row("HKEY_CURRENT_USER", ""));                         // the root itself
    list.Add(Row("HKEY_CURRENT_USER", "", "rootvalue"));            // a value of the root
    list.Add(Row("磁盘文件错误", folder, "0 Byte"));                // a folder, not a file
    list.Add(Row("磁盘文件错误", folder + "\\*.lnk", "0 Byte"));    // a wildcard
    list.Add(Row("磁盘文件错误", "relative.lnk", "0 Byte"));        // relative to who knows
    list.Add(Row("磁盘目录错误", dir.Path() + "\\Folder\\..\\Folder"));
    FakeView view;
    Repairer repair(list, view, 5, nullptr);
    for (int row = 0; row < list.Count(); ++row) {
        view.selected = row;
        repair.FlatButton2Click();
    }
    SetCurrentDirectoryA(previous);

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
    ScriptedMessages msgs{IDCANCEL, IDOK};  // no backup, then go
    SetString(HKEY_LOCAL_MACHINE, "Software\\Fonts", "Old", "old.ttf");
    MakeKey(HKEY_LOCAL_MACHINE, "Software\\Dead\\Sub");
    MakeKey(HKEY_LOCAL_MACHINE, "Software\\Kept");
    const std::string busy = dir.Dir("Busy");
    dir.File("Busy\\inside.txt");
    const std::string lnk = dir.File("old.lnk");
    FindingList list;
    list.Add(Row("HKEY_LOCAL_MACHINE", "Software\\Fonts", "Old"));
    list.Add(Row("HKEY_LOCAL_MACHINE", "Software\\Dead"));
    list.Add(Row("HKEY_LOCAL_MACHINE", "Software\\AlreadyGone"));
    list.Add(Row("HKEY_LOCAL_MACHINE", "Software"));  // refused
    list.Add(Row("磁盘目录错误", busy));              // not empty
    list.Add(Row("磁盘文件错误", lnk, "1 Byte"));
    FakeView view;
    Repairer repair(list, view, 5, nullptr);
    repair.FlatButton3Click();

    REQUIRE(msgs.shown.size() == 2);
    CHECK(msgs.shown[0].text ==
          "Tarnwell建议在全部删除前进行注册表备份。单击“确认”将注册表备份为文件，如果不需要备份，请单击“取消”。");
    CHECK(msgs.shown[1].text == "Tarnwell将要修复所有检查到的系统错误，确认吗？");
    CHECK_FALSE(ValuePresent(HKEY_LOCAL_MACHINE, "Software\\Fonts", "Old"));
    CHECK_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, "Software\\Dead"));
    CHECK(KeyPresent(HKEY_LOCAL_MACHINE, "Software\\Kept"));
    CHECK(FileExists(busy + "\\inside.txt"));
    CHECK_FALSE(FileExists(lnk));
    std::vector<bool> marks;
    for (int i = 0; i < list.Count(); ++i) marks.push_back(list.At(i).Repaired());
    CHECK(marks == std::vector<bool>{true, true, true, false, false, true});
    CHECK(view.Status() == "修复完毕。剩余：2 个错误。");
    CHECK(view.controls.empty());
    std::vector<std::string> sections = LogSections();
    REQUIRE(sections.size() == 1);
    CHECK(LogValue(sections[0], "行为") == "全部修复");
    CHECK(LogValue(sections[0], "记录") == "修复了 4 个检查到的系统错误，2 个错误修复失败");

    // Once what blocked them is gone, a second run finishes the list.
    DeleteFileA((busy + "\\inside.txt").c_str());
    FindingList rest;
    rest.Add(Row("磁盘目录错误", busy));
    rest.Add(Row("磁盘文件错误", lnk, "1 Byte"));  // gone by now: done as well
    FakeView view2;
    msgs.answers = {IDCANCEL, IDOK};
    Repairer(rest, view2, 5, nullptr).FlatButton3Click();
    CHECK(rest.UnrepairedCount() == 0);
    CHECK_FALSE(DirectoryExists(busy));
    CHECK(view2.Status() == "全部修复完毕");
    CHECK(view2.controls == std::vector<std::pair<bool, bool>>{{false, false}});
    sections = LogSections();
    REQUIRE(sections.size() == 2);
    CHECK(LogValue(sections[1], "记录") == "修复了所有检查到的系统错误");
}

TEST_CASE("a failed backup stops repair all before anything is deleted") {
    RegistrySandbox sb;
    CleanProgramFolder clean;
    SetString(HKEY_CURRENT_USER, "Software\\A", "v", "x");

    SUBCASE("the editor cannot be started") {
        FakeEditor editor;
        editor.start = false;
        ScriptedMessages msgs;
        FindingList list;
        list.Add(Row("HKEY_CURRENT_USER", "Software\\A", "v"));
        FakeView view;
        RepairCommands commands(list, view, 5);
        commands.RepairAll();
        REQUIRE(msgs.shown.size() == 2);  // the offer, then the error; no confirmation
        CHECK(msgs.shown[1].type == (MB_OK | MB_ICONERROR));
        CHECK(msgs.shown[1].caption == "Tarnwell");
        CHECK(ValuePresent(HKEY_CURRENT_USER, "Software\\A", "v"));
        CHECK_FALSE(list.At(0).Repaired());
        std::vector<std::string> sections = LogSections();
        REQUIRE(sections.size() == 1);
        CHECK(LogValue(sections[0], "行为") == "备份注册表");
        CHECK(LogValue(sections[0], "记录") == "备份失败");
        CHECK(view.Status() == "备份失败");
    }
    SUBCASE("the editor leaves only the previous backup behind") {
        FILE* f = fopen(BackupFilePath().c_str(), "wb");
        REQUIRE(f);
        fputs("REGEDIT4\r\n", f);
        fclose(f);
        // An export of an hour ago is not this backup.
        HANDLE h = CreateFileA(BackupFilePath().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        FILETIME now, old;
        GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER t{};
        t.LowPart = now.dwLowDateTime;
        t.HighPart = now.dwHighDateTime;
        t.QuadPart -= 3600ULL * 10000000ULL;
        old.dwLowDateTime = t.LowPart;
        old.dwHighDateTime = t.HighPart;
        SetFileTime(h, nullptr, nullptr, &old);
        CloseHandle(h);

        FakeEditor editor;
        editor.writeExport = false;
        ScriptedMessages msgs;
        FindingList list;
        list.Add(Row("HKEY_CURRENT_USER", "Software\\A", "v"));
        FakeView view;
        RepairCommands commands(list, view, 5);
        commands.RepairAll();
        REQUIRE(msgs.shown.size() == 2);
        CHECK(msgs.shown[1].type == (MB_OK | MB_ICONERROR));
        CHECK(ValuePresent(HKEY_CURRENT_USER, "Software\\A", "v"));
        CHECK(LogValue(LogSections().at(0), "记录") == "备份失败");
    }
}

TEST_CASE("a backup followed by Cancel at the confirmation keeps the backup and changes no row") {
    RegistrySandbox sb;
    CleanProgramFolder clean;
    FakeEditor editor;
    ScriptedMessages msgs{IDOK, IDOK, IDCANCEL};  // backup, its closing message, then Cancel
    SetString(HKEY_CURRENT_USER, "Software\\A", "v", "x");
    FindingList list;
    list.Add(Row("HKEY_CURRENT_USER", "Software\\A", "v"));
    FakeView view;
    RepairCommands commands(list, view, 5);
    commands.RepairAll();
    CHECK(FileExists(BackupFilePath()));
    CHECK(ValuePresent(HKEY_CURRENT_USER, "Software\\A", "v"));
    CHECK_FALSE(list.At(0).Repaired());
    CHECK(LogValue(LogSections().at(0), "记录") == "备份成功");
    CHECK(LogSections().size() == 1);
}

}  // TEST_SUITE

TEST_SUITE("backup and restore") {

TEST_CASE("both work in the program's folder wherever the program was started from") {
    ScratchDir elsewhere;
    CleanProgramFolder clean;
    SetCurrentDirectoryA(elsewhere.Path().c_str());
    FakeEditor editor;
    ScriptedMessages msgs;
    FakeView view;
    RegistryBackup backup(view);
    editor.backup = &backup;

    REQUIRE(backup.ToolButton4Click());
    REQUIRE(backup.ProgressWindow());
    HWND first = backup.ProgressWindow()->Handle();
    CHECK_FALSE(IsWindowVisible(first));
    CHECK(FileExists(BackupFilePath()));
    CHECK(msgs.shown.back().text == "备份完毕。Windows已经在当前目录创建了备份文件“Backup_Tw.reg”。");
    CHECK(msgs.shown.back().type == (MB_OK | MB_ICONINFORMATION));
    CHECK(view.statuses == std::vector<std::string>{"备份注册表...", "备份完毕"});

    REQUIRE(backup.ToolButton7Click());
    CHECK(backup.ProgressWindow()->Handle() == first);
    // One progress window, shown while the editor works, with each command's caption.
    CHECK(editor.progressCaptions == std::vector<std::string>{"备份", "恢复"});
    CHECK(msgs.shown[1].text == "说明：将要从备份文件“Backup_Tw.reg”恢复系统，确定吗？ ");
    CHECK(msgs.shown[1].type == (MB_OKCANCEL | MB_ICONQUESTION));
    CHECK(msgs.shown.back().text == "恢复完毕。Windows已经从备份文件“Backup_Tw.reg”恢复了系统。");
    CHECK(view.Status() == "恢复完毕");

    CHECK(editor.commandLines == std::vector<std::string>{"RegEdit /e Backup_Tw.reg", "RegEdit /s Backup_Tw.reg"});
    for (size_t i = 0; i < 2; ++i) {
        CHECK(editor.directories[i] == ProgramFolder());
        CHECK(editor.currentDirs[i] + "\\" == ProgramFolder());
    }
    CHECK(CurrentDirectoryWithSlash() == ProgramFolder());
    std::vector<std::string> sections = LogSections();
    REQUIRE(sections.size() == 2);
    CHECK(LogValue(sections[0], "记录") == "备份成功");
    CHECK(LogValue(sections[1], "行为") == "恢复注册表");
    CHECK(LogValue(sections[1], "记录") == "恢复成功");
}

TEST_CASE("restore without an export, after Cancel, and when the editor fails") {
    CleanProgramFolder clean;
    FakeEditor editor;
    FakeView view;
    RegistryBackup backup(view);

    SUBCASE("no export: the full path in the error, nothing started or logged") {
        ScriptedMessages msgs;
        CHECK_FALSE(backup.ToolButton7Click());
        REQUIRE(msgs.shown.size() == 1);
        CHECK(msgs.shown[0].text == "错误！备份文件“" + ProgramFolder() + "Backup_Tw.reg”不存在，恢复失败。");
        CHECK(msgs.shown[0].type == (MB_OK | MB_ICONERROR));
        CHECK(editor.commandLines.empty());
        CHECK_FALSE(FileExists(RepairLogPath()));
    }
    fclose(fopen(BackupFilePath().c_str(), "wb"));
    SUBCASE("Cancel: no progress window, nothing logged") {
        ScriptedMessages msgs{IDCANCEL};
        CHECK_FALSE(backup.ToolButton7Click());
        CHECK(backup.ProgressWindow() == nullptr);
        CHECK(editor.commandLines.empty());
        CHECK_FALSE(FileExists(RepairLogPath()));
    }
    SUBCASE("the editor reports an error") {
        ScriptedMessages msgs;
        editor.exitCode = 1;
        CHECK_FALSE(backup.ToolButton7Click());
        CHECK(msgs.shown.back().type == (MB_OK | MB_ICONERROR));
        CHECK(LogValue(LogSections().at(0), "记录") == "恢复失败");
        CHECK(view.Status() == "恢复失败");
    }
    SUBCASE("the editor cannot be started") {
        ScriptedMessages msgs;
        editor.start = false;
        CHECK_FALSE(backup.ToolButton7Click());
        CHECK(msgs.shown.back().type == (MB_OK | MB_ICONERROR));
        CHECK(LogValue(LogSections().at(0), "记录") == "恢复失败");
        CHECK_FALSE(IsWindowVisible(backup.ProgressWindow()->Handle()));
    }
}

TEST_CASE("a backup and a restore through the registry editor bring back a key deleted between them") {
    // The editor is another process: it sees the real registry of this prefix, not a sandbox.
    CleanProgramFolder clean;
    ScriptedMessages msgs;
    const std::string parent = "Software\\TarnwellRestoreTest";
    const std::string base = parent + "\\" + IntToStr(GetCurrentProcessId());
    struct Cleanup {
        std::string parent, base;
        ~Cleanup() {
            Registry reg;
            reg.DeleteKey(base);
            RegDeleteKeyA(HKEY_CURRENT_USER, parent.c_str());  // only when no other run uses it
        }
    } cleanup{parent, base};
    SetString(HKEY_CURRENT_USER, base + "\\Sub\\Deep", "名称", "数据");

    FakeView view;
    RegistryBackup backup(view);
    REQUIRE(backup.ToolButton4Click());
    CHECK(msgs.shown.back().type == (MB_OK | MB_ICONINFORMATION));
    Registry reg;
    REQUIRE(reg.DeleteKey(base + "\\Sub"));
    REQUIRE_FALSE(KeyPresent(HKEY_CURRENT_USER, base + "\\Sub"));

    REQUIRE(backup.ToolButton7Click());
    CHECK(GetString(HKEY_CURRENT_USER, base + "\\Sub\\Deep", "名称") == "数据");
    std::vector<std::string> sections = LogSections();
    REQUIRE(sections.size() == 2);
    CHECK(LogValue(sections[0], "记录") == "备份成功");
    CHECK(LogValue(sections[1], "记录") == "恢复成功");
}

}  // TEST_SUITE

TEST_SUITE("repair log") {

TEST_CASE("entries go beside the executable, one section each, even within one second") {
    ScratchDir elsewhere;
    CleanProgramFolder clean;
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof previous, previous);
    SetCurrentDirectoryA(elsewhere.Path().c_str());
    SYSTEMTIME t{};
    t.wYear = 2024;
    t.wMonth = 3;
    t.wDay = 5;
    t.wHour = 9;
    t.wMinute = 7;
    t.wSecond = 2;
    REQUIRE(WriteLog("删除", "first", t));
    REQUIRE(WriteLog("删除", "second", t));
    REQUIRE(WriteLog("全部修复", "third", t));
    SetCurrentDirectoryA(previous);

    CHECK_FALSE(FileExists(elsewhere / "Repair.log"));
    const std::string base = LogSectionName(t);
    CHECK(base.rfind("2024-03-05|", 0) == 0);
    CHECK(base.find("07:02") != std::string::npos);
    CHECK(LogSections() == std::vector<std::string>{base, base + " (2)", base + " (3)"});
    CHECK(LogValue(base, "记录") == "first");
    CHECK(LogValue(base + " (2)", "记录") == "second");
    CHECK(LogValue(base + " (3)", "行为") == "全部修复");
    // Stored as GB2312 text, "行为" before "记录".
    const std::string bytes = ReadFileBytes(RepairLogPath());
    CHECK(bytes.find("[" + base + "]") != std::string::npos);
    CHECK(bytes.find("行为=删除") < bytes.find("记录=first"));
}

TEST_CASE("a log deleted by a clear starts afresh with the next entry") {
    CleanProgramFolder clean;
    ScriptedMessages msgs;
    REQUIRE(WriteLog("删除", "before"));
    FindingList list;
    FakeView view;
    RepairCommands commands(list, view, 5);
    commands.ClearHistory();
    CHECK_FALSE(FileExists(RepairLogPath()));
    REQUIRE(commands.HistoryWindow());
    CHECK_FALSE(commands.HistoryWindow()->IsVisible());
    REQUIRE(WriteLog("删除", "after"));
    const std::string bytes = ReadFileBytes(RepairLogPath());
    CHECK(bytes.find("before") == std::string::npos);
    CHECK(bytes.find("after") != std::string::npos);
    CHECK(msgs.shown.empty());
}

}  // TEST_SUITE

TEST_SUITE("history window") {

TEST_CASE("shows the log as stored, clears it without a question, and is empty without a log") {
    CleanProgramFolder clean;
    ScriptedMessages msgs;
    FindingList list;
    FakeView view;
    RepairCommands commands(list, view, 5);

    commands.ShowHistory();
    TForm2* form = commands.HistoryWindow();
    REQUIRE(form);
    CHECK(form->IsVisible());
    CHECK(WindowText(form->Handle()) == "历史日志管理");
    CHECK(WindowText(form->Memo()) == "");
    form->Button1Click();
    CHECK_FALSE(form->IsVisible());

    REQUIRE(WriteLog("删除", "HKEY_CURRENT_USER Software\\旧软件  无效软件"));
    commands.ShowHistory();
    std::string stored = ReadFileBytes(RepairLogPath());
    CHECK(WindowText(form->Memo()) == stored);
    CHECK(WindowText(form->Memo()).find("记录=HKEY_CURRENT_USER Software\\旧软件  无效软件") != std::string::npos);
    // The memo never keeps the focus.
    SetFocus(form->Memo());
    CHECK(GetFocus() == form->Panel());

    // Open already: a new entry shows only after it has been closed and opened again.
    REQUIRE(WriteLog("删除", "later"));
    commands.ShowHistory();
    CHECK(WindowText(form->Memo()) == stored);
    form->Button1Click();
    commands.ShowHistory();
    CHECK(WindowText(form->Memo()).find("later") != std::string::npos);

    SendMessageW(form->ClearButton(), BM_CLICK, 0, 0);
    CHECK_FALSE(FileExists(RepairLogPath()));
    CHECK(WindowText(form->Memo()) == "");
    CHECK(msgs.shown.empty());
    SendMessageW(form->ExitButton(), BM_CLICK, 0, 0);
    CHECK_FALSE(form->IsVisible());
}

}  // TEST_SUITE
