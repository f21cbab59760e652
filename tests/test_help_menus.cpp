// The menus, shortcuts and Help menu commands of the main window, read back from the real window,
// and the help engine's loading against a sandboxed class registration.
#include <doctest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/HtmlHelp.h"
#include "app/MainWindow.h"
#include "app/MenuImages.h"
#include "platform/FileSystem.h"
#include "platform/MessagePump.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "support/Sandbox.h"
#include "support/WindowProbes.h"

using namespace tw;
using namespace tw::test;

namespace {

// The help engine's stand-in, held loaded by the test so that its log outlives the program's use.
struct StandIn {
    std::string path = ProgramFolder() + "hhstandin.dll";
    HMODULE module = LoadLibraryA(path.c_str());
    std::string Log() const {
        auto log = reinterpret_cast<const char*(WINAPI*)()>(GetProcAddress(module, "StandInLog"));
        return log ? log() : "no stand-in";
    }
    ~StandIn() { FreeLibrary(module); }
};
const std::string kTopicCall = "00000000|" + ProgramFolder() + "Kivcc.chm|0|Topic_17.htm\n";
const std::string kCloseCall = "00000000||18|\n";  // close all help windows

struct OpenWindow {
    OpenWindow() {
        form.reset(new MainWindow);
        REQUIRE(form->Create(GetModuleHandleW(nullptr)));
        form->Show();
    }
    // A key press as the message loop meets it, with Ctrl held or not.
    bool Press(UINT key, bool ctrl = false) {
        BYTE state[256] = {}, saved[256] = {};
        GetKeyboardState(saved);
        memcpy(state, saved, sizeof state);
        state[VK_CONTROL] = ctrl ? 0x80 : 0;
        SetKeyboardState(state);
        MSG msg{form->ReportList(), WM_KEYDOWN, key, 1, 0, {}};
        bool taken = form->PreTranslate(&msg);
        SetKeyboardState(saved);
        return taken;
    }
    std::unique_ptr<MainWindow> form;
};

struct Item {
    std::string caption, shortcut;  // before and after the tab
    bool enabled;
    HBITMAP bitmap;
    ULONG_PTR data;
};

Item ReadItem(HMENU menu, UINT id) {
    wchar_t text[128] = {};
    MENUITEMINFOW mi{};
    mi.cbSize = sizeof mi;
    mi.fMask = MIIM_STRING | MIIM_STATE | MIIM_BITMAP | MIIM_DATA;
    mi.dwTypeData = text;
    mi.cch = 128;
    REQUIRE(GetMenuItemInfoW(menu, id, FALSE, &mi));
    std::string all = WideToAnsi(text);
    size_t tab = all.find('\t');
    return {all.substr(0, tab), tab == std::string::npos ? "" : all.substr(tab + 1), !(mi.fState & MFS_GRAYED),
            mi.hbmpItem, mi.dwItemData};
}

// Pixels of a 16x16 picture as the user sees it over a background.
std::vector<COLORREF> Seen(COLORREF background, const std::function<void(HDC)>& draw) {
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO bi{{sizeof(BITMAPINFOHEADER), 16, -16, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bmp);
    HBRUSH brush = CreateSolidBrush(background);
    RECT all{0, 0, 16, 16};
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    draw(dc);
    std::vector<COLORREF> px;
    for (int i = 0; i < 256; ++i) px.push_back(GetPixel(dc, i % 16, i / 16));
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    return px;
}

// An item's picture: painted by the window on request, or an alpha bitmap blended as a menu does.
std::vector<COLORREF> PictureOf(HWND window, HMENU menu, UINT id, COLORREF bg) {
    Item it = ReadItem(menu, id);
    if (it.bitmap == HBMMENU_CALLBACK) {
        MEASUREITEMSTRUCT mi{ODT_MENU, 0, id, 0, 0, it.data};
        SendMessageW(window, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&mi));
        CHECK((mi.itemWidth >= 16 && mi.itemHeight >= 16));
        return Seen(bg, [&](HDC dc) {
            DRAWITEMSTRUCT di{ODT_MENU, 0, id, ODA_DRAWENTIRE, 0, reinterpret_cast<HWND>(menu), dc, {0, 0, 16, 16}, it.data};
            SendMessageW(window, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&di));
        });
    }
    DIBSECTION ds{};
    REQUIRE(GetObjectW(it.bitmap, sizeof ds, &ds) == sizeof ds);
    REQUIRE(ds.dsBm.bmBitsPixel == 32);
    std::vector<COLORREF> px;
    for (int i = 0; i < 256; ++i) {
        DWORD p = static_cast<const DWORD*>(ds.dsBm.bmBits)[i];
        unsigned a = p >> 24;
        auto blend = [&](unsigned c, unsigned b) { return static_cast<BYTE>(c + b * (255 - a) / 255); };  // premultiplied
        px.push_back(RGB(blend((p >> 16) & 0xFF, GetRValue(bg)), blend((p >> 8) & 0xFF, GetGValue(bg)),
                         blend(p & 0xFF, GetBValue(bg))));
    }
    return px;
}

