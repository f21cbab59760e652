// Wine's leftovers on the Linux desktop, run by tests/wine_desktop.sh: it points HOME,
// XDG_DATA_HOME and XDG_CONFIG_HOME at scratch folders below TW_WINE_SCRATCH (a Unix path)
// before Wine starts, so that what the tests plant, and what repair moves to the trash, stays
// there. The script also plants on the host what Wine cannot make (symbolic links, folders and
// files the user cannot read) and runs the cases as a user who is not root would.
#include <doctest.h>

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "platform/ComHandle.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/WineHost.h"
#include "repair/Repair.h"
#include "scanners/FindingList.h"
#include "scanners/IgnoreList.h"
#include "scanners/disk/WineDesktopEntries.h"
#include "support/QuietRepairView.h"
#include "support/ScriptedRepairUi.h"
#include "support/Sandbox.h"
#include "support/ScriptedMessages.h"

using namespace tw;
using namespace tw::test;

namespace {

// The scratch folder the script made (a case without it is skipped).
std::string Scratch() {
    const char* s = getenv("TW_WINE_SCRATCH");
    return s ? s : "";
}
bool Unset(const char* variable) { return !getenv(variable) || !*getenv(variable); }

// A host file below the scratch folder, written through Wine's mapping; the path in the host's
// own bytes (UTF-8), the text as Wine writes it (UTF-8).
void PlantHost(const std::string& utf8Path, const std::string& text) {
    const std::wstring dos = DosPathOfHostPath(utf8Path);
    REQUIRE_FALSE(dos.empty());
    SHCreateDirectoryExW(nullptr, dos.substr(0, dos.rfind(L'\\')).c_str(), nullptr);
    HANDLE h = CreateFileW(dos.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
}
// The same with the path and text in the program's code page.
void Plant(const std::string& unixPath, const std::string& text) { PlantHost(AnsiToUtf8(unixPath), AnsiToUtf8(text)); }
bool HostExists(const std::string& unixPath) {
    const PathState s = QueryPath(DosPathOfUnix(unixPath));
    return s == PathState::File || s == PathState::Directory;
}

std::string Launcher(const std::string& exec, const std::string& icon = "") {
    return "[Desktop Entry]\nName=App\nExec=" + exec + "\nType=Application\nStartupNotify=true\n" +
           (icon.empty() ? "" : "Icon=" + icon + "\n");
}
std::string Association(const std::string& prefix, const std::string& progId, const std::string& ext,
                        const std::string& icon = "") {
    return "[Desktop Entry]\nType=Application\nName=App\nMimeType=application/x-wine-extension-" + ext +
           ";\nExec=env WINEPREFIX=\"" + prefix + "\" wine start /ProgIDOpen " + progId +
           " %f\nNoDisplay=true\nStartupNotify=true\n" + (icon.empty() ? "" : "Icon=" + icon + "\n");
}
std::string MimeType(const std::string& ext) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<mime-info "
           "xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n  <mime-type "
           "type=\"application/x-wine-extension-" + ext + "\">\n    <glob pattern=\"*." + ext +
           "\"/>\n  </mime-type>\n</mime-info>\n";
}
std::string Menu(const std::vector<std::string>& dirs, const std::string& file) {
    std::string m = "<!DOCTYPE Menu>\n<Menu>\n  <Name>Applications</Name>\n";
    for (const std::string& d : dirs) m += "  <Menu>\n    <Name>" + d + "</Name>\n    <Directory>" + d + ".directory</Directory>\n";
    m += "    <Include>\n      <Filename>" + file + "</Filename>\n    </Include>\n";
    for (size_t i = 0; i < dirs.size(); ++i) m += "  </Menu>\n";
    return m + "</Menu>\n";
}
// A Windows path as Wine 8 writes it into an Exec line: desktop-entry escapes over the shell's.
std::string EscapedForExec(const std::string& path) {
    std::string out;
    for (char c : path) out += c == '\\' ? "\\\\\\\\" : c == ' ' ? "\\\\ " : std::string(1, c);
    return out;
}
std::string Env(const std::string& prefix) { return "env WINEPREFIX=\"" + prefix + "\" wine "; }

// XDG folders of one case's own (a scratch folder holding data/ and config/); the category reads
// the process's environment, and the C runtime's copy keeps the script's for the way back.
struct ScopedXdg {
    explicit ScopedXdg(const std::string& unixPath) {
        SetEnvironmentVariableA("XDG_DATA_HOME", (unixPath + "/data").c_str());
        SetEnvironmentVariableA("XDG_CONFIG_HOME", (unixPath + "/config").c_str());
    }
    ~ScopedXdg() {
        SetEnvironmentVariableA("XDG_DATA_HOME", getenv("XDG_DATA_HOME"));
        SetEnvironmentVariableA("XDG_CONFIG_HOME", getenv("XDG_CONFIG_HOME"));
    }
};

std::set<std::string> Reported(const std::vector<Finding>& findings) {
    std::set<std::string> out;
    for (const Finding& f : findings) out.insert(f.caption + " " + f.location);
    return out;
}
std::vector<Finding> Scan() {
    CollectingSink sink;
    ScanWineDesktopEntries(ScanContext{}, sink);
    return sink.findings;
}

}  // namespace

