#include <doctest.h>

#include <algorithm>
#include <set>

#include "platform/DataFolder.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/MessagePump.h"
#include "platform/Registry.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "scanners/registry/HiveReferences.h"
#include "support/Sandbox.h"

using namespace tw;
using namespace tw::test;

TEST_CASE("registry paths: from the root, relative to the open key, current key replaced") {
    RegistrySandbox sb;
    MakeKey(HKEY_CURRENT_USER, "A\\B\\C");
    MakeKey(HKEY_CURRENT_USER, "B");
    Registry r;
    CHECK(r.RootKey() == HKEY_CURRENT_USER);
    CHECK(r.Access() == KEY_ALL_ACCESS);
    REQUIRE(r.OpenKey("A", false));
    REQUIRE(r.OpenKey("B", false));  // relative: A\B, not the top-level B
    CHECK(r.CurrentPath() == "A\\B");
    CHECK(r.GetKeyNames() == std::vector<std::string>{"C"});
    REQUIRE(r.OpenKey("\\B", false));  // leading backslash: from the root
    CHECK(r.CurrentPath() == "B");
    CHECK_FALSE(r.OpenKey("\\Missing", false));
    CHECK(r.CurrentPath() == "B");  // a failed open keeps the current key
    REQUIRE(r.OpenKey("\\X\\Y", true));
    CHECK(KeyPresent(HKEY_CURRENT_USER, "X\\Y"));
    r.SetRootKey(HKEY_LOCAL_MACHINE);  // a change of root closes the current key
    CHECK(r.CurrentKey() == nullptr);
    CHECK_FALSE(r.KeyExists("X"));
}

TEST_CASE("registry reads: kinds, missing values, missing terminators, errors") {
    RegistrySandbox sb;
    SetString(HKEY_CURRENT_USER, "K", "", "default text");
    SetString(HKEY_CURRENT_USER, "K", "exp", "%SystemRoot%\\x", REG_EXPAND_SZ);
    SetString(HKEY_CURRENT_USER, "K", "multi", std::string("a\0b\0", 4), REG_MULTI_SZ);
    SetDword(HKEY_CURRENT_USER, "K", "num", 0xFFFFFFFE);
    SetBinary(HKEY_CURRENT_USER, "K", "bin", "\x01\x02");
    // String data stored without its terminating NUL, and with text after an inner NUL.
    {
        HKEY k;
        RegOpenKeyExA(HKEY_CURRENT_USER, "K", 0, KEY_ALL_ACCESS, &k);
        RegSetValueExA(k, "noterm", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3);
        RegSetValueExA(k, "inner", 0, REG_SZ, reinterpret_cast<const BYTE*>("ab\0cd"), 6);
        RegCloseKey(k);
    }
    // Texts around and past the size a first read takes in one question.
    const std::vector<std::string> longTexts{std::string(255, 'a'), std::string(256, 'b'), std::string(511, 'c'),
                                             std::string(512, 'd'), std::string(5000, 'e') + "\\f"};
    for (size_t i = 0; i < longTexts.size(); ++i)
        SetString(HKEY_CURRENT_USER, "L", "long" + std::to_string(i), longTexts[i]);
    Registry r;
    REQUIRE(r.OpenKeyReadOnly("L"));
    for (size_t i = 0; i < longTexts.size(); ++i) {
        std::string exact;
        CHECK(r.ReadString("long" + std::to_string(i)) == longTexts[i]);
        CHECK(r.ReadStringExact("long" + std::to_string(i), exact));
        CHECK(exact == longTexts[i]);
    }
    REQUIRE(r.OpenKeyReadOnly("\\K"));
    CHECK(r.Access() == KEY_READ);
    CHECK(r.ReadString("") == "default text");
    CHECK(r.ReadString("exp") == "%SystemRoot%\\x");  // never expanded
    CHECK(r.ReadString("missing") == "");
    CHECK(r.ReadString("noterm") == "abc");
    CHECK(r.ReadString("inner") == "ab");
    CHECK_THROWS_WITH_AS(r.ReadString("multi"), "Invalid data type for 'multi'", RegistryError);
    CHECK_THROWS_WITH_AS(r.ReadString("num"), "Invalid data type for 'num'", RegistryError);
    CHECK(r.ReadInteger("num") == -2);
    CHECK_THROWS_WITH_AS(r.ReadInteger("exp"), "Invalid data type for 'exp'", RegistryError);
    CHECK_THROWS_WITH_AS(r.ReadInteger("missing"), "Failed to get data for 'missing'", RegistryError);
    CHECK(r.GetDataType("") == RegDataKind::String);
    CHECK(r.GetDataType("exp") == RegDataKind::ExpandString);
    CHECK(r.GetDataType("num") == RegDataKind::Integer);
    CHECK(r.GetDataType("bin") == RegDataKind::Binary);
    CHECK(r.GetDataType("multi") == RegDataKind::Other);
    CHECK(r.GetDataType("missing") == RegDataKind::Other);
    RegDataInfo info;
    CHECK(r.GetDataInfo("bin", info));
    CHECK(info.size == 2);
    CHECK(r.ValueExists("num"));
    CHECK_FALSE(r.ValueExists("missing"));
    // Writing through a read-only key is refused with the write error.
    CHECK_THROWS_WITH_AS(r.WriteString("w", "x"), "Failed to set data for 'w'", RegistryError);

    std::vector<RegValue> values = r.GetValues();
    REQUIRE(values.size() == 7);
    CHECK(values[0].name == "");
    CHECK(values[0].type == REG_SZ);
}

