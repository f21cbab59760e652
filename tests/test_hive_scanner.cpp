#include <doctest.h>

#include <stdexcept>

#include "platform/FileSystem.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "platform/Threads.h"
#include "scanners/HandOverSink.h"
#include "scanners/registry/HiveReferences.h"
#include "support/Sandbox.h"

using namespace tw;
using namespace tw::test;

namespace {

// A scratch folder on C: whose own path holds no separator ("-", "^", ...), so the first
// separator of a row's text is the one the row means (the support's scratch folders carry "-").
// Folders are made one part at a time, never by splitting a text at "\": the second byte of a
// double-byte character can be one.
class PlainDir {
public:
    PlainDir() : path_("C:\\twhive" + std::to_string(GetCurrentProcessId()) + "x" + std::to_string(++count_)) {
        RemoveTree(path_);
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~PlainDir() { RemoveTree(path_); }
    PlainDir(const PlainDir&) = delete;
    PlainDir& operator=(const PlainDir&) = delete;
    const std::string& Path() const { return path_; }
    void Make(std::initializer_list<const char*> dirs, const char* file = nullptr) const {
        std::string full = path_;
        for (const char* d : dirs) CreateDirectoryA((full += std::string("\\") + d).c_str(), nullptr);
        if (!file) return;
        HANDLE h = CreateFileA((full + "\\" + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }

private:
    static inline int count_ = 0;
    std::string path_;
};

// Real files and folders on C:, and drives as a user's machine has them: D: a CD drive,
// E: removable, N: network, R: a RAM disk, F: a second fixed disk with nothing on it.
struct PathWorld {
    PlainDir dir;
    ScopedSeams seams;
    std::string windowsDir;

    PathWorld() : windowsDir(dir.Path() + "\\WinDir") {
        dir.Make({}, "app.exe");
        dir.Make({"Program Files", "App"}, "app.exe");
        dir.Make({"Program Files (x86)"});
        dir.Make({"Tools"}, "lib.dll");
        dir.Make({"Apps"}, "my app.exe");
        dir.Make({"x-y"}, "app.exe");
        dir.Make({"乗"}, "tool.exe");  // the second byte of 乗 is "\"
        dir.Make({"dir"});
        dir.Make({"v1.2.3.4"});
        dir.Make({"a.b.中"});
        auto real = seams->driveType;
        seams->driveType = [real](const std::string& root) -> UINT {
            switch (root.empty() ? 0 : (root[0] & ~0x20)) {
                case 'D': return DRIVE_CDROM;
                case 'E': return DRIVE_REMOVABLE;
                case 'N': return DRIVE_REMOTE;
                case 'R': return DRIVE_RAMDISK;
                case 'F': return DRIVE_FIXED;
                default: return real(root);
            }
        };
    }

    // "<S>" stands for the scratch folder, "<W>" for the Windows directory in other letter case.
    std::string Expand(std::string text) const {
        for (size_t p; (p = text.find("<S>")) != std::string::npos;) text.replace(p, 3, dir.Path());
        for (size_t p; (p = text.find("<W>")) != std::string::npos;) text.replace(p, 3, LowerAscii(windowsDir));
        return text;
    }
};

struct PathRow {
    const char* text;
    bool missing;
};

void CheckRows(const PathWorld& w, std::initializer_list<PathRow> rows) {
    for (const PathRow& row : rows) {
        std::string text = w.Expand(row.text);
        CAPTURE(text);
        CHECK(IsMissingPath(text, w.windowsDir) == row.missing);
    }
}

}  // namespace

TEST_CASE("missing-path test") {
    REQUIRE(GetACP() == 936);
    PathWorld w;

    SUBCASE("only drive paths on fixed disks C: to Z: are examined") {
        CheckRows(w, {
            {"", false}, {"C:", false}, {"C:\\", false},
            {"<S>\\gone.exe", true},
            {"\"<S>\\gone.exe\"", true},  // leading quote dropped, closing one cut after .exe
            {"@<S>\\gone.exe", true},     // a marker before the drive is dropped
            {"A:\\gone.exe", false}, {"b:\\gone.exe", false}, {"1:\\gone.exe", false},
            {"%SystemRoot%\\gone.exe", false}, {"\\\\server\\share\\gone.exe", false},
            {"gone.exe", false}, {"C:gone.exe", false}, {"C:/gone.exe", false},
            {"D:\\gone.exe", false}, {"E:\\gone.exe", false}, {"N:\\gone.exe", false},
            {"R:\\gone.exe", false},
            {"F:\\gone.exe", true},  // fixed: examined although the drive is empty
        });
        std::string lowerDrive = w.Expand("<S>\\gone.exe");
        lowerDrive[0] = 'c';
        CHECK(IsMissingPath(lowerDrive, w.windowsDir));
    }
    SUBCASE("existing files and folders, runs of backslashes, trailing backslash") {
        CheckRows(w, {
            {"<S>", false}, {"<S>\\app.exe", false}, {"<S>\\dir\\", false},
            {"<S>\\a*.exe", false},  // a pattern that matches a file exists
            {"<S>\\\\app.exe", false}, {"<S>\\\\\\Program Files\\\\App\\app.exe", false},
            {"<S>\\\\gone.exe", true},
            {"<S>\\app.exe\\", false},   // dot, extension, backslash: the backslash goes
            {"<S>\\app.exe)\\", false},  // dot, four characters, backslash: the last two go
            {"<S>\\gone.exe\\", true}, {"<S>\\gone\\", true},
        });
    }
    SUBCASE("blank cuts reduce a command line to its program") {
        CheckRows(w, {
            {"<S>\\Old App\\app.exe /min", true},
            {"<S>\\Program Files\\App\\app.exe /min", false},
            {"\"<S>\\Program Files\\App\\app.exe\" /min", false},  // quote, then arguments
            {"\"<S>\\Program Files\\App\\gone.exe\" /min", true},
            {"\"<S>\\Apps\\my app.exe\" /min", false},  // blank inside the name: the quote stays
            {"\"<S>\\Apps\\my gone.exe\" /min", false},
            {"<S>\\app.exe -x -y", false},
            {"<S>\\dir x", true},               // a blank after no extension cuts nothing
            {"<S>\\my gone.dll,3", false},      // a name with a blank skips the comma cut
        });
    }
    SUBCASE("a separator right after an extension ends the path; only its first one counts") {
        for (char sep : {'"', '^', '\'', '/', '-', '%', '!', '|', '[', '='}) {
            std::string tail = std::string(1, sep) + "x";
            CAPTURE(tail);
            CHECK_FALSE(IsMissingPath(w.Expand("<S>\\app.exe") + tail, w.windowsDir));
            CHECK(IsMissingPath(w.Expand("<S>\\gone.exe") + tail, w.windowsDir));
        }
        CheckRows(w, {
            {"<S>\\gone.ex|x", false},       // two characters after the dot: kept, and rejected
            {"<S>\\gone-old.txt", true},     // not after an extension: kept, not rejected
            {"<S>\\x-y\\app.exe-x", true},   // the first "-" is not after an extension
        });
    }
    SUBCASE("dot cut and icon references") {
        CheckRows(w, {
            // Three dots, the last followed by one character and a blank: cut at the blank.
            {"<S>\\v1.2.3.4 \\app", false}, {"<S>\\gone\\v1.2.3.4 \\app", true},
            {"<S>\\gone\\v1.2 \\app", false},  // too few dots: " \" stays and is rejected
            {"<S>\\Tools\\gone.dll,3", true}, {"<S>\\Tools\\gone.dll,-103", true},
            {"<S>\\Tools\\lib.dll,3", false},
            {"<S>\\Tools\\gone,3", false},          // no extension before the comma: rejected
            {"<W>\\System32\\gone.dll,3", false},   // the Windows directory's own icons
            {"<W>\\System32\\gone.dll", true},      // only an icon reference is spared
        });
        // An unknown Windows directory spares nothing.
        CHECK(IsMissingPath(w.Expand("<W>\\System32\\gone.dll,3"), ""));
    }
    SUBCASE("ignored names are never reported, in any letter case") {
        CheckRows(w, {
            {"<S>\\qcdplayer.exe", false}, {"<S>\\ie6setup\\setup.exe", false},
            {"<S>\\Desktop\\DAEMON Tools.lnk", false}, {"<S>\\SpeechEngines\\Microsoft\\x.dll", false},
            {"<S>\\ViaVoice\\vv.exe", false}, {"<S>\\Office\\Data\\x.dat", false},
            {"<S>\\PkmRes.dll", false}, {"<S>\\Operational\\log.txt", false},
            {"<S>\\web.exe", false}, {"<S>\\a.exe.dll", false}, {"<S>\\rtscan.ini", false},
            {"<S>\\jmc230.pro", false}, {"<S>\\menu.mns", false}, {"<S>\\menu.mnc", false},
            {"<S>\\DrEye\\de.exe", false}, {"<S>\\AcadM\\a.exe", false}, {"<S>\\smwizard.exe", false},
            {"<S>\\OfficeData\\x.dat", true},  // a near miss is reported
        });
    }
    SUBCASE("rejected sequences left after the cuts") {
        CheckRows(w, {
            {"<S>\\gone \\x", false}, {"<S>\\gone/x", false},  {"<S>\\gone*", false},
            {"<S>\\gone?", false},    {"<S>\\gone\"x", false}, {"<S>\\gone<x", false},
            {"<S>\\gone>x", false},   {"<S>\\gone|x", false},  {"<S>\\gone,x", false},
            {"<S>\\gone;x", false},   {"<S>\\gone ^x", false}, {"<S>\\gone %1", false},
            {"<S>\\gone -x", false},  {"<S>\\gone 'x", false}, {"<S>\\gone (x)", false},
            {"<S>\\gone=x", false},
            // A blank, "^", "(" or "'" alone belongs to a plain name.
            {"<S>\\gone x", true}, {"<S>\\gone^x", true}, {"<S>\\gone(x)", true}, {"<S>\\gone'x", true},
            // " (" in a folder that is there ("Program Files (x86)") is part of the path.
            {"<S>\\Program Files (x86)\\App\\gone.exe", true}, {"<S>\\Program Files (x86)\\gone (x)", false},
            {"<S>\\Gone Files (x86)\\App\\gone.exe", false},
        });
    }
    SUBCASE("positions are bytes, and no cut splits a double-byte character") {
        CheckRows(w, {
            // 乗 ends in the byte of "\": the collapse of "\\" and the split must not take it.
            {"<S>\\乗\\tool.exe /s", false}, {"<S>\\乗\\gone.exe /s", true},
            {"<S>\\my 乗gone.dll,3", false},  // the blank is in the name: no comma cut
            // 中 takes two positions: the dot cut lands on the blank only when counting bytes.
            {"<S>\\a.b.中 \\x", false}, {"<S>\\gone\\a.b.中 \\x", true},
            {"<S>\\程序\\gone.exe /min", true},
        });
    }
}

TEST_CASE("excluded key paths: whole-path entries from the hive root, parts anywhere") {
    struct Row {
        const char* path;
        bool excluded;
    };
    const Row rows[] = {
        {"Software\\Classes", true},
        {"SOFTWARE\\Microsoft\\Messenger Service", true},
        {"Software\\Microsoft\\Windows\\CurrentVersion\\Installer", true},
        {"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", true},
        {"Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", true},
        {"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", true},
        {"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder", true},
        {"Software\\Microsoft\\Windows\\Help", true},
        {"Software\\Microsoft\\Windows\\HTML Help", true},
        {"Software\\Microsoft\\Windows\\CurrentVersion\\Fonts", true},
        {"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\DocFolderPaths", true},
        {"Software\\Microsoft\\Windows\\CurrentVersion\\Telephony", true},
        {"Software\\National Instruments\\NI-Servers", true},
        // Whole-path entries: not below a user's key, not a longer name, not a child (the walk
        // never reaches it).
        {".DEFAULT\\Software\\Classes", false},
        {"Software\\ClassesExtra", false},
        {"Software\\Classes\\txtfile", false},
        // Parts, found anywhere:
        {"S-1-5-21\\Software\\Microsoft\\Installer\\Products", true},
        {"Software\\ORACLE\\OracleOraHome81TNS", true},
        {"Software\\Vendor\\L3 Generator with C45\\x", true},
        {"Control Panel\\Extended Keyboard", true},
        {"SYSTEM\\CurrentControlSet\\Services\\WinSock2\\Parameters\\NameSpace_Catalog5", true},
        {"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones", true},
        {"Software\\%USERNAME%", true},
        {"Software\\Rational Software", true},
        {"Software\\Autodesk\\AcadM\\R1", true},
        {"SYSTEM\\ControlSet001\\Services\\EventSystem", true},
        {"SYSTEM\\ControlSet001\\Services\\MSDTC\\Security", true},
        {"SYSTEM\\ControlSet001\\Services\\MySQLd", true},
        {".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", true},
        // Where the system's own folders are: settings of the system, never debris.
        {"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", true},
        {"S-1-5-21\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", true},
        {"SYSTEM\\ControlSet001\\Control\\Session Manager\\Environment", true},
        {"Environment", true},
        // Where the system makes its page file and crash dumps, and finds DirectMusic's
        // instrument set: settings, not references to files that must exist.
        {"System\\CurrentControlSet\\Control\\Session Manager\\Memory Management", true},
        {"SYSTEM\\ControlSet001\\Control\\CrashControl", true},
        {"Software\\Microsoft\\DirectMusic", true},
        {"System\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs", false},
    };
    for (const Row& row : rows) {
        CAPTURE(row.path);
        CHECK(IsExcludedKeyPath(row.path) == row.excluded);
    }
}

namespace {

Finding Hit(const std::string& root, const std::string& location, const std::string& keyName,
            const std::string& description = {}) {
    Finding f;
    f.caption = root;
    f.location = location;
    f.keyName = keyName;
    f.description = description;
    return f;
}

ScanContext Context() {
    ScanContext ctx;
    ctx.windowsDir = WindowsDirectory();
    return ctx;
}

// A hive with hits, quiet values and excluded subtrees, and the Findings a walk must give.
struct HiveWorld {
    RegistrySandbox sandbox;
    ScratchDir dir;
    std::vector<Finding> expected;

    HiveWorld() {
        const HKEY cu = HKEY_CURRENT_USER;
        const std::string s = dir.Path(), app = "Software\\Vendor\\App", root = "HKEY_CURRENT_USER";
        dir.File("app.exe");
        // Value names sort in the order they are written, so the enumeration order is the same
        // whether the registry keeps values sorted or in the order of writing.
        SetString(cu, app, "", s + "\\gone.exe");
        SetString(cu, app, " ", s + "\\gone6.exe");
        SetString(cu, app, "A_Path", "  " + s + "\\gone2.exe /min \t");
        SetString(cu, app, "B_Ok", s + "\\app.exe");
        SetString(cu, app, s + "\\gonename.dll", s + "\\gone3.exe");
        SetDword(cu, app, s + "\\gonename2.dll", 1);
        SetBinary(cu, app, "D_Bin", s + "\\gone.exe");
        SetString(cu, app, "E_Multi", s + "\\gone.exe" + std::string(1, '\0'), REG_MULTI_SZ);
        SetString(cu, app, "F_Env", "%SystemRoot%\\gone.exe", REG_EXPAND_SZ);
        SetString(cu, app, "G_Exp", s + "\\gone4.exe", REG_EXPAND_SZ);
        SetString(cu, app, "H_Nul", s + "\\gone5.exe" + std::string(1, '\0') + "tail");
        SetString(cu, app, "I_Long", s + "\\gone9.exe" + std::string(20000, ' '));
        SetString(cu, app, "J_After", s + "\\gone10.exe");
        SetString(cu, app + "\\Sub", "X", s + "\\gone7.exe");
        SetString(cu, "Software\\Classes\\Foo", "X", s + "\\gone.exe");
        SetString(cu, "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts", "X", s + "\\gone.ttf");
        SetString(cu, "System\\ControlSet001\\Services\\MySQL\\Parameters", "X", s + "\\gone.exe");
        SetString(cu, "Software\\ClassesExtra", "X", s + "\\gone8.exe");
        // Where the system's own folders are: a setting of the system, not a program's memory.
        const std::string current = "Software\\Microsoft\\Windows\\CurrentVersion";
        SetString(cu, current, "ProgramFilesDir", s + "\\goneprograms");
        SetString(cu, current, "Z_App", s + "\\gone11.exe");
        expected = {
            Hit(root, "Software\\ClassesExtra", "X", s + "\\gone8.exe"),
            Hit(root, current, "Z_App", s + "\\gone11.exe"),
            Hit(root, app, kDefaultValueMarker, s + "\\gone.exe"),
            Hit(root, app, " ", s + "\\gone6.exe"),  // a blank name is a value of its own
            Hit(root, app, "A_Path", s + "\\gone2.exe /min"),
            Hit(root, app, s + "\\gonename.dll"),
            Hit(root, app, s + "\\gonename.dll", s + "\\gone3.exe"),
            Hit(root, app, s + "\\gonename2.dll"),
            Hit(root, app, "G_Exp", s + "\\gone4.exe"),
            Hit(root, app, "H_Nul", s + "\\gone5.exe"),
            Hit(root, app, "I_Long", s + "\\gone9.exe"),
            Hit(root, app, "J_After", s + "\\gone10.exe"),
            Hit(root, app + "\\Sub", "X", s + "\\gone7.exe"),
        };
    }
};

// Asks the scanner to stop when a Finding arrives, as the Stop button would.
class StoppingSink : public CollectingSink {
public:
    WorkerThread* scanner = nullptr;
    void AddFinding(const Finding& f) override {
        CollectingSink::AddFinding(f);
        if (scanner) scanner->Terminate();
    }
};

}  // namespace

TEST_CASE("hive walk: Findings in walk order, name hits before value hits, excluded subtrees skipped") {
    HiveWorld w;
    CollectingSink sink;
    HiveReferenceScan scanner(Context(), sink);
    scanner.root = HKEY_CURRENT_USER;
    scanner.ScanHive();
    CHECK(Lines(sink.findings) == Lines(w.expected));
    // Each row carries the path found missing, for the check again before repair.
    for (const Finding& f : sink.findings) {
        CAPTURE(f.keyName);
        REQUIRE(f.missingPaths.size() == 1);
        CHECK(f.description.empty() ? f.keyName == f.missingPaths[0] : f.description.find(f.missingPaths[0]) == 0);
    }
    // The status line is paced rather than moved for every key, but it starts at once, follows
    // the walk and never names a skipped key.
    REQUIRE_FALSE(sink.statuses.empty());
    CHECK(sink.statuses.front() == "扫描：HKEY_CURRENT_USER\\Software");
    const char* const walked[] = {
        "Software", "Software\\ClassesExtra", "Software\\Microsoft", "Software\\Microsoft\\Windows",
        "Software\\Microsoft\\Windows\\CurrentVersion", "Software\\Vendor", "Software\\Vendor\\App",
        "Software\\Vendor\\App\\Sub", "System", "System\\ControlSet001", "System\\ControlSet001\\Services",
    };
    size_t next = 0;
    for (const std::string& status : sink.statuses) {
        CAPTURE(status);
        while (next < 11 && status != std::string("扫描：HKEY_CURRENT_USER\\") + walked[next]) ++next;
        CHECK(next < 11);
    }
}

TEST_CASE("hive walk: under HKEY_USERS only the part entries of the exclusion list apply") {
    RegistrySandbox sandbox;
    ScratchDir dir;
    SetString(HKEY_USERS, ".DEFAULT\\Software\\Classes", "X", dir / "gone.exe");
    SetString(HKEY_USERS, ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
              "Y", dir / "gone.exe");
    CollectingSink sink;
    HiveReferenceScan scanner(Context(), sink);
    scanner.root = HKEY_USERS;
    scanner.ScanHive();
    CHECK(Lines(sink.findings) == Lines({Hit("HKEY_USERS", ".DEFAULT\\Software\\Classes", "X", dir / "gone.exe")}));
}

TEST_CASE("hive walk: a subtree part that begins in a parent key's path and ends in its child") {
    RegistrySandbox sandbox;
    ScratchDir dir;
    const HKEY cu = HKEY_CURRENT_USER;
    // Each path's value names a missing file; the keys whose whole path holds a part are skipped.
    // Listed in the walk's order (top-level keys sorted).
    struct Row {
        const char* path;
        bool skipped;
    } rows[] = {
        {"Net\\Services", false},
        {"Net\\Services\\MSDTC", true},                         // part starts in the parent's last name
        {"Net\\Services\\Msd", false},
        {"Net\\XServices\\EventSystemX\\Sub", true},          // starts inside a parent's name
        {"Software\\Microsoft\\Installer", true},              // part ends with the child's name
        {"Software\\Microsoft\\InstallerCache\\Deep", true},  // ... and what lies below it
        {"Software\\Microsoft\\Install", false},               // the child ends too soon
        {"Tz\\Time Zones", true},                               // part wholly in the child
        {"Tz\\TIME\\ZONES", false},                             // a backslash is not a blank
        {"Tz\\Wide\\AcadM", true},
        {"Tz\\Wide\\Acad\\M", false},
    };
    std::vector<Finding> expected;
    for (const Row& row : rows) {
        SetString(cu, row.path, "X", dir / "gone.exe");
        if (!row.skipped) expected.push_back(Hit("HKEY_CURRENT_USER", row.path, "X", dir / "gone.exe"));
    }
    CollectingSink sink;
    HiveReferenceScan scanner(Context(), sink);
    scanner.root = cu;
    scanner.ScanHive();
    CHECK(Lines(sink.findings) == Lines(expected));
}

TEST_CASE("hive walk: string data is cut at its first NUL and trimmed before it is judged") {
    RegistrySandbox sandbox;
    ScratchDir dir;
    const HKEY cu = HKEY_CURRENT_USER;
    const std::string gone = dir / "gone.exe", nul(1, '\0');
    SetString(cu, "K", "A_Quoted", " \t\"" + gone + "\" /x \r\n");
    SetString(cu, "K", "B_Marker", "\r\n@" + gone + nul + "junk");
    SetString(cu, "K", "C_Cut", gone.substr(0, 2) + nul + gone.substr(2));  // "C:" then NUL
    SetString(cu, "K", "D_Short", "  " + gone.substr(0, 2) + " ");
    SetString(cu, "K", "E_Blank", std::string(" \t ") + nul + gone);
    SetString(cu, "K", "F_Late", "   \t\t   " + gone);
    CollectingSink sink;
    HiveReferenceScan scanner(Context(), sink);
    scanner.root = cu;
    scanner.ScanHive();
    CHECK(Lines(sink.findings) == Lines({Hit("HKEY_CURRENT_USER", "K", "A_Quoted", "\"" + gone + "\" /x"),
                                         Hit("HKEY_CURRENT_USER", "K", "B_Marker", "@" + gone),
                                         Hit("HKEY_CURRENT_USER", "K", "F_Late", gone)}));
}

TEST_CASE("hive walk: a failed hand-over skips the rest of the key's values, not its subkeys") {
    struct FailingOnceSink : CollectingSink {
        bool failed = false;
        void AddFinding(const Finding& f) override {
            if (!failed) {
                failed = true;
                throw std::runtime_error("list view gone");
            }
            CollectingSink::AddFinding(f);
        }
    };
    RegistrySandbox sandbox;
    ScratchDir dir;
    SetString(HKEY_CURRENT_USER, "K", "A", dir / "gone1.exe");
    SetString(HKEY_CURRENT_USER, "K", "B", dir / "gone2.exe");
    SetString(HKEY_CURRENT_USER, "K\\S", "C", dir / "gone3.exe");
    SetString(HKEY_CURRENT_USER, "L", "D", dir / "gone4.exe");
    FailingOnceSink sink;
    HiveReferenceScan scanner(Context(), sink);
    scanner.root = HKEY_CURRENT_USER;
    scanner.ScanHive();
    CHECK(Lines(sink.findings) == Lines({Hit("HKEY_CURRENT_USER", "K\\S", "C", dir / "gone3.exe"),
                                         Hit("HKEY_CURRENT_USER", "L", "D", dir / "gone4.exe")}));
}

TEST_CASE("hive walk: a stop requested at a name hit ends the walk after that value") {
    RegistrySandbox sandbox;
    ScratchDir dir;
    SetString(HKEY_CURRENT_USER, "K", dir / "gonename.dll", dir / "gone1.exe");
    SetString(HKEY_CURRENT_USER, "K", "Z", dir / "gone2.exe");
    SetString(HKEY_CURRENT_USER, "K\\S", "C", dir / "gone3.exe");
    SetString(HKEY_CURRENT_USER, "L", "D", dir / "gone4.exe");
    StoppingSink sink;
    HiveReferenceScan scanner(Context(), sink);
    sink.scanner = &scanner;
    scanner.root = HKEY_CURRENT_USER;
    scanner.ScanHive();
    CHECK(Lines(sink.findings) == Lines({Hit("HKEY_CURRENT_USER", "K", dir / "gonename.dll"),
                                         Hit("HKEY_CURRENT_USER", "K", dir / "gonename.dll", dir / "gone1.exe")}));
    CHECK(sink.statuses.size() == 1);
}

TEST_CASE("hive scanner thread: hand-overs reach the UI thread, and the completion always comes") {
    HiveWorld w;
    UiDispatcher ui;
    StoppingSink target;
    HandOverSink handOver(ui, target);
    HiveReferenceScan scanner(Context(), handOver);
    handOver.SetProducer(&scanner);
    scanner.root = HKEY_CURRENT_USER;
    LONG completions = 0;
    scanner.onFinished = [&completions](WorkerThread&) { InterlockedIncrement(&completions); };
    std::vector<Finding> want = w.expected;

    SUBCASE("a whole walk") {}
    SUBCASE("stopped at the first Finding") {
        target.scanner = &scanner;
        want.resize(1);
    }
    SUBCASE("stopped before it starts") {
        scanner.Terminate();
        want.clear();
    }
    REQUIRE(scanner.Start());
    HANDLE h = scanner.Handle();
    WaitPumping(&h, 1);
    CHECK(Lines(target.findings) == Lines(want));
    CHECK(completions == 1);
}
