#include "scanners/disk/WineDesktopEntries.h"

#include <windows.h>

#include <cstring>
#include <set>

#include "platform/FileSystem.h"
#include "platform/Handle.h"
#include "platform/StartProgram.h"
#include "platform/Text.h"
#include "platform/WineHost.h"
#include "scanners/PathCheck.h"
#include "scanners/disk/WalkRules.h"

namespace tw {

const char* const kWineLauncherCaption = "Wine 菜单项错误";
const char* const kWineMenuCaption = "Wine 菜单错误";
const char* const kWineMenuFolderCaption = "Wine 菜单目录错误";
const char* const kWineAssociationCaption = "Wine 文件关联错误";
const char* const kWineMimeTypeCaption = "Wine 文件类型错误";

namespace {

// Wine's files are a few hundred bytes; a larger one is not what Wine wrote.
const DWORD kLargestEntry = 64 * 1024;

std::string StripTrailingSlashes(std::string p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

bool StartsWith(const std::string& s, const std::string& head) { return s.compare(0, head.size(), head) == 0; }
bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Utf8ToAnsiExact(const std::string& s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), &w[0], n);
    std::string out;
    return WideToAnsiExact(w.data(), w.size(), out) ? out : std::string();
}

// The whole file, false when it cannot be read or is larger than Wine's files are.
bool ReadSmallFile(const std::string& path, std::string& text) {
    std::wstring wide;
    if (!AnsiToWideExact(path, wide)) return false;
    HANDLE raw = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    UniqueKernelHandle file(raw == INVALID_HANDLE_VALUE ? nullptr : raw);
    if (!file) return false;
    const DWORD size = GetFileSize(file.get(), nullptr);
    if (size == INVALID_FILE_SIZE || size > kLargestEntry) return false;
    text.assign(size, '\0');
    DWORD got = 0;
    if (size && (!ReadFile(file.get(), &text[0], size, &got, nullptr) || got != size)) return false;
    return true;
}

// A desktop entry's key in its [Desktop Entry] group, value as written.
bool DesktopEntryValue(const std::string& text, const std::string& key, std::string& value) {
    bool inGroup = false;
    for (std::string line : SplitAt(text, '\n')) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inGroup = line == "[Desktop Entry]";
            continue;
        }
        if (inGroup && StartsWith(line, key + "=")) {
            value = line.substr(key.size() + 1);
            return true;
        }
    }
    return false;
}

// The escapes of a desktop entry's string value: \s \n \t \r \\.
std::string UnescapeValue(const std::string& v) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] != '\\' || i + 1 == v.size()) {
            out += v[i];
            continue;
        }
        const char c = v[++i];
        out += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
    }
    return out;
}

// The arguments of an Exec line, split as the shell that runs it splits them: double quotes
// group, a backslash takes the next character as it is. False for an unclosed quote.
bool SplitExec(const std::string& s, std::vector<std::string>& args) {
    std::string cur;
    bool have = false, quoted = false;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (quoted) {
            if (c == '"') quoted = false;
            else if (c == '\\' && i + 1 < s.size() && strchr("\"`$\\", s[i + 1])) cur += s[++i];
            else cur += c;
        } else if (c == '"') {
            quoted = have = true;
        } else if (c == '\\' && i + 1 < s.size()) {
            cur += s[++i];
            have = true;
        } else if (c == ' ' || c == '\t') {
            if (have) args.push_back(cur);
            cur.clear();
            have = false;
        } else {
            cur += c;
            have = true;
        }
    }
    if (quoted) return false;
    if (have) args.push_back(cur);
    return true;
}

// "wine", "wine64", "wine-stable", "wine64-development", or a full path to one of them.
bool IsWineCommand(const std::string& arg) {
    std::string name = arg.substr(arg.rfind('/') == std::string::npos ? 0 : arg.rfind('/') + 1);
    if (!StartsWith(name, "wine")) return false;
    name = name.substr(4);
    if (StartsWith(name, "64")) name = name.substr(2);
    if (name.empty()) return true;
    if (name[0] != '-' || name.size() == 1) return false;
    for (size_t i = 1; i < name.size(); ++i)
        if (name[i] < 'a' || name[i] > 'z') return false;
    return true;
}

