#include <doctest.h>

#include <shlobj.h>

#include <algorithm>
#include <cstdlib>

#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "platform/WineHost.h"
#include "scanners/PathCheck.h"
#include "scanners/registry/EmptySoftwareKeys.h"
#include "scanners/registry/FileTypes.h"
#include "scanners/registry/Fonts.h"
#include "scanners/registry/HelpFiles.h"
#include "scanners/registry/HiveReferences.h"
#include "scanners/registry/ProgramMenu.h"
#include "scanners/registry/SharedDlls.h"
#include "scanners/registry/UninstallEntries.h"
#include "support/FindingChecks.h"
#include "support/Sandbox.h"

using namespace tw;
using namespace tw::test;

namespace {

const char kOrder[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\";

Finding Menu(const std::string& key, const std::string& group) {
    return Finding{"HKEY_CURRENT_USER", kOrder + key + "\\" + group, "", group, 0, FindingKind::RegistryKey};
}

}  // namespace

TEST_CASE("start-menu order: records of groups that match no Programs folder") {
    RegistrySandbox sandbox;
    ScratchDir dir;
    ScopedSeams seams;
    const std::string common = dir.Dir("Common"), user = dir.Dir("User");
    seams->specialFolder = [&](HWND, int csidl) {
        return csidl == CSIDL_COMMON_PROGRAMS ? common : csidl == CSIDL_PROGRAMS ? user : std::string();
    };
    dir.Dir("Common\\Accessories\\Inner");
    dir.Dir("Common\\Games");
    dir.Dir("User\\UserOnly");
    SetFileAttributesA(dir.Dir("User\\Hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesA(dir.Dir("User\\System").c_str(), FILE_ATTRIBUTE_SYSTEM);
    dir.File("User\\NotAGroup.lnk");
    for (const char* key : {"Start Menu\\&Programs", "Start Menu\\Programs", "Start Menu2\\Programs"})
        MakeKey(HKEY_CURRENT_USER, kOrder + std::string(key) + "\\Menu");
    const std::string k1 = "Start Menu\\&Programs", k2 = "Start Menu\\Programs", k3 = "Start Menu2\\Programs";
    // The registry itself ignores letter case: "accessories" is the only record of that group.
    for (const char* group : {"accessories", "Games", "UserOnly", "Hidden", "System", "Inner", "NotAGroup.lnk"})
        MakeKey(HKEY_CURRENT_USER, kOrder + k1 + "\\" + group);
    for (const std::string& k : {k2, k3}) MakeKey(HKEY_CURRENT_USER, kOrder + k + "\\Gone");

    ScanContext ctx;
    CollectingSink sink;
    SUBCASE("2000/XP: the all-users and the user's groups") {
        ctx.os = OsFamily(5);
        ScanStartMenuOrder(ctx, sink);
        CheckSame(sink.findings, {Menu(k1, "accessories"), Menu(k1, "System"), Menu(k1, "Inner"),
                                  Menu(k1, "NotAGroup.lnk"), Menu(k2, "Gone"), Menu(k3, "Gone")});
        CHECK(sink.pumps >= 6);  // after each Finding at least
    }
    SUBCASE("98 family: the user's groups only") {
        ctx.os = OsFamily(4);
        ScanStartMenuOrder(ctx, sink);
        CheckSame(sink.findings, {Menu(k1, "accessories"), Menu(k1, "Games"),
                                  Menu(k1, "System"), Menu(k1, "Inner"), Menu(k1, "NotAGroup.lnk"), Menu(k2, "Gone"),
                                  Menu(k3, "Gone")});
    }
    SUBCASE("other versions: the all-users groups only") {
        ctx.os = OsFamily(6);
        ScanStartMenuOrder(ctx, sink);
        CheckSame(sink.findings, {Menu(k1, "accessories"), Menu(k1, "UserOnly"), Menu(k1, "Hidden"),
                                  Menu(k1, "System"), Menu(k1, "Inner"), Menu(k1, "NotAGroup.lnk"), Menu(k2, "Gone"),
                                  Menu(k3, "Gone")});
    }
    SUBCASE("an empty all-users folder still leaves the user's groups") {
        RemoveTree(common);
        CreateDirectoryA(common.c_str(), nullptr);
        ctx.os = OsFamily(5);
        ScanStartMenuOrder(ctx, sink);
        CHECK(std::none_of(sink.findings.begin(), sink.findings.end(),
                           [](const Finding& f) { return f.description == "UserOnly"; }));
    }
}

TEST_CASE("context-menu handlers: handlers whose class is not registered") {
    RegistrySandbox sandbox;
    const std::string clsid = "Software\\CLASSES\\CLSID\\";
    const std::string list = "Software\\CLASSES\\*\\shellex\\ContextMenuHandlers\\";
    MakeKey(HKEY_LOCAL_MACHINE, clsid + "{11111111-0000-0000-0000-000000000001}");
    SetString(HKEY_LOCAL_MACHINE, list + "Good", "", "{11111111-0000-0000-0000-000000000001}");
    SetString(HKEY_LOCAL_MACHINE, list + "Bad", "", "{22222222-0000-0000-0000-000000000002}");
    SetString(HKEY_LOCAL_MACHINE, list + "{11111111-0000-0000-0000-000000000001}", "", "{33333333-0000-0000-0000-000000000003}");
    SetString(HKEY_LOCAL_MACHINE, list + "Empty", "", "");
    MakeKey(HKEY_LOCAL_MACHINE, list + "NoDefault");
    // Registered for the current user alone: plays no part.
    SetString(HKEY_CURRENT_USER, list + "UserBad", "", "{44444444-0000-0000-0000-000000000004}");
    SetString(HKEY_LOCAL_MACHINE, "Software\\CLASSES\\Folder\\shellex\\ContextMenuHandlers\\Gone", "", "{5}");

    CollectingSink sink;
    for (const char* cls : {"*", "Directory", "Drive", "Folder"}) ScanContextMenuHandlers(ScanContext{}, sink, cls);
    CheckSame(sink.findings, {Finding{"HKEY_LOCAL_MACHINE", list + "Bad", "", "错误右键菜单: Bad", 0, FindingKind::RegistryKey},
                              Finding{"HKEY_LOCAL_MACHINE", "Software\\CLASSES\\Folder\\shellex\\ContextMenuHandlers\\Gone",
                                      "", "错误右键菜单: Gone", 0, FindingKind::RegistryKey}});
    CHECK(sink.pumps >= 6);  // a turn for the window at every handler examined, not only after a Finding
}

TEST_CASE("software keys: empty program keys, the kept names and the system's own keys") {
    RegistrySandbox sandbox;
    for (const char* k : {"Secure", "EmptyM", "Shared", "Deep\\Empty", "Policies", "Registered Applications"})
        MakeKey(HKEY_LOCAL_MACHINE, std::string("Software\\") + k);
    MakeKey(HKEY_LOCAL_MACHINE, "Software\\WithSub\\Empty");
    SetString(HKEY_LOCAL_MACHINE, "Software\\DefOnly", "", "x");
    SetString(HKEY_LOCAL_MACHINE, "Software\\Shared", "Path", "C:\\x");
    for (const char* k : {"Secure", "EmptyM", "Shared", "withsub", "WithSub", "UserOnly", "Policies"})
        MakeKey(HKEY_CURRENT_USER, std::string("Software\\") + k);
    SetDword(HKEY_CURRENT_USER, "Software\\Used", "n", 1);

    CollectingSink sink;
    ScanEmptySoftwareKeys(ScanContext{}, sink);
    auto f = [](const char* root, const std::string& key) { return RegistryKeyFinding(root, "Software\\" + key, "无效软件"); };
    CheckSame(sink.findings, {f("HKEY_LOCAL_MACHINE", "EmptyM"), f("HKEY_CURRENT_USER", "EmptyM"),
                              f("HKEY_CURRENT_USER", "withsub"), f("HKEY_CURRENT_USER", "UserOnly")});
    // A turn for the window at every key examined (15), not only after a Finding: tens of
    // thousands of kept keys pass without one.
    CHECK(sink.pumps >= 15);
}

TEST_CASE("help files: missing from their folder; HTML Help of the Windows folder") {
    RegistrySandbox sandbox;
    ScratchDir dir;
    ScopedSeams seams;
    OddDrives(seams);
    const std::string helpDir = dir.Dir("Help"), winDir = dir.Dir("WinDir");
    dir.File("Help\\there.hlp");
    ScanContext ctx;
    ctx.windowsDir = winDir;
    const char help[] = "Software\\Microsoft\\Windows\\Help";
    const char html[] = "Software\\Microsoft\\Windows\\HTML Help";
    struct Row {
        const char* key;
        const char* file;
        std::string folder;
        bool reported;
    } rows[] = {
        {help, "there.hlp", helpDir, false},
        {help, "gone.hlp", helpDir, true},
        {help, "slash.hlp", helpDir + "\\", true},
        {help, "cd.hlp", "D:\\Help", true},  // no drive-type test here
        {help, "floppy.hlp", "A:\\Help", false},
        {help, "unc.hlp", "\\\\server\\help", false},
        {help, "short.hlp", "C:", false},
        {help, "relative.hlp", "help", false},
        {html, "gone.chm", helpDir, true},
        {html, "win.chm", winDir + "\\Help", false},
        {html, "wincase.chm", LowerAscii(winDir) + "\\Help", true},
    };
    for (const Row& r : rows) SetString(HKEY_LOCAL_MACHINE, r.key, r.file, r.folder);
    SetDword(HKEY_LOCAL_MACHINE, help, "number.hlp", 7);

    CollectingSink sink;
    ScanHelpFiles(ctx, sink);
    std::vector<Finding> want;
    for (const Row& r : rows) {
        std::string folder = r.folder;
        if (folder.back() != '\\') folder += '\\';
        if (r.reported) want.push_back(Finding{"HKEY_LOCAL_MACHINE", r.key, r.file, "无效帮助" + folder, 0, FindingKind::RegistryValue});
    }
    CheckSame(sink.findings, want);
}

TEST_CASE("fonts: in the fonts folder, at their own path, or where Wine loads fonts from") {
    RegistrySandbox sandbox;
    ScratchDir dir;
    ScopedSeams seams;
    const std::string fonts = dir.Dir("Fonts");
    int lookups = 0;
    seams->specialFolder = [&](HWND, int csidl) { return csidl == CSIDL_FONTS && ++lookups ? fonts : std::string(); };
    dir.File("Fonts\\here.ttf");
    const std::string elsewhere = dir.File("Other\\there.ttf");
    // Wine's own font folder (WINEDATADIR\fonts) and a host font folder ($XDG_DATA_HOME/fonts),
    // at any depth; a name only the Windows folder could give stays reported.
    dir.File("WineData\\fonts\\winefont.fon");
    dir.File("Xdg\\fonts\\deep\\HostFont.TTF");
    const std::string xdg = UnixPathOfDos(dir / "Xdg");
    REQUIRE_FALSE(xdg.empty());
    SetEnvironmentVariableA("WINEDATADIR", ("\\??\\" + dir / "WineData").c_str());
    SetEnvironmentVariableA("XDG_DATA_HOME", xdg.c_str());
    const char key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";
    SetString(HKEY_LOCAL_MACHINE, key, "Here", "here.ttf");
    SetString(HKEY_LOCAL_MACHINE, key, "There", elsewhere);
    SetString(HKEY_LOCAL_MACHINE, key, "Gone", "gone.ttf");
    SetString(HKEY_LOCAL_MACHINE, key, "Empty", "");
    SetDword(HKEY_LOCAL_MACHINE, key, "Number", 3);
    SetString(HKEY_LOCAL_MACHINE, key, "Wine's own", "winefont.fon");
    SetString(HKEY_LOCAL_MACHINE, key, "Host's", "hostfont.ttf");
    SetString(HKEY_LOCAL_MACHINE, key, "Wine path", dir / "Fonts\\winefont.fon");

    CollectingSink sink;
    ScanFonts(ScanContext{}, sink);
    SetEnvironmentVariableA("WINEDATADIR", nullptr);
    SetEnvironmentVariableA("XDG_DATA_HOME", nullptr);
    auto f = [&](const char* name, const std::string& file) { return Finding{"HKEY_LOCAL_MACHINE", key, name, "无效字体" + file, 0, FindingKind::RegistryValue}; };
    CheckSame(sink.findings, {f("Gone", "gone.ttf"), f("Empty", ""), f("Number", ""),
                              f("Wine path", dir / "Fonts\\winefont.fon")});
    CHECK(lookups == 1);  // once per scan, not once per font
    // Repair judges a bare name again where Wine would find it.
    for (const Finding& r : sink.findings)
        if (r.keyName == "Gone") CHECK(std::count(r.missingPaths.begin(), r.missingPaths.end(), dir / "WineData\\fonts\\gone.ttf") == 1);

    // Without a fonts folder no font can be judged: the category ends and says so.
    seams->specialFolder = [](HWND, int) { return std::string(); };
    CHECK_THROWS_AS(ScanFonts(ScanContext{}, sink), ScanStepError);
}

TEST_CASE("shared DLLs: a count of 0, as an integer or as text, or a library that is gone") {
    RegistrySandbox sandbox;
    ScratchDir dir;
    ScopedSeams seams;
    OddDrives(seams);
    const char key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
    const struct {
        const char* file;  // in the scratch folder; "" for a name of its own
        std::string name;
        DWORD type;
        std::string data;
        const char* description;  // nullptr: not reported
    } rows[] = {
        {"zero.dll", "", REG_DWORD, std::string(4, '\0'), ""},
        {"one.dll", "", REG_DWORD, std::string("\x01\0\0\0", 4), nullptr},
        {"negative.dll", "", REG_DWORD, std::string(4, '\xFF'), nullptr},
        {"text0.dll", "", REG_SZ, std::string("0", 2), ""},
        {"text2.dll", "", REG_SZ, std::string("2", 2), nullptr},
        {"word.dll", "", REG_SZ, std::string("none", 5), nullptr},
        {"empty.dll", "", REG_SZ, std::string(1, '\0'), nullptr},
        {"expand.dll", "", REG_EXPAND_SZ, std::string("0", 2), nullptr},
        {"binary.dll", "", REG_BINARY, std::string(4, '\0'), nullptr},
        // Whatever the count, nothing is counted for a library that is gone.
        {"", "gone.dll", REG_DWORD, std::string("\x02\0\0\0", 4), "文件不存在"},
        {"", "zerogone.dll", REG_DWORD, std::string(4, '\0'), "文件不存在"},
        {"", "D:\\cd\\gone.dll", REG_DWORD, std::string("\x01\0\0\0", 4), nullptr},  // not a fixed disk
        {"", "%SystemRoot%\\gone.dll", REG_DWORD, std::string("\x01\0\0\0", 4), nullptr},
    };
    std::vector<Finding> want;
    for (const auto& r : rows) {
        const std::string name = *r.file ? dir.File(r.file) : r.name.find('\\') != std::string::npos ? r.name : dir / r.name;
        HKEY k;
        REQUIRE(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) == ERROR_SUCCESS);
        RegSetValueExA(k, name.c_str(), 0, r.type, reinterpret_cast<const BYTE*>(r.data.data()), static_cast<DWORD>(r.data.size()));
        RegCloseKey(k);
        if (r.description)
            want.push_back(Finding{"HKEY_LOCAL_MACHINE", "Software\\Microsoft\\Windows\\CurrentVersion\\Shareddlls", name,
                                   r.description, kImageSharedDll, FindingKind::RegistryValue});
    }
    CollectingSink sink;
    ScanSharedDlls(ScanContext{}, sink);
    CheckSame(sink.findings, want);
    // The window gets its turn at every entry: a table of thousands must not hold it.
    CHECK(sink.pumps >= static_cast<int>(sizeof rows / sizeof rows[0]));
}

TEST_CASE("valid entries are not reported; default values are rows of their own; cannot tell is not missing") {
    RegistrySandbox sandbox;
    ScratchDir dir;
    ScopedSeams seams;
    const std::string fonts = dir.Dir("Fonts");
    seams->specialFolder = [&](HWND, int csidl) { return csidl == CSIDL_FONTS ? fonts : std::string(); };
    const std::string here = dir.File("Fonts\\here.ttf");
    dir.File("Program Files\\App\\unins000.exe");
    dir.File("My.Exercise\\uninst.exe");
    dir.File("setup.exe.bak\\unins000.exe");
    dir.File("Help\\there.hlp");
    SetEnvironmentVariableA("TWTESTDIR", dir.Path().c_str());
    const std::string notepad = WindowsDirectory() + "\\notepad.exe";
    REQUIRE(FileExists(notepad));
    ScanContext ctx;
    ctx.windowsDir = WindowsDirectory();

    // Uninstall entries: display name and command.
    const struct {
        const char* entry;
        std::string command;
        bool reported;
    } entries[] = {
        {"SystemRootVar", "%SystemRoot%\\notepad.exe /u", false},
        {"OwnVar", "\"%TWTESTDIR%\\Program Files\\App\\unins000.exe\" /x", false},
        {"OwnVarGone", "%TWTESTDIR%\\App\\gone.exe /x", true},
        {"UnknownVar", "%TW_NO_SUCH_VARIABLE%\\gone.exe", false},
        {"ExeInFolder", dir.Path() + "\\My.Exercise\\uninst.exe", false},
        {"ExeBakFolder", dir.Path() + "\\setup.exe.bak\\unins000.exe /u", false},
        {"ShortName", dir.Path() + "\\APPFOL~1\\uninst.exe", false},
        {"ShortFile", dir.Path() + "\\Program Files\\App\\UNINST~1.EXE", false},
        {"LongNameGone", dir.Path() + "\\AppFolder~x\\uninst.exe", true},
        {"LiteralPrefix", "\\\\?\\" + notepad + " /u", false},
    };
    for (const auto& e : entries) {
        SetString(HKEY_LOCAL_MACHINE, kUninstall + std::string(e.entry), "DisplayName", e.entry);
        SetString(HKEY_LOCAL_MACHINE, kUninstall + std::string(e.entry), "UninstallString", e.command);
    }
    // A display name beside a value whose name the code page cannot show: two values, no command.
    SetString(HKEY_LOCAL_MACHINE, kUninstall + std::string("Korean"), "DisplayName", "Some App");
    SetWideString(HKEY_LOCAL_MACHINE, AnsiToWide(kUninstall) + L"Korean", L"\xD55C\xAE00", L"x");

    // Fonts, help files and shared DLLs: named values and the key's unnamed one.
    const char fontsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";
    SetString(HKEY_LOCAL_MACHINE, fontsKey, "Literal", "\\\\?\\" + here);
    SetString(HKEY_LOCAL_MACHINE, fontsKey, "", "");
    const char helpKey[] = "Software\\Microsoft\\Windows\\Help";
    SetString(HKEY_LOCAL_MACHINE, helpKey, "there.hlp", dir.Path() + "\\Help");
    SetString(HKEY_LOCAL_MACHINE, helpKey, "", ctx.windowsDir);
    const char dllKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
    SetDword(HKEY_LOCAL_MACHINE, dllKey, "", 0);
    SetDword(HKEY_LOCAL_MACHINE, dllKey, dir.File("used.dll"), 1);

    CollectingSink sink;
    ScanUninstallEntries(ctx, sink);
    ScanFonts(ctx, sink);
    ScanHelpFiles(ctx, sink);
    ScanSharedDlls(ctx, sink);
    auto defaultRow = [](const std::string& key, const std::string& description, int image = 0) {
        return Finding{"HKEY_LOCAL_MACHINE", key, kDefaultValueMarker, description, image, FindingKind::RegistryDefaultValue};
    };
    std::vector<Finding> want = {defaultRow(fontsKey, "无效字体"), defaultRow(helpKey, "无效帮助" + ctx.windowsDir + "\\"),
                                 defaultRow("Software\\Microsoft\\Windows\\CurrentVersion\\Shareddlls", "", kImageSharedDll)};
    for (const auto& e : entries)
        if (e.reported) want.push_back(Uninstall(e.entry));
    CheckSame(sink.findings, want);
    for (const Finding& f : sink.findings) {
        CAPTURE(f.location);
        CHECK(f.kind == (f.keyName == kDefaultValueMarker ? FindingKind::RegistryDefaultValue : FindingKind::RegistryKey));
    }
    SetEnvironmentVariableA("TWTESTDIR", nullptr);
}

TEST_CASE("a listed folder answers for its files as the file system does") {
    ScratchDir dir;
    for (const char* f : {"App.exe", "lib.dll", "x.txt", "nul.txt", "Sub\\inner.hlp"}) dir.File(f);
    const std::string odd = dir.Dir("Odd");
    dir.File("Odd\\plain.txt");
    // A name the system may take for an ASCII one: the folder answers nothing from its listing.
    HANDLE h = CreateFileW((AnsiToWide(odd) + L"\\\u0131tem.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    CloseHandle(h);
    const std::string s = dir.Path();
    const std::string paths[] = {
        s + "\\app.EXE", s + "\\gone.exe", s + "\\Sub", s + "\\sub\\INNER.hlp", s + "\\sub\\gone.hlp",
        s + "\\App.exe.", s + "\\App.exe ", s + "\\nul", s + "\\NUL.txt", s + "\\APPEXE~1", s + "\\*.dll",
        s + "\\gone\\x.txt", s + "\\x.txt\\y", s + "\\\\x.txt", s + "/x.txt", odd + "\\PLAIN.txt", odd + "\\item.txt",
        odd + "\\gone.txt", "x.txt", s + "\\x.txt:stream",
        // Under a folder that is not there, found from the listing of one above it.
        s + "\\gone\\deeper\\x.txt", s + "\\Sub\\gone\\x.txt", s + "\\gone\\..\\x.txt", s + "\\x.txt\\deeper\\y",
    };
    int pauses = 0;
    FolderListings listings([&] { ++pauses; });
    // Asked again and again, as a long table asks: the folders get listed.
    for (int round = 0; round < 4; ++round)
        for (const std::string& p : paths) {
            CAPTURE(p);
            const PathState listed = listings.Judge(p), asked = JudgePath(p);
            CHECK(IsNoFile(listed) == IsNoFile(asked));
            CHECK(IsGone(listed) == IsGone(asked));
        }
    CHECK(pauses >= 6);  // the window's turn at every name listed
}

// Run by tests/unreadable_folder.sh as a user who cannot read the folder TW_UNREADABLE (made
// and locked on the host side, holding app.exe, face.ttf, there.hlp): every check that meets it
// answers "cannot tell", and nothing that names it is reported.
TEST_CASE("a folder the user cannot read: nothing in it is taken for missing" *
          doctest::skip(!getenv("TW_UNREADABLE") || !*getenv("TW_UNREADABLE"))) {
    const std::string dir = getenv("TW_UNREADABLE");
    REQUIRE(JudgePath(dir + "\\app.exe") == PathState::Unknown);
    RegistrySandbox sandbox;
    ScopedSeams seams;
    seams->specialFolder = [&](HWND, int csidl) { return csidl == CSIDL_FONTS ? dir : std::string(); };
    const std::string cls = "Software\\CLASSES\\lockedfile\\Shell\\open\\Command";
    SetString(HKEY_LOCAL_MACHINE, cls, "", "\"" + dir + "\\app.exe\" \"%1\"");
    // Enough names in the one folder that its listing is tried, and refused.
    for (const char* help : {"there.hlp", "a.hlp", "b.hlp", "c.hlp"})
        SetString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\Help", help, dir);
    SetString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts", "Face", "face.ttf");
    SetString(HKEY_LOCAL_MACHINE, kUninstall + std::string("Locked"), "DisplayName", "Locked");
    SetString(HKEY_LOCAL_MACHINE, kUninstall + std::string("Locked"), "UninstallString", dir + "\\app.exe /u");
    SetString(HKEY_LOCAL_MACHINE, kUninstall + std::string("LockedPath"), "Path", dir + "\\app.exe");
    const std::string product = kUninstall + std::string("{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F6071}");
    SetString(HKEY_LOCAL_MACHINE, product, "DisplayName", "Locked product");
    SetString(HKEY_LOCAL_MACHINE, product, "UninstallString", "MsiExec.exe /X{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F6071}");
    SetString(HKEY_LOCAL_MACHINE, product, "InstallLocation", dir + "\\Product");
    SetString(HKEY_CURRENT_USER, "Software\\Locked", "Path", dir + "\\app.exe");

    ScanContext ctx;
    ctx.windowsDir = WindowsDirectory();
    CollectingSink sink;
    ScanHelpFiles(ctx, sink);
    ScanFonts(ctx, sink);
    ScanUninstallEntries(ctx, sink);
    FileTypeScan(ctx, sink).ScanClasses();
    HiveReferenceScan hive(ctx, sink);
    hive.root = HKEY_CURRENT_USER;
    hive.ScanHive();
    CheckSame(sink.findings, {});
}