TEST_CASE("Exec lines: only the forms Wine writes are read, with their prefix and target") {
    struct Row { const char* exec; WineExec::Form form; const char* prefix; const char* target; };
    const Row table[] = {
        {"env WINEPREFIX=\"/home/u/.wine-app\" wine C:\\\\\\\\users\\\\\\\\u\\\\\\\\Start\\\\ Menu\\\\\\\\App.lnk",
         WineExec::Shortcut, "/home/u/.wine-app", "C:\\users\\u\\Start Menu\\App.lnk"},
        {"wine64 C:\\\\\\\\a\\\\\\\\App.LNK", WineExec::Shortcut, "", "C:\\a\\App.LNK"},
        {"env WINEPREFIX=\"/p\" /opt/wine-stable/bin/wine C:\\\\\\\\a.lnk", WineExec::Shortcut, "/p", "C:\\a.lnk"},
        {"env WINEPREFIX=\"/home/u/.wine\" wine C:\\\\windows\\\\command\\\\start.exe /Unix "
         "/home/u/.wine/dosdevices/c:/users/Public/Desktop/My\\\\ App.lnk",
         WineExec::UnixShortcut, "/home/u/.wine", "/home/u/.wine/dosdevices/c:/users/Public/Desktop/My App.lnk"},
        {"wine-stable C:\\\\\\\\windows\\\\\\\\command\\\\\\\\start.exe /Unix /h/.wine/dosdevices/c:/a.lnk",
         WineExec::UnixShortcut, "", "/h/.wine/dosdevices/c:/a.lnk"},
        {"env WINEPREFIX=\"/home/u/.w\" wine start /ProgIDOpen txtfile %f", WineExec::Association, "/home/u/.w", "txtfile"},
        // A launcher on the host's desktop starts the shortcut's program, with its arguments.
        {"env WINEPREFIX=\"/p\" wine-stable C:\\\\\\\\windows\\\\\\\\notepad.exe ", WineExec::Program, "/p",
         "C:\\windows\\notepad.exe"},
        {"wine C:\\\\\\\\Program\\\\ Files\\\\\\\\a.exe -x", WineExec::Program, "", "C:\\Program Files\\a.exe"},
        // Not Wine's: another program, another argument, a relative prefix, an unclosed quote.
        {"/usr/bin/gedit %f", WineExec::None, "", ""},
        {"winetricks C:\\\\\\\\a.lnk", WineExec::None, "", ""},
        {"wine C:\\\\\\\\a.lnk --evil", WineExec::None, "", ""},
        {"wine a.exe", WineExec::None, "", ""},
        {"env WINEPREFIX=rel wine C:\\\\\\\\a.lnk", WineExec::None, "", ""},
        {"env WINEPREFIX=\"/p wine C:\\\\\\\\a.lnk", WineExec::None, "", ""},
        {"wine start /ProgIDOpen txtfile", WineExec::None, "", ""},
        {"", WineExec::None, "", ""},
    };
    for (const Row& r : table) {
        CAPTURE(r.exec);
        const WineExec e = ParseWineExec(r.exec);
        CHECK(e.form == r.form);
        if (r.form == WineExec::None) continue;
        CHECK(e.prefix == r.prefix);
        CHECK(e.target == r.target);
    }
}