bool IsWindowsPath(const std::string& p) {
    return p.size() > 3 && ((p[0] | 0x20) >= 'a' && (p[0] | 0x20) <= 'z') && p[1] == ':' && p[2] == '\\';
}

bool EndsWithLnk(const std::string& p) { return p.size() > 4 && LowerAscii(p.substr(p.size() - 4)) == ".lnk"; }

// Wine's start program as older launchers name it; the backslashes there were escaped once or
// twice depending on the version.
bool IsStartProgram(const std::string& arg) {
    std::string plain;
    for (char c : arg)
        if (c != '\\') plain += c;
    return LowerAscii(plain) == "c:windowscommandstart.exe";
}

struct Folders {
    WineHostFolders unix;
    std::string dataDos, configDos;
};

enum class Listing { Listed, Missing, CannotTell };

// Every entry of a folder of the host except "." and "..". A folder that is there but yields
// nothing (not even ".") could not be read.
Listing ListHostFolder(const std::string& dir, std::vector<DirEntry>& entries) {
    const PathState state = JudgePath(dir);
    if (IsGone(state)) return Listing::Missing;
    if (state != PathState::Directory) return Listing::CannotTell;
    bool listed = false;
    ListDirectory(dir + "\\*", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY,
                  [&](const DirEntry& e) {
                      listed = true;
                      if (!IsDotEntry(e.name)) entries.push_back(e);
                      return true;
                  });
    return listed ? Listing::Listed : Listing::CannotTell;
}

struct Verdict {
    bool stale = false;
    std::string why;
    std::vector<std::string> missing;
    Finding::Missing rule = Finding::Missing::Nothing;
};

class WineDesktopScan {
public:
    WineDesktopScan(const Folders& f, ScanSink& sink, const ScanContext& ctx) : f_(f), sink_(sink), ctx_(ctx) {}

    void Run() {
        sink_.ShowStatus("扫描 Wine 遗留的桌面菜单和文件关联：" + f_.unix.dataHome);
        std::vector<Finding> launcherRows, folderRows;
        const std::string wineDir = f_.dataDos + "\\applications\\wine";
        const Listing launchers = Walk(wineDir, f_.unix.dataHome + "/applications/wine", "wine", launcherRows, folderRows);
        for (const Finding& r : launcherRows) Add(r);
        Menus(launchers == Listing::CannotTell);
        for (const Finding& r : folderRows) Add(r);
        Associations();
    }

private:
    void Add(const Finding& f) {
        if (!ctx_.scanning()) return;
        sink_.AddFinding(f);
        sink_.ProcessMessages();
    }

    static Finding Row(const char* caption, FindingKind kind, const std::string& location, const Verdict& v) {
        Finding f;
        f.caption = caption;
        f.kind = kind;
        f.location = location;
        f.description = v.why;
        f.missingPaths = v.missing;
        f.missingRule = v.rule;
        return f;
    }

    // The prefix a launcher or association names, judged; `same` tells whether it is this one.
    Verdict JudgePrefix(const WineExec& e, bool& same) {
        Verdict v;
        same = false;
        std::string prefix = e.prefix.empty() ? f_.unix.home + "/.wine" : Utf8ToAnsiExact(e.prefix);
        prefix = StripTrailingSlashes(prefix);
        const std::string dos = DosPathOfUnix(prefix);
        if (dos.empty()) return v;  // cannot tell
        if (IsNothing(JudgePath(dos))) {
            v.stale = true;
            v.why = "所属的 Wine 前缀已不存在：" + prefix;
            v.missing = {dos};
            return v;
        }
        same = prefix == f_.unix.thisPrefix;
        return v;
    }

