#include <doctest.h>

#include <windows.h>
#include <shlobj.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/ComHandle.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "platform/Volumes.h"
#include "scanners/disk/BrokenShortcuts.h"
#include "scanners/disk/EmptyFolders.h"
#include "scanners/disk/WalkRules.h"
#include "support/Sandbox.h"

using namespace tw;
using namespace tw::test;

namespace {

// Saves a real shortcut through the shell-link object, as a program's installer does.
void MakeShortcut(const std::string& file, const std::wstring& target) {
    UniqueCom<IShellLinkW> link;
    REQUIRE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                       reinterpret_cast<void**>(link.put()))));
    link.get()->SetPath(target.c_str());
    UniqueCom<IPersistFile> persist;
    REQUIRE(SUCCEEDED(link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(persist.put()))));
    REQUIRE(SUCCEEDED(persist.get()->Save(AnsiToWide(file).c_str(), TRUE)));
}
void MakeShortcut(const std::string& file, const std::string& target) { MakeShortcut(file, AnsiToWide(target)); }

// A sink that stands for the window: its message processing is where Stop arrives.
struct StoppingSink : CollectingSink {
    bool scanning = true;
    size_t stopAtFinding = 0;  // 0: never
    int pumpsAfterStop = 0;
    void ProcessMessages() override {
        CollectingSink::ProcessMessages();
        if (!scanning) ++pumpsAfterStop;
        if (stopAtFinding && findings.size() >= stopAtFinding) scanning = false;
    }
    ScanContext Context(const std::string& bakPath = "Backup") {
        ScanContext ctx;
        ctx.bakPath = bakPath;
        ctx.scanning = [this] { return scanning; };
        return ctx;
    }
};

// Drive types for letters a test machine does not have; every other letter asks the system.
void FakeDriveTypes(ScopedSeams& seams, std::map<char, UINT> types) {
    seams->driveType = [types](const std::string& root) {
        auto it = types.find(root.empty() ? '\0' : static_cast<char>(toupper(static_cast<unsigned char>(root[0]))));
        return it != types.end() ? it->second : GetDriveTypeA(root.c_str());
    };
}

std::set<std::string> Locations(const std::vector<Finding>& findings) {
    std::set<std::string> out;
    for (const Finding& f : findings) out.insert(f.location);
    return out;
}

void WalkShortcuts(const ScanContext& ctx, ScanSink& sink, const std::string& folder) {
    ShortcutWalk(ctx, sink).WalkTree(folder + "\\", kShortcutMask, kShortcutCheck);
}

}  // namespace

TEST_CASE("text rules of the walks: skipped folders and listing masks") {
    struct Row { const char* path; const char* bakPath; bool skipped; };
    const Row skips[] = {
        {"C:\\Old Backups\\", "Backup", true},
        {"C:\\data\\MYBACKUP\\deep\\", "Backup", true},
        {"D:\\System Volume Information\\", "Backup", true},
        {"C:\\Keep\\", "keep", true},
        {"C:\\Programs\\", "", false},      // an empty setting names no folder
        {"C:\\Bac\\kup\\", "Backup", false},
        {"C:\\\xB0\x62" "ackup\\", "x", false},  // "b" as a trail byte does not start a match
        {"C:\\\x81\x41\\", "\x81\x61", false},   // second bytes "A" and "a": other characters
    };
    for (const Row& r : skips) {
        CAPTURE(r.path);
        CHECK(IsSkippedFolder(r.path, r.bakPath) == r.skipped);
    }
    struct Mask { const char* name; const char* mask; bool match; };
    const Mask masks[] = {
        {"a.lnk", "*.lnk", true},  {"A.LNK", "*.lnk", true},    {"a.lnk.txt", "*.lnk", false},
        {"a.lnkx", "*.lnk", false}, {"noext", "*.*", true},      {"\xD6\xD0.lnk", "*.lnk", true},
        {"ab", "a?", true},        {"\xD6\xD0", "?", true},     {"lnk", "*.lnk", false},
        // Double-byte characters whose second bytes are "A" and "a" are different characters.
        {"\x81\x41.lnk", "\x81\x61.lnk", false}, {"\x81\x41.lnk", "\x81\x41.LNK", true},
    };
    for (const Mask& m : masks) {
        CAPTURE(m.name);
        CHECK(MatchesMask(m.name, m.mask) == m.match);
    }
}

