#include <doctest.h>

#include <cstdio>

#include "platform/FileSystem.h"
#include "platform/Seams.h"
#include "scan/Checklist.h"
#include "scan/Settings.h"
#include "scan/osinfo/OsInfo.h"
#include "scan/osinfo/ProgramRecord.h"
#include "support/Sandbox.h"

using namespace tw;
using namespace tw::test;

namespace {

OSVERSIONINFOA Version(DWORD major, DWORD minor, DWORD build = 0, const char* sp = "") {
    OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof v;
    v.dwMajorVersion = major;
    v.dwMinorVersion = minor;
    v.dwBuildNumber = build;
    lstrcpynA(v.szCSDVersion, sp, sizeof v.szCSDVersion);
    return v;
}

// Runs a command line and returns what it wrote to standard output.
std::string RunCapture(const std::string& commandLine) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE rd = nullptr, wr = nullptr;
    CreatePipe(&rd, &wr, &sa, 0);
    SetHandleInformation(rd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = wr;
    si.hStdError = wr;
    PROCESS_INFORMATION pi{};
    std::string cmd = commandLine, out;
    if (CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) {
        CloseHandle(wr);
        wr = nullptr;
        char buf[4096];
        DWORD n;
        while (ReadFile(rd, buf, sizeof buf, &n, nullptr) && n) out.append(buf, n);
        WaitForSingleObject(pi.hProcess, 10000);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    if (wr) CloseHandle(wr);
    CloseHandle(rd);
    return out;
}

}  // namespace

TEST_CASE("system names by version") {
    struct Row { DWORD major, minor; const char* name; };
    const Row rows[] = {
        {4, 10, "98"}, {4, 90, "Me"}, {4, 0, ""}, {5, 0, "2000"}, {5, 1, "XP"}, {5, 2, "2003"},
        {5, 3, ""}, {6, 0, "Invalidated"}, {6, 1, "Invalidated"}, {3, 51, "Invalidated"},
    };
    for (const Row& r : rows) {
        OSVERSIONINFOA v = Version(r.major, r.minor, 0x0A280A28, "Service Pack 3");
        OsInfo info(&v);
        CAPTURE(r.major);
        CAPTURE(r.minor);
        CHECK(info.VersionName == r.name);
        CHECK(info.MajorVersion == r.major);
        CHECK(info.BuildNumber == 0x0A28);  // the low word only
        CHECK(info.ServicePack == "Service Pack 3");
    }
    OsInfo failed(nullptr);
    CHECK(failed.MajorVersion == 0);
    CHECK(failed.MinorVersion == 0);
    CHECK(failed.VersionName == "Invalidated");
    CHECK(failed.ServicePack.empty());
}

TEST_CASE("the detected version follows what Wine is told to report") {
    // A copy of the console scanner under a name of its own, so its version setting touches
    // nothing else.
    ScratchDir dir;
    std::string probe = dir / "twprobe.exe";
    REQUIRE(CopyFileA((ProgramFolder() + "tarnwell-scan.exe").c_str(), probe.c_str(), FALSE));
    const char* key = "Software\\Wine\\AppDefaults\\twprobe.exe";
    struct Row { const char* wine; const char* expect; };
    const Row rows[] = {{"win98", "98\t4.10"}, {"win2k", "2000\t5.0"}, {"winxp", "XP\t5.1"}};
    for (const Row& r : rows) {
        SetString(HKEY_CURRENT_USER, key, "Version", r.wine);
        std::string out = RunCapture("\"" + probe + "\" --version");
        CAPTURE(r.wine);
        CHECK(out.find(std::string("\t") + r.expect) != std::string::npos);
    }
    RegDeleteKeyA(HKEY_CURRENT_USER, key);
}

TEST_CASE("checklist rows: the system-file row only on version 5 with sfc.exe, ticks all but last") {
    ScratchDir win;
    ScopedSeams seams;
    seams->wineVersion = [] { return std::string(); };  // on Windows
    std::vector<ChecklistItem> rows = BuildChecklist(OsFamily(5), win.Path());
    REQUIRE(rows.size() == 12);
    CHECK(rows[10].ticked);
    CHECK_FALSE(rows[11].ticked);  // directories start unticked without the system-file row
    CHECK(rows[7].caption == "扫描：当前用户的错误信息");
    CHECK(rows[7].image == 12);
    CHECK(rows[10].note == "多操作系统用户不推荐");
    win.File("system32\\sfc.exe");
    rows = BuildChecklist(OsFamily(5), win.Path());
    REQUIRE(rows.size() == 13);
    CHECK(rows[11].ticked);
    CHECK_FALSE(rows[12].ticked);
    CHECK(rows[12].note == "可选");
    CHECK(rows[12].image == 21);
    CHECK(BuildChecklist(OsFamily(4), win.Path()).size() == 12);
    CHECK(ChecklistIndexOf(rows, kRowSystemFiles) == 12);
    CHECK(ChecklistIndexOf(rows, kRowWineDesktop) == -1);

    // Under Wine its own row, ticked, stands after the directory row; every other row keeps its
    // index and its tick, and the system-file row comes last.
    seams->wineVersion = [] { return std::string("8.0"); };
    const std::vector<ChecklistItem> withSfc = BuildChecklist(OsFamily(5), win.Path());
    REQUIRE(withSfc.size() == 14);
    for (size_t i = 0; i < 12; ++i) CHECK(withSfc[i].caption == rows[i].caption);
    CHECK(withSfc[12].caption == "扫描：Wine 遗留的 Linux 桌面菜单和文件关联");
    CHECK(withSfc[12].ticked);
    CHECK(withSfc[12].note == "推荐");
    CHECK(ChecklistIndexOf(withSfc, kRowWineDesktop) == 12);
    CHECK(ChecklistIndexOf(withSfc, kRowSystemFiles) == 13);
    CHECK_FALSE(withSfc[13].ticked);
    DeleteFileA((win.Path() + "\\system32\\sfc.exe").c_str());
    const std::vector<ChecklistItem> noSfc = BuildChecklist(OsFamily(5), win.Path());
    REQUIRE(noSfc.size() == 13);
    CHECK_FALSE(noSfc[11].ticked);
    CHECK(noSfc[12].ticked);
    CHECK(ChecklistIndexOf(noSfc, kRowSystemFiles) == -1);
}

TEST_CASE("version strings and the program's record under SOFTWARE\\Kiv") {
    CHECK(ProgramRecord::VersionString(ProgramPath(), "ProductName") == "Tarnwell");
    CHECK(ProgramRecord::VersionString(ProgramPath(), "FileVersion") == "3.4.5.707");
    CHECK(ProgramRecord::VersionString(ProgramPath(), "Missing").empty());
    CHECK(ProgramRecord::VersionString("", "ProductName").empty());
    CHECK(ProgramRecord::VersionString("C:\\no\\such.exe", "ProductName").empty());

    RegistrySandbox sb;
    CHECK(ProgramRecord(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kiv", ProgramPath()).Record());
    CHECK(GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kiv", "Tarnwell") == ProgramPath());
    CHECK_FALSE(ProgramRecord(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kiv2", "C:\\no\\such.exe").Record());
    CHECK_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kiv2"));
    // A file without a version resource writes the key's default value.
    ScratchDir dir;
    std::string plain = dir.File("plain.exe", "not a program");
    CHECK(ProgramRecord(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kiv3", plain).Record());
    CHECK(GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kiv3", "") == plain);
}

TEST_CASE("settings: BakPath default, Max, non-numeric values ignored one by one") {
    ScratchDir dir;
    WindowSettings s = LoadSettings(dir / "none.ini");
    CHECK(s.bakPath == "Backup");
    CHECK_FALSE(s.maximized);
    CHECK_FALSE(s.hasTop);
    CHECK_FALSE(s.hasHeight);
    CHECK_FALSE(s.hasWidth);

    std::string p = dir.File("a.ini", "[Other]\r\nBakPath=Keep\r\n[Tarnwell]\r\nWindow=Max\r\nTop=5\r\n");
    s = LoadSettings(p);
    CHECK(s.bakPath == "Keep");
    CHECK(s.maximized);
    CHECK_FALSE(s.hasTop);  // a maximized window ignores the rest

    p = dir.File("b.ini", "[Tarnwell]\r\nWindow=Normal\r\nTop=20\r\nHeight=400\r\nWidth=abc\r\n");
    s = LoadSettings(p);
    CHECK_FALSE(s.maximized);
    CHECK((s.hasTop && s.top == 20));
    CHECK((s.hasHeight && s.height == 400));
    CHECK_FALSE(s.hasWidth);

    p = dir.File("c.ini", "[Tarnwell]\r\nWindow=max\r\nHeight=300\r\n");
    s = LoadSettings(p);
    CHECK_FALSE(s.maximized);  // "Max" is case-sensitive
    CHECK((s.hasHeight && s.height == 300));
    CHECK((s.hasWidth && s.width == 300));  // a missing key takes the text read before it

    SaveWindowPlacement(dir / "d.ini", true, -4, 700, 1032);
    s = LoadSettings(dir / "d.ini");
    CHECK(s.maximized);
    SaveWindowPlacement(dir / "d.ini", false, 10, 465, 608);
    s = LoadSettings(dir / "d.ini");
    CHECK((s.top == 10 && s.height == 465 && s.width == 608));
}

TEST_CASE("multi-boot: more than one entry in the boot menu") {
    ScratchDir dir;
    CHECK_FALSE(DetectMultiBoot(dir / "boot.ini"));
    std::string one = dir.File("one.ini", "[boot loader]\r\ntimeout=30\r\n[operating systems]\r\n"
                                          "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"XP\"\r\n");
    CHECK_FALSE(DetectMultiBoot(one));
    std::string two = dir.File("two.ini", "[operating systems]\r\nmulti(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"XP\"\r\n"
                                          "C:\\=\"Windows 98\"\r\n");
    CHECK(DetectMultiBoot(two));
}