    Verdict JudgeLauncher(const std::string& path) {
        Verdict v;
        std::string text, exec;
        if (!ReadSmallFile(path, text) || !DesktopEntryValue(text, "Exec", exec)) return v;
        const WineExec e = ParseWineExec(exec);
        if (e.form != WineExec::Shortcut && e.form != WineExec::UnixShortcut) return v;
        bool same = false;
        v = JudgePrefix(e, same);
        if (v.stale || !same) return v;
        // A launcher of this prefix leads to its shortcut.
        const std::string target = Utf8ToAnsiExact(e.target);
        const std::string shortcut = e.form == WineExec::Shortcut ? target : DosPathOfUnix(target);
        if (shortcut.empty() || !IsNoFile(JudgePath(shortcut))) return v;
        v.stale = true;
        v.why = "快捷方式已不存在：" + shortcut;
        v.missing = {shortcut};
        v.rule = Finding::Missing::NoFile;
        return v;
    }

    // Walks a folder of launchers; true in `empty` when it holds nothing but stale launchers
    // and such folders. Launcher rows come in the order found, folder rows deepest first.
    Listing Walk(const std::string& dos, const std::string& unix, const std::string& id, std::vector<Finding>& launchers,
                 std::vector<Finding>& folders, bool* empty = nullptr) {
        std::vector<DirEntry> entries;
        const Listing listing = ListHostFolder(dos, entries);
        if (empty) *empty = listing == Listing::Listed;
        if (listing != Listing::Listed) return listing;
        for (const DirEntry& e : entries) {
            if (!ctx_.scanning()) {
                if (empty) *empty = false;
                break;
            }
            const std::string childDos = dos + "\\" + e.name, childUnix = unix + "/" + e.name;
            const std::string childId = id + "-" + e.name;
            bool gone = false;
            if (!e.nameExact) {
                // A name the code page cannot hold names nothing here: left alone, kept.
            } else if (e.attributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (IsEnterableFolder(e)) {
                    Walk(childDos, childUnix, childId, launchers, folders, &gone);
                    if (gone) {
                        Verdict v;
                        v.stale = true;
                        v.why = "文件夹中没有有效的菜单项";
                        folders.push_back(Row(kWineMenuFolderCaption, FindingKind::Folder, childUnix, v));
                    }
                }
            } else if (EndsWith(e.name, ".desktop")) {
                const Verdict v = JudgeLauncher(childDos);
                if (v.stale) {
                    launchers.push_back(Row(kWineLauncherCaption, FindingKind::File, childUnix, v));
                    gone = true;
                } else {
                    liveLaunchers_.insert(childId);
                }
            }
            if (!gone && empty) *empty = false;
        }
        return listing;
    }

