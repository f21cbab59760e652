#include <doctest.h>

#include <algorithm>

#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "platform/Threads.h"
#include "scanners/HandOverSink.h"
#include "scanners/registry/FileTypes.h"
#include "support/FindingChecks.h"
#include "support/Sandbox.h"

using namespace tw;
using namespace tw::test;

namespace {

struct CommandRow {
    const char* command;
    const char* path;
};

void CheckCommands(std::initializer_list<CommandRow> rows) {
    for (const CommandRow& row : rows) {
        CAPTURE(row.command);
        CHECK(ExtractCommandPath(row.command) == row.path);
    }
}

const std::string kClasses = "Software\\CLASSES\\";

// A class table under the sandboxed machine root, with programs in a scratch folder.
struct ClassWorld {
    RegistrySandbox sandbox;
    ScratchDir dir;
    std::string program;

    ClassWorld() : program(dir.File("app.exe")) {}

    void Verb(const std::string& cls, const std::string& verb, const std::string& label, const std::string& command) {
        // Through the wide calls, which take paths of any length.
        const std::wstring path = AnsiToWide(kClasses + cls + "\\Shell\\" + verb);
        SetWideString(HKEY_LOCAL_MACHINE, path + L"\\Command", L"", AnsiToWide(command));
        if (!label.empty()) SetWideString(HKEY_LOCAL_MACHINE, path, L"", AnsiToWide(label));
    }
    std::string Missing() const { return "\"" + dir.Path() + "\\gone.exe\" \"%1\""; }
    std::string Present() const { return "\"" + program + "\" \"%1\""; }

    std::vector<Finding> Scan(uint32_t major = 5) {
        ScanContext ctx;
        ctx.os = OsFamily(major);
        CollectingSink sink;
        FileTypeScan scanner(ctx, sink);
        scanner.ScanClasses();
        statuses = sink.statuses;
        return sink.findings;
    }
    std::vector<std::string> statuses;
};

Finding F(const std::string& location, const std::string& description) {
    return Finding{"HKEY_LOCAL_MACHINE", kClasses + location, "", description, 0, FindingKind::RegistryKey};
}

}  // namespace

TEST_CASE("command-path extraction") {
    SUBCASE("quotes: an opening quote and the closing one; a lone quote") {
        CheckCommands({
            {"\"C:\\Program Files\\App\\app.exe\" \"%1\"", "C:\\Program Files\\App\\app.exe"},
            {"\"\"C:\\Tools\\app.exe\" x", "C:\\Tools\\app.exe"},  // two opening quotes both go
            {"\"C:\\Tools\\app.exe", "C:\\Tools\\app.exe"},        // no closing quote: nothing else
            {"C:\\Tools\\app.exe \"%1\"", "C:\\Tools\\app.exe"},   // argument's quotes, then .exe cut
            {"\"\"", ""},
            {"", ""},
        });
    }
    SUBCASE("program cut: only the lower-case .exe followed by a blank") {
        CheckCommands({
            {"C:\\Tools\\app.exe /dde", "C:\\Tools\\app.exe"},
            {"C:\\Tools\\app.exe", "C:\\Tools\\app.exe"},
            {"C:\\a.exe.dir\\b.exe x", "C:\\a.exe"},  // the first .exe counts, as the rule says
            {"C:\\Tools\\APP.EXE x", "C:\\Tools\\APP.EXE x"},
            {"C:\\Tools\\app.exex y", "C:\\Tools\\app.exex y"},
        });
    }
    SUBCASE("argument cuts only after a dot and three characters") {
        CheckCommands({
            {"C:\\WINDOWS\\NOTEPAD.EXE %1", "C:\\WINDOWS\\NOTEPAD.EXE"},
            {"C:\\Program Files\\App\\app.com -x", "C:\\Program Files\\App\\app.com"},
            {"C:\\Tools\\lib.dll,Entry", "C:\\Tools\\lib.dll"},
            {"C:\\Tools\\lib.dll ,Entry", "C:\\Tools\\lib.dll"},
            {"C:\\Tools\\app.bat /q", "C:\\Tools\\app.bat"},
            {"C:\\Program Files\\App\\tool", "C:\\Program Files\\App\\tool"},
            {"C:\\Program Files\\App\\tool /x", "C:\\Program Files\\App\\tool /x"},
            {"C:\\Tools\\ab.cd,x", "C:\\Tools\\ab.cd,x"},  // two characters after the dot: no cut
        });
    }
    SUBCASE("double-byte text passes through untouched") {
        CheckCommands({
            {"\"C:\\程序\\应用.exe\" \"%1\"", "C:\\程序\\应用.exe"},
            {"C:\\乗\\tool.exe /x", "C:\\乗\\tool.exe"},
        });
    }
}

