// The uninstall entries' scanner: where an entry's program lies, which entries are stale, names
// the code page cannot hold, odd display names, and the installer's products.
#include <doctest.h>

#include <shlobj.h>

#include <algorithm>
#include <cstdlib>

#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "scanners/PathCheck.h"
#include "scanners/registry/Fonts.h"
#include "scanners/registry/UninstallEntries.h"
#include "support/FindingChecks.h"
#include "support/Sandbox.h"

using namespace tw;
using namespace tw::test;

TEST_CASE("uninstall path test") {
    REQUIRE(GetACP() == 936);
    ScratchDir dir;
    ScopedSeams seams;
    OddDrives(seams);
    dir.File("app.exe");
    dir.File("Program Files\\App\\unins000.exe");
    dir.Dir("Program Files (x86)");
    // Made a part at a time: the second byte of 乗 is "\", so its path must not be split there.
    CreateDirectoryA((dir.Path() + "\\乗").c_str(), nullptr);
    CloseHandle(CreateFileA((dir.Path() + "\\乗\\tool.exe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    dir.File("my app.exe");
    dir.Dir("Folder");
    struct Row {
        const char* text;
        bool bad;
    };
    // A separator counts at its first place only, and the scratch folder's name holds "-": the
    // dash case takes a program of the Windows folder.
    char windows[MAX_PATH] = {};
    REQUIRE(GetWindowsDirectoryA(windows, MAX_PATH));
    auto check = [&](std::initializer_list<Row> rows) {
        for (const Row& r : rows) {
            std::string text = r.text;
            for (size_t p; (p = text.find("<S>")) != std::string::npos;) text.replace(p, 3, dir.Path());
            for (size_t p; (p = text.find("<W>")) != std::string::npos;) text.replace(p, 3, windows);
            CAPTURE(text);
            CHECK(IsBadUninstallPath(text) == r.bad);
        }
    };
    SUBCASE("no drive path C: to Z: at all is bad") {
        check({{"", true}, {"ab", true}, {"Some App", true}, {"\\\\server\\share\\x.exe", true},
               {"A:\\setup.exe", true}, {"b:\\setup.exe", true}, {"gone.exe", true}, {"C:gone.exe", true},
               {"%SystemRoot%\\gone.exe", true}});
    }
    SUBCASE("other drives than fixed disks are not judged") {
        check({{"D:\\gone.exe", false}, {"N:\\gone.exe", false}, {"\"D:\\gone.exe\"", false}});
    }
    SUBCASE("existing files and folders, however written") {
        check({{"<S>\\app.exe", false}, {"<S>\\\\app.exe", false}, {"\"<S>\\app.exe", false},
               {"<S>\\Folder", false}, {"<S>\\Folder\\", false}, {"<S>\\乗\\tool.exe", false},
               {"<S>\\gone.exe", true}, {"<S>\\乗\\gone.exe", true}});
    }
    SUBCASE("arguments after a blank: cut after the extension, else not judged") {
        check({{"<S>\\app.exe /x", false}, {"<S>\\gone.exe /x", true}, {"<S>\\Program Files\\App\\unins000.exe", false},
               {"<S>\\Program Files\\App\\gone.exe /x", true},
               {"<S>\\my app.exe", false}, {"<S>\\my gone.exe", true},  // a blank not after an extension
               {"<S>\\app.exe\" /x", false}});
    }
    SUBCASE("separators after an extension") {
        check({{"<S>\\app.exe,1", false}, {"<S>\\gone.dll,1", true}, {"<S>\\app.exe/x", false},
               {"<S>\\gone.exe|x", true}, {"<S>\\gone.exe-x", true}, {"<S>\\gone.ab,1", false},
               {"<S>\\app.exe^x", false}, {"<S>\\app.exe'x", false}, {"<S>\\app.exe%x", false},
               {"<S>\\app.exe!x", false}, {"<S>\\app.exe[x", false}, {"<W>\\regedit.exe-x", false},
               {"<S>\\gone.exe/x", true}, {"<S>\\gone.exe\"x", true}});
    }
    SUBCASE("trailing backslash after an extension") {
        check({{"<S>\\app.exe\\", false}, {"<S>\\gone.exe\\", true}, {"<S>\\app.exe\"\\", false}});
    }
    SUBCASE("what cannot be judged is not bad") {
        check({{"<S>\\gone*.exe", false}, {"<S>\\gone?.exe", false}, {"<S>\\a<b", false}, {"<S>\\a;b", false},
               {"<S>\\x (1)\\gone.exe", false}});
    }
    SUBCASE("\" (\" in a folder that is there belongs to the path") {
        check({{"<S>\\Program Files (x86)\\gone.exe", true}, {"<S>\\Program Files (x86)", false}});
    }
}

TEST_CASE("uninstall entries") {
    RegistrySandbox sandbox;
    ScratchDir dir;
    ScopedSeams seams;
    OddDrives(seams);
    const std::string win = dir.Dir("Win");
    dir.File("Win\\unwise.exe");
    dir.File("Win\\System32\\msiexec.exe");
    dir.File("Win\\System\\oldunin.exe");
    dir.File("Program Files\\App\\unins000.exe");
    dir.File("APP\\UNINST.EXE");
    ScanContext ctx;
    ctx.windowsDir = win;
    auto entry = [](const std::string& name, const std::string& display, const std::string& command) {
        if (!display.empty()) SetString(HKEY_LOCAL_MACHINE, kUninstall + name, "DisplayName", display);
        if (!command.empty()) SetString(HKEY_LOCAL_MACHINE, kUninstall + name, "UninstallString", command);
    };
    MakeKey(HKEY_LOCAL_MACHINE, kUninstall + std::string("NoValues"));
    SetDword(HKEY_LOCAL_MACHINE, kUninstall + std::string("SysComp"), "systemComponent", 1);
    SetDword(HKEY_LOCAL_MACHINE, kUninstall + std::string("OnlyInt"), "Version", 1);
    entry("OnlyName", "Some App", "");
    SetString(HKEY_LOCAL_MACHINE, kUninstall + std::string("OnlyUnc"), "Path", "\\\\server\\app\\x.exe");
    SetString(HKEY_LOCAL_MACHINE, kUninstall + std::string("OnlyCd"), "Path", "D:\\gone.exe");
    MakeKey(HKEY_LOCAL_MACHINE, kUninstall + std::string("Vopt Utility"));
    MakeKey(HKEY_LOCAL_MACHINE, kUninstall + std::string("Old vopt tool"));  // "Vopt" in exact case only
    entry("Rundll", "R", "RunDll32.exe C:\\gone.dll,Uninstall");
    entry("NoExe", "N", "C:\\gone\\uninst.com");
    entry("Quoted", "Q", "\"" + dir.Path() + "\\Program Files\\App\\unins000.exe\" /x");
    entry("QuotedGone", "Q", "\"" + dir.Path() + "\\Program Files\\App\\gone.exe\" /x");
    entry("Dash", "D", dir.Path() + "\\APP\\UNINST.EXE -u");
    entry("Bare", "B", "unwise.exe /s C:\\x\\install.log");
    entry("Msi", "M", "MsiExec.exe /X{12345678-0000-0000-0000-000000000000}");
    entry("Sys", "S", "OldUnin.exe /u");  // only in the System folder
    entry("EnvVar", "E", "%SystemRoot%\\gone.exe /u");
    entry("NoCommand", "Has a name", "");
    SetString(HKEY_LOCAL_MACHINE, kUninstall + std::string("NoCommand"), "Publisher", "P");
    entry("NoName", "", "C:\\gone.exe");
    SetString(HKEY_LOCAL_MACHINE, kUninstall + std::string("NoName"), "Publisher", "P");
    entry("QuietOnly", "", "");
    SetString(HKEY_LOCAL_MACHINE, kUninstall + std::string("QuietOnly"), "QuietDisplayName", "Q");
    SetString(HKEY_LOCAL_MACHINE, kUninstall + std::string("QuietOnly"), "QuietUninstallString", "C:\\gone\\q.exe");
    SetDword(HKEY_LOCAL_MACHINE, kUninstall + std::string("IntCommand"), "UninstallString", 1);
    SetString(HKEY_LOCAL_MACHINE, kUninstall + std::string("IntCommand"), "DisplayName", "I");
    MakeKey(HKEY_CURRENT_USER, kUninstall + std::string("UserEmpty"));  // only the machine's list counts
    // Value names in another letter case are the same values; a value name or a display name the
    // code page cannot hold leaves the entry judged all the same.
    SetString(HKEY_LOCAL_MACHINE, kUninstall + std::string("Cased"), "displayNAME", "C");
    SetString(HKEY_LOCAL_MACHINE, kUninstall + std::string("Cased"), "uninstallstring", "C:\\gone\\c.exe");
    const std::wstring oddNames = AnsiToWide(kUninstall) + L"OddNames";
    SetWideString(HKEY_LOCAL_MACHINE, oddNames, L"Note\u00b2", L"x");
    SetWideString(HKEY_LOCAL_MACHINE, oddNames, L"DisplayName", L"App\u00b2");
    SetWideString(HKEY_LOCAL_MACHINE, oddNames, L"UninstallString", L"C:\\gone\\o.exe");
    SetWideString(HKEY_LOCAL_MACHINE, AnsiToWide(kUninstall) + L"OddDisplay", L"DisplayName", L"\u00b2");
    SetString(HKEY_LOCAL_MACHINE, kUninstall + std::string("OddDisplay"), "UninstallString", "C:\\gone\\d.exe");

    CollectingSink sink;
    ScanUninstallEntries(ctx, sink);
    CheckSame(sink.findings, {Uninstall("NoValues"), Uninstall("OnlyInt"), Uninstall("OnlyName"), Uninstall("OnlyUnc"),
                              Uninstall("Old vopt tool"), Uninstall("QuotedGone"), Uninstall("EnvVar"),
                              Uninstall("QuietOnly"), Uninstall("Cased"), Uninstall("OddNames"),
                              Uninstall("OddDisplay")});
    CHECK(sink.pumps >= 23);  // a turn for the window at every entry examined: all but the Vopt one
}

TEST_CASE("uninstall entries and fonts: paths the code page cannot hold are not judged by their look-alikes") {
    RegistrySandbox sandbox;
    ScratchDir dir;
    ScopedSeams seams;
    const std::string fonts = dir.Dir("Fonts");
    seams->specialFolder = [&](HWND, int csidl) { return csidl == CSIDL_FONTS ? fonts : std::string(); };
    // The files are in "x\u00b2"; the look-alike "x2" holds nothing.
    const std::wstring odd = AnsiToWide(dir.Path()) + L"\\x\u00b2";
    REQUIRE(CreateDirectoryW(odd.c_str(), nullptr));
    for (const wchar_t* file : {L"\\uninst.exe", L"\\face.ttf"}) {
        HANDLE h = CreateFileW((odd + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        REQUIRE(h != INVALID_HANDLE_VALUE);
        CloseHandle(h);
    }
    const std::wstring uninstall = AnsiToWide(kUninstall);
    SetWideString(HKEY_LOCAL_MACHINE, uninstall + L"Odd", L"DisplayName", L"Odd");
    SetWideString(HKEY_LOCAL_MACHINE, uninstall + L"Odd", L"UninstallString", L"\"" + odd + L"\\uninst.exe\" /x");
    SetWideString(HKEY_LOCAL_MACHINE, uninstall + L"OnlyPath", L"Path", L"\u00b2:\\app");
    const wchar_t fontsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";
    SetWideString(HKEY_LOCAL_MACHINE, fontsKey, L"Odd", odd + L"\\face.ttf");

    CollectingSink sink;
    ScanUninstallEntries(ScanContext{}, sink);
    ScanFonts(ScanContext{}, sink);
    CheckSame(sink.findings, {});
}

TEST_CASE("uninstall entries: a display name that is not text ends the scanner after its own Finding") {
    RegistrySandbox sandbox;
    MakeKey(HKEY_LOCAL_MACHINE, kUninstall + std::string("AAA"));
    SetBinary(HKEY_LOCAL_MACHINE, kUninstall + std::string("BBB"), "DisplayName", "xy");
    MakeKey(HKEY_LOCAL_MACHINE, kUninstall + std::string("CCC"));
    CollectingSink sink;
    try {
        ScanUninstallEntries(ScanContext{}, sink);
        FAIL("no error");
    } catch (const ScanStepError& e) {
        // Where it ended, for the closing report: the entry's key and the registry's reason.
        CHECK(std::string(e.what()) == "HKEY_LOCAL_MACHINE\\" + std::string(kUninstall) + "BBB：Invalid data type for 'DisplayName'");
    }
    CheckSame(sink.findings, {Uninstall("AAA"), Uninstall("BBB")});
}

TEST_CASE("uninstall entries of MSI products: reported only when their files are definitely gone") {
    RegistrySandbox sandbox;
    ScratchDir dir;
    ScopedSeams seams;
    OddDrives(seams);
    dir.File("Kept\\app.exe");
    const std::string gone = dir / "Gone", kept = dir / "Kept", startMenu = dir.Dir("Start Menu\\Programs\\Tw Group");
    seams->specialFolder = [&](HWND, int csidl) { return csidl == CSIDL_STARTMENU ? dir / "Start Menu" : std::string(); };
    ScanContext ctx;
    ctx.windowsDir = WindowsDirectory();  // where msiexec.exe is
    // Component records of three products (packed codes of {5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F60x1}).
    const std::string components = "Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components\\";
    const struct {
        const char* component;
        const char* product;
        std::string keyPath;
    } records[] = {
        {"C1", "13E7C2A5D4B0A6F4C9E1D2B3A4F50617", gone + "\\a.exe"},  // ...6071: all gone
        {"C2", "13E7C2A5D4B0A6F4C9E1D2B3A4F50617", gone + "\\b.dll"},
        {"C3", "13E7C2A5D4B0A6F4C9E1D2B3A4F50617", "02:\\Software\\TwProbe\\"},  // a registry key path
        // The group of its shortcuts, which the shell keeps, and a shortcut elsewhere: not its files.
        {"C7", "13E7C2A5D4B0A6F4C9E1D2B3A4F50617", startMenu + "\\"},
        {"C8", "13E7C2A5D4B0A6F4C9E1D2B3A4F50617", kept + "\\a.lnk"},
        {"C4", "13E7C2A5D4B0A6F4C9E1D2B3A4F50618", gone + "\\c.exe"},  // ...6081: one folder still there
        {"C5", "13E7C2A5D4B0A6F4C9E1D2B3A4F50618", kept + "\\app.exe"},
        {"C6", "13E7C2A5D4B0A6F4C9E1D2B3A4F50619", "C?\\gone\\d.exe"},  // ...6091: nothing installed here
    };
    for (const auto& r : records) SetString(HKEY_LOCAL_MACHINE, components + r.component, r.product, r.keyPath);

    const struct {
        const char* entry;
        std::string command;  // UninstallString, none when empty
        std::string location;  // InstallLocation, none when "-"
        std::vector<std::string> gone;  // reported with these folders, or not at all
    } entries[] = {
        {"{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F6071}", "MsiExec.exe /I{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F6071}", "",
         {gone + "\\"}},
        {"{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F6081}", "MsiExec.exe /X{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F6081}", "-", {}},
        {"{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F6091}", "MsiExec.exe /X{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F6091}", "-", {}},
        {"{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F60A1}", "MsiExec.exe /X{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F60A1}", "-", {}},
        {"TwLocationGone", "msiexec /x \"{5a2c7e31-0b4d-4f6a-9c1e-2d3b4a5f60b1}\"", gone, {gone}},
        {"{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F60C1}", "", gone, {gone}},  // WindowsInstaller=1 says it
        {"TwLocationKept", "MsiExec.exe /X{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F60D1}", kept, {}},
        {"TwLocationOnCd", "MsiExec.exe /X{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F60E1}", "D:\\App", {}},
        {"TwPartOfOther", "MsiExec.exe /X{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F60F1}", gone, {}},  // SystemComponent=1
        {"TwNotMsi", "\"" + kept + "\\app.exe\" /x", gone, {}},
    };
    std::vector<Finding> want;
    for (const auto& e : entries) {
        const std::string key = kUninstall + std::string(e.entry);
        SetString(HKEY_LOCAL_MACHINE, key, "DisplayName", e.entry);
        if (!e.command.empty()) SetString(HKEY_LOCAL_MACHINE, key, "UninstallString", e.command);
        if (e.location != "-") SetString(HKEY_LOCAL_MACHINE, key, "InstallLocation", e.location);
        SetDword(HKEY_LOCAL_MACHINE, key, "WindowsInstaller", 1);
        if (e.gone.empty()) continue;
        want.push_back(Finding{"HKEY_LOCAL_MACHINE", key, "", "程序文件已不存在，可用其卸载程序清除", 0,
                               FindingKind::ProductUninstall});
    }
    SetDword(HKEY_LOCAL_MACHINE, kUninstall + std::string("TwPartOfOther"), "SystemComponent", 1);

    CollectingSink sink;
    ScanUninstallEntries(ctx, sink);
    CheckSame(sink.findings, want);
    for (const Finding& f : sink.findings)
        for (const auto& e : entries)
            if (f.location == kUninstall + std::string(e.entry)) CHECK(f.missingPaths == e.gone);
}

// What the literal rules once reported, and repair all then deleted, though it works: each row a
// valid object that must not be reported, beside the stale ones that still are.
