// The menus, shortcuts and the Help menu's commands of the main window, read back from the real
// window, and the help engine's loading against a sandboxed class registration.
#include <doctest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/AboutCommands.h"
#include "app/MainWindow.h"
#include "app/MenuImages.h"
#include "app/chm.h"
#include "platform/FileSystem.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "support/Sandbox.h"

using namespace tw;
using namespace tw::test;

namespace {

void Pump(DWORD ms) {
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

template <typename Cond>
bool PumpUntil(Cond cond, DWORD ms = 10000) {
    DWORD start = GetTickCount();
    while (!cond()) {
        if (GetTickCount() - start > ms) return false;
        Pump(10);
    }
    return true;
}

// The help engine stand-in, loaded by the test too so that its record outlives the program's
// own loading and unloading.
struct StandIn {
    StandIn() : path(ProgramFolder() + "hhstandin.dll"), module(LoadLibraryA(path.c_str())) {
        REQUIRE(module != nullptr);
        count = reinterpret_cast<int(WINAPI*)()>(GetProcAddress(module, "StandInCallCount"));
        call = reinterpret_cast<BOOL(WINAPI*)(int, HWND*, char*, UINT*, char*)>(GetProcAddress(module, "StandInCall"));
        REQUIRE((count != nullptr && call != nullptr));
    }
    ~StandIn() { FreeLibrary(module); }
    struct Call {
        HWND owner;
        std::string file;
        UINT command;
        std::string topic;
    };
    Call At(int i) const {
        Call c{};
        char file[520] = {}, topic[260] = {};
        REQUIRE(call(i, &c.owner, file, &c.command, topic));
        c.file = file;
        c.topic = topic;
        return c;
    }
    void Register() const { SetString(HKEY_CLASSES_ROOT, kHtmlHelpServerKey, "", path); }

    std::string path;
    HMODULE module;
    int(WINAPI* count)() = nullptr;
    BOOL(WINAPI* call)(int, HWND*, char*, UINT*, char*) = nullptr;
};

const UINT kDisplayTopic = 0x0000, kCloseAll = 0x0012;

struct MainWindow {
    MainWindow() {
        DeleteFileA((ProgramFolder() + "Set.ini").c_str());
        form.reset(new TForm1);
        REQUIRE(form->Create(GetModuleHandleW(nullptr)));
        form->Show();
        Pump(50);
    }
    ~MainWindow() {
        form.reset();
        DeleteFileA((ProgramFolder() + "Set.ini").c_str());
    }
    // A key press as the message loop sees it, with the modifiers held.
    bool Press(UINT key, bool ctrl = false, bool alt = false) {
        BYTE state[256] = {};
        GetKeyboardState(state);
        BYTE saved[256];
        memcpy(saved, state, sizeof saved);
        state[VK_CONTROL] = ctrl ? 0x80 : 0;
        state[VK_MENU] = alt ? 0x80 : 0;
        SetKeyboardState(state);
        MSG msg{};
        msg.hwnd = form->ReportList();
        msg.message = alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
        msg.wParam = key;
        msg.lParam = 1 | (alt ? (1 << 29) : 0);
        bool taken = form->PreTranslate(&msg);
        SetKeyboardState(saved);
        return taken;
    }
    std::unique_ptr<TForm1> form;
};

BOOL CALLBACK CollectShown(HWND h, LPARAM lp) {
    if (IsWindowVisible(h)) reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
    return TRUE;
}

// The windows of this thread that are shown: a command that shows nothing leaves the set as it was.
std::vector<HWND> ShownWindows() {
    std::vector<HWND> found;
    EnumThreadWindows(GetCurrentThreadId(), CollectShown, reinterpret_cast<LPARAM>(&found));
    return found;
}

struct Item {
    std::string caption;   // before the tab
    std::string shortcut;  // after the tab
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
    return Item{all.substr(0, tab), tab == std::string::npos ? "" : all.substr(tab + 1),
                !(mi.fState & MFS_GRAYED), mi.hbmpItem, mi.dwItemData};
}

// "Ctrl+Alt+R" as the accelerator table holds it.
ACCEL ParseShortcut(const std::string& text, UINT command) {
    ACCEL a{};
    a.fVirt = FVIRTKEY;
    a.cmd = static_cast<WORD>(command);
    std::string rest = text;
    for (;;) {
        if (rest.rfind("Ctrl+", 0) == 0) { a.fVirt |= FCONTROL; rest = rest.substr(5); }
        else if (rest.rfind("Alt+", 0) == 0) { a.fVirt |= FALT; rest = rest.substr(4); }
        else if (rest.rfind("Shift+", 0) == 0) { a.fVirt |= FSHIFT; rest = rest.substr(6); }
        else break;
    }
    if (rest.size() == 1) a.key = static_cast<WORD>(rest[0]);
    else if (rest.size() > 1 && rest[0] == 'F') a.key = static_cast<WORD>(VK_F1 + std::stoi(rest.substr(1)) - 1);
    return a;
}

// Pixels of an image drawn over a background: what the user sees of a menu picture.
std::vector<COLORREF> Drawn(int size, COLORREF background, const std::function<void(HDC)>& draw) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, size, size);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bmp);
    HBRUSH brush = CreateSolidBrush(background);
    RECT all{0, 0, size, size};
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    draw(dc);
    std::vector<COLORREF> px;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) px.push_back(GetPixel(dc, x, y));
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    return px;
}