    // Menu files whose launchers are all gone, then folder entries no working menu uses.
    void Menus(bool launchersUnknown) {
        const std::string menusDos = f_.configDos + "\\menus\\applications-merged";
        const std::string menusUnix = f_.unix.configHome + "/menus/applications-merged";
        std::vector<DirEntry> entries;
        const Listing menus = ListHostFolder(menusDos, entries);
        if (menus == Listing::CannotTell) return;
        std::set<std::string> liveDirectories;
        for (const DirEntry& e : entries) {
            if (!e.nameExact || (e.attributes & FILE_ATTRIBUTE_DIRECTORY) || !StartsWith(e.name, "wine-") ||
                !EndsWith(e.name, ".menu"))
                continue;
            std::string text;
            if (!ReadSmallFile(menusDos + "\\" + e.name, text)) return;  // cannot tell which folders it uses
            const std::vector<std::string> files = XmlElements(text, "Filename");
            const std::vector<std::string> dirs = XmlElements(text, "Directory");
            bool wines = !files.empty();
            bool stale = !launchersUnknown;
            for (const std::string& utf8 : files) {
                // The menu names its launchers in UTF-8, the listing in the code page: a name the
                // code page cannot hold leaves the menu alone.
                const std::string id = Utf8ToAnsiExact(utf8);
                wines = wines && StartsWith(id, "wine-") && EndsWith(id, ".desktop");
                if (liveLaunchers_.count(id)) stale = false;
            }
            if (wines && stale) {
                Verdict v;
                v.why = "菜单中的菜单项都已不存在";
                Add(Row(kWineMenuCaption, FindingKind::File, menusUnix + "/" + e.name, v));
            } else {
                for (const std::string& dir : dirs) liveDirectories.insert(Utf8ToAnsiExact(dir));
            }
        }
        if (launchersUnknown) return;
        const std::string dirsDos = f_.dataDos + "\\desktop-directories";
        entries.clear();
        if (ListHostFolder(dirsDos, entries) != Listing::Listed) return;
        for (const DirEntry& e : entries) {
            if (!e.nameExact || (e.attributes & FILE_ATTRIBUTE_DIRECTORY) || !StartsWith(e.name, "wine-") ||
                !EndsWith(e.name, ".directory") || liveDirectories.count(e.name))
                continue;
            std::string text, type;
            if (!ReadSmallFile(dirsDos + "\\" + e.name, text) || !DesktopEntryValue(text, "Type", type) ||
                type != "Directory")
                continue;
            Verdict v;
            v.why = "没有菜单再用到这个菜单目录";
            Add(Row(kWineMenuFolderCaption, FindingKind::File, f_.unix.dataHome + "/desktop-directories/" + e.name, v));
        }
    }

    // Associations of a prefix that is gone or of a class this prefix lacks, then MIME types
    // no working association uses.
    void Associations() {
        const std::string appsDos = f_.dataDos + "\\applications";
        std::vector<DirEntry> entries;
        if (ListHostFolder(appsDos, entries) != Listing::Listed) return;
        std::set<std::string> liveTypes;
        for (const DirEntry& e : entries) {
            if (!e.nameExact || (e.attributes & FILE_ATTRIBUTE_DIRECTORY) || !StartsWith(e.name, "wine-extension-") ||
                !EndsWith(e.name, ".desktop"))
                continue;
            std::string text, exec, types;
            if (!ReadSmallFile(appsDos + "\\" + e.name, text)) return;  // cannot tell which types are used
            DesktopEntryValue(text, "MimeType", types);
            const WineExec x = DesktopEntryValue(text, "Exec", exec) ? ParseWineExec(exec) : WineExec();
            Verdict v;
            bool same = false;
            if (x.form == WineExec::Association) v = JudgePrefix(x, same);
            if (!v.stale && same) {
                const std::string progId = Utf8ToAnsiExact(x.target);
                HKEY key = nullptr;
                const LONG rc = progId.empty() ? ERROR_SUCCESS
                                               : RegOpenKeyExA(HKEY_CLASSES_ROOT, progId.c_str(), 0, KEY_READ, &key);
                UniqueHKey owned(key);
                if (rc == ERROR_FILE_NOT_FOUND) {
                    v.stale = true;
                    v.why = "这个 Wine 前缀中已没有文件类型 " + progId;
                }
            }
            if (v.stale) {
                Add(Row(kWineAssociationCaption, FindingKind::File, f_.unix.dataHome + "/applications/" + e.name, v));
            } else {
                for (const std::string& t : SplitAt(UnescapeValue(types), ';'))
                    if (!t.empty()) liveTypes.insert(t);
            }
        }
        const std::string mimeDos = f_.dataDos + "\\mime\\packages";
        entries.clear();
        if (ListHostFolder(mimeDos, entries) != Listing::Listed) return;
        for (const DirEntry& e : entries) {
            if (!e.nameExact || (e.attributes & FILE_ATTRIBUTE_DIRECTORY) || !StartsWith(e.name, "x-wine-extension-") ||
                !EndsWith(e.name, ".xml"))
                continue;
            std::string text;
            if (!ReadSmallFile(mimeDos + "\\" + e.name, text)) continue;
            const std::string head = "<mime-type type=\"";
            const size_t at = text.find(head);
            if (at == std::string::npos) continue;
            const size_t end = text.find('"', at + head.size());
            const std::string type = text.substr(at + head.size(), end == std::string::npos ? 0 : end - at - head.size());
            if (!StartsWith(type, "application/x-wine-extension-") || liveTypes.count(type)) continue;
            Verdict v;
            v.why = "没有文件关联再用到文件类型 " + type;
            Add(Row(kWineMimeTypeCaption, FindingKind::File, f_.unix.dataHome + "/mime/packages/" + e.name, v));
        }
    }