TEST_CASE("registry deletion: whole subtree, current key untouched, never the base itself") {
    RegistrySandbox sb;
    for (const char* p : {"T\\A\\A1\\A2", "T\\A\\B1", "T\\B", "Keep\\X"}) MakeKey(HKEY_LOCAL_MACHINE, p);
    SetString(HKEY_LOCAL_MACHINE, "T\\A\\A1\\A2", "v", "x");
    Registry r;
    r.SetRootKey(HKEY_LOCAL_MACHINE);
    REQUIRE(r.OpenKey("Keep", false));
    CHECK(r.DeleteKey("\\T"));
    CHECK_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, "T"));
    CHECK(r.CurrentPath() == "Keep");
    CHECK(r.HasSubKeys());
    CHECK_FALSE(r.DeleteKey(""));     // the open key itself: refused
    CHECK_FALSE(r.DeleteKey("\\"));   // the root: refused
    CHECK(KeyPresent(HKEY_LOCAL_MACHINE, "Keep\\X"));
    CHECK(r.DeleteKey("X"));          // relative to the open key
    CHECK_FALSE(r.HasSubKeys());
    CHECK_FALSE(r.DeleteKey("\\Missing"));
    r.WriteString("v", "1");
    CHECK(r.DeleteValue("v"));
    CHECK_FALSE(r.DeleteValue("v"));
    CHECK(r.KeyExists("\\Keep"));
    CHECK(r.CurrentPath() == "Keep");
}

TEST_CASE("registry enumeration of an unreadable key ends instead of spinning") {
    Registry r;
    r.SetRootKey(reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x12345678)));
    CHECK(r.GetKeyNames().empty());
    CHECK(r.GetValueNames().empty());
    CHECK(r.GetValues().empty());
}

TEST_CASE("file services: files, directories, wildcards, listing filters") {
    ScratchDir dir;
    std::string file = dir.File("sub\\app.exe");
    dir.File("plain.txt");
    std::string hidden = dir.File("hidden.txt");
    SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
    CHECK(FileExists(file));
    CHECK_FALSE(FileExists(dir / "sub"));         // a directory is not a file
    CHECK(FileExists(dir / "sub\\*.exe"));        // wildcards honoured
    CHECK(FileExists(dir / "sub\\app.?xe"));
    CHECK_FALSE(FileExists(dir / "sub\\*.dll"));
    CHECK_FALSE(FileExists(dir / "s*"));          // only a directory matches
    CHECK(DirectoryExists(dir / "sub"));
    CHECK_FALSE(DirectoryExists(file));
    CHECK_FALSE(FileExists(""));

    std::vector<std::string> names;
    ListDirectory(dir / "*", FILE_ATTRIBUTE_DIRECTORY, [&](const DirEntry& e) {
        names.push_back(e.name);
        return true;
    });
    std::sort(names.begin(), names.end());
    CHECK(names == std::vector<std::string>{".", "..", "plain.txt", "sub"});
    names.clear();
    ListDirectory(dir / "*", 0, [&](const DirEntry& e) {
        names.push_back(e.name);
        return true;
    });
    CHECK(names == std::vector<std::string>{"plain.txt"});

    CHECK_FALSE(RemoveDirectoryAt(dir / "sub"));  // not empty
    CHECK(DeleteFileAt(file));
    CHECK(RemoveDirectoryAt(dir / "sub"));
    CHECK_FALSE(DeleteFileAt(file));
}

