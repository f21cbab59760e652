#include "scanners/registry/Fonts.h"

#include <shlobj.h>

#include <unordered_set>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/WineHost.h"
#include "scanners/PathCheck.h"
#include "scanners/disk/WalkRules.h"
#include "scanners/disk/WineDesktopEntries.h"
#include "scanners/registry/ValueTexts.h"

namespace tw {

namespace {

const char kMachine[] = "HKEY_LOCAL_MACHINE";
const char kFontsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";

// The folders Wine loads fonts from besides the Windows fonts folder, as Windows paths: its own
// font folder (WINEDATADIR\fonts, where Debian's fonts-wine puts Wine's bitmap fonts) and the
// host's font folders as fontconfig names them (its defaults, and the folders of
// /etc/fonts/fonts.conf). None where the program does not run under Wine.
std::vector<std::string> WineFontFolders() {
    std::vector<std::string> out;
    auto add = [&out](const std::string& dos) {
        for (const std::string& o : out)
            if (LowerAscii(o) == LowerAscii(dos)) return;
        if (!dos.empty()) out.push_back(dos);
    };
    std::string data = EnvironmentText("WINEDATADIR");  // "\??\Z:\usr\share\wine"
    if (data.compare(0, 4, "\\??\\") == 0) data.erase(0, 4);
    if (!data.empty() && !WineVersion().empty()) add(data + "\\fonts");
    WineHostFolders host;
    if (!FindWineHostFolders(host)) return out;
    std::vector<std::string> unix = {"/usr/share/fonts", "/usr/local/share/fonts", host.dataHome + "/fonts",
                                     host.home + "/.fonts"};
    std::string conf;
    const std::string confPath = DosPathOfUnix("/etc/fonts/fonts.conf");
    if (confPath.empty() || !ReadWholeFile(confPath, conf)) conf.clear();
    // <dir>/path</dir>, <dir>~/path</dir>, <dir prefix="xdg">path</dir>
    for (size_t at = conf.find("<dir"); at != std::string::npos; at = conf.find("<dir", at + 1)) {
        const size_t close = conf.find('>', at);
        const size_t end = close == std::string::npos ? close : conf.find("</dir>", close);
        if (end == std::string::npos) break;
        const std::string tag = conf.substr(at, close - at);
        if (tag != "<dir" && tag.compare(0, 5, "<dir ") != 0) continue;
        std::string dir = conf.substr(close + 1, end - close - 1);
        if (tag.find("\"xdg\"") != std::string::npos) dir = host.dataHome + "/" + dir;
        else if (!dir.empty() && dir[0] == '~') dir = host.home + dir.substr(1);
        if (!dir.empty() && dir[0] == '/') unix.push_back(dir);
    }
    for (const std::string& u : unix) add(DosPathOfUnix(u));
    return out;
}

// The font files Wine finds in those folders, at any depth, listed once on the first question:
// Wine loads every font there, whatever the registry names.
class WineFontFiles {
public:
    // File when one of the folders holds a file of that name (letter case aside), Missing when
    // none does, Unknown when a folder could not be read.
    PathState Find(const std::string& name) {
        if (!loaded_) {
            loaded_ = true;
            folders_ = WineFontFolders();
            for (const std::string& folder : folders_) List(folder, 0);
        }
        if (names_.count(LowerAscii(name))) return PathState::File;
        return unreadable_ ? PathState::Unknown : PathState::Missing;
    }
    // The folders, once Find has been asked.
    const std::vector<std::string>& Folders() const { return folders_; }

private:
    void List(const std::string& folder, int depth) {
        bool listed = false;
        std::vector<std::string> subfolders;
        ListDirectory(folder + "\\*", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY,
                      [&](const DirEntry& e) {
                          listed = true;  // "." at least, when it can be read
                          if (!e.nameExact) return true;
                          if (!(e.attributes & FILE_ATTRIBUTE_DIRECTORY))
                              names_.insert(LowerAscii(e.name));
                          else if (IsEnterableFolder(e))  // never a link: it may lead round
                              subfolders.push_back(e.name);
                          return true;
                      });
        if (!listed && QueryPath(folder) != PathState::Missing && QueryPath(folder) != PathState::FolderMissing)
            unreadable_ = true;
        if (depth < 8)
            for (const std::string& sub : subfolders) List(folder + "\\" + sub, depth + 1);
    }

    bool loaded_ = false, unreadable_ = false;
    std::vector<std::string> folders_;
    std::unordered_set<std::string> names_;
};

}  // namespace

void ScanFonts(const ScanContext& ctx, ScanSink& sink) {
    const std::vector<GuardedText> fonts = GuardedTextsOf(HKEY_LOCAL_MACHINE, kFontsKey, sink);
    if (fonts.empty()) return;
    // Once per scan: the folder does not move while the fonts are looked at. Without it no font
    // can be judged, and every one would look missing.
    const std::string folder = SpecialFolder(ctx.desktop, CSIDL_FONTS);
    if (folder.empty()) EndScanAt("CSIDL_FONTS", "系统无法给出字体文件夹的位置");
    FolderListings listings([&] { sink.ProcessMessages(); });
    WineFontFiles wine;
    for (const GuardedText& value : fonts) {
        sink.ProcessMessages();
        if (!value.exact) continue;
        const std::string& font = value.name;
        const std::string& file = value.text;
        // An empty text names no file: neither "Fonts\" nor "" exists as one.
        const std::string inFolder = folder + "\\" + file;
        if (!IsNoFile(listings.Judge(inFolder)) || !IsNoFile(listings.Judge(file))) continue;
        // A bare file name that Wine finds where it loads fonts from is there (and where it
        // cannot tell, it is not missing).
        const bool bare = !file.empty() && file.find_first_of("\\/:") == std::string::npos;
        if (bare && wine.Find(file) != PathState::Missing) continue;
        Finding f = NamedOrDefaultValueFinding(kMachine, kFontsKey, font, "无效字体" + file);
        f.missingPaths.push_back(inFolder);
        if (!file.empty()) f.missingPaths.push_back(file);
        if (bare)
            for (const std::string& wineFolder : wine.Folders()) f.missingPaths.push_back(wineFolder + "\\" + file);
        f.missingRule = Finding::Missing::NoFile;
        AddAndPause(sink, f);
    }
}

}  // namespace tw