TEST_CASE("file-type scanner: extensions without a handler (pass 1)") {
    ClassWorld w;
    MakeKey(HKEY_LOCAL_MACHINE, kClasses + ".bare");
    MakeKey(HKEY_LOCAL_MACHINE, kClasses + ".shellonly\\Shell\\Open");
    MakeKey(HKEY_LOCAL_MACHINE, kClasses + ".twosubs\\Shell\\Open");
    MakeKey(HKEY_LOCAL_MACHINE, kClasses + ".twosubs\\ShellNew");
    MakeKey(HKEY_LOCAL_MACHINE, kClasses + ".openset\\Shell\\Open");
    SetString(HKEY_LOCAL_MACHINE, kClasses + ".openset\\Shell\\Open", "", "Read");
    MakeKey(HKEY_LOCAL_MACHINE, kClasses + ".valued");
    SetString(HKEY_LOCAL_MACHINE, kClasses + ".valued", "Content Type", "text/plain");
    MakeKey(HKEY_LOCAL_MACHINE, kClasses + "txtfile");
    SetString(HKEY_LOCAL_MACHINE, kClasses + ".txt", "", "txtfile");

    CheckSame(w.Scan(), {F(".bare", "无效文件类型: .bare"), F(".shellonly", "无效文件类型: .shellonly")});
    REQUIRE_FALSE(w.statuses.empty());
    CHECK(w.statuses[0].rfind("扫描：检查类和文件关联错误   ", 0) == 0);
}