std::vector<COLORREF> ImageOf(HIMAGELIST list, int index, COLORREF background) {
    return Drawn(16, background, [&](HDC dc) { ImageList_Draw(list, index, dc, 0, 0, ILD_TRANSPARENT); });
}

HIMAGELIST SmallImages() {
    // The window's own strip, loaded the way the window loads it.
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 24, 4);
    HBITMAP bmp = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_SMALL),
                                                  IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ImageList_AddMasked(list, bmp, RGB(255, 0, 255));
    DeleteObject(bmp);
    return list;
}

}  // namespace

TEST_CASE("every menu item has its caption, shortcut, picture and initial state") {
    RegistrySandbox sb;
    MainWindow w;
    TForm1& f = *w.form;
    struct Row {
        HMENU menu;
        UINT id;
        const char* caption;
        const char* shortcut;
        int image;  // -1: none
        bool enabled;
    };
    const Row rows[] = {
        {f.MainMenu(), ID_BACKUP, "注册表备份(&B)", "", 4, true},
        {f.MainMenu(), ID_RESTORE, "注册表恢复(&R)", "", 5, true},
        {f.MainMenu(), ID_EXIT, "退出(&X)", "F10", -1, true},
        {f.MainMenu(), ID_SCAN, "扫描", "Ctrl+S", 1, true},
        {f.MainMenu(), ID_REPAIR, "修复", "Ctrl+R", 2, false},
        {f.MainMenu(), ID_REPAIRALL, "全部修复", "Ctrl+Alt+R", 3, false},
        {f.MainMenu(), ID_HISTORY, "历史日志", "Ctrl+H", 6, true},
        {f.MainMenu(), ID_CLEARHISTORY, "清空历史日志", "Ctrl+C", -1, true},
        {f.MainMenu(), ID_HELP, "帮助", "F1", -1, true},
        {f.MainMenu(), ID_MAIL, "通过电子邮件与作者联系", "", 8, true},
        {f.MainMenu(), ID_HOMEPAGE, "访问作者主页", "", 7, true},
        {f.MainMenu(), ID_ABOUT, "关于Tarnwell", "", -1, true},
        {f.PopupMenu(), ID_POP_REPAIR, "修复(&R)", "", 3, false},
        {f.PopupMenu(), ID_POP_ALL, "全部修复(&A)", "", 2, false},
    };
    // The pictures are drawn by the window on this system's classic menus, or carried as alpha
    // bitmaps where menus are themed.
    const bool drawn = MenuImages::StyleForThisSystem() == MenuImages::Style::Drawn;
    HIMAGELIST images = SmallImages();
    std::vector<ACCEL> shortcuts(static_cast<size_t>(CopyAcceleratorTableW(f.Shortcuts(), nullptr, 0)));
    CopyAcceleratorTableW(f.Shortcuts(), shortcuts.data(), static_cast<int>(shortcuts.size()));
    size_t shortcutItems = 0;
    for (const Row& r : rows) {
        CAPTURE(r.caption);
        Item it = ReadItem(r.menu, r.id);
        CHECK(it.caption == r.caption);
        CHECK(it.shortcut == r.shortcut);
        CHECK(it.enabled == r.enabled);
        if (r.image < 0) {
            CHECK(it.bitmap == nullptr);
        } else if (drawn) {
            REQUIRE(it.bitmap == HBMMENU_CALLBACK);
            // The window measures and paints the item's picture: ImageList1's image, as is.
            MEASUREITEMSTRUCT mi{ODT_MENU, 0, r.id, 0, 0, it.data};
            SendMessageW(f.Handle(), WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&mi));
            CHECK(mi.itemWidth >= 16);  // room for the picture
            CHECK(mi.itemHeight >= 16);
            auto painted = Drawn(16, RGB(10, 20, 30), [&](HDC dc) {
                DRAWITEMSTRUCT di{ODT_MENU, 0, r.id, ODA_DRAWENTIRE, 0,
                                  reinterpret_cast<HWND>(r.menu), dc, {0, 0, 16, 16}, it.data};
                SendMessageW(f.Handle(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&di));
            });
            CHECK(painted == ImageOf(images, r.image, RGB(10, 20, 30)));
        } else {
            CHECK(it.bitmap != nullptr);
        }
        // The shortcut text is what the accelerator table does for this very command.
        if (*r.shortcut) {
            ++shortcutItems;
            ACCEL want = ParseShortcut(r.shortcut, r.id);
            bool found = false;
            for (const ACCEL& a : shortcuts)
                found = found || (a.key == want.key && a.fVirt == want.fVirt && a.cmd == want.cmd);
            CHECK(found);
        }
    }
    // No shortcut works without its text on an item.
    CHECK(shortcuts.size() == shortcutItems);
    ImageList_Destroy(images);

    // The three menus of the bar, with their hot keys.
    const char* bar[] = {"文件(&F)", "Tarnwell(&S)", "帮助(&H)"};
    REQUIRE(GetMenuItemCount(f.MainMenu()) == 3);
    for (int i = 0; i < 3; ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(f.MainMenu(), static_cast<UINT>(i), text, 64, MF_BYPOSITION);
        CHECK(WideToAnsi(text) == bar[i]);
    }
}