HIMAGELIST SmallImages() {
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 24, 4);
    HBITMAP bmp = static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_SMALL), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ImageList_AddMasked(list, bmp, RGB(255, 0, 255));
    DeleteObject(bmp);
    return list;
}

// "Ctrl+Alt+R" as an accelerator entry for a command.
ACCEL ParseShortcut(std::string text, UINT command) {
    ACCEL a{FVIRTKEY, 0, static_cast<WORD>(command)};
    for (auto [prefix, flag] : {std::pair<const char*, BYTE>{"Ctrl+", FCONTROL}, {"Alt+", FALT}})
        if (text.rfind(prefix, 0) == 0) a.fVirt |= flag, text = text.substr(strlen(prefix));
    a.key = static_cast<WORD>(text.size() == 1 ? text[0] : VK_F1 + std::stoi(text.substr(1)) - 1);
    return a;
}

}  // namespace

TEST_CASE("every menu item has its caption, shortcut, picture and initial state, in both picture styles") {
    RegistrySandbox sb;
    OpenWindow w;
    MainWindow& f = *w.form;
    struct Row {
        bool popup;
        UINT id;
        const char *caption, *shortcut;
        int image;  // -1: none
        bool enabled;
    } const rows[] = {
        {false, IDM_BACKUP, "注册表备份(&B)", "", 4, true},     {false, IDM_RESTORE, "注册表恢复(&R)", "", 5, true},
        {false, IDM_EXIT, "退出(&X)", "F10", -1, true},          {false, IDM_SCAN, "扫描", "Ctrl+S", 1, true},
        {false, IDM_REPAIR, "修复", "Ctrl+R", 2, false},         {false, IDM_REPAIRALL, "全部修复", "Ctrl+Alt+R", 3, false},
        {false, IDM_HISTORY, "历史日志", "Ctrl+H", 6, true},     {false, IDM_CLEARHISTORY, "清空历史日志", "Ctrl+C", -1, true},
        {false, IDM_HELP, "帮助", "F1", -1, true},               {false, IDM_MAIL, "通过电子邮件与作者联系", "", 8, true},
        {false, IDM_HOMEPAGE, "访问作者主页", "", 7, true},      {false, IDM_ABOUT, "关于Tarnwell", "", -1, true},
        {true, IDM_POP_REPAIR, "修复(&R)", "", 3, false},        {true, IDM_POP_ALL, "全部修复(&A)", "", 2, false},
    };
    // The window's menus carry the pictures in this system's style; copies of the same
    // resources get the other style.
    HIMAGELIST images = SmallImages();
    MenuImages other;
    const auto otherStyle = MenuImages::StyleForThisSystem() == MenuImages::Style::Drawn ? MenuImages::Style::Alpha
                                                                                         : MenuImages::Style::Drawn;
    HMENU mainCopy = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINMENU));
    HMENU popupCopy = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_POPUPMENU));
    other.Attach(mainCopy, images, MainMenuImages(), otherStyle);
    other.Attach(popupCopy, images, PopupMenuImages(), otherStyle);

    std::vector<ACCEL> keys(static_cast<size_t>(CopyAcceleratorTableW(f.Shortcuts(), nullptr, 0)));
    CopyAcceleratorTableW(f.Shortcuts(), keys.data(), static_cast<int>(keys.size()));
    size_t withShortcut = 0;
    for (const Row& r : rows) {
        CAPTURE(r.caption);
        for (HMENU menu : {r.popup ? f.PopupMenu() : f.MainMenu(), r.popup ? popupCopy : mainCopy}) {
            Item it = ReadItem(menu, r.id);
            CHECK(it.caption == r.caption);
            CHECK(it.shortcut == r.shortcut);
            CHECK(it.enabled == r.enabled);
            CHECK((it.bitmap != nullptr) == (r.image >= 0));
            if (r.image < 0) continue;
            for (COLORREF bg : {RGB(255, 255, 255), RGB(10, 36, 106)}) {
                auto want = Seen(bg, [&](HDC dc) { ImageList_Draw(images, r.image, dc, 0, 0, ILD_TRANSPARENT); });
                CHECK(PictureOf(f.Handle(), menu, r.id, bg) == want);
            }
        }
        // The shortcut text is what the accelerator table does for this very command.
        if (!*r.shortcut) continue;
        ++withShortcut;
        ACCEL want = ParseShortcut(r.shortcut, r.id);
        bool found = false;
        for (const ACCEL& a : keys) found = found || (a.key == want.key && a.fVirt == want.fVirt && a.cmd == want.cmd);
        CHECK(found);
    }
    CHECK(keys.size() == withShortcut);  // no shortcut works without its text on an item
    DestroyMenu(mainCopy);
    DestroyMenu(popupCopy);
    ImageList_Destroy(images);
}

