#include <doctest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "app/MainWindow.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/LoadText.h"
#include "platform/MessagePump.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "repair/RepairLog.h"
#include "strings.h"
#include "support/MainWindowFixture.h"
#include "support/Sandbox.h"
#include "support/WindowProbes.h"

using namespace tw;
using namespace tw::test;

namespace {

std::string MenuText(HMENU menu, UINT id) {
    wchar_t buf[128] = {};
    GetMenuStringW(menu, id, buf, 128, MF_BYCOMMAND);
    return WideToAnsi(buf);
}

bool MenuEnabled(HMENU menu, UINT id) { return !(GetMenuState(menu, id, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)); }

bool ToolButtonHidden(HWND tb, UINT id) { return SendMessageW(tb, TB_ISBUTTONHIDDEN, id, 0) != 0; }

std::string ToolButtonText(HWND tb, UINT id) {
    wchar_t buf[64] = {};
    SendMessageW(tb, TB_GETBUTTONTEXTW, id, reinterpret_cast<LPARAM>(buf));
    return WideToAnsi(buf);
}

struct MainWindowsOf {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectMainWindows(HWND h, LPARAM lp) {
    auto* c = reinterpret_cast<MainWindowsOf*>(lp);
    DWORD p = 0;
    GetWindowThreadProcessId(h, &p);
    wchar_t cls[64] = {};
    GetClassNameW(h, cls, 64);
    if (p == c->pid && lstrcmpW(cls, L"TForm1") == 0) c->found.push_back(h);
    return TRUE;
}

// The history window's memo among the windows of this thread.
BOOL CALLBACK FindHistoryMemo(HWND window, LPARAM found) {
    if (HWND memo = GetDlgItem(window, IDC_HISTORY_MEMO)) *reinterpret_cast<HWND*>(found) = memo;
    return TRUE;
}

}  // namespace

TEST_CASE("window creation records the program and lays out every control with its caption") {
    RegistrySandbox sb;
    Window w;
    MainWindow& f = *w.form;
    CHECK(GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kiv", "Tarnwell") == ProgramPath());
    CHECK(WindowText(f.Handle()) == "Tarnwell");

    HWND tb = f.ToolBar();
    CHECK(ToolButtonText(tb, IDM_SCAN) == "  扫描  ");
    CHECK(ToolButtonText(tb, IDM_REPAIRALL) == "全部修复");
    CHECK(ToolButtonText(tb, IDM_REPAIR) == "  修复  ");
    CHECK(ToolButtonText(tb, IDM_BACKUP) == "  备份  ");
    CHECK(ToolButtonText(tb, IDM_RESTORE) == "  恢复  ");
    CHECK(ToolButtonText(tb, IDM_HISTORY) == "历史日志");
    CHECK(ToolButtonHidden(tb, IDM_REPAIRALL));
    CHECK(ToolButtonHidden(tb, IDM_REPAIR));
    CHECK_FALSE(ToolButtonHidden(tb, IDM_SCAN));
    CHECK(SendMessageW(tb, TB_BUTTONCOUNT, 0, 0) == 8);  // six buttons, two separators

    CHECK(WindowText(f.Control(ID_SCAN_BUTTON)) == "扫描");
    CHECK(WindowText(f.Control(ID_REPAIR_BUTTON)) == "修复");
    CHECK(WindowText(f.Control(ID_REPAIR_ALL_BUTTON)) == "全部修复");
    CHECK(WindowText(f.Control(ID_EXIT_BUTTON)) == "退出");
    CHECK(IsWindowEnabled(f.Control(ID_SCAN_BUTTON)));
    CHECK_FALSE(IsWindowEnabled(f.Control(ID_REPAIR_BUTTON)));
    CHECK_FALSE(IsWindowEnabled(f.Control(ID_REPAIR_ALL_BUTTON)));
    CHECK(WindowText(f.Control(ID_SELECTALL)) == "全否");
    CHECK(WindowText(GetDlgItem(w.Panel(), 0)) == "请选择Tarnwell要检查的项目");
    for (int i = 0; i < 4; ++i) {
        RECT r = RectIn(f.Control(ID_SCAN_BUTTON + static_cast<UINT>(i)), GetParent(f.Control(ID_SCAN_BUTTON)));
        const int tops[4] = {19, 57, 94, 132};
        CHECK(r.left == 8);
        CHECK(r.top == tops[i]);
        CHECK(r.right - r.left == 86);
        CHECK(r.bottom - r.top == 25);
    }

    // The checklist: the rows of this system. In a prefix (no sfc.exe) the Windows rows end with
    // the unticked directory row, and the Wine row after it is ticked.
    HWND chk = f.Checklist();
    int rows = ListView_GetItemCount(chk);
    CHECK(rows == 13);
    for (int i = 0; i < rows; ++i) CHECK(ListView_GetCheckState(chk, i) == (i == kRowDiskDirs ? 0u : 1u));

    // The report list: four columns with their captions and widths.
    HWND lv = f.ReportList();
    HWND header = ListView_GetHeader(lv);
    REQUIRE(Header_GetItemCount(header) == 4);
    const char* heads[4] = {"项目", "位置", "键名", "说明"};
    for (int i = 0; i < 4; ++i) {
        wchar_t buf[32] = {};
        HDITEMW hi{};
        hi.mask = HDI_TEXT;
        hi.pszText = buf;
        hi.cchTextMax = 32;
        SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&hi));
        CHECK(WideToAnsi(buf) == heads[i]);
    }
    CHECK(ListView_GetColumnWidth(lv, 0) == 150);
    CHECK(ListView_GetColumnWidth(lv, 2) == 60);
    CHECK(ListView_GetColumnWidth(lv, 3) == 231);
    int parts[4] = {};
    // One part for the text; a scan's progress bar takes a second one while it runs.
    CHECK(SendMessageW(f.StatusBar(), SB_GETPARTS, 4, reinterpret_cast<LPARAM>(parts)) == 1);
    CHECK_FALSE(f.StatusText().empty());