TEST_CASE("system folders and drives") {
    CHECK(WindowsDirectory().size() > 2);
    CHECK(WindowsDirectory().back() != '\\');
    CHECK((LogicalDrives() & (1u << 2)) != 0);  // C:
    CHECK(DriveType("C:\\") == DRIVE_FIXED);
    CHECK(ProgramFolder().back() == '\\');
    CHECK(FileExists(ProgramPath()));
    CHECK_FALSE(SpecialFolder(nullptr, 0x0002 /* CSIDL_PROGRAMS */).empty());
    ScopedSeams seams;
    seams->driveType = [](const std::string&) { return static_cast<UINT>(DRIVE_CDROM); };
    CHECK(DriveType("C:\\") == DRIVE_CDROM);
}

namespace {
std::set<std::string> gPresent;
bool Present(const std::string& path) { return gPresent.count(path) != 0; }
}  // namespace

TEST_CASE("where the user's data lives: beside a writable portable copy, else per user; older data is read") {
    const std::string usb = "E:\\Tarnwell\\", pf = "C:\\Program Files\\Tarnwell\\";
    const std::string appData = "C:\\Documents and Settings\\u\\Application Data";
    const std::string perUser = appData + "\\Tarnwell\\";
    const struct {
        bool installed, writable;
        std::string program, appData;
        DataHome home;
        std::string folder, older;
    } places[] = {
        {false, true, usb, appData, DataHome::BesideProgram, usb, ""},         // portable on a stick
        {false, false, pf, appData, DataHome::PerUser, perUser, pf},           // limited user, Program Files
        {true, true, pf, appData, DataHome::PerUser, perUser, pf},             // installed
        {true, false, pf, appData + "\\", DataHome::PerUser, perUser, pf},   // a trailing backslash counts once
        {true, true, "C:\\Tarnwell", appData, DataHome::PerUser, perUser, "C:\\Tarnwell\\"},
        {true, true, pf, "", DataHome::BesideProgram, pf, ""},                 // no Application Data: beside it
        {true, true, perUser, appData, DataHome::PerUser, perUser, ""},        // never the same folder twice
    };
    for (const auto& r : places) {
        CAPTURE(r.program);
        CAPTURE(r.installed);
        CAPTURE(r.writable);
        const DataPlace place = ChooseDataPlace(r.installed, r.writable, r.program, r.appData);
        CHECK(place.home == r.home);
        CHECK(place.folder == r.folder);
        CHECK(place.older == r.older);
    }

    // One datum's file: the data folder's once it is there, until then one left beside the program.
    const std::string mine = perUser + "Ignore.ini", kept = pf + "Ignore.ini";
    const struct {
        std::set<std::string> present;
        std::string older, read;
    } reads[] = {
        {{}, kept, mine}, {{kept}, kept, kept}, {{mine, kept}, kept, mine}, {{mine}, kept, mine}, {{kept}, "", mine},
    };
    for (const auto& r : reads) {
        gPresent = r.present;
        CHECK(FileToRead(mine, r.older, &Present) == r.read);
    }

    // Installed: the setup's uninstall entry names the folder (letter case and the trailing
    // backslash aside). A folder is writable when a file can be made there.
    RegistrySandbox sb;
    const char uninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tarnwell";
    CHECK_FALSE(IsInstalledFolder(pf));
    SetString(HKEY_LOCAL_MACHINE, uninstall, "InstallLocation", "c:\\program files\\tarnwell");
    CHECK(IsInstalledFolder(pf));
    CHECK_FALSE(IsInstalledFolder(usb));
    ScratchDir dir;
    CHECK(FolderWritable(dir.Path()));
    CHECK_FALSE(FolderWritable(dir / "missing"));
    int left = 0;  // the probe leaves nothing behind
    ListDirectory(dir / "*", FILE_ATTRIBUTE_HIDDEN, [&](const DirEntry& e) { return left += e.name[0] != '.', true; });
    CHECK(left == 0);
}

TEST_CASE("ini files: missing file reads defaults; a refused write names the file") {
    ScratchDir dir;
    IniFile ini(dir / "s.ini");
    CHECK(ini.ReadString("S", "k", "def") == "def");
    ini.WriteString("S", "b", "2");
    ini.WriteString("S", "a", "1");
    ini.Flush();
    CHECK(ini.ReadString("S", "a", "") == "1");
    CHECK(ini.ReadSection("S") == std::vector<std::string>{"b", "a"});
    // A folder that is not there refuses the write (read-only bits do not stop root under Wine).
    std::string nowhere = dir / "missing\\s.ini";
    IniFile refused(nowhere);
    CHECK_THROWS_WITH_AS(refused.WriteString("S", "k", "v"), ("Unable to write to " + nowhere).c_str(), IniError);
}