TEST_CASE("the repair items wait for rows; during a scan the Scan item reads Stop and Ctrl+S stops it") {
    RegistrySandbox sb;
    for (int i = 0; i < 30; ++i)
        for (int j = 0; j < 20; ++j)
            SetString(HKEY_CURRENT_USER, "Software\\Gone" + std::to_string(i) + "\\Sub" + std::to_string(j), "Path",
                      "C:\\twgone\\app" + std::to_string(j) + ".exe");
    OpenWindow w;
    MainWindow& f = *w.form;
    auto repairItems = [&](bool on) {
        for (auto [menu, id] : {std::pair<HMENU, UINT>{f.MainMenu(), IDM_REPAIR}, {f.MainMenu(), IDM_REPAIRALL},
                                {f.PopupMenu(), IDM_POP_REPAIR}, {f.PopupMenu(), IDM_POP_ALL}})
            if (ReadItem(menu, id).enabled != on) return false;
        return true;
    };
    HWND chk = f.Checklist();
    for (int i = 0; i < ListView_GetItemCount(chk); ++i) ListView_SetCheckState(chk, i, i == kRowCurrentUser);
    CHECK(w.Press('S', true));
    Item during = ReadItem(f.MainMenu(), IDM_SCAN);
    CHECK(during.caption == "停止");
    CHECK(during.shortcut == "Ctrl+S");
    CHECK(repairItems(false));
    REQUIRE(PumpUntil([&] { return f.Driver().Idle(); }, 60000));
    CHECK(f.Findings().Count() > 0);
    CHECK(ReadItem(f.MainMenu(), IDM_SCAN).caption == "扫描");
    CHECK(repairItems(true));

    f.Command(IDM_SCAN);  // a new scan switches them off while it runs
    CHECK(repairItems(false));
    CHECK(w.Press('S', true));
    CHECK(ReadItem(f.MainMenu(), IDM_SCAN).caption == "扫描");
    REQUIRE(PumpUntil([&] { return f.Driver().Idle(); }, 60000));

    // A scan that finds nothing leaves them off.
    for (int i = 0; i < ListView_GetItemCount(chk); ++i) ListView_SetCheckState(chk, i, FALSE);
    f.Command(IDM_SCAN);
    CHECK(repairItems(false));
}

// The command line that hands a page of the guide to the host's browser.
std::string BrowserCall(const std::string& page) {
    char dir[MAX_PATH] = {};
    GetSystemDirectoryA(dir, MAX_PATH);
    return "\"" + std::string(dir) + "\\winebrowser.exe\" \"" + page + "\"";
}

