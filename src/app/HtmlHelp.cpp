#include "app/HtmlHelp.h"

#include <vector>

#include "platform/FileSystem.h"
#include "platform/HostSystem.h"
#include "platform/Registry.h"
#include "platform/Seams.h"
#include "platform/WineHost.h"

namespace tw {

const char kHtmlHelpServerKey[] = "CLSID\\{adb880a6-d8ff-11cf-9377-00aa003b7a11}\\InprocServer32";

namespace {

const UINT kDisplayTopic = 0x0000;  // HH_DISPLAY_TOPIC
const UINT kCloseAll = 0x0012;      // HH_CLOSE_ALL

// The library path the registration names, with environment references ("%SystemRoot%")
// resolved as the system does for an expandable value. Empty when there is none.
std::string RegisteredEngine() {
    try {
        Registry reg;
        reg.SetRootKey(HKEY_CLASSES_ROOT);
        // Reading is all help needs: an ordinary account may not write to the class table.
        if (!reg.OpenKeyReadOnly(kHtmlHelpServerKey)) return {};
        std::string path = reg.ReadString("");
        reg.CloseKey();
        if (path.find('%') != std::string::npos) {
            char buf[MAX_PATH * 2] = {};
            DWORD n = ExpandEnvironmentStringsA(path.c_str(), buf, sizeof buf);
            if (n > 0 && n <= sizeof buf) path = buf;
        }
        return path;
    } catch (const RegistryError&) {
        // A default value of another kind names no library.
        return {};
    }
}

// Whether a folder matching `pattern` holds Gecko's main library (in `inner`, when given).
bool AnyFolderHoldsGecko(const std::string& pattern, const std::string& inner) {
    const std::string parent = pattern.substr(0, pattern.rfind('\\') + 1);
    bool found = false;
    ListDirectory(pattern, FILE_ATTRIBUTE_DIRECTORY, [&](const DirEntry& e) {
        if (!(e.attributes & FILE_ATTRIBUTE_DIRECTORY) || !e.nameExact || e.name == "." || e.name == "..") return true;
        found = FileExists(parent + e.name + inner + "\\xul.dll");
        return !found;
    });
    return found;
}

bool GeckoRegistered() try {
    Registry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKeyReadOnly("\\Software\\Wine\\MSHTML")) return false;
    for (const std::string& version : reg.GetKeyNames()) {
        try {
            if (!reg.OpenKeyReadOnly("\\Software\\Wine\\MSHTML\\" + version)) continue;
            std::string path = reg.ReadString("GeckoPath");
            while (!path.empty() && path.back() == '\\') path.pop_back();
            if (!path.empty() && FileExists(path + "\\xul.dll")) return true;
        } catch (const RegistryError&) {
            // A path of another kind names no folder.
        }
    }
    return false;
} catch (const RegistryError&) {
    return false;
}

// Starts Wine's winebrowser on a page: it hands the page, as a file of the host, to the desktop's
// default browser. It takes the Windows path itself (a "file:" address loses its drive there);
// false when it cannot be started.
bool OpenInHostBrowser(const std::string& page) {
    char dir[MAX_PATH] = {};
    const UINT n = GetSystemDirectoryA(dir, MAX_PATH);
    const std::string program = n > 0 && n < MAX_PATH ? std::string(dir) + "\\winebrowser.exe" : "winebrowser.exe";
    return CurrentSeams().startProgram("\"" + program + "\" \"" + page + "\"");
}

}  // namespace

Guide GuideFor(GuideLanguage language) {
    const std::string folder = ProgramFolder();
    if (language == GuideLanguage::English) return {folder + "Kivcc-en.chm", folder + "help\\en\\"};
    return {folder + "Kivcc.chm", folder + "help\\zh\\"};
}

HelpViewer ChooseHelpViewer(bool underWine, bool htmlEngineUsable, bool pageInstalled) {
    return underWine && !htmlEngineUsable && pageInstalled ? HelpViewer::Browser : HelpViewer::HelpWindow;
}

bool WineGeckoInstalled() {
    if (GeckoRegistered()) return true;
    char system[MAX_PATH] = {};
    const UINT n = GetSystemDirectoryA(system, MAX_PATH);
    if (n > 0 && n < MAX_PATH && AnyFolderHoldsGecko(std::string(system) + "\\gecko\\*", "\\wine_gecko")) return true;
    std::string data = EnvironmentText("WINEDATADIR");  // "\??\Z:\usr\share\wine"
    if (data.compare(0, 4, "\\??\\") == 0) data.erase(0, 4);
    std::vector<std::string> shared = {data.empty() ? data : data + "\\gecko"};
    for (const char* hostFolder : {"/usr/share/wine/gecko", "/usr/share/wine/wine/gecko", "/usr/local/share/wine/gecko",
                                   "/opt/wine/gecko"})
        shared.push_back(DosPathOfUnix(hostFolder));
    for (const std::string& folder : shared)
        if (!folder.empty() && AnyFolderHoldsGecko(folder + "\\wine-gecko-*-x86", "")) return true;
    return false;
}

bool WineHtmlEngineUsable() {
    const Seams& s = CurrentSeams();
    if (s.htmlEngineUsable) return s.htmlEngineUsable();
    // Loading the library starts nothing of the engine: Gecko is loaded at the first page.
    UniqueModule library(LoadLibraryA("mshtml.dll"));
    return library && WineGeckoInstalled();
}

HtmlHelp::HtmlHelp(const Guide& guide) : guide_(guide) {
    std::string path = RegisteredEngine();
    if (path.empty() || !FileExists(path)) return;
    UniqueModule library(LoadLibraryA(path.c_str()));
    if (!library) return;
    auto entry = reinterpret_cast<HtmlHelpProc>(GetProcAddress(library.get(), "HtmlHelpA"));
    if (!entry) return;
    library_ = std::move(library);
    entry_ = entry;
}

HtmlHelp::~HtmlHelp() {
    // A help window left open would run code of the library after it is unloaded.
    if (entry_) entry_(nullptr, nullptr, kCloseAll, 0);
    entry_ = nullptr;
    library_.reset();
}

void HtmlHelp::ShowTopic(const std::string& topic) {
    // The browser gets the topic's page without its anchor: winebrowser hands a file over by its
    // path alone, and with "#..." the path names no file (the page then opens at its top).
    const std::string page = guide_.pagesFolder + topic.substr(0, topic.find('#'));
    // Asked each time: Gecko may have been installed since. Only under Wine, where it matters.
    // Where winebrowser cannot start, the help window still shows the contents and the index.
    const bool wine = RunningUnderWine();
    if (ChooseHelpViewer(wine, !wine || WineHtmlEngineUsable(), FileExists(page)) == HelpViewer::Browser &&
        OpenInHostBrowser(page))
        return;
    if (!entry_) return;
    // The engine reports a missing file or topic in its own window, if at all.
    entry_(nullptr, guide_.helpFile.c_str(), kDisplayTopic, reinterpret_cast<DWORD_PTR>(topic.c_str()));
}

}  // namespace tw