TEST_CASE("planted leftovers: only the stale ones are reported, repair moves exactly those to the trash" *
          doctest::skip(Unset("TW_WINE_SCRATCH"))) {
    const std::string s = Scratch();
    WineHostFolders folders;
    REQUIRE(FindWineHostFolders(folders));
    REQUIRE(folders.dataHome == s + "/data");
    REQUIRE(folders.configHome == s + "/config");
    // As xdg-user-dir reads the script's user-dirs.dirs: XDG_DESKTOP_DIR="$HOME/Schreibtisch".
    CHECK(folders.desktop == s + "/home/Schreibtisch");
    const std::string data = folders.dataHome, config = folders.configHome, apps = data + "/applications";
    const std::string menus = config + "/menus/applications-merged", dirs = data + "/desktop-directories";
    const std::string here = folders.thisPrefix, gone = s + "/gone-prefix", other = s + "/other-prefix";
    Plant(other + "/system.reg", "");
    CreateDirectoryA(DosPathOfUnix(s + "/emptymount").c_str(), nullptr);  // a mount point without its disk
    RegistrySandbox registry;
    MakeKey(HKEY_CLASSES_ROOT, "TwLive.Doc");
    ScratchDir c;
    const std::string liveLnk = c.File("Start Menu\\Live.lnk"), goneLnk = c / "Start Menu\\Gone.lnk";
    auto lnk = [&c](const std::string& name) { return EscapedForExec(c / ("Start Menu\\" + name)); };
    auto groupMenu = [](const std::string& group, const std::string& app) {
        return Menu({"wine-wine", "wine-Programs", "wine-Programs-" + group}, "wine-Programs-" + group + "-" + app + ".desktop");
    };
    const std::string directory = "[Desktop Entry]\nType=Directory\n";

    struct Planted { std::string path, text; const char* caption; };  // caption: reported as
    const std::vector<Planted> planted = {
        {apps + "/wine/Programs/Gone/Gone.desktop", Launcher(Env(gone) + EscapedForExec("C:\\x\\Gone.lnk")), kWineLauncherCaption},
        {apps + "/wine/Programs/Old.desktop",
         Launcher(Env(gone) + "C:\\\\\\\\windows\\\\\\\\command\\\\\\\\start.exe /Unix " + gone + "/dosdevices/c:/Old.lnk"),
         kWineLauncherCaption},
        {apps + "/wine/Programs/Here/Missing.desktop", Launcher(Env(here) + EscapedForExec(goneLnk)), kWineLauncherCaption},
        {apps + "/wine/Programs/Here/Live.desktop", Launcher(Env(here) + EscapedForExec(liveLnk)), nullptr},
        // This prefix written with a trailing "/", or through a link to it: the real path decides.
        {apps + "/wine/Programs/Here/Slash.desktop", Launcher(Env(here + "/") + lnk("Slash.lnk")), kWineLauncherCaption},
        {apps + "/wine/Programs/Here/ViaLink.desktop", Launcher(Env(s + "/prefix-link") + lnk("ViaLink.lnk")),
         kWineLauncherCaption},
        // Another prefix that exists is never judged beyond that.
        {apps + "/wine/Programs/Other.desktop", Launcher(Env(other) + EscapedForExec("C:\\nowhere\\Other.lnk")), nullptr},
        {apps + "/wine/Programs/Hand.desktop", Launcher("env WINEPREFIX=\"" + gone + "\" /usr/bin/gedit %f"), nullptr},
        // A prefix on a disk that is not mounted now may come back with it.
        {apps + "/wine/Programs/Media.desktop", Launcher(Env("/media/twnodisk/wine") + lnk("M.lnk")), nullptr},
        {apps + "/wine/Programs/Mnt.desktop", Launcher(Env("/mnt/twnodisk/wine") + lnk("M.lnk")), nullptr},
        {apps + "/wine/Programs/Unmounted.desktop", Launcher(Env(s + "/emptymount/games/.wine") + lnk("M.lnk")), nullptr},
        // In a folder on the ignore list: reported, never repaired.
        {apps + "/wine/Programs/Ignored/Kept.desktop", Launcher(Env(gone) + lnk("Kept.lnk")), kWineLauncherCaption},
        // A group named in Chinese: the menu names its launcher in the host's UTF-8.
        {apps + "/wine/Programs/游戏/App.desktop", Launcher(Env(other) + lnk("App.lnk")), nullptr},
        {menus + "/wine-Programs-游戏-App.menu", groupMenu("游戏", "App"), nullptr},
        {dirs + "/wine-Programs-游戏.directory", directory, nullptr},
        {menus + "/wine-Programs-Gone-Gone.menu", groupMenu("Gone", "Gone"), kWineMenuCaption},
        {menus + "/wine-Programs-Here-Live.menu", groupMenu("Here", "Live"), nullptr},
        {menus + "/user.menu", Menu({}, "wine-Programs-Gone-Gone.desktop"), nullptr},
        {dirs + "/wine-Programs-Gone.directory", directory + "Name=Gone\n", kWineMenuFolderCaption},
        {dirs + "/wine-Programs-Here.directory", directory, nullptr},
        {dirs + "/wine-wine.directory", directory, nullptr},
        // Beside what the script made (a valid launcher in a folder the user cannot read, a menu
        // file that cannot be read, a dangling one, an association that cannot be read) and a
        // menu of 10 MB: each is "cannot tell" alone, what it may use stays, the rest is judged.
        {menus + "/wine-Programs-Locked-Valid.menu", groupMenu("Locked", "Valid"), nullptr},
        {dirs + "/wine-Programs-Locked.directory", directory, nullptr},
        {dirs + "/wine-Programs-Unread.directory", directory, nullptr},
        {menus + "/wine-Programs-Big-App.menu", std::string(10 << 20, ' ') + groupMenu("Big", "App"), nullptr},
        {dirs + "/wine-Programs-Big.directory", directory, nullptr},
        {data + "/mime/packages/x-wine-extension-unr.xml", MimeType("unr"), nullptr},
        // Used only by the menu of a launcher in a folder named in Korean (planted below).
        {dirs + "/wine-Extra.directory", directory, nullptr},
        {apps + "/wine-extension-gon.desktop", Association(gone, "TwLive.Doc", "gon"), kWineAssociationCaption},
        {apps + "/wine-extension-nop.desktop", Association(here, "TwGone.Doc", "nop"), kWineAssociationCaption},
        {apps + "/wine-extension-liv.desktop", Association(here, "TwLive.Doc", "liv"), nullptr},
        {apps + "/wine-extension-oth.desktop", Association(other, "TwGone.Doc", "oth"), nullptr},
        {apps + "/wine-extension-hnd.desktop",
         "[Desktop Entry]\nMimeType=application/x-wine-extension-hnd;\nExec=gedit %f\n", nullptr},
        {data + "/mime/packages/x-wine-extension-gon.xml", MimeType("gon"), kWineMimeTypeCaption},
        {data + "/mime/packages/x-wine-extension-nop.xml", MimeType("nop"), kWineMimeTypeCaption},
        {data + "/mime/packages/x-wine-extension-liv.xml", MimeType("liv"), nullptr},
        {data + "/mime/packages/x-wine-extension-oth.xml", MimeType("oth"), nullptr},
        {data + "/mime/packages/x-wine-extension-hnd.xml", MimeType("hnd"), nullptr},
    };
    for (const Planted& p : planted) Plant(p.path, p.text);
    const std::string korean = u8"한국어";
    PlantHost(AnsiToUtf8(apps) + "/wine/Extra/" + korean + "/App.desktop", Launcher(Env(other) + lnk("K.lnk")));
    PlantHost(AnsiToUtf8(menus) + "/wine-Extra-" + korean + "-App.menu",
              Menu({"wine-wine", "wine-Extra", "wine-Extra-" + korean}, "wine-Extra-" + korean + "-App.desktop"));
    REQUIRE(CreateDirectoryA(DosPathOfUnix(apps + "/wine/Empty").c_str(), nullptr));

    std::set<std::string> expected;
    for (const Planted& p : planted)
        if (p.caption) expected.insert(std::string(p.caption) + " " + p.path);
    for (const char* folder : {"/wine/Empty", "/wine/Programs/Gone", "/wine/Programs/Ignored"})
        expected.insert(std::string(kWineMenuFolderCaption) + " " + apps + folder);

    CollectingSink sink;
    ScanWineDesktopEntries(ScanContext{}, sink);
    INFO(Lines(sink.findings));
    CHECK(Reported(sink.findings) == expected);
    for (const Finding& f : sink.findings) {
        CHECK(f.OnHost());
        if (f.location == apps + "/wine/Programs/Here/Missing.desktop") {
            CHECK(f.description == "快捷方式已不存在：" + goneLnk);
            CHECK(f.missingPaths == std::vector<std::string>{goneLnk});
        }
        if (f.location == apps + "/wine/Programs/Gone/Gone.desktop")
            CHECK(f.description == "所属的 Wine 前缀已不存在：" + gone);
    }
    // Launchers come before the menus and folders that only hold them: repair in list order
    // empties a folder before it comes to it.
    REQUIRE(sink.findings.size() == expected.size());

    // The missing shortcut is back before repair: that launcher stays.
    c.File("Start Menu\\Gone.lnk");
    FindingList list;
    for (const Finding& f : sink.findings) list.Add(f);
    QuietRepairView view;
    ScopedSeams seams;
    std::vector<std::string> started;
    seams->startProgram = [&](const std::string& cmd) {
        started.push_back(cmd);
        return true;
    };
    IgnoreList ignored(c / "Ignore.ini");
    REQUIRE(ignored.Add({kWineMenuFolderCaption, apps + "/wine/Programs/Ignored", ""}));
    RepairContext context(5);
    context.ignored = &ignored;
    {
        ScriptedRepairUi ui{false, true};  // no registry backup, then repair everything
        Repairer repairer(list, view, ui, context, [] { return true; });
        repairer.RepairAll();
        // A row whose file is gone by now is done, not "back again".
        CHECK(repairer.RepairFinding(sink.findings.front()) == RepairOutcome::AlreadyGone);
        // A launcher that is a symbolic link to a file outside: neither is touched, and the
        // repair says why.
        Finding linked = sink.findings.front();
        linked.location = apps + "/wine/Programs/Linked.desktop";
        CHECK(repairer.RepairFinding(linked) == RepairOutcome::Failed);
        CHECK_FALSE(repairer.HostSaid().empty());
    }
    CHECK(HostExists(apps + "/wine/Programs/Linked.desktop"));
    CHECK(HostExists(s + "/outside.desktop"));
    for (const Planted& p : planted) {
        CAPTURE(p.path);
        const bool stays = !p.caption || p.path == apps + "/wine/Programs/Here/Missing.desktop" ||
                           p.path == apps + "/wine/Programs/Ignored/Kept.desktop";
        CHECK(HostExists(p.path) == stays);
        // Into the desktop's trash, from which the user can take it back.
        if (!stays) CHECK(HostExists(data + "/Trash/files/" + p.path.substr(p.path.rfind('/') + 1)));
    }
    CHECK_FALSE(HostExists(apps + "/wine/Empty"));
    CHECK_FALSE(HostExists(apps + "/wine/Programs/Gone"));
    CHECK(HostExists(apps + "/wine/Programs/Here"));
    // The caches are brought up to date with the host's tools where it has them, once.
    std::vector<std::string> tools;
    const std::string mimeTool = DosPathOfUnix("/usr/bin/update-mime-database");
    const std::string desktopTool = DosPathOfUnix("/usr/bin/update-desktop-database");
    if (FileExists(desktopTool)) tools.push_back("\"" + desktopTool + "\" \"" + apps + "\"");
    if (FileExists(mimeTool)) tools.push_back("\"" + mimeTool + "\" \"" + data + "/mime\"");
    CHECK(started == tools);
}