    // The texts of every <name>...</name> element, XML escapes resolved.
    static std::vector<std::string> XmlElements(const std::string& text, const std::string& name) {
        std::vector<std::string> out;
        const std::string open = "<" + name + ">", close = "</" + name + ">";
        for (size_t at = text.find(open); at != std::string::npos; at = text.find(open, at + 1)) {
            const size_t start = at + open.size(), end = text.find(close, start);
            if (end == std::string::npos) break;
            std::string v = text.substr(start, end - start), plain;
            for (size_t i = 0; i < v.size(); ++i) {
                static const char* const kEntities[][2] = {{"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"},
                                                           {"&apos;", "'"}, {"&quot;", "\""}};
                bool done = false;
                for (const auto& ent : kEntities)
                    if (v.compare(i, strlen(ent[0]), ent[0]) == 0) {
                        plain += ent[1];
                        i += strlen(ent[0]) - 1;
                        done = true;
                        break;
                    }
                if (!done) plain += v[i];
            }
            out.push_back(plain);
        }
        return out;
    }

    const Folders& f_;
    ScanSink& sink_;
    const ScanContext& ctx_;
    std::set<std::string> liveLaunchers_;  // desktop-file names ("wine-Programs-App-App.desktop")
};

bool FindFolders(Folders& f) {
    if (!FindWineHostFolders(f.unix)) return false;
    f.dataDos = DosPathOfUnix(f.unix.dataHome);
    f.configDos = DosPathOfUnix(f.unix.configHome);
    if (f.dataDos.empty()) EndScanAt(f.unix.dataHome, "无法通过 Wine 的驱动器映射读取这个文件夹");
    if (f.configDos.empty()) EndScanAt(f.unix.configHome, "无法通过 Wine 的驱动器映射读取这个文件夹");
    return true;
}

}  // namespace

WineExec ParseWineExec(const std::string& execValue) {
    WineExec none, e;
    std::vector<std::string> args;
    if (!SplitExec(UnescapeValue(execValue), args)) return none;
    size_t i = 0;
    if (i < args.size() && args[i] == "env") {
        for (++i; i < args.size() && args[i].find('=') != std::string::npos && args[i][0] != '/'; ++i)
            if (StartsWith(args[i], "WINEPREFIX=")) e.prefix = args[i].substr(11);
        if (!e.prefix.empty() && e.prefix[0] != '/') return none;
    }
    if (i >= args.size() || !IsWineCommand(args[i])) return none;
    const std::vector<std::string> rest(args.begin() + static_cast<long>(i) + 1, args.end());
    if (rest.size() == 1 && IsWindowsPath(rest[0]) && EndsWithLnk(rest[0])) {
        e.form = WineExec::Shortcut;
        e.target = rest[0];
    } else if (rest.size() == 3 && IsStartProgram(rest[0]) && LowerAscii(rest[1]) == "/unix" && rest[2][0] == '/' &&
               EndsWithLnk(rest[2])) {
        e.form = WineExec::UnixShortcut;
        e.target = rest[2];
    } else if (rest.size() == 4 && rest[0] == "start" && LowerAscii(rest[1]) == "/progidopen" && !rest[2].empty() &&
               (rest[3] == "%f" || rest[3] == "%F" || rest[3] == "%u" || rest[3] == "%U")) {
        e.form = WineExec::Association;
        e.target = rest[2];
    } else {
        return none;
    }
    return e;
}