TEST_CASE("alpha menu pictures: transparent where the mask is, ImageList1's pixels elsewhere") {
    HIMAGELIST images = SmallImages();
    for (int index : {1, 4, 8}) {
        CAPTURE(index);
        HBITMAP bmp = MenuImages::MakeAlphaBitmap(images, index);
        REQUIRE(bmp != nullptr);
        DIBSECTION ds{};
        REQUIRE(GetObjectW(bmp, sizeof ds, &ds) == sizeof ds);
        CHECK(ds.dsBm.bmBitsPixel == 32);
        const auto* px = static_cast<const DWORD*>(ds.dsBm.bmBits);
        // Composed over two backgrounds as the menu blends it, it shows the image list's picture.
        for (COLORREF bg : {RGB(255, 255, 255), RGB(0, 0, 0)}) {
            std::vector<COLORREF> want = ImageOf(images, index, bg);
            int opaque = 0, clear = 0;
            for (int i = 0; i < 16 * 16; ++i) {
                DWORD p = px[i];
                BYTE a = static_cast<BYTE>(p >> 24);
                // Premultiplied: a transparent pixel carries no colour.
                if (a == 0) CHECK((p & 0xFFFFFF) == 0u);
                COLORREF seen = a == 0 ? bg : RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
                CHECK(a == (a == 0 ? 0 : 255));
                CHECK(seen == want[static_cast<size_t>(i)]);
                (a ? opaque : clear)++;
            }
            CHECK(opaque > 0);
            CHECK(clear > 0);
        }
        DeleteObject(bmp);
    }
    ImageList_Destroy(images);
}