TEST_CASE("text rules count bytes and fold ASCII letters only") {
    CHECK(UpperAscii("abc\xd6\xd0z") == "ABC\xd6\xd0Z");
    CHECK(LowerAscii("ABC\xd6\xd0") == "abc\xd6\xd0");
    CHECK(Trim(std::string("\x01 \tx y\r\n\0", 9)) == "x y");
    int v = 0;
    CHECK(TryStrToInt("-12", v));
    CHECK(v == -12);
    CHECK_FALSE(TryStrToInt("abc", v));
    CHECK_FALSE(TryStrToInt("12a", v));
    CHECK_FALSE(TryStrToInt("", v));
    CHECK_FALSE(TryStrToInt("99999999999", v));
    // "中文" in GB2312: lead bytes at 0 and 2.
    std::string zh = "\xd6\xd0\xce\xc4";
    CHECK(IsLeadByteAt(zh, 0));
    CHECK_FALSE(IsLeadByteAt(zh, 1));
    CHECK(IsLeadByteAt(zh, 2));
    CHECK(AnsiToUtf8(zh) == u8"中文");
}

namespace {

// A window of this thread that counts the messages it is given.
struct Counter {
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
        if (m == WM_APP) {
            ++*reinterpret_cast<int*>(GetWindowLongPtrW(h, GWLP_USERDATA));
            return 0;
        }
        return DefWindowProcW(h, m, w, l);
    }
    Counter() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TwPumpCounter";
        RegisterClassW(&wc);
        hwnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&count));
    }
    ~Counter() { DestroyWindow(hwnd); }
    HWND hwnd;
    int count = 0;
};

DWORD WINAPI SetLater(void* event) {
    Sleep(150);
    SetEvent(event);
    return 0;
}

// Takes a WM_QUIT from the queue; its exit code, or -1 when there is none.
int TakeQuit() {
    MSG msg;
    return PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) ? static_cast<int>(msg.wParam) : -1;
}

}  // namespace

TEST_CASE("message pump: keys pass the window's filter in every pump; a quit is kept for the main loop") {
    Counter counter;
    std::vector<UINT> filtered;
    ScopedMessageFilter filter([&](MSG* msg) {
        if (msg->message != WM_KEYDOWN) return false;
        filtered.push_back(static_cast<UINT>(msg->wParam));
        return true;
    });
    ProcessMessages();
    TakeQuit();

    SUBCASE("a pause runs what waits, stops at the quit and posts it again") {
        PostMessageW(counter.hwnd, WM_KEYDOWN, 'S', 1);
        PostMessageW(counter.hwnd, WM_APP, 0, 0);
        PostQuitMessage(7);
        CHECK_FALSE(ProcessMessages());
        CHECK(filtered == std::vector<UINT>{'S'});
        CHECK(counter.count == 1);
        CHECK(TakeQuit() == 7);
    }
    SUBCASE("a wait keeps dispatching after the quit and posts it again when it is over") {
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        PostQuitMessage(3);
        HANDLE setter = CreateThread(nullptr, 0, SetLater, event, 0, nullptr);
        // Messages that come after the quit, while the wait goes on.
        struct Late {
            HWND target;
            static DWORD WINAPI Post(void* p) {
                Sleep(50);
                PostMessageW(static_cast<Late*>(p)->target, WM_KEYDOWN, VK_F10, 1);
                PostMessageW(static_cast<Late*>(p)->target, WM_APP, 0, 0);
                return 0;
            }
        } late{counter.hwnd};
        HANDLE poster = CreateThread(nullptr, 0, Late::Post, &late, 0, nullptr);
        WaitPumping(&event, 1);
        CHECK(WaitForSingleObject(event, 0) == WAIT_OBJECT_0);
        CHECK(filtered == std::vector<UINT>{VK_F10});
        CHECK(counter.count == 1);
        CHECK(TakeQuit() == 3);
        CHECK(TakeQuit() == -1);  // once
        WaitForSingleObject(poster, INFINITE);
        WaitForSingleObject(setter, INFINITE);
        CloseHandle(poster);
        CloseHandle(setter);
        CloseHandle(event);
    }
    SUBCASE("a walk's pause runs what waits once the queue is due a look") {
        PauseForMessages();  // a look now: the next few calls come too soon for another
        PostMessageW(counter.hwnd, WM_APP, 0, 0);
        Sleep(20);
        PauseForMessages();
        CHECK(counter.count == 1);
    }
}

