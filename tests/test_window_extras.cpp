// The window's commands around the report list: ignore a row, the ignore-list window, export the
// report, undo the last repair.
#include <doctest.h>

#include <windows.h>
#include <commctrl.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "app/MainWindow.h"
#include "app/ReportExport.h"
#include "platform/FileSystem.h"
#include "platform/LoadText.h"
#include "platform/MessagePump.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "repair/UndoFile.h"
#include "scan/Checklist.h"
#include "strings.h"
#include "support/RegistryFixtures.h"
#include "support/Sandbox.h"
#include "support/ScriptedMessages.h"

using namespace tw;
using namespace tw::test;

namespace {

const char kFonts[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";
const char kGoneA[] = "Gone A (TrueType)";
const char kGoneB[] = "Gone B (TrueType)";

// The main window over a sandboxed registry with two fonts whose files are missing, scanning
// the fonts row only. The files it keeps beside the program are gone before and after.
struct FontsWindow {
    RegistrySandbox sb;
    std::unique_ptr<MainWindow> form;
    FontsWindow() {
        Clean();
        SetString(HKEY_LOCAL_MACHINE, kFonts, kGoneA, "tw-gone-a.ttf");
        SetString(HKEY_LOCAL_MACHINE, kFonts, kGoneB, "tw-gone-b.ttf");
        form.reset(new MainWindow);
        REQUIRE(form->Create(GetModuleHandleW(nullptr)));
        form->Show();
        HWND list = form->Checklist();
        for (int i = 0; i < ListView_GetItemCount(list); ++i) ListView_SetCheckState(list, i, i == kRowFonts);
    }
    ~FontsWindow() {
        form.reset();
        Clean();
    }
    static void Clean() {
        for (const char* name : {"Set.ini", "Ignore.ini", "Repair.log"}) DeleteFileA((ProgramFolder() + name).c_str());
        for (const std::string& f : ListUndoFiles()) DeleteFileA(f.c_str());
        RemoveDirectoryA(UndoFolder().c_str());
    }
    // Runs a scan to its end; the rows' key names in list order.
    std::vector<std::string> Scan() {
        form->Command(IDM_SCAN);
        RunUntil([&] { return form->Driver().Idle() && form->StatusText().rfind("扫描完毕", 0) == 0; }, 20000);
        std::vector<std::string> names;
        for (int i = 0; i < form->Findings().Count(); ++i) names.push_back(form->Findings().At(i).keyName);
        return names;
    }
};

}  // namespace

TEST_CASE("an ignored row leaves the list, later scans and repairs pass it over, the ignore list takes it back") {
    FontsWindow w;
    MainWindow& f = *w.form;
    REQUIRE(w.Scan().size() == 2);
    auto popupEnabled = [&](UINT id) { return !(GetMenuState(f.PopupMenu(), id, MF_BYCOMMAND) & MF_GRAYED); };
    f.SelectRow(-1);
    f.UpdateRowItems();
    CHECK_FALSE(popupEnabled(IDM_POP_IGNORE));
    f.SelectRow(f.Findings().At(0).keyName == kGoneA ? 0 : 1);
    f.UpdateRowItems();
    CHECK(popupEnabled(IDM_POP_IGNORE));
    wchar_t caption[64] = {};
    GetMenuStringW(f.PopupMenu(), IDM_POP_OPEN, caption, 64, MF_BYCOMMAND);
    CHECK(WideToAnsi(caption) == "在注册表编辑器中打开(&O)");

    f.Command(IDM_POP_IGNORE);
    CHECK(f.Findings().Count() == 1);
    CHECK(ListView_GetItemCount(f.ReportList()) == 1);
    IgnoreList stored;
    REQUIRE(stored.Load());
    CHECK(stored.Items() == std::vector<IgnoredObject>{{"HKEY_LOCAL_MACHINE", kFonts, kGoneA}});
    CHECK(w.Scan() == std::vector<std::string>{kGoneB});
    {
        Messages msgs{IDCANCEL, IDOK};  // no backup; repair all
        f.Command(IDM_REPAIRALL);
    }
    CHECK(ValuePresent(HKEY_LOCAL_MACHINE, kFonts, kGoneA));
    CHECK_FALSE(ValuePresent(HKEY_LOCAL_MACHINE, kFonts, kGoneB));

    f.Command(IDM_IGNORE_LIST);
    IgnoreWindow* window = f.IgnoreListWindow();
    REQUIRE(window);
    CHECK(window->IsVisible());
    HWND lv = window->ListView();
    REQUIRE(ListView_GetItemCount(lv) == 1);
    CHECK_FALSE(IsWindowEnabled(window->RemoveButton()));  // nothing chosen yet
    ListView_SetItemState(lv, 0, LVIS_SELECTED, LVIS_SELECTED);
    SendMessageW(window->RemoveButton(), BM_CLICK, 0, 0);
    CHECK(ListView_GetItemCount(lv) == 0);
    REQUIRE(stored.Load());
    CHECK(stored.Items().empty());
    CHECK(w.Scan() == std::vector<std::string>{kGoneA});
}

TEST_CASE("the report goes out through the save dialog; undo imports the newest undo file and checks it") {
    FontsWindow w;
    MainWindow& f = *w.form;
    REQUIRE(w.Scan().size() == 2);
    ScratchDir dir;
    std::string answer;
    std::vector<std::string> commands;
    ScopedSeams seams;
    seams->fileDialog = [&](HWND, const FileDialogRequest& r, std::string& path) {
        path = answer;
        return r.save && !answer.empty();
    };
    // The editor is another process and would import into the real registry, not this test's
    // sandbox: a stand-in that brings back only the first font shows the command and its check.
    seams->runAndWait = [&](const std::string& cmd, const std::string&, DWORD& code) {
        commands.push_back(cmd);
        SetString(HKEY_LOCAL_MACHINE, kFonts, kGoneA, "tw-gone-a.ttf");
        code = 0;
        return true;
    };
    f.Command(IDM_EXPORT);  // cancelled: nothing written, nothing said
    answer = dir / "报告.txt";
    f.Command(IDM_EXPORT);
    std::vector<Finding> back, rows;
    REQUIRE(ParseReportText(ReadFileBytes(answer), back));
    for (int i = 0; i < f.Findings().Count(); ++i) rows.push_back(f.Findings().At(i));
    CHECK(back == rows);

    {
        Messages msgs{IDCANCEL, IDOK};  // no backup; repair all
        f.Command(IDM_REPAIRALL);
    }
    const std::vector<std::string> files = ListUndoFiles();
    REQUIRE(files.size() == 1);
    Messages msgs;
    f.Command(IDM_UNDO_LAST);
    CHECK(commands == std::vector<std::string>{"RegEdit /s \"" + files[0] + "\""});
    REQUIRE(msgs.shown.size() == 2);
    CHECK(msgs.shown[1].find("HKEY_LOCAL_MACHINE\\" + std::string(kFonts) + "\\" + kGoneB) != std::string::npos);
    // The row whose value is back is no longer marked repaired; the other one stays marked.
    for (int i = 0; i < f.Findings().Count(); ++i)
        CHECK(f.Findings().At(i).Repaired() == (f.Findings().At(i).keyName == kGoneB));
    CHECK(f.StatusText() == LoadText(IDS_STATUS_UNDO_ROWS_BACK, {1}));
    CHECK(!(GetMenuState(f.MainMenu(), IDM_REPAIR, MF_BYCOMMAND) & MF_GRAYED));
}