TEST_CASE("the repair items wait for rows; during a scan the Scan item reads Stop and keeps its shortcut") {
    RegistrySandbox sb;
    for (int i = 0; i < 30; ++i) {
        std::string key = "Software\\Gone" + std::to_string(i);
        SetString(HKEY_CURRENT_USER, key, "Path", "C:\\twgone\\app" + std::to_string(i) + ".exe");
        for (int j = 0; j < 20; ++j) MakeKey(HKEY_CURRENT_USER, key + "\\Sub" + std::to_string(j));
    }
    MainWindow w;
    TForm1& f = *w.form;
    auto repairItemsOn = [&] {
        return ReadItem(f.MainMenu(), ID_REPAIR).enabled && ReadItem(f.MainMenu(), ID_REPAIRALL).enabled &&
               ReadItem(f.PopupMenu(), ID_POP_REPAIR).enabled && ReadItem(f.PopupMenu(), ID_POP_ALL).enabled;
    };
    auto repairItemsOff = [&] {
        return !ReadItem(f.MainMenu(), ID_REPAIR).enabled && !ReadItem(f.MainMenu(), ID_REPAIRALL).enabled &&
               !ReadItem(f.PopupMenu(), ID_POP_REPAIR).enabled && !ReadItem(f.PopupMenu(), ID_POP_ALL).enabled;
    };
    HWND chk = f.Checklist();
    // A scan that finds nothing leaves them off.
    for (int i = 0; i < ListView_GetItemCount(chk); ++i) ListView_SetCheckState(chk, i, FALSE);
    CHECK(w.Press('S', true));  // Ctrl+S
    CHECK(f.StatusText().rfind("扫描完毕", 0) == 0);
    CHECK(repairItemsOff());

    // The current user's hive: rows are found.
    ListView_SetCheckState(chk, 7, TRUE);
    Item before = ReadItem(f.MainMenu(), ID_SCAN);
    f.Command(ID_SCAN);
    Item during = ReadItem(f.MainMenu(), ID_SCAN);
    CHECK(during.caption == "停止");
    CHECK(during.shortcut == "Ctrl+S");
    CHECK(during.bitmap == before.bitmap);
    CHECK(repairItemsOff());
    REQUIRE(PumpUntil([&] { return f.Driver().Idle(); }, 60000));
    CHECK(f.Findings().Count() > 0);
    CHECK(ReadItem(f.MainMenu(), ID_SCAN).caption == "扫描");
    CHECK(repairItemsOn());

    // A new scan switches them off again while it runs; Ctrl+S stops it.
    f.Command(ID_SCAN);
    CHECK(repairItemsOff());
    CHECK(w.Press('S', true));
    CHECK(ReadItem(f.MainMenu(), ID_SCAN).caption == "扫描");
    REQUIRE(PumpUntil([&] { return f.Driver().Idle(); }, 60000));
}

TEST_CASE("help: silent without the engine's registration, the topic of the file beside the exe with it") {
    ScopedSeams seams;
    int boxes = 0;
    seams->messageBox = [&](HWND, const std::string&, const std::string&, UINT) {
        ++boxes;
        return IDOK;
    };
    StandIn standIn;

    SUBCASE("no registration: F1 and the Help item do nothing and report nothing") {
        RegistrySandbox sb;
        MainWindow w;
        TForm1& f = *w.form;
        CHECK_FALSE(f.Help()->Loaded());
        std::vector<HWND> shown = ShownWindows();
        std::string status = f.StatusText();
        CHECK(w.Press(VK_F1));
        f.Command(ID_HELP);
        SendMessageW(f.Handle(), WM_COMMAND, ID_HELP, 0);
        Pump(100);
        CHECK(boxes == 0);
        CHECK(ShownWindows() == shown);
        CHECK(f.StatusText() == status);
        CHECK(standIn.count() == 0);
    }
    SUBCASE("registered: F1 and the Help item call the engine with the file and the topic") {
        RegistrySandbox sb;
        standIn.Register();
        {
            MainWindow w;
            TForm1& f = *w.form;
            REQUIRE(f.Help()->Loaded());
            CHECK(w.Press(VK_F1));
            SendMessageW(f.Handle(), WM_COMMAND, ID_HELP, 0);  // the menu item
            REQUIRE(standIn.count() == 2);
            for (int i = 0; i < 2; ++i) {
                StandIn::Call c = standIn.At(i);
                CHECK(c.owner == nullptr);
                CHECK(c.file == ProgramFolder() + "Kivcc.chm");
                CHECK(c.command == kDisplayTopic);
                CHECK(c.topic == "Topic_17.htm");
            }
        }
        // The window's end closes the engine's windows before the library goes.
        REQUIRE(standIn.count() == 3);
        CHECK(standIn.At(2).command == kCloseAll);
        CHECK(boxes == 0);
    }
}