    // Menus: repair items start disabled, the rest enabled.
    CHECK_FALSE(MenuEnabled(f.MainMenu(), IDM_REPAIR));
    CHECK_FALSE(MenuEnabled(f.MainMenu(), IDM_REPAIRALL));
    CHECK_FALSE(MenuEnabled(f.PopupMenu(), IDM_POP_REPAIR));
    CHECK_FALSE(MenuEnabled(f.PopupMenu(), IDM_POP_ALL));
    CHECK(MenuEnabled(f.MainMenu(), IDM_SCAN));
    CHECK(MenuText(f.MainMenu(), IDM_SCAN).rfind("扫描", 0) == 0);

    // Font: 宋体, 9 point, GB2312.
    LOGFONTW lf{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(f.Control(ID_SCAN_BUTTON), WM_GETFONT, 0, 0)), sizeof lf, &lf);
    CHECK(WideToAnsi(lf.lfFaceName) == "宋体");
    CHECK(lf.lfHeight == -12);
    CHECK(lf.lfCharSet == GB2312_CHARSET);
}

TEST_CASE("the checklist spans from the first to the last command button on every resize") {
    Window w;
    MainWindow& f = *w.form;
    for (SIZE size : {SIZE{608, 465}, SIZE{800, 465}, SIZE{500, 465}, SIZE{1, 1}}) {
        SetWindowPos(f.Handle(), nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
        PumpUntil([] { return false; }, 20);
        HWND panel = w.Panel();
        RECT chk = RectIn(f.Checklist(), panel);
        RECT p2 = RectIn(GetParent(f.Control(ID_SCAN_BUTTON)), panel);
        RECT sa = RectIn(f.Control(ID_SELECTALL), panel);
        CAPTURE(size.cx);
        CHECK(chk.left == 10);
        CHECK(chk.right == p2.left - 2);
        CHECK(chk.top == 19 + 2);
        CHECK(chk.bottom - chk.top == 132 + 25 - 19 - 2);
        CHECK(sa.right == p2.left - 2);
        CHECK(sa.right - sa.left == 65);
        RECT client;
        GetClientRect(panel, &client);
        CHECK(p2.right == client.right);
        CHECK(p2.right - p2.left == 103);
        CHECK(ListView_GetCountPerPage(f.ReportList()) >= 3);  // also at the minimum, where 1 x 1 stops
    }
}

TEST_CASE("select-all: unticks all, then ticks all, the caption naming the next action") {
    Window w;
    MainWindow& f = *w.form;
    HWND chk = f.Checklist();
    int rows = ListView_GetItemCount(chk);
    f.SelectAllClick();
    CHECK(WindowText(f.Control(ID_SELECTALL)) == "全选");
    for (int i = 0; i < rows; ++i) CHECK(ListView_GetCheckState(chk, i) == 0u);
    f.SelectAllClick();
    CHECK(WindowText(f.Control(ID_SELECTALL)) == "全否");
    for (int i = 0; i < rows; ++i) CHECK(ListView_GetCheckState(chk, i) == 1u);
}

TEST_CASE("settings: maximized window, restored size with a bad width, saved at close") {
    SUBCASE("Window=Max opens maximized and closing writes Max with the maximized bounds") {
        Window w("[Tarnwell]\r\nWindow=Max\r\n");
        CHECK(IsZoomed(w.form->Handle()));
        RECT r;
        GetWindowRect(w.form->Handle(), &r);
        SendMessageW(w.form->Handle(), WM_CLOSE, 0, 0);
        CHECK_FALSE(IsWindow(w.form->Handle()));
        IniFile ini(SettingsPath());
        CHECK(ini.ReadString("Tarnwell", "Window", "") == "Max");
        CHECK(ini.ReadString("Tarnwell", "Width", "") == std::to_string(r.right - r.left));
        CHECK(ini.ReadString("Tarnwell", "Height", "") == std::to_string(r.bottom - r.top));
    }
    SUBCASE("Width=abc keeps the design width, height restored, window centred; the ticks come back") {
        Window w("[Tarnwell]\r\nWindow=Normal\r\nTop=3\r\nHeight=400\r\nWidth=abc\r\nUnticked=0,x\r\n");
        HWND chk = w.form->Checklist();
        CHECK(ListView_GetCheckState(chk, 0) == 0u);
        CHECK(ListView_GetCheckState(chk, 1) == 1u);
        ListView_SetCheckState(chk, 1, FALSE);
        RECT r;
        GetWindowRect(w.form->Handle(), &r);
        CHECK_FALSE(IsZoomed(w.form->Handle()));
        CHECK(r.right - r.left == 608);
        CHECK(r.bottom - r.top == 400);
        RECT work;
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        CHECK(r.left == work.left + ((work.right - work.left) - 608) / 2);
        SendMessageW(w.form->Handle(), WM_CLOSE, 0, 0);
        IniFile ini(SettingsPath());
        CHECK(ini.ReadString("Tarnwell", "Window", "") == "Normal");
        CHECK(ini.ReadString("Tarnwell", "Width", "") == "608");
        CHECK(ini.ReadString("Tarnwell", "Top", "") == std::to_string(r.top));
        CHECK(ini.ReadString("Tarnwell", "Unticked", "").rfind("0,1,", 0) == 0);
    }
    SUBCASE("no settings file: design size, BakPath Backup") {
        Window w;
        RECT r;
        GetWindowRect(w.form->Handle(), &r);
        CHECK(r.right - r.left == 608);
        CHECK(r.bottom - r.top == 465);
        CHECK(w.form->Settings().bakPath == "Backup");
    }
}

TEST_CASE("a settings file that cannot be written is reported and the window still closes") {
    ScopedSeams seams;
    std::vector<std::string> shown;
    seams->messageBox = [&](HWND, const std::string& text, const std::string& caption, UINT type) {
        CHECK(caption == "Tarnwell");
        CHECK((type & MB_ICONERROR) != 0);
        shown.push_back(text);
        return IDOK;
    };
    Window w;
    // A folder where the file should be: the system refuses the write.
    CreateDirectoryA(SettingsPath().c_str(), nullptr);
    SendMessageW(w.form->Handle(), WM_CLOSE, 0, 0);
    CHECK_FALSE(IsWindow(w.form->Handle()));
    REQUIRE(shown.size() == 1);
    CHECK(shown[0] == "Unable to write to " + SettingsPath() + ".");
    RemoveDirectoryA(SettingsPath().c_str());
}

TEST_CASE("a scan with nothing ticked ends at once with 0 and the repair controls off") {
    Window w;
    MainWindow& f = *w.form;
    f.SelectAllClick();  // untick all
    f.Command(IDM_SCAN);
    CHECK(f.StatusText() == "扫描完毕。共检查到：0 个错误。");
    CHECK(WindowText(f.Control(ID_SCAN_BUTTON)) == "扫描");
    CHECK(ToolButtonText(f.ToolBar(), IDM_SCAN) == "  扫描  ");
    CHECK(ToolButtonHidden(f.ToolBar(), IDM_REPAIR));
    CHECK_FALSE(MenuEnabled(f.MainMenu(), IDM_REPAIR));
    CHECK(IsWindowEnabled(f.Control(ID_SELECTALL)));
}

TEST_CASE("a hive scan in the window: Findings listed, repair controls on, Stop and close mid-scan") {
    RegistrySandbox sb;
    for (int i = 0; i < 40; ++i) {
        std::string key = "Software\\Gone" + std::to_string(i);
        SetString(HKEY_CURRENT_USER, key, "Path", "C:\\twgone\\app" + std::to_string(i) + ".exe");
        for (int j = 0; j < 20; ++j) MakeKey(HKEY_CURRENT_USER, key + "\\Sub" + std::to_string(j));
    }
    Window w;
    MainWindow& f = *w.form;
    HWND chk = f.Checklist();
    for (int i = 0; i < ListView_GetItemCount(chk); ++i) ListView_SetCheckState(chk, i, i == 7);

    f.Command(IDM_SCAN);
    CHECK(WindowText(f.Control(ID_SCAN_BUTTON)) == "停止");
    CHECK(MenuText(f.MainMenu(), IDM_SCAN).rfind("停止", 0) == 0);
    CHECK_FALSE(IsWindowEnabled(f.Control(ID_SELECTALL)));
    REQUIRE(PumpUntil([&] { return f.StatusText().rfind("扫描完毕", 0) == 0; }));
    CHECK(f.StatusText() == "扫描完毕。共检查到：40 个错误");
    CHECK(ListView_GetItemCount(f.ReportList()) == 40);
    CHECK(ListItemText(chk, 7, 1) == "40 个错误");  // the category's count in its note
    CHECK(f.Findings().At(0).caption == "HKEY_CURRENT_USER");
    CHECK(f.Findings().At(0).location == "Software\\Gone0");
    CHECK(f.Findings().At(0).keyName == "Path");
    CHECK_FALSE(ToolButtonHidden(f.ToolBar(), IDM_REPAIR));
    CHECK(MenuEnabled(f.MainMenu(), IDM_REPAIRALL));
    CHECK(MenuEnabled(f.PopupMenu(), IDM_POP_ALL));
    CHECK(IsWindowEnabled(f.Control(ID_REPAIR_BUTTON)));

    // Stop right after the start: the rows found so far stay and the scan still reports.
    f.Command(IDM_SCAN);
    f.Command(ID_SCAN_BUTTON);
    CHECK(WindowText(f.Control(ID_SCAN_BUTTON)) == "扫描");
    REQUIRE(PumpUntil([&] { return f.Driver().Idle(); }));
    CHECK(f.StatusText() == LoadText(IDS_SCAN_STOPPED_AFTER_THREADS, {f.Findings().Count(), ""}));

    // Close in the middle of a scan: the workers are stopped and joined, the window goes.
    f.Command(IDM_SCAN);
    SendMessageW(f.Handle(), WM_CLOSE, 0, 0);
    CHECK_FALSE(IsWindow(f.Handle()));
    PumpUntil([] { return false; }, 100);
}

TEST_CASE("one copy at a time: a second start ends at once; message 2324 closes the first") {
    std::string exe = ProgramFolder() + "tarnwell.exe";
    REQUIRE(FileExists(exe));
    auto start = [&](PROCESS_INFORMATION& pi) {
        STARTUPINFOA si{};
        si.cb = sizeof si;
        std::string cmd = "\"" + exe + "\"";
        return CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) != 0;
    };
    auto windowsOf = [](DWORD pid) {
        MainWindowsOf ctx{pid, {}};
        EnumWindows(CollectMainWindows, reinterpret_cast<LPARAM>(&ctx));
        return ctx.found;
    };
    PROCESS_INFORMATION first{}, second{};
    REQUIRE(start(first));
    REQUIRE(PumpUntil([&] { return !windowsOf(first.dwProcessId).empty(); }, 20000));
    REQUIRE(start(second));
    CHECK(WaitForSingleObject(second.hProcess, 15000) == WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(second.hProcess, &code);
    CHECK(code == 0);
    CHECK(windowsOf(second.dwProcessId).empty());
    // No message box or other window appeared for the second copy, and the first is alone.
    std::vector<HWND> firstWindows = windowsOf(first.dwProcessId);
    REQUIRE(firstWindows.size() == 1);

    PostMessageW(firstWindows.front(), kCloseMessage, 0, 0);
    CHECK(WaitForSingleObject(first.hProcess, 15000) == WAIT_OBJECT_0);
    for (PROCESS_INFORMATION* pi : {&first, &second}) {
        CloseHandle(pi->hProcess);
        CloseHandle(pi->hThread);
    }
    WriteSettings("");
}

TEST_CASE("a header click sorts the report list descending, a second one ascending; the selection follows its row") {
    Window w;
    MainWindow& f = *w.form;
    const std::pair<const char*, FindingKind> rows[] = {
        {"HKEY_CURRENT_USER", FindingKind::RegistryKey}, {"磁盘目录错误", FindingKind::Folder},
        {"HKEY_USERS", FindingKind::RegistryKey}, {"磁盘文件错误", FindingKind::File},
        {"HKEY_LOCAL_MACHINE", FindingKind::RegistryKey}};
    for (const auto& [c, kind] : rows) f.AddFinding(Finding{c, std::string("loc ") + c, "", "", 0, kind});
    CHECK(ListView_GetItemCount(f.ReportList()) == 5);
    f.SelectRow(2);  // HKEY_USERS
    auto click = [&](int column) {
        NMLISTVIEW nm{};
        nm.hdr.hwndFrom = f.ReportList();
        nm.hdr.idFrom = ID_REPORT_LIST;
        nm.hdr.code = LVN_COLUMNCLICK;
        nm.iItem = -1;
        nm.iSubItem = column;
        SendMessageW(f.Handle(), WM_NOTIFY, ID_REPORT_LIST, reinterpret_cast<LPARAM>(&nm));
    };
    for (int round = 0; round < 2; ++round) {
        click(0);
        std::vector<std::string> captions;
        for (int i = 0; i < 5; ++i) {
            captions.push_back(ListItemText(f.ReportList(), i, 0));
        }
        // A second click on the same header reverses the order.
        std::vector<std::string> expected{"磁盘文件错误", "磁盘目录错误", "HKEY_USERS", "HKEY_LOCAL_MACHINE",
                                          "HKEY_CURRENT_USER"};
        if (round == 1) std::reverse(expected.begin(), expected.end());
        CHECK(captions == expected);
        CHECK(f.SelectedRow() == 2);
    }
}

TEST_CASE("stored sizes too small to use are ignored, too large ones keep to the screen; the window is centred") {
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int workW = work.right - work.left, workH = work.bottom - work.top;
    struct {
        const char* settings;
        int width, height;  // expected; 0: the work area's
    } cases[] = {
        {"Height=-500\r\nWidth=-99999\r\n", 608, 465},
        {"Top=-30000\r\nHeight=399\r\nWidth=399\r\n", 608, 465},  // one below the minimum
        {"Height=400\r\nWidth=400\r\n", 400, 400},                 // the minimum itself
        {"Height=99999\r\nWidth=99999\r\n", 0, 0},
    };
    for (const auto& c : cases) {
        CAPTURE(c.settings);
        Window w(std::string("[Tarnwell]\r\nWindow=Normal\r\n") + c.settings);
        RECT r;
        GetWindowRect(w.form->Handle(), &r);
        const int width = c.width ? c.width : workW, height = c.height ? c.height : workH;
        CHECK(r.right - r.left == width);
        CHECK(r.bottom - r.top == height);
        CHECK(r.left == work.left + (workW - width) / 2);
        CHECK(r.top == work.top + (workH - height) / 2);
    }
}

TEST_CASE("the status line shows a readable part of a huge text") {
    Window w;
    const std::string path(100000, 'k');
    w.form->SetStatus("扫描：HKEY_CURRENT_USER\\" + path + "\\end");
    const std::string shown = w.form->StatusText();
    CHECK(shown.size() <= 260);
    CHECK(shown.rfind("扫描：HKEY_CURRENT_USER\\kkk", 0) == 0);
    CHECK(shown.find("...") != std::string::npos);
    CHECK(shown.compare(shown.size() - 4, 4, "\\end") == 0);
}

TEST_CASE("the Language menu: the window speaks English at once, Set.ini keeps it, and back to Chinese") {
    Window w;
    MainWindow& f = *w.form;
    // Every text of the window's own, the menus' and the ignore-list window's.
    auto texts = [&f] {
        std::vector<std::string> t;
        for (UINT id = ID_SCAN_BUTTON; id <= ID_SELECTALL; ++id) t.push_back(WindowText(f.Control(id)));
        t.push_back(WindowText(GetDlgItem(GetParent(f.Checklist()), 0)));
        for (UINT id : {IDM_SCAN, IDM_BACKUP, IDM_RESTORE, IDM_HISTORY}) t.push_back(ToolButtonText(f.ToolBar(), id));
        for (UINT id = IDM_BACKUP; id <= IDM_EXPORT; ++id) t.push_back(MenuText(f.MainMenu(), id));
        for (UINT id = IDM_POP_REPAIR; id <= IDM_POP_ALL; ++id) t.push_back(MenuText(f.PopupMenu(), id));
        wchar_t cell[128] = {};
        LVITEMW item{};
        item.pszText = cell;
        item.cchTextMax = 128;
        SendMessageW(f.Checklist(), LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&item));
        t.push_back(WideToAnsi(cell));
        t.push_back(f.StatusText());
        if (f.IgnoreListWindow()) t.push_back(WindowText(f.IgnoreListWindow()->Handle()));
        return t;
    };
    auto ascii = [](const std::vector<std::string>& t) {
        for (const std::string& s : t)
            for (char c : s)
                if (static_cast<unsigned char>(c) >= 0x80) return false;
        return true;
    };
    f.ShowIgnoreWindow();
    const std::vector<std::string> chinese = texts();
    CHECK_FALSE(ascii(chinese));
    CHECK((GetMenuState(f.MainMenu(), IDM_LANG_CHINESE, MF_BYCOMMAND) & MF_CHECKED) != 0);

    f.Command(IDM_LANG_ENGLISH);
    const std::vector<std::string> english = texts();
    CHECK(ascii(english));
    CHECK(english.size() == chinese.size());
    CHECK((GetMenuState(f.MainMenu(), IDM_LANG_ENGLISH, MF_BYCOMMAND) & MF_CHECKED) != 0);
    CHECK(IsWindowVisible(f.IgnoreListWindow()->Handle()));
    CHECK(IniFile(SettingsPath()).ReadString("Tarnwell", "Language", "") == "en");
    // The log keeps its Chinese keys; the history shows them in English.
    REQUIRE(WriteLog(LogAction::Delete, "HKEY_CURRENT_USER Software\\Tw"));
    f.Command(IDM_HISTORY);
    HWND memo = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FindHistoryMemo, reinterpret_cast<LPARAM>(&memo));
    REQUIRE(memo);
    const std::string shown = WindowText(memo);
    CHECK(shown.find(LoadText(IDS_LOG_KEY_ACTION) + "=" + LoadText(IDS_LOG_ACTION_DELETE)) != std::string::npos);
    DeleteFileA(RepairLogPath().c_str());

    f.Command(IDM_LANG_CHINESE);
    CHECK(texts() == chinese);
    CHECK(IniFile(SettingsPath()).ReadString("Tarnwell", "Language", "") == "zh");
}