TEST_CASE("F1 and the Help item: the help window, silent without the engine; under Wine without its HTML engine the browser") {
    ScopedSeams seams;
    int boxes = 0, engineAsked = 0;
    seams->messageBox = [&](HWND, const std::string&, const std::string&, UINT) { return ++boxes, IDOK; };
    std::vector<std::string> started;
    bool browserStarts = true;
    seams->startProgram = [&](const std::string& commandLine) { return started.push_back(commandLine), browserStarts; };
    StandIn standIn;
    const std::string browser = BrowserCall(ProgramFolder() + "help\\zh\\Topic_17.htm");
    struct Row {
        const char* name;
        const char* wine;  // Wine's version, empty on Windows
        bool engineUsable, registered, inBrowser, browserStarts;
    } const rows[] = {
        {"Windows without the engine's registration", "", false, false, false, true},
        {"Windows", "", false, true, false, true},
        {"Wine with a working HTML engine", "8.0", true, true, false, true},
        {"Wine without it", "8.0", false, true, true, true},
        {"Wine without it or the engine's registration", "8.0", false, false, true, true},
        {"Wine without it, winebrowser does not start", "8.0", false, true, true, false},
    };
    for (const Row& r : rows) {
        CAPTURE(r.name);
        RegistrySandbox sb;
        if (r.registered) SetString(HKEY_CLASSES_ROOT, kHtmlHelpServerKey, "", standIn.path);
        seams->wineVersion = [&] { return std::string(r.wine); };
        seams->htmlEngineUsable = [&] { return ++engineAsked, r.engineUsable; };
        browserStarts = r.browserStarts;
        const bool window = r.registered && !(r.inBrowser && r.browserStarts);
        std::string before = standIn.Log();
        started.clear();
        engineAsked = 0;
        {
            OpenWindow w;
            CHECK(w.form->Help()->Loaded() == r.registered);
            std::string status = w.form->StatusText();
            CHECK(w.Press(VK_F1));
            SendMessageW(w.form->Handle(), WM_COMMAND, IDM_HELP, 0);  // the menu item
            CHECK(w.form->StatusText() == status);
            CHECK(standIn.Log() == before + (window ? kTopicCall + kTopicCall : ""));
            CHECK(started == (r.inBrowser ? std::vector<std::string>{browser, browser} : std::vector<std::string>{}));
            CHECK((engineAsked > 0) == (*r.wine != 0));  // the check loads a library: on Windows never
        }
        // Unloading closes the engine's windows first.
        CHECK(standIn.Log() == before + (window ? kTopicCall + kTopicCall : "") + (r.registered ? kCloseCall : ""));
    }
    CHECK(FileExists(ProgramFolder() + "help\\zh\\Topic_17.htm"));
    CHECK(boxes == 0);
}

TEST_CASE("each language's guide beside the program; without its pages under Wine, the help window") {
    ScopedSeams seams;
    seams->wineVersion = [] { return std::string("8.0"); };
    seams->htmlEngineUsable = [] { return false; };
    std::vector<std::string> started;
    seams->startProgram = [&](const std::string& commandLine) { return started.push_back(commandLine), true; };
    StandIn standIn;
    RegistrySandbox sb;
    SetString(HKEY_CLASSES_ROOT, kHtmlHelpServerKey, "", standIn.path);
    const Guide zh = GuideFor(GuideLanguage::Chinese), en = GuideFor(GuideLanguage::English);
    CHECK(zh.helpFile == ProgramFolder() + "Kivcc.chm");
    CHECK(en.helpFile == ProgramFolder() + "Kivcc-en.chm");
    for (const Guide& g : {zh, en}) {
        CHECK(FileExists(g.helpFile));
        CHECK(FileExists(g.pagesFolder + "Topic_17.htm"));
    }
    std::string before = standIn.Log();
    HtmlHelp(en).ShowTopic("scan.htm#winedesktop");  // the browser gets the page, not its anchor
    CHECK(started == std::vector<std::string>{BrowserCall(ProgramFolder() + "help\\en\\scan.htm")});
    Guide unpaged = en;
    unpaged.pagesFolder = ProgramFolder() + "twgone\\";
    HtmlHelp(unpaged).ShowTopic("Topic_17.htm");
    CHECK(started.size() == 1);
    CHECK(standIn.Log() == before + kCloseCall + "00000000|" + en.helpFile + "|0|Topic_17.htm\n" + kCloseCall);
}

TEST_CASE("Wine's HTML engine: Gecko where its installer registers it; never with the engine's library switched off") {
    ScratchDir dir;
    const std::string withLibrary = dir.Dir("wine_gecko"), without = dir.Dir("empty");
    dir.File("wine_gecko\\xul.dll");
    RegistrySandbox sb;
    const bool elsewhere = WineGeckoInstalled();  // the system folder, Wine's shared data
    const char key[] = "Software\\Wine\\MSHTML\\2.47.3";
    SetString(HKEY_LOCAL_MACHINE, key, "GeckoPath", without);
    CHECK(WineGeckoInstalled() == elsewhere);
    SetString(HKEY_LOCAL_MACHINE, key, "GeckoPath", withLibrary + "\\");
    CHECK(WineGeckoInstalled());
    // The test prefix runs with the engine's library switched off, as the Linux launcher does.
    char overrides[512] = {};
    GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
    if (std::string(overrides).find("mshtml=") != std::string::npos) CHECK_FALSE(WineHtmlEngineUsable());
}