namespace {

// The find-call way of answering "is it a file" and "is it a folder", as the program asked
// before one attribute lookup took over for paths without wildcards.
bool FoundAsFile(const std::string& path) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(path.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool file = false;
    do file = file || !(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    while (!file && FindNextFileA(h, &fd));
    FindClose(h);
    return file;
}

bool FoundAsFolder(const std::string& path) {
    DWORD attr = GetFileAttributesA(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

TEST_CASE("existence checks: one attribute lookup answers as the find calls do") {
    ScratchDir dir;
    dir.File("app.exe");
    dir.File("sub\\inner.dll");
    dir.Dir("dir.x");
    std::string longName = dir.File("A Long File Name.document");
    for (const char* name : {"hidden.txt", "system.txt", "both.txt"}) dir.File(name);
    SetFileAttributesA((dir / "hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesA((dir / "system.txt").c_str(), FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesA((dir / "both.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    char shortBuf[MAX_PATH] = {};
    GetShortPathNameA(longName.c_str(), shortBuf, MAX_PATH);
    std::string shortName = shortBuf;
    REQUIRE_FALSE(shortName.empty());

    const std::string rows[] = {
        // files: plain, other letter case, trailing dots and blanks
        dir / "app.exe", dir / "APP.EXE", dir / "app.exe.", dir / "app.exe..", dir / "app.exe ",
        dir / "app.exe. .", dir / "app.exe\\", dir / "app.ex", dir / "app",
        // folders, with and without a trailing backslash, dots and relative parts
        dir / "sub", dir / "sub\\", dir / "sub.", dir / "sub ", dir / "sub\\.", dir / "sub\\..\\app.exe",
        dir / "dir.x", dir / "dir", dir.Path(), "C:\\", "C:",
        // hidden and system files
        dir / "hidden.txt", dir / "system.txt", dir / "both.txt",
        // short names
        shortName, LowerAscii(shortName), dir / "A Long File Name.document",
        // missing: in a folder that exists, below a missing folder, below a file
        dir / "missing.exe", dir / "missing\\x.exe", dir / "app.exe\\x", dir / "sub\\missing\\deeper\\x.dll",
        // device names and odd forms
        dir / "nul", dir / "con.txt", dir / "sub/inner.dll", dir / "a|b", dir / "x\ty",
        // wildcards take the find calls in both ways; in a folder part they match nothing
        dir / "app.e?e", dir / "sub\\*.dll", dir / "*", dir / "s?b\\inner.dll", dir / "*\\inner.dll",
        dir / "app.exe\" /x \"%1\"", dir / "sub\"\\inner.dll", dir / "s<b\\inner.dll", dir / "app\"exe",
    };
    PathFacts remembered(true);
    for (const std::string& path : rows) {
        CAPTURE(path);
        const bool file = FoundAsFile(path), folder = FoundAsFolder(path);
        CHECK(FileExists(path) == file);
        CHECK(DirectoryExists(path) == folder);
        PathState state = QueryPath(path);
        if (state == PathState::Unknown) {
            CHECK(HasWildcard(path));
        } else {
            CHECK((state == PathState::File) == file);
            CHECK((state == PathState::Directory) == folder);
        }
        CHECK(remembered.Exists(path) == (file || folder));
        CHECK(remembered.Exists(path) == (file || folder));  // the remembered answer
    }
}

TEST_CASE("folders found missing: paths below them are missing, nothing else") {
    ScratchDir dir;
    dir.File("sub\\app.exe");
    const std::string rows[] = {
        dir / "gone\\a.exe",          dir / "gone\\b.exe",          dir / "gone\\deeper\\c.exe",
        dir / "gone.exe",             dir / "gonex\\a.exe",         dir / "sub\\gone\\x.exe",
        dir / "sub\\app.exe",         dir / "sub",                  dir / "sub\\gone",
        dir / "GONE\\a.exe",          dir / "sub\\app.exe\\x",      dir / "sub\\app.exe",
        // By now the folder is listed: it answers for the folders on the way in it.
        dir / "gone3\\x.exe",         dir / "SUB\\APP.EXE",         dir / "gone2\\..\\sub\\app.exe",
    };
    PathFacts remembered(true);
    for (const std::string& path : rows) {
        CAPTURE(path);
        CHECK(remembered.Exists(path) == (FoundAsFile(path) || FoundAsFolder(path)));
    }
}

TEST_CASE("paths longer than the ANSI limit are tested, listed and deleted") {
    ScratchDir dir;
    // Eight folders of 40 characters: the file's path is about 340 characters long.
    std::string folder = dir.Path();
    std::vector<std::string> folders;
    for (int i = 0; i < 8; ++i) {
        folder += "\\folder-with-a-rather-long-name-number-" + std::to_string(i);
        folders.push_back(folder);
        REQUIRE(CreateDirectoryW((L"\\\\?\\" + AnsiToWide(folder)).c_str(), nullptr));
    }
    const std::string file = folder + "\\app.exe";
    REQUIRE(file.size() > 320);
    HANDLE h = CreateFileW((L"\\\\?\\" + AnsiToWide(file)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    CloseHandle(h);

    CHECK(FileExists(file));
    CHECK(QueryPath(file) == PathState::File);
    CHECK(DirectoryExists(folder));
    CHECK(QueryPath(folder + "\\..\\" + folder.substr(folder.rfind('\\') + 1) + "\\app.exe") == PathState::File);
    CHECK(QueryPath(folder + "\\gone.exe") == PathState::Missing);
    CHECK(QueryPath(folder + "\\gone\\x.exe") == PathState::FolderMissing);
    PathFacts facts(true);
    CHECK(facts.Exists(file));
    CHECK_FALSE(facts.Exists(folder + "\\gone.exe"));
    std::vector<std::string> names;
    ListDirectory(folder + "\\*", 0, [&](const DirEntry& e) {
        names.push_back(e.name);
        return true;
    });
    CHECK(names == std::vector<std::string>{"app.exe"});
    CHECK(DeleteFileAt(file));
    CHECK_FALSE(FileExists(file));
    for (size_t i = folders.size(); i-- > 0;) CHECK(RemoveDirectoryAt(folders[i]));
}

TEST_CASE("listing: names the code page cannot hold are marked, never given as look-alikes") {
    ScratchDir dir;
    dir.File("xa.txt");
    std::wstring odd = AnsiToWide(dir.Path()) + L"\\x\u00e2.txt";
    HANDLE h = CreateFileW(odd.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    CloseHandle(h);
    std::vector<std::string> exact;
    int marked = 0;
    ListDirectory(dir / "*", 0, [&](const DirEntry& e) {
        if (e.nameExact) exact.push_back(e.name);
        else ++marked;
        return true;
    });
    CHECK(exact == std::vector<std::string>{"xa.txt"});
    CHECK(marked == 1);
}

TEST_CASE("text: exact conversions refuse look-alikes and default characters; backslash trim counts characters") {
    struct Row {
        std::wstring wide;
        bool exact;
        std::string ansi;
    };
    const Row rows[] = {
        {L"Run", true, "Run"},
        {L"\u4e2d\u6587", true, "\xd6\xd0\xce\xc4"},  // 中文
        {L"\u4e57", true, "\x81\x5c"},                 // 乗: a trail byte 0x5C
        {L"Run\u00e2", false, ""},                     // best fit would give "Runa"
        {L"x\u00b2", false, ""},                       // "x2"
        {L"\u00de\u00fd\u00f0ing", false, ""},         // "Tyeing"
        {L"Run\u0e01\u0e02", false, ""},               // "Run??"
        {std::wstring(L"a\0b", 3), true, std::string("a\0b", 3)},
    };
    for (const Row& row : rows) {
        CAPTURE(AnsiToUtf8(WideToAnsi(row.wide)));
        std::string out;
        CHECK(WideToAnsiExact(row.wide.data(), row.wide.size(), out) == row.exact);
        if (row.exact) CHECK(out == row.ansi);
    }
    std::wstring w;
    CHECK_FALSE(AnsiToWideExact("\x81", w));  // a lead byte alone
    CHECK(AnsiToWideExact("\xd6\xd0", w));
    CHECK(w == L"\u4e2d");

    const std::pair<std::string, std::string> trims[] = {
        {"A\\B\\", "A\\B"}, {"A\\\\\\", "A"}, {"K\x81\x5c", "K\x81\x5c"}, {"K\x81\x5c\\", "K\x81\x5c"},
        {"\\", ""}, {"", ""}, {"\xd6\xd0\\", "\xd6\xd0"},
    };
    for (const auto& t : trims) CHECK(TrimTrailingBackslashes(t.first) == t.second);
}