TEST_CASE("the desktop's launchers and Wine's icons: judged as the launchers are, only Wine's own" *
          doctest::skip(Unset("TW_WINE_SCRATCH"))) {
    const std::string s = Scratch(), data = s + "/icons/data", desk = s + "/home/Desktop";
    ScopedXdg xdg(s + "/icons");
    WineHostFolders folders;
    REQUIRE(FindWineHostFolders(folders));
    REQUIRE(folders.dataHome == data);
    REQUIRE(folders.desktop == desk);  // no user-dirs.dirs: as xdg-user-dir, ~/Desktop
    const std::string here = folders.thisPrefix, gone = s + "/gone-prefix", other = s + "/other-prefix";
    const std::string apps = data + "/applications", icons = data + "/icons/hicolor/32x32/apps";
    Plant(other + "/system.reg", "");
    ScratchDir c;
    const std::string live = EscapedForExec(c.File("Start Menu\\Live.lnk"));
    const std::string notepad = "C:\\\\\\\\windows\\\\\\\\notepad.exe ";
    struct Planted { std::string path, text; const char* caption; };
    const std::vector<Planted> planted = {
        {apps + "/wine/Programs/Gone.desktop", Launcher(Env(gone) + live, "AAAA_gone.0"), kWineLauncherCaption},
        {apps + "/wine/Programs/Live.desktop", Launcher(Env(here) + live, "BBBB_live.0"), nullptr},
        {apps + "/wine-extension-liv.desktop", Association(other, "TwAny.Doc", "liv", "EEEE_assoc.0"), nullptr},
        // On a desktop that is the host's own, Wine's launcher starts the shortcut's program.
        {desk + "/Gone Note.desktop", Launcher(Env(gone) + notepad, "AAAA_note.0"), kWineDesktopFileCaption},
        {desk + "/Here Note.desktop", Launcher(Env(here) + notepad, "CCCC_desk.0"), nullptr},
        {desk + "/Here Gone.desktop", Launcher(Env(here) + "C:\\\\\\\\twgone\\\\\\\\app.exe -x"), kWineDesktopFileCaption},
        {desk + "/Pub.desktop", Launcher(Env(here) + EscapedForExec(c / "Desktop\\Pub.lnk")), kWineDesktopFileCaption},
        {desk + "/Own.desktop", Launcher("firefox %u", "DDDD_own.0"), nullptr},
        {desk + "/Sub/Deep.desktop", Launcher(Env(gone) + notepad), nullptr},  // the desktop's own entries only
        {icons + "/AAAA_gone.0.png", "png", kWineIconCaption},
        {data + "/icons/hicolor/48x48/apps/AAAA_gone.0.png", "png", kWineIconCaption},
        {icons + "/AAAA_note.0.png", "png", kWineIconCaption},
        {icons + "/BBBB_live.0.png", "png", nullptr},
        {icons + "/CCCC_desk.0.png", "png", nullptr},
        {icons + "/DDDD_own.0.png", "png", nullptr},
        {icons + "/EEEE_assoc.0.png", "png", nullptr},
        {icons + "/firefox.png", "png", nullptr},  // not in Wine's naming: another program's
        {data + "/pixmaps/FFFF_old.0.xpm", "xpm", kWineIconCaption},
    };
    for (const Planted& p : planted) Plant(p.path, p.text);
    std::set<std::string> expected;
    for (const Planted& p : planted)
        if (p.caption) expected.insert(std::string(p.caption) + " " + p.path);
    const std::vector<Finding> found = Scan();
    INFO(Lines(found));
    CHECK(Reported(found) == expected);

    FindingList list;
    for (const Finding& f : found) list.Add(f);
    QuietRepairView view;
    ScriptedRepairUi ui;
    Repairer repairer(list, view, ui, RepairContext(5), nullptr);
    REQUIRE(repairer.RepairAllQuietly(nullptr));
    for (const Planted& p : planted) {
        CAPTURE(p.path);
        CHECK(HostExists(p.path) == !p.caption);
    }
    // Nothing that this repair left or made stale: a new scan finds nothing.
    CHECK(Scan().empty());
}