TEST_CASE("file-type scanner: the verb report rule") {
    ClassWorld w;
    SUBCASE("one of two verbs with an empty command: that verb key, labelled by its text or the class") {
        w.Verb("twoverbs", "open", "打开", "");
        w.Verb("twoverbs", "print", "", w.Present());
        w.Verb("nolabel", "open", "", "");
        w.Verb("nolabel", "edit", "", w.Present());
        CheckSame(w.Scan(), {F("twoverbs\\Shell\\open", "无效右键菜单: 打开"),
                             F("nolabel\\Shell\\open", "无效右键菜单: nolabel")});
    }
    SUBCASE("a verb key with three subkeys: its command key only; with two, the verb key") {
        w.Verb("deep", "open", "", w.Missing());
        MakeKey(HKEY_LOCAL_MACHINE, kClasses + "deep\\Shell\\open\\ddeexec");
        MakeKey(HKEY_LOCAL_MACHINE, kClasses + "deep\\Shell\\open\\DropTarget");
        w.Verb("dde", "open", "", w.Missing());
        MakeKey(HKEY_LOCAL_MACHINE, kClasses + "dde\\Shell\\open\\ddeexec");
        w.Verb("dde", "print", "", w.Present());
        CheckSame(w.Scan(), {F("deep\\Shell\\open\\Command", "无效右键菜单: deep"),
                             F("dde\\Shell\\open", "无效右键菜单: dde")});
    }
    SUBCASE("the only verb, a shell key with two values: the verb key") {
        w.Verb("shellvals", "open", "", w.Missing());
        SetString(HKEY_LOCAL_MACHINE, kClasses + "shellvals\\Shell", "", "open");
        SetString(HKEY_LOCAL_MACHINE, kClasses + "shellvals\\Shell", "Extended", "");
        CheckSame(w.Scan(), {F("shellvals\\Shell\\open", "无效右键菜单: shellvals")});
    }
    SUBCASE("the only verb of a class with more in it: the shell key") {
        w.Verb("busy", "open", "", w.Missing());
        MakeKey(HKEY_LOCAL_MACHINE, kClasses + "busy\\CLSID");
        w.Verb("twovalues", "open", "", w.Missing());
        SetString(HKEY_LOCAL_MACHINE, kClasses + "twovalues", "", "Two");
        SetString(HKEY_LOCAL_MACHINE, kClasses + "twovalues", "EditFlags", "0");
        CheckSame(w.Scan(), {F("busy\\Shell", "无效右键菜单: busy"), F("twovalues\\Shell", "无效右键菜单: twovalues")});
    }
    SUBCASE("a class of nothing but one dead verb (and an icon) goes whole, with the extensions naming it") {
        w.Verb("Orphan", "open", "", w.Missing());
        SetString(HKEY_LOCAL_MACHINE, kClasses + "Orphan", "", "Old document");
        MakeKey(HKEY_LOCAL_MACHINE, kClasses + "Orphan\\DefaultIcon");
        SetString(HKEY_LOCAL_MACHINE, kClasses + ".orp", "", "Orphan");
        SetString(HKEY_LOCAL_MACHINE, kClasses + ".orq", "", "orphan");  // other letter case: exists, no match
        std::vector<Finding> got = w.Scan();
        CheckSame(got, {F("Orphan", "无效右键菜单: Orphan"), F(".orp", "无效文件类型: Orphan")});
        REQUIRE(got.size() == 2);
        CHECK(got[0].location == kClasses + "Orphan");  // pass 2 before pass 3
    }
    SUBCASE("verbs that are never judged") {
        MakeKey(HKEY_LOCAL_MACHINE, kClasses + "nocmd\\Shell\\open");
        MakeKey(HKEY_LOCAL_MACHINE, kClasses + "nocmd\\Shell\\print");
        w.Verb("dll", "open", "", "C:\\WINDOWS\\RUNDLL32.EXE C:\\gone.dll,Run");
        w.Verb("relative", "open", "", "gone.exe %1");
        w.Verb("envvar", "open", "", "%SystemRoot%\\gone.exe %1");
        w.Verb("fine", "open", "", w.Present());
        CheckSame(w.Scan(), {});
    }
    SUBCASE("texts the code page cannot hold are not judged by their look-alikes") {
        // "x\u00b2" holds the program; its look-alike "x2" is missing. Class "Odd\u00b2" exists;
        // "Odd2" does not.
        const std::wstring odd = AnsiToWide(w.dir.Path()) + L"\\x\u00b2";
        REQUIRE(CreateDirectoryW(odd.c_str(), nullptr));
        REQUIRE(CloseHandle(CreateFileW((odd + L"\\app.exe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)));
        SetWideString(HKEY_LOCAL_MACHINE, AnsiToWide(kClasses) + L"oddverb\\Shell\\open\\Command", L"",
                      L"\"" + odd + L"\\app.exe\" \"%1\"");
        SetWideString(HKEY_LOCAL_MACHINE, AnsiToWide(kClasses) + L"Odd\u00b2\\Shell\\open\\Command", L"",
                      AnsiToWide(w.Present()));
        SetWideString(HKEY_LOCAL_MACHINE, AnsiToWide(kClasses) + L".oddext", L"", L"Odd\u00b2");
        CheckSame(w.Scan(), {});
    }
    SUBCASE("a program that is a folder is no program") {
        w.Verb("folder", "open", "", "\"" + w.dir.Path() + "\" \"%1\"");
        w.Verb("folder", "edit", "", w.Present());
        CheckSame(w.Scan(), {F("folder\\Shell\\open", "无效右键菜单: folder")});
    }
}

TEST_CASE("file-type scanner: extensions pointing to a missing class (pass 3)") {
    ClassWorld w;
    SetString(HKEY_LOCAL_MACHINE, kClasses + ".lost", "", "NoSuchClass");
    SetString(HKEY_LOCAL_MACHINE, kClasses + ".drive", "", "C:\\Tools\\x");
    SetString(HKEY_LOCAL_MACHINE, kClasses + ".withsub", "", "AlsoMissing");
    MakeKey(HKEY_LOCAL_MACHINE, kClasses + ".withsub\\ShellNew");
    SetString(HKEY_LOCAL_MACHINE, kClasses + ".nocls", "Content Type", "x/y");
    MakeKey(HKEY_LOCAL_MACHINE, kClasses + "Present");
    SetString(HKEY_LOCAL_MACHINE, kClasses + ".ok", "", "PRESENT");

    SUBCASE("2000/XP: only extensions without subkeys") {
        CheckSame(w.Scan(5), {F(".lost", "无效文件类型: NoSuchClass")});
    }
    SUBCASE("98 family: every extension") {
        CheckSame(w.Scan(4), {F(".lost", "无效文件类型: NoSuchClass"), F(".withsub", "无效文件类型: AlsoMissing")});
    }
}

TEST_CASE("file-type scanner: a command that is not text ends its run, the Findings stay") {
    ClassWorld w;
    MakeKey(HKEY_LOCAL_MACHINE, kClasses + ".bare");
    MakeKey(HKEY_LOCAL_MACHINE, kClasses + "binary\\Shell\\open\\Command");
    SetBinary(HKEY_LOCAL_MACHINE, kClasses + "binary\\Shell\\open\\Command", "", std::string("\x01\x02", 2));
    SetString(HKEY_LOCAL_MACHINE, kClasses + ".lost", "", "NoSuchClass");

    SUBCASE("the passes throw") {
        ScanContext ctx;
        CollectingSink sink;
        FileTypeScan scanner(ctx, sink);
        CHECK_THROWS_AS(scanner.ScanClasses(), RegistryError);
        CheckSame(sink.findings, {F(".bare", "无效文件类型: .bare")});
    }
    SUBCASE("the thread ends silently and hands over what it found") {
        UiDispatcher ui;
        CollectingSink target;
        HandOverSink sink(ui, target);
        ScanContext ctx;
        FileTypeScan scanner(ctx, sink);
        REQUIRE(scanner.Start());
        HANDLE h = scanner.Handle();
        WaitPumping(&h, 1);
        CheckSame(target.findings, {F(".bare", "无效文件类型: .bare")});
        CHECK_FALSE(scanner.Failure().empty());  // for the scan's closing report
    }
}

TEST_CASE("file-type scanner: a stop request ends the passes at the next entry") {
    ClassWorld w;
    for (int i = 0; i < 20; ++i) MakeKey(HKEY_LOCAL_MACHINE, kClasses + ".e" + std::to_string(i));
    ScanContext ctx;
    CollectingSink sink;
    FileTypeScan scanner(ctx, sink);
    scanner.Terminate();
    scanner.ScanClasses();
    CHECK(sink.findings.empty());
    CHECK(sink.statuses.empty());
}

TEST_CASE("file-type scanner: programs that run are not reported, however the command names them") {
    ClassWorld w;
    const std::string windows = WindowsDirectory();
    // Pass 1: an extension whose Shell and Open defaults are empty, but whose Open command runs.
    const std::string openKey = kClasses + ".openworks\\Shell\\Open\\Command";
    SetString(HKEY_LOCAL_MACHINE, openKey, "", w.Present());
    SetString(HKEY_LOCAL_MACHINE, kClasses + ".opengone\\Shell\\Open\\Command", "", w.Missing());
    // Pass 2: one verb per class, every class holding nothing else (a dead one goes whole).
    const struct {
        std::string cls;
        std::string command;
        bool reported;
    } verbs[] = {
        {"searchpath", "notepad.exe C:\\x.txt", false},  // a bare program, found as the system finds it
        {"noextension", "\"" + windows + "\\notepad\" %1", false},
        {"barenoext", "\"notepad\" \"C:\\x.txt\"", false},  // tried with ".exe" as the system does
        {"varprogram", "%SystemRoot%\\notepad.exe C:\\x.txt", false},  // an unexpanded variable: cannot tell
        {"literal", "\\\\?\\" + windows + "\\notepad.exe %1", false},
        {"shortname", "\"" + w.dir.Path() + "\\APPFOL~1\\app.exe\" \"%1\"", false},
        {"gonenoext", "\"" + w.dir.Path() + "\\gone\" %1", true},
        {std::string(240, 'L'), w.Missing(), true},  // a class name past the length of a whole path
    };
    for (const auto& v : verbs) w.Verb(v.cls, "open", "", v.command);
    std::vector<Finding> want = {F(".opengone", "无效文件类型: .opengone")};
    for (const auto& v : verbs)
        if (v.reported) want.push_back(F(v.cls, "无效右键菜单: " + v.cls));
    CheckSame(w.Scan(), want);
}

TEST_CASE("file-type scanner: icons of missing files, and the verbs of the programs under Applications") {
    ClassWorld w;
    ScopedSeams seams;  // D: is a CD drive, N: a network drive
    auto real = seams->driveType;
    seams->driveType = [real](const std::string& root) -> UINT {
        const char d = root.empty() ? 0 : static_cast<char>(root[0] & ~0x20);
        return d == 'D' ? DRIVE_CDROM : d == 'N' ? DRIVE_REMOTE : real(root);
    };
    const std::string icon = w.dir.File("app.ico");
    const struct {
        const char* key;  // a class or an extension
        std::string reference;
        bool reported;
    } icons[] = {
        {"iconok", icon, false},
        {"iconindex", w.program + ",1", false},
        {"iconquoted", "\"" + icon + "\"", false},
        {"iconself", "%1", false},
        {"iconvar", "%SystemRoot%\\notepad.exe,0", false},
        {"icongone", w.dir / "gone.ico", true},
        {"icongoneindex", w.dir / "gone.dll,-3", true},
        {"iconcdrom", "D:\\twgone\\gone.ico", false},  // not a fixed disk: never judged
        {"iconnetwork", "N:\\twgone\\gone.dll,1", false},
        {".iconext", w.dir / "gone.ico", true},
    };
    for (const auto& i : icons) SetString(HKEY_LOCAL_MACHINE, kClasses + i.key + "\\DefaultIcon", "", i.reference);
    SetString(HKEY_LOCAL_MACHINE, kClasses + ".iconext", "", "iconok");
    w.Verb("Applications\\gone.exe", "open", "", w.Missing());
    w.Verb("Applications\\works.exe", "open", "", w.Present());
    SetString(HKEY_LOCAL_MACHINE, kClasses + "Applications\\works.exe", "FriendlyAppName", "Works");

    std::vector<Finding> want = {F("Applications\\gone.exe", "无效右键菜单: Applications\\gone.exe")};
    for (const auto& i : icons) {
        if (!i.reported) continue;
        Finding f = F(std::string(i.key) + "\\DefaultIcon", "无效文件图标: " + i.reference);
        f.keyName = kDefaultValueMarker;  // the icon setting only, never the class
        f.kind = FindingKind::RegistryDefaultValue;
        want.push_back(f);
    }
    CheckSame(w.Scan(), want);
}