TEST_CASE("the engine's registration: what loads it and what leaves help silent") {
    ScopedSeams seams;
    seams->wineVersion = [] { return std::string(); };  // the help window's route, as on Windows
    StandIn standIn;
    std::string folder = ProgramFolder();
    SetEnvironmentVariableA("TW_STANDIN_DIR", folder.substr(0, folder.size() - 1).c_str());
    struct Case {
        const char* name;
        std::string value;  // empty: no key at all
        DWORD type;
        bool loads;
    } const cases[] = {
        {"no key", "", REG_SZ, false},
        {"a file that is not there", "C:\\twgone\\hhctrl.ocx", REG_SZ, false},
        {"a library without the entry point", WindowsDirectory() + "\\system32\\kernel32.dll", REG_SZ, false},
        {"the engine", standIn.path, REG_SZ, true},
        {"the engine through an environment reference", "%TW_STANDIN_DIR%\\hhstandin.dll", REG_EXPAND_SZ, true},
    };
    for (const Case& c : cases) {
        CAPTURE(c.name);
        RegistrySandbox sb;
        if (!c.value.empty()) SetString(HKEY_CLASSES_ROOT, kHtmlHelpServerKey, "", c.value, c.type);
        std::string before = standIn.Log();
        {
            HtmlHelp help(GuideFor(GuideLanguage::Chinese));
            CHECK(help.Loaded() == c.loads);
            help.ShowTopic("Topic_17.htm");
        }
        CHECK(standIn.Log() == before + (c.loads ? kTopicCall + kCloseCall : ""));
    }
}

TEST_CASE("help works for an account that may only read the class registration") {
    StandIn standIn;
    RegistrySandbox sb;
    SetString(HKEY_CLASSES_ROOT, kHtmlHelpServerKey, "", standIn.path);
    HKEY key = nullptr;
    REQUIRE(RegOpenKeyExA(HKEY_CLASSES_ROOT, kHtmlHelpServerKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    REQUIRE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
    auto allow = [&](REGSAM rights) {
        alignas(DWORD) BYTE aclBytes[256];
        auto* acl = reinterpret_cast<PACL>(aclBytes);
        InitializeAcl(acl, sizeof aclBytes, ACL_REVISION);
        AddAccessAllowedAce(acl, ACL_REVISION, rights, everyone);
        SECURITY_DESCRIPTOR sd;
        InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
        return RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
    };
    REQUIRE(allow(KEY_READ | WRITE_DAC | DELETE));
    HKEY probe = nullptr;
    CHECK(RegOpenKeyExA(HKEY_CLASSES_ROOT, kHtmlHelpServerKey, 0, KEY_ALL_ACCESS, &probe) != ERROR_SUCCESS);
    CHECK(HtmlHelp(GuideFor(GuideLanguage::Chinese)).Loaded());
    allow(KEY_ALL_ACCESS);  // so that the sandbox can remove it
    RegCloseKey(key);
    FreeSid(everyone);
}

TEST_CASE("mail and home page go to the shell, owned by the window, under a reserved example domain") {
    ScopedSeams seams;
    std::vector<std::string> opened;
    RegistrySandbox sb;
    OpenWindow w;
    seams->shellOpen = [&](HWND owner, const std::string& target) {
        CHECK(owner == w.form->Handle());
        opened.push_back(target);
    };
    SendMessageW(w.form->Handle(), WM_COMMAND, IDM_MAIL, 0);
    SendMessageW(w.form->Handle(), WM_COMMAND, IDM_HOMEPAGE, 0);
    REQUIRE(opened.size() == 2);
    CHECK(opened[0].rfind("mailto:", 0) == 0);
    CHECK(opened[0].find("?subject=Tarnwell") == opened[0].size() - 17);
    CHECK(opened[1].rfind("http", 0) == 0);
    for (const std::string& t : opened)
        CHECK((t.find("example.com") != std::string::npos || t.find("example.org") != std::string::npos));
}
