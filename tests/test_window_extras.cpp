// The window's commands around the report list: ignore a row, the ignore-list window, export the
// report, open a row's place, undo the last repair.
#include <doctest.h>

#include <windows.h>
#include <commctrl.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "app/Checklist.h"
#include "app/MainWindow.h"
#include "app/ReportExport.h"
#include "platform/Seams.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "repair/RepairLog.h"
#include "repair/UndoFile.h"
#include "support/RegistryFixtures.h"
#include "support/Sandbox.h"

using namespace tw;
using namespace tw::test;

namespace {

const char kFonts[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";

template <typename Cond>
bool PumpUntil(Cond cond, DWORD ms = 20000) {
    const DWORD start = GetTickCount();
    while (!cond()) {
        if (GetTickCount() - start > ms) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

// The files the window keeps beside the program are gone before and after each test.
struct CleanProgramFolder {
    CleanProgramFolder() { Remove(); }
    ~CleanProgramFolder() { Remove(); }
    static void Remove() {
        for (const char* name : {"Set.ini", "Ignore.ini", "Repair.log"}) DeleteFileA((ProgramFolder() + name).c_str());
        for (const std::string& f : ListUndoFiles()) DeleteFileA(f.c_str());
        RemoveDirectoryA(UndoFolder().c_str());
    }
};

struct Messages {
    ScopedSeams seams;
    std::deque<int> answers;
    std::vector<std::string> shown;
    explicit Messages(std::initializer_list<int> script = {}) : answers(script) {
        seams->messageBox = [this](HWND, const std::string& text, const std::string&, UINT) {
            shown.push_back(text);
            int a = answers.empty() ? IDOK : answers.front();
            if (!answers.empty()) answers.pop_front();
            return a;
        };
    }
};

// The main window over a sandboxed registry with two fonts whose files are missing, scanning
// the fonts row only.
struct FontsWindow {
    RegistrySandbox sb;
    CleanProgramFolder clean;
    std::unique_ptr<TForm1> form;
    FontsWindow() {
        SetString(HKEY_LOCAL_MACHINE, kFonts, "Gone A (TrueType)", "tw-gone-a.ttf");
        SetString(HKEY_LOCAL_MACHINE, kFonts, "Gone B (TrueType)", "tw-gone-b.ttf");
        form.reset(new TForm1);
        REQUIRE(form->Create(GetModuleHandleW(nullptr)));
        form->Show();
        HWND list = form->Checklist();
        for (int i = 0; i < ListView_GetItemCount(list); ++i) ListView_SetCheckState(list, i, i == kRowFonts);
    }
    // Runs a scan to its end; the rows' key names in list order.
    std::vector<std::string> Scan() {
        form->Command(ID_SCAN);
        REQUIRE(PumpUntil([&] { return form->Driver().Idle() && form->StatusText().rfind("扫描完毕", 0) == 0; }));
        return KeyNames();
    }
    std::vector<std::string> KeyNames() const {
        std::vector<std::string> names;
        for (int i = 0; i < form->Findings().Count(); ++i) names.push_back(form->Findings().At(i).keyName);
        return names;
    }
    int Shown() const { return ListView_GetItemCount(form->ReportList()); }
    int RowOf(const std::string& keyName) const {
        for (int i = 0; i < form->Findings().Count(); ++i)
            if (form->Findings().At(i).keyName == keyName) return i;
        return -1;
    }
};

bool PopupEnabled(TForm1& f, UINT id) { return !(GetMenuState(f.PopupMenu(), id, MF_BYCOMMAND) & MF_GRAYED); }

std::string PopupText(TForm1& f, UINT id) {
    wchar_t buf[128] = {};
    GetMenuStringW(f.PopupMenu(), id, buf, 128, MF_BYCOMMAND);
    return WideToAnsi(buf);
}

}  // namespace

TEST_SUITE("report list commands") {

TEST_CASE("an ignored row leaves the list and later scans never report it; the ignore list takes it back") {
    FontsWindow w;
    TForm1& f = *w.form;
    REQUIRE(w.Scan().size() == 2);
    f.SelectRow(-1);
    f.UpdateRowItems();
    CHECK_FALSE(PopupEnabled(f, ID_POP_IGNORE));
    f.SelectRow(w.RowOf("Gone A (TrueType)"));
    f.UpdateRowItems();
    CHECK(PopupEnabled(f, ID_POP_IGNORE));
    f.Command(ID_POP_IGNORE);
    CHECK(w.KeyNames() == std::vector<std::string>{"Gone B (TrueType)"});
    CHECK(w.Shown() == 1);
    IgnoreList stored;
    REQUIRE(stored.Load());
    CHECK(stored.Items() == std::vector<IgnoredObject>{{"HKEY_LOCAL_MACHINE", kFonts, "Gone A (TrueType)"}});

    CHECK(w.Scan() == std::vector<std::string>{"Gone B (TrueType)"});
    // Nor does repair all touch it.
    {
        Messages msgs{IDCANCEL, IDOK};
        f.Command(ID_REPAIRALL);
    }
    CHECK(ValuePresent(HKEY_LOCAL_MACHINE, kFonts, "Gone A (TrueType)"));
    CHECK_FALSE(ValuePresent(HKEY_LOCAL_MACHINE, kFonts, "Gone B (TrueType)"));

    // Taken off the list in its window, the object is reported again.
    f.Command(ID_IGNORE_LIST);
    IgnoreWindow* window = f.IgnoreListWindow();
    REQUIRE(window);
    CHECK(window->IsVisible());
    HWND lv = window->ListView();
    REQUIRE(ListView_GetItemCount(lv) == 1);
    ListView_SetItemState(lv, 0, LVIS_SELECTED, LVIS_SELECTED);
    SendMessageW(window->RemoveButton(), BM_CLICK, 0, 0);
    CHECK(f.Ignored().Items().empty());
    CHECK(w.Scan() == std::vector<std::string>{"Gone A (TrueType)"});
}

TEST_CASE("the report is exported through the save dialog and reads back with the same rows") {
    FontsWindow w;
    TForm1& f = *w.form;
    REQUIRE(w.Scan().size() == 2);
    ScratchDir dir;
    std::vector<FileDialogRequest> asked;
    std::string answer;
    ScopedSeams dialogSeams;
    dialogSeams->fileDialog = [&](HWND, const FileDialogRequest& r, std::string& path) {
        asked.push_back(r);
        path = answer;
        return !answer.empty();
    };
    f.Command(ID_EXPORT);  // cancelled
    REQUIRE(asked.size() == 1);
    CHECK(asked[0].save);
    answer = dir / "报告.txt";
    f.Command(ID_EXPORT);
    std::vector<Finding> back;
    REQUIRE(ParseReportText(ReadFileBytes(answer), back));
    std::vector<Finding> rows;
    for (int i = 0; i < f.Findings().Count(); ++i) {
        rows.push_back(f.Findings().At(i));
        rows.back().defaultValue = false;  // the report's columns do not carry it
    }
    CHECK(back == rows);
    {
        Messages msgs;
        answer = dir.Dir("a folder");
        f.Command(ID_EXPORT);
        REQUIRE(msgs.shown.size() == 1);
        CHECK(msgs.shown[0].find(answer) != std::string::npos);
    }
}

TEST_CASE("the popup opens a registry row in the editor and a disk row in its folder") {
    FontsWindow w;
    TForm1& f = *w.form;
    REQUIRE(w.Scan().size() == 2);
    std::vector<std::string> started;
    ScopedSeams startSeams;
    startSeams->startProgram = [&](const std::string& cmd) {
        started.push_back(cmd);
        return true;
    };
    f.SelectRow(0);
    f.UpdateRowItems();
    CHECK(PopupText(f, ID_POP_OPEN) == "在注册表编辑器中打开(&O)");
    f.Command(ID_POP_OPEN);
    CHECK(started == std::vector<std::string>{"regedit.exe"});
    CHECK(GetString(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Regedit", "LastKey") ==
          std::string("HKEY_LOCAL_MACHINE\\") + kFonts);

    ScratchDir dir;
    const std::string file = dir.File("old.lnk");
    f.ClearFindings();
    f.AddFinding(Finding{"磁盘文件错误", file, "1 Byte", "C:\\gone.exe", 0});
    f.SelectRow(0);
    f.UpdateRowItems();
    CHECK(PopupText(f, ID_POP_OPEN) == "打开所在文件夹(&O)");
    f.Command(ID_POP_OPEN);
    CHECK(started.back() == "explorer.exe /select,\"" + file + "\"");
}

TEST_CASE("undo of the last repair imports the newest undo file and reports what is not back") {
    FontsWindow w;
    TForm1& f = *w.form;
    REQUIRE(w.Scan().size() == 2);
    {
        Messages msgs{IDCANCEL, IDOK};
        f.Command(ID_REPAIRALL);
    }
    REQUIRE_FALSE(ValuePresent(HKEY_LOCAL_MACHINE, kFonts, "Gone A (TrueType)"));
    const std::vector<std::string> files = ListUndoFiles();
    REQUIRE(files.size() == 1);
    // The editor is another process and would import into the real registry, not this test's
    // sandbox: a stand-in that starts and imports nothing shows the command and its check.
    ScopedSeams seams;
    std::vector<std::string> commands;
    seams->runAndWait = [&](const std::string& cmd, const std::string&, DWORD& code) {
        commands.push_back(cmd);
        code = 0;
        return true;
    };
    Messages msgs;
    f.Command(ID_UNDO_LAST);
    CHECK(commands == std::vector<std::string>{"RegEdit /s \"" + files[0] + "\""});
    REQUIRE(msgs.shown.size() == 2);
    CHECK(msgs.shown[1].find("HKEY_LOCAL_MACHINE\\" + std::string(kFonts) + "\\Gone A (TrueType)") != std::string::npos);
    CHECK(f.StatusText() == "撤销失败");
}

}  // TEST_SUITE