TEST_CASE("the engine's registration: what loads it and what leaves help silent") {
    StandIn standIn;
    std::string folder = ProgramFolder();
    folder.pop_back();
    SetEnvironmentVariableA("TW_STANDIN_DIR", folder.c_str());
    struct Case {
        const char* name;
        bool makeKey;
        std::string value;
        DWORD type;
        bool loads;
    };
    const Case cases[] = {
        {"no key", false, "", REG_SZ, false},
        {"empty default value", true, "", REG_SZ, false},
        {"a file that is not there", true, "C:\\twgone\\hhctrl.ocx", REG_SZ, false},
        {"a library without the entry point", true, WindowsDirectory() + "\\system32\\kernel32.dll", REG_SZ, false},
        {"the engine", true, standIn.path, REG_SZ, true},
        {"the engine through an environment reference", true, "%TW_STANDIN_DIR%\\hhstandin.dll", REG_EXPAND_SZ, true},
    };
    for (const Case& c : cases) {
        CAPTURE(c.name);
        RegistrySandbox sb;
        if (c.makeKey) SetString(HKEY_CLASSES_ROOT, kHtmlHelpServerKey, "", c.value, c.type);
        int before = standIn.count();
        {
            THtmhelp help("C:\\nowhere\\Kivcc.chm");
            CHECK(help.Loaded() == c.loads);
            help.ShowTopic("Topic_17.htm");
        }
        // Loaded: one topic, then the closing call. Not loaded: nothing at all.
        CHECK(standIn.count() - before == (c.loads ? 2 : 0));
    }
}

TEST_CASE("help works for an account that may only read the class registration") {
    StandIn standIn;
    RegistrySandbox sb;
    standIn.Register();
    // Only reading is allowed on the registration, as for an ordinary user's view of the
    // machine's classes.
    HKEY key = nullptr;
    REQUIRE(RegOpenKeyExA(HKEY_CLASSES_ROOT, kHtmlHelpServerKey, 0, KEY_ALL_ACCESS | WRITE_DAC, &key) == ERROR_SUCCESS);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    REQUIRE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
    std::vector<BYTE> aclBytes(256);
    auto* acl = reinterpret_cast<PACL>(aclBytes.data());
    REQUIRE(InitializeAcl(acl, static_cast<DWORD>(aclBytes.size()), ACL_REVISION));
    REQUIRE(AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ | WRITE_DAC | DELETE, everyone));
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
    REQUIRE(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS);
    HKEY probe = nullptr;
    bool enforced = RegOpenKeyExA(HKEY_CLASSES_ROOT, kHtmlHelpServerKey, 0, KEY_ALL_ACCESS, &probe) != ERROR_SUCCESS;
    if (probe) RegCloseKey(probe);
    if (!enforced) MESSAGE("this system does not enforce key access rights; the check below proves less");
    {
        THtmhelp help(ProgramFolder() + "Kivcc.chm");
        CHECK(help.Loaded());
    }
    // Full access again, so that the sandbox can remove the key.
    InitializeAcl(acl, static_cast<DWORD>(aclBytes.size()), ACL_REVISION);
    AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, everyone);
    RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd);
    RegCloseKey(key);
    FreeSid(everyone);
}