TEST_CASE("shortcut targets: drive roots count as valid, a file that is no shortcut has none") {
    ScratchDir dir;
    StoppingSink sink;
    ShortcutWalk walk(sink.Context(), sink);
    struct Row { const char* file; std::string target; std::string expected; };
    const Row rows[] = {
        {"root.lnk", "C:\\", "kiv"},
        {"vanishedroot.lnk", "Q:\\", "kiv"},  // would count as missing without the rule
        {"gone.lnk", dir / "gone.exe", dir / "gone.exe"},
        {"junk.lnk", "", ""},  // read right after a shortcut with a target
    };
    for (const Row& r : rows) {
        CAPTURE(r.file);
        if (r.target.empty()) dir.File(r.file, "not a shortcut");
        else MakeShortcut(dir / r.file, r.target);
        CHECK(walk.GetShortcutTarget(dir / r.file) == r.expected);
    }
    CHECK(walk.GetShortcutTarget(dir.Path() + "\\" + std::string(MAX_PATH, 'x') + ".lnk").empty());
}

TEST_CASE("a shortcut is broken only when its target is missing on a fixed disk or a vanished drive") {
    ScopedSeams seams;
    FakeDriveTypes(seams, {{'E', DRIVE_CDROM}, {'N', DRIVE_REMOTE}, {'R', DRIVE_REMOVABLE}, {'Q', DRIVE_NO_ROOT_DIR}});
    ScratchDir dir;
    std::string existing = dir.File("app.exe");
    const std::wstring thai = AnsiToWide(dir.Path()) + L"\\\x0E01\x0E02";
    const std::wstring pate = AnsiToWide(dir.Path()) + L"\\P\u00e2te";
    std::wstring longTarget = AnsiToWide(dir.Path());
    for (int i = 0; i < 7; ++i) {
        longTarget += L"\\" + std::wstring(45, static_cast<wchar_t>(L'a' + i));
        CreateDirectoryW((L"\\\\?\\" + longTarget).c_str(), nullptr);
    }
    longTarget += L"\\app.exe";
    for (const std::wstring& folder : {thai, pate}) {
        CreateDirectoryW(folder.c_str(), nullptr);
        CloseHandle(CreateFileW((folder + L"\\app.exe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    }
    CloseHandle(CreateFileW((L"\\\\?\\" + longTarget).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    REQUIRE(longTarget.size() > 300);
    struct Row { const char* name; std::wstring target; bool reported; };
    const Row rows[] = {
        {"root.lnk", L"C:\\", false},
        {"file.lnk", AnsiToWide(existing), false},
        {"folder.lnk", AnsiToWide(dir.Path()), false},
        {"gone.lnk", AnsiToWide(dir / "gone.exe"), true},
        {"cdrom.lnk", L"E:\\setup\\gone.exe", false},
        {"network.lnk", L"N:\\apps\\gone.exe", false},
        {"removable.lnk", L"R:\\gone.exe", false},
        {"vanished.lnk", L"Q:\\apps\\gone.exe", true},
        {"unc.lnk", L"\\\\twnoserver\\share\\gone.exe", false},
        // An existing target in a folder whose name does not fit the code page.
        {"thai.lnk", AnsiToWide(dir.Path()) + L"\\\x0E01\x0E02\\app.exe", false},
        // One whose ANSI look-alike ("Pate") is missing: judged on nothing but what it is.
        {"bestfit.lnk", AnsiToWide(dir.Path()) + L"\\P\u00e2te\\app.exe", false},
        // Targets longer than 260 characters: judged only when they can be read whole.
        {"long.lnk", longTarget, false},
    };
    std::set<std::string> expected;
    for (const Row& r : rows) {
        MakeShortcut(dir / r.name, r.target);
        if (r.reported) expected.insert(dir / r.name);
    }
    dir.File("notalink.lnk", "plain text, not a shortcut");
    StoppingSink sink;
    WalkShortcuts(sink.Context(), sink, dir.Path());
    std::string got;
    for (const std::string& l : Locations(sink.findings)) got += "\n" + l;
    CHECK_MESSAGE(Locations(sink.findings) == expected, "reported:" << got);

    for (const Finding& f : sink.findings) {
        if (f.location != dir / "gone.lnk") continue;
        WIN32_FILE_ATTRIBUTE_DATA data{};
        GetFileAttributesExA(f.location.c_str(), GetFileExInfoStandard, &data);
        CHECK(f.caption == kDiskFileCaption);
        CHECK(f.keyName == std::to_string(data.nFileSizeLow) + " Byte");
        CHECK(f.description == dir / "gone.exe");
    }
}

TEST_CASE("the shortcut walk: which folders it enters, which files it checks, in which order") {
    ScratchDir dir;
    const std::string gone = dir / "gone.exe";
    for (const char* rel : {"Old Backups\\a.lnk", "x\\MyBACKUPs\\deep\\b.lnk", "System Volume Information\\c.lnk",
                            "Keep\\d.lnk", "sys\\e.lnk", "hid\\f.lnk", "hidden.lnk", "system.lnk", "Upper.LNK",
                            "shortcut.txt"}) {
        dir.File(rel);
        MakeShortcut(dir / rel, gone);
    }
    SetFileAttributesA((dir / "sys").c_str(), FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesA((dir / "hid").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesA((dir / "hidden.lnk").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesA((dir / "system.lnk").c_str(), FILE_ATTRIBUTE_SYSTEM);

    StoppingSink sink;
    WalkShortcuts(sink.Context("keep"), sink, dir.Path());
    CHECK(Locations(sink.findings) ==
          std::set<std::string>{dir / "hid\\f.lnk", dir / "hidden.lnk", dir / "system.lnk", dir / "Upper.LNK"});
    // A folder's own shortcuts come before those of its subfolders.
    REQUIRE(sink.findings.size() == 4);
    CHECK(sink.findings.back().location == dir / "hid\\f.lnk");
    // The status line names the folder in its own letter case.
    REQUIRE_FALSE(sink.statuses.empty());
    CHECK(sink.statuses[0] == "扫描磁盘文件错误：" + dir.Path() + "\\");
}

TEST_CASE("a stop during the shortcut walk ends it at the next entry; the rows found stay") {
    ScratchDir dir;
    for (int d = 0; d < 4; ++d)
        for (int i = 0; i < 5; ++i) {
            std::string rel = "Dir" + std::to_string(d) + "\\s" + std::to_string(i) + ".lnk";
            dir.File(rel);
            MakeShortcut(dir / rel, dir / "gone.exe");
        }
    StoppingSink sink;
    sink.stopAtFinding = 3;
    WalkShortcuts(sink.Context(), sink, dir.Path());
    CHECK(sink.findings.size() == 3);
    CHECK(sink.pumpsAfterStop <= 1);  // the pause after the entry that saw the stop
}

TEST_CASE("the directory walk reports empty program groups of all users and of the user, never the shell's own or what it cannot read") {
    ScratchDir dir;
    const std::string common = dir.Dir("Programs"), user = dir.Dir("UserPrograms");
    dir.Dir("UserPrograms\\Empty");
    dir.Dir("UserPrograms\\StartUp");
    dir.Dir("UserPrograms\\Administrative Tools");
    dir.Dir("Programs\\Administrative Tools");
    dir.Dir("Programs\\Group\\Sub");
    SetFileAttributesA(dir.File("Programs\\HiddenFile\\h.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesA(dir.File("Programs\\SystemFile\\s.txt").c_str(), FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesA(dir.Dir("Programs\\HiddenDir\\Inner").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    dir.Dir("Programs\\StartUp");
    dir.Dir("Programs\\Old Backups\\Empty");
    // A group whose name does not fit the code page cannot be listed: not known to be empty.
    std::wstring thai = AnsiToWide(common) + L"\\\x0E01\x0E02";
    CreateDirectoryW(thai.c_str(), nullptr);
    CloseHandle(CreateFileW((thai + L"\\a.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    // Nor is one whose ANSI look-alike is another, empty group: that one is reported once, and
    // the walk never goes into the real one under the look-alike's name.
    const std::wstring pate = AnsiToWide(common) + L"\\P\u00e2te";
    CreateDirectoryW(pate.c_str(), nullptr);
    CreateDirectoryW((pate + L"\\Inner").c_str(), nullptr);
    dir.Dir("Programs\\Pate");

    ScopedSeams seams;
    seams->specialFolder = [&](HWND, int csidl) -> std::string {
        switch (csidl) {
        case CSIDL_COMMON_PROGRAMS: return common;
        case CSIDL_COMMON_STARTUP: return common + "\\Startup";  // the shell's spelling
        case CSIDL_PROGRAMS: return user;
        case CSIDL_STARTUP: return user + "\\StartUp";
        case CSIDL_ADMINTOOLS: return user + "\\Administrative Tools";
        case CSIDL_COMMON_ADMINTOOLS: return common + "\\Administrative Tools";
        default: return "";
        }
    };
    StoppingSink sink;
    ScanContext ctx = sink.Context();
    ScanEmptyFolders(ctx, sink);
    CHECK(Locations(sink.findings) == std::set<std::string>{common + "\\Group\\Sub", common + "\\HiddenDir\\Inner",
                                                             common + "\\Pate", user + "\\Empty"});
    CHECK(sink.findings.size() == 4);
    for (const Finding& f : sink.findings) CHECK(f == DiskFolderFinding(f.location));

    // The 98 family walks the user's own tree, and an empty programs folder is reported itself.
    sink.findings.clear();
    ctx.os = OsFamily(4);
    RemoveDirectoryA((user + "\\Empty").c_str());
    RemoveDirectoryA((user + "\\StartUp").c_str());
    RemoveDirectoryA((user + "\\Administrative Tools").c_str());
    ScanEmptyFolders(ctx, sink);
    CHECK(Locations(sink.findings) == std::set<std::string>{user});

    // No programs folder: nothing is walked, least of all the current drive, and the category
    // says it could not look.
    sink.findings.clear();
    sink.statuses.clear();
    seams->specialFolder = [](HWND, int) { return std::string(); };
    CHECK_THROWS_AS(ScanEmptyFolders(ctx, sink), ScanStepError);
    CHECK(sink.findings.empty());
    CHECK(sink.statuses.empty());
}

TEST_CASE("a stop during the directory walk still adds the folders recorded before it") {
    ScratchDir dir;
    for (int i = 0; i < 5; ++i) dir.Dir("Programs\\E" + std::to_string(i));
    ScopedSeams seams;
    dir.Dir("User");
    seams->specialFolder = [&](HWND, int csidl) {
        return csidl == CSIDL_COMMON_PROGRAMS ? dir / "Programs" : csidl == CSIDL_PROGRAMS ? dir / "User" : std::string();
    };
    struct : StoppingSink {
        void ProcessMessages() override {
            StoppingSink::ProcessMessages();
            if (pumps == 10) scanning = false;  // the listing of the top folder, then one group
        }
    } sink;
    ScanEmptyFolders(sink.Context(), sink);
    CHECK(sink.findings.size() == 1);
}

// Made outside, by tests/disk_links.sh (the link is a host symbolic link in the prefix's C:);
// skipped without it.
TEST_CASE("a folder link that leads back up the tree is never followed" *
          doctest::skip(!getenv("TW_LINK_LOOP") || !*getenv("TW_LINK_LOOP"))) {
    // Holds sub\up -> root, sub\gone.lnk, sub\empty, and Desktop -> a folder of the host.
    const std::string root = getenv("TW_LINK_LOOP");
    REQUIRE((GetFileAttributesA((root + "\\sub\\up").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
    MakeShortcut(root + "\\sub\\gone.lnk", root + "\\gone.exe");
    MakeShortcut(root + "\\Desktop\\desk.lnk", root + "\\gone.exe");
    MakeShortcut(root + "\\Desktop\\sub\\deeper.lnk", root + "\\gone.exe");
    StoppingSink sink;
    WalkShortcuts(sink.Context(), sink, root);
    CHECK(Locations(sink.findings) == std::set<std::string>{root + "\\sub\\gone.lnk"});

    // A desktop the walk does not reach (a link) is looked at itself, its own entries only; one
    // it reaches is not looked at twice.
    ScopedSeams seams;
    seams->specialFolder = [&](HWND, int csidl) {
        return csidl == CSIDL_DESKTOPDIRECTORY ? root + "\\Desktop"
               : csidl == CSIDL_COMMON_DESKTOPDIRECTORY ? root + "\\sub" : std::string();
    };
    CHECK_FALSE(DriveWalkReaches(root + "\\Desktop", "Backup"));
    CHECK(DriveWalkReaches(root + "\\sub", "Backup"));
    sink.findings.clear();
    ScanDesktopShortcuts(sink.Context(), sink);
    CHECK(Locations(sink.findings) == std::set<std::string>{root + "\\Desktop\\desk.lnk"});

    // Both programs trees are this folder: it is walked once.
    seams->specialFolder = [&](HWND, int csidl) {
        return csidl == CSIDL_COMMON_PROGRAMS || csidl == CSIDL_PROGRAMS ? root : std::string();
    };
    sink.findings.clear();
    ScanEmptyFolders(sink.Context(), sink);
    CHECK(Locations(sink.findings) == std::set<std::string>{root + "\\sub\\empty"});
}

TEST_CASE("under Wine the drive that maps the host's root is told apart from the prefix's own drive") {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    CHECK_FALSE(IsHostRootDrive("C:\\"));
    CHECK_FALSE(IsHostRootDrive(""));
    CHECK_FALSE(IsHostRootDrive("Q:\\"));
    if (GetProcAddress(kernel, "wine_get_unix_file_name") && (GetLogicalDrives() & (1u << 25)))
        CHECK(IsHostRootDrive("Z:\\"));  // a fresh prefix maps Z: to "/"
}