bool FindWineHostFolders(WineHostFolders& out) {
    if (WineVersion().empty()) return false;
    // WINEHOMEDIR is the home folder as Wine's NT path ("\??\Z:\home\u").
    std::string home = EnvironmentText("WINEHOMEDIR");
    if (StartsWith(home, "\\??\\")) home = home.substr(4);
    home = home.empty() ? std::string() : UnixPathOfDos(home);
    if (home.empty()) home = EnvironmentText("HOME");
    home = StripTrailingSlashes(home);
    if (home.empty() || home[0] != '/') return false;
    auto folder = [&home](const char* variable, const char* fallback) {
        const std::string set = StripTrailingSlashes(EnvironmentText(variable));
        return !set.empty() && set[0] == '/' ? set : home + fallback;
    };
    out.home = home;
    out.dataHome = folder("XDG_DATA_HOME", "/.local/share");
    out.configHome = folder("XDG_CONFIG_HOME", "/.config");
    out.thisPrefix = folder("WINEPREFIX", "/.wine");
    return true;
}

void ScanWineDesktopEntries(const ScanContext& ctx, ScanSink& sink) {
    Folders f;
    if (!FindFolders(f)) return;
    WineDesktopScan(f, sink, ctx).Run();
}

bool IsWineHostRow(const Finding& f) {
    return !f.location.empty() && f.location[0] == '/' && f.OnDisk();
}

namespace {

class MatchingSink : public ScanSink {
public:
    explicit MatchingSink(const Finding& wanted) : wanted_(wanted) {}
    void AddFinding(const Finding& f) override {
        found = found || (f.location == wanted_.location && f.caption == wanted_.caption && f.kind == wanted_.kind);
    }
    void ShowStatus(const std::string&) override {}
    void ProcessMessages() override {}
    bool found = false;

private:
    const Finding& wanted_;
};

}  // namespace

WineRecheck RecheckWineLeftover(const Finding& f, std::string& dosPath) {
    dosPath = IsWineHostRow(f) ? DosPathOfUnix(f.location) : std::string();
    if (dosPath.empty()) return WineRecheck::CannotTell;
    MatchingSink sink(f);
    try {
        ScanContext ctx;
        ScanWineDesktopEntries(ctx, sink);
    } catch (const std::exception&) {
        return WineRecheck::CannotTell;
    }
    return sink.found ? WineRecheck::Stale : WineRecheck::NotStale;
}

void WineCacheRefresh::Removed(const Finding& f) {
    if (f.caption == kWineLauncherCaption || f.caption == kWineAssociationCaption) launchers_ = true;
    if (f.caption == kWineMimeTypeCaption) mimeTypes_ = true;
}

void WineCacheRefresh::Run() {
    WineHostFolders folders;
    const bool launchers = launchers_, mimeTypes = mimeTypes_;
    launchers_ = mimeTypes_ = false;
    if ((!launchers && !mimeTypes) || !FindWineHostFolders(folders)) return;
    // Wine starts a Unix program named by its Windows path; its arguments reach it as written,
    // so they are the Unix paths.
    auto run = [](const char* tool, const std::string& folder) {
        for (const char* dir : {"/usr/bin/", "/usr/local/bin/", "/bin/"}) {
            const std::string program = DosPathOfUnix(dir + std::string(tool));
            if (program.empty() || JudgePath(program) != PathState::File) continue;
            StartProgram("\"" + program + "\" \"" + folder + "\"");
            return;
        }
    };
    if (launchers) run("update-desktop-database", folders.dataHome + "/applications");
    if (mimeTypes) run("update-mime-database", folders.dataHome + "/mime");
}

}  // namespace tw
