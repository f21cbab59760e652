// Wine's leftovers on the Linux desktop, run by tests/wine_desktop.sh: it points XDG_DATA_HOME
// and XDG_CONFIG_HOME at scratch folders below TW_WINE_SCRATCH (a Unix path) before Wine starts,
// so that what the tests plant, and what repair moves to the trash, stays there.
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
#include "scanners/disk/WineDesktopEntries.h"
#include "support/ScriptedMessages.h"
#include "support/QuietRepairView.h"
#include "support/Sandbox.h"

using namespace tw;
using namespace tw::test;

namespace {

// The scratch folder the script made, or empty (the case then says so and checks nothing).
std::string Scratch() {
    const char* s = getenv("TW_WINE_SCRATCH");
    return s ? s : "";
}

// A host file below the scratch folder, written through Wine's mapping.
void Plant(const std::string& unixPath, const std::string& text) {
    const std::string dos = DosPathOfUnix(unixPath);
    REQUIRE_FALSE(dos.empty());
    std::string dir = dos.substr(0, dos.rfind('\\'));
    SHCreateDirectoryExA(nullptr, dir.c_str(), nullptr);
    HANDLE h = CreateFileA(dos.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
}
bool HostExists(const std::string& unixPath) {
    const PathState s = QueryPath(DosPathOfUnix(unixPath));
    return s == PathState::File || s == PathState::Directory;
}

std::string Launcher(const std::string& exec) {
    return "[Desktop Entry]\nName=App\nExec=" + exec + "\nType=Application\nStartupNotify=true\n";
}
std::string Association(const std::string& prefix, const std::string& progId, const std::string& ext) {
    return "[Desktop Entry]\nType=Application\nName=App\nMimeType=application/x-wine-extension-" + ext +
           ";\nExec=env WINEPREFIX=\"" + prefix + "\" wine start /ProgIDOpen " + progId +
           " %f\nNoDisplay=true\nStartupNotify=true\n";
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
        // Not Wine's: another program, another argument, a relative prefix, an unclosed quote.
        {"/usr/bin/gedit %f", WineExec::None, "", ""},
        {"winetricks C:\\\\\\\\a.lnk", WineExec::None, "", ""},
        {"wine C:\\\\\\\\a.exe", WineExec::None, "", ""},
        {"wine C:\\\\\\\\a.lnk --evil", WineExec::None, "", ""},
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

TEST_CASE("planted leftovers: only the stale ones are reported, repair moves exactly those to the trash") {
    const std::string s = Scratch();
    if (s.empty()) {
        MESSAGE("no scratch XDG folders (TW_WINE_SCRATCH); the case runs from tests/wine_desktop.sh");
        return;
    }
    WineHostFolders folders;
    REQUIRE(FindWineHostFolders(folders));
    REQUIRE(folders.dataHome == s + "/data");
    REQUIRE(folders.configHome == s + "/config");
    const std::string data = folders.dataHome, config = folders.configHome, apps = data + "/applications";
    const std::string here = folders.thisPrefix, gone = s + "/gone-prefix", other = s + "/other-prefix";
    Plant(other + "/system.reg", "");
    RegistrySandbox registry;
    MakeKey(HKEY_CLASSES_ROOT, "TwLive.Doc");
    ScratchDir c;
    const std::string liveLnk = c.File("Start Menu\\Live.lnk"), goneLnk = c / "Start Menu\\Gone.lnk";
    auto env = [](const std::string& p) { return "env WINEPREFIX=\"" + p + "\" wine "; };

    struct Planted { std::string path, text; const char* caption; };  // caption: reported as
    const std::vector<Planted> planted = {
        {apps + "/wine/Programs/Gone/Gone.desktop", Launcher(env(gone) + EscapedForExec("C:\\x\\Gone.lnk")), kWineLauncherCaption},
        {apps + "/wine/Programs/Old.desktop",
         Launcher(env(gone) + "C:\\\\\\\\windows\\\\\\\\command\\\\\\\\start.exe /Unix " + gone + "/dosdevices/c:/Old.lnk"),
         kWineLauncherCaption},
        {apps + "/wine/Programs/Here/Missing.desktop", Launcher(env(here) + EscapedForExec(goneLnk)), kWineLauncherCaption},
        {apps + "/wine/Programs/Here/Live.desktop", Launcher(env(here) + EscapedForExec(liveLnk)), nullptr},
        // Another prefix that exists is never judged beyond that.
        {apps + "/wine/Programs/Other.desktop", Launcher(env(other) + EscapedForExec("C:\\nowhere\\Other.lnk")), nullptr},
        {apps + "/wine/Programs/Hand.desktop", Launcher("env WINEPREFIX=\"" + gone + "\" /usr/bin/gedit %f"), nullptr},
        {config + "/menus/applications-merged/wine-Programs-Gone-Gone.menu",
         Menu({"wine-wine", "wine-Programs", "wine-Programs-Gone"}, "wine-Programs-Gone-Gone.desktop"), kWineMenuCaption},
        {config + "/menus/applications-merged/wine-Programs-Here-Live.menu",
         Menu({"wine-wine", "wine-Programs", "wine-Programs-Here"}, "wine-Programs-Here-Live.desktop"), nullptr},
        {config + "/menus/applications-merged/user.menu", Menu({}, "wine-Programs-Gone-Gone.desktop"), nullptr},
        {data + "/desktop-directories/wine-Programs-Gone.directory", "[Desktop Entry]\nType=Directory\nName=Gone\n",
         kWineMenuFolderCaption},
        {data + "/desktop-directories/wine-Programs-Here.directory", "[Desktop Entry]\nType=Directory\n", nullptr},
        {data + "/desktop-directories/wine-wine.directory", "[Desktop Entry]\nType=Directory\n", nullptr},
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
    REQUIRE(CreateDirectoryA(DosPathOfUnix(apps + "/wine/Empty").c_str(), nullptr));

    std::set<std::string> expected;
    for (const Planted& p : planted)
        if (p.caption) expected.insert(std::string(p.caption) + " " + p.path);
    expected.insert(std::string(kWineMenuFolderCaption) + " " + apps + "/wine/Empty");
    expected.insert(std::string(kWineMenuFolderCaption) + " " + apps + "/wine/Programs/Gone");

    CollectingSink sink;
    ScanWineDesktopEntries(ScanContext{}, sink);
    std::set<std::string> reported;
    for (const Finding& f : sink.findings) reported.insert(f.caption + " " + f.location);
    CHECK(reported == expected);
    INFO(Lines(sink.findings));
    for (const Finding& f : sink.findings) {
        CHECK(IsWineHostRow(f));
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
    {
        Messages answers({IDCANCEL, IDOK});  // no registry backup, then repair everything
        Repairer repairer(list, view, RepairContext(5), [] { return true; });
        repairer.FlatButton3Click();
        // A row whose file is gone by now is done, not "back again".
        CHECK(repairer.RepairFinding(sink.findings.front()) == RepairOutcome::AlreadyGone);
    }
    for (const Planted& p : planted) {
        CAPTURE(p.path);
        const bool stays = !p.caption || p.path == apps + "/wine/Programs/Here/Missing.desktop";
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

TEST_CASE("round trip: a launcher Wine wrote for a prefix since deleted is reported and repaired") {
    // Step one (TW_WINE_MAKE_SHORTCUT, in the scratch prefix, Wine's menu builder on): save a
    // shortcut in the Start menu as an installer does. Step two (TW_WINE_LAUNCHER, in the test
    // prefix, after the script deleted the scratch prefix): the launcher is reported, repaired.
    const char* make = getenv("TW_WINE_MAKE_SHORTCUT");
    const char* launcher = getenv("TW_WINE_LAUNCHER");
    if (make && *make) {
        const std::string programs = SpecialFolder(nullptr, CSIDL_PROGRAMS);
        REQUIRE_FALSE(programs.empty());
        CreateDirectoryA((programs + "\\TwRoundTrip").c_str(), nullptr);
        UniqueCom<IShellLinkW> link;
        REQUIRE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                           reinterpret_cast<void**>(link.put()))));
        link.get()->SetPath(L"C:\\windows\\notepad.exe");
        UniqueCom<IPersistFile> persist;
        REQUIRE(SUCCEEDED(link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(persist.put()))));
        REQUIRE(SUCCEEDED(persist.get()->Save(AnsiToWide(programs + "\\TwRoundTrip\\Tw App.lnk").c_str(), TRUE)));
        return;
    }
    if (!launcher || !*launcher) {
        MESSAGE("no launcher prepared (TW_WINE_LAUNCHER); the round trip runs from tests/wine_desktop.sh");
        return;
    }
    CollectingSink sink;
    ScanWineDesktopEntries(ScanContext{}, sink);
    INFO(Lines(sink.findings));
    const auto it = std::find_if(sink.findings.begin(), sink.findings.end(),
                                 [&](const Finding& f) { return f.location == launcher; });
    REQUIRE(it != sink.findings.end());
    CHECK(it->caption == kWineLauncherCaption);
    CHECK(it->description.find("所属的 Wine 前缀已不存在") == 0);
    FindingList list;
    QuietRepairView view;
    Repairer repairer(list, view, RepairContext(5), [] { return true; });
    CHECK(repairer.RepairFinding(*it) == RepairOutcome::Repaired);
    CHECK_FALSE(HostExists(launcher));
}