TEST_CASE("mail and home page go to the shell with addresses under a reserved example domain") {
    ScopedSeams seams;
    std::vector<std::pair<HWND, std::string>> opened;
    seams->shellOpen = [&](HWND owner, const std::string& target) { opened.emplace_back(owner, target); };
    RegistrySandbox sb;
    MainWindow w;
    TForm1& f = *w.form;
    SendMessageW(f.Handle(), WM_COMMAND, ID_MAIL, 0);
    SendMessageW(f.Handle(), WM_COMMAND, ID_HOMEPAGE, 0);
    REQUIRE(opened.size() == 2);
    CHECK(opened[0].first == f.Handle());
    CHECK(opened[1].first == f.Handle());
    const std::string& mail = opened[0].second;
    CHECK(mail.rfind("mailto:", 0) == 0);
    CHECK(mail.substr(mail.size() - 17) == "?subject=Tarnwell");
    const std::string& home = opened[1].second;
    CHECK(home.rfind("http", 0) == 0);
    for (const std::string& target : {mail, home}) {
        bool reserved = target.find("example.com") != std::string::npos ||
                        target.find("example.org") != std::string::npos;
        CHECK(reserved);
    }
}

namespace {
// Closes the about box once it is up, after reading what it shows.
std::string g_aboutTexts;
bool g_aboutSeen = false;
BOOL CALLBACK CollectText(HWND h, LPARAM) {
    wchar_t buf[512] = {};
    GetWindowTextW(h, buf, 512);
    g_aboutTexts += WideToAnsi(buf) + "\n";
    return TRUE;
}
void CALLBACK CloseAbout(HWND, UINT, UINT_PTR id, DWORD) {
    for (HWND h : ShownWindows()) {
        wchar_t cls[32] = {};
        GetClassNameW(h, cls, 32);
        if (lstrcmpW(cls, L"#32770") != 0) continue;
        g_aboutSeen = true;
        CollectText(h, 0);
        EnumChildWindows(h, CollectText, 0);
        PostMessageW(h, WM_COMMAND, IDOK, 0);
        KillTimer(nullptr, id);
    }
}
}  // namespace

TEST_CASE("about: the system's about box owned by the main window with the product's version") {
    RegistrySandbox sb;
    MainWindow w;
    TForm1& f = *w.form;
    g_aboutTexts.clear();
    g_aboutSeen = false;
    UINT_PTR timer = SetTimer(nullptr, 0, 200, CloseAbout);
    SendMessageW(f.Handle(), WM_COMMAND, ID_ABOUT, 0);  // returns when the box is closed
    KillTimer(nullptr, timer);
    REQUIRE(g_aboutSeen);
    CHECK(g_aboutTexts.find("Tarnwell Version 3.4.5.707") != std::string::npos);
    CHECK(g_aboutTexts.find("开发组") != std::string::npos);
}

TEST_CASE("themed menus carry each picture as an alpha bitmap on exactly the items that have one") {
    HIMAGELIST images = SmallImages();
    HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINMENU));
    REQUIRE(menu != nullptr);
    {
        MenuImages pictures;
        pictures.Attach(menu, images, MainMenuImages(), MenuImages::Style::Alpha);
        for (UINT id = IDM_BACKUP; id <= IDM_ABOUT; ++id) {
            CAPTURE(id);
            int image = -1;
            for (const MenuImage& m : MainMenuImages())
                if (m.command == id) image = m.image;
            HBITMAP bmp = ReadItem(menu, id).bitmap;
            if (image < 0) {
                CHECK(bmp == nullptr);
                continue;
            }
            REQUIRE(bmp != nullptr);
            REQUIRE(bmp != HBMMENU_CALLBACK);
            HBITMAP want = MenuImages::MakeAlphaBitmap(images, image);
            DIBSECTION a{}, b{};
            REQUIRE(GetObjectW(bmp, sizeof a, &a) == sizeof a);
            REQUIRE(GetObjectW(want, sizeof b, &b) == sizeof b);
            CHECK(memcmp(a.dsBm.bmBits, b.dsBm.bmBits, 16 * 16 * 4) == 0);
            DeleteObject(want);
        }
    }
    DestroyMenu(menu);
    ImageList_Destroy(images);
}