TEST_CASE("a trash that cannot take a file: the repair fails and says why, the file stays" *
          doctest::skip(Unset("TW_WINE_SCRATCH"))) {
    // The script made trash-locked/data/Trash with an "info" folder the user cannot write to.
    const std::string s = Scratch();
    for (const char* xdg : {"/trash-plain", "/trash-locked"}) {
        const std::string data = s + xdg + "/data", launcher = data + "/applications/wine/T.desktop";
        CAPTURE(data);
        ScopedXdg scoped(s + xdg);
        if (std::string(xdg) == "/trash-plain") Plant(data + "/Trash", "a file, not a folder");
        Plant(launcher, Launcher(Env(s + "/gone-prefix") + "C:\\\\\\\\x\\\\\\\\T.lnk"));
        const std::vector<Finding> found = Scan();
        REQUIRE(found.size() == 1);
        FindingList list;
        QuietRepairView view;
        ScriptedRepairUi ui;
        Repairer repairer(list, view, ui, RepairContext(5), nullptr);
        CHECK(repairer.RepairFinding(found.front()) == RepairOutcome::Failed);
        CHECK(repairer.HostSaid().find("回收站") != std::string::npos);
        CHECK(HostExists(launcher));
    }
}

TEST_CASE("round trip: what Wine wrote for a prefix since deleted is reported, repair all leaves nothing stale" *
          doctest::skip(Unset("TW_WINE_MAKE_SHORTCUT") && Unset("TW_WINE_LAUNCHER"))) {
    // Step one (TW_WINE_MAKE_SHORTCUT, in the scratch prefix, Wine's menu builder on): save a
    // shortcut in the Start menu and one on the desktop, as an installer does. Step two
    // (TW_WINE_LAUNCHER, TW_WINE_DESKTOP_FILE, in the test prefix, after the script deleted the
    // scratch prefix): what Wine wrote is reported and repaired, and a new scan finds nothing.
    if (!Unset("TW_WINE_MAKE_SHORTCUT")) {
        const std::string programs = SpecialFolder(nullptr, CSIDL_PROGRAMS);
        const std::string desktop = SpecialFolder(nullptr, CSIDL_DESKTOPDIRECTORY);
        REQUIRE_FALSE(programs.empty());
        REQUIRE_FALSE(desktop.empty());
        CreateDirectoryA((programs + "\\TwRoundTrip").c_str(), nullptr);
        for (const std::string& at : {programs + "\\TwRoundTrip\\Tw App.lnk", desktop + "\\Tw Desk.lnk"}) {
            UniqueCom<IShellLinkW> link;
            REQUIRE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                               reinterpret_cast<void**>(link.put()))));
            link.get()->SetPath(L"C:\\windows\\notepad.exe");
            UniqueCom<IPersistFile> persist;
            REQUIRE(SUCCEEDED(link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(persist.put()))));
            REQUIRE(SUCCEEDED(persist.get()->Save(AnsiToWide(at).c_str(), TRUE)));
        }
        return;
    }
    const std::string launcher = getenv("TW_WINE_LAUNCHER"), onDesktop = getenv("TW_WINE_DESKTOP_FILE");
    const std::vector<Finding> found = Scan();
    INFO(Lines(found));
    auto row = [&](const std::string& at) {
        return std::find_if(found.begin(), found.end(), [&](const Finding& f) { return f.location == at; });
    };
    REQUIRE(row(launcher) != found.end());
    CHECK(row(launcher)->caption == kWineLauncherCaption);
    CHECK(row(launcher)->description.find("所属的 Wine 前缀已不存在") == 0);
    REQUIRE(row(onDesktop) != found.end());
    CHECK(row(onDesktop)->caption == kWineDesktopFileCaption);
    CHECK(std::any_of(found.begin(), found.end(), [](const Finding& f) { return f.caption == kWineIconCaption; }));
    FindingList list;
    for (const Finding& f : found) list.Add(f);
    QuietRepairView view;
    ScriptedRepairUi ui;
    Repairer repairer(list, view, ui, RepairContext(5), nullptr);
    RepairCounts counts;
    REQUIRE(repairer.RepairAllQuietly(nullptr, &counts));
    CHECK(counts.repaired == static_cast<int>(found.size()));
    CHECK_FALSE(HostExists(launcher));
    CHECK_FALSE(HostExists(onDesktop));
    const std::vector<Finding> again = Scan();
    INFO(Lines(again));
    CHECK(again.empty());
}
