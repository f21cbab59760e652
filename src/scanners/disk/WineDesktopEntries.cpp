#include "scanners/disk/WineDesktopEntries.h"

#include <windows.h>

#include <cctype>
#include <cstring>
#include <functional>
#include <map>
#include <set>

#include "platform/FileSystem.h"
#include "platform/Handle.h"
#include "platform/StartProgram.h"
#include "platform/Text.h"
#include "platform/WineHost.h"
#include "scanners/PathCheck.h"

namespace tw {

const char* const kWineLauncherCaption = "Wine 菜单项错误";
const char* const kWineMenuCaption = "Wine 菜单错误";
const char* const kWineMenuFolderCaption = "Wine 菜单目录错误";
const char* const kWineAssociationCaption = "Wine 文件关联错误";
const char* const kWineMimeTypeCaption = "Wine 文件类型错误";
const char* const kWineDesktopFileCaption = "Wine 桌面快捷方式错误";
const char* const kWineIconCaption = "Wine 图标错误";

bool IsWineHostCaption(const std::string& caption) {
    for (const char* c : {kWineLauncherCaption, kWineMenuCaption, kWineMenuFolderCaption, kWineAssociationCaption,
                          kWineMimeTypeCaption, kWineDesktopFileCaption, kWineIconCaption})
        if (caption == c) return true;
    return false;
}

namespace {

// Wine's files are a few hundred bytes; a larger one is not what Wine wrote.
const size_t kLargestEntry = 64 * 1024;

std::string StripTrailingSlashes(std::string p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

bool StartsWith(const std::string& s, const std::string& head) { return s.compare(0, head.size(), head) == 0; }
bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}
// The text without `tail`, which it ends with.
std::string Without(const std::string& s, const std::string& tail) { return s.substr(0, s.size() - tail.size()); }

std::string Utf8ToAnsiExact(const std::string& s) {
    std::wstring w;
    std::string out;
    return Utf8ToWideExact(s, w) && WideToAnsiExact(w.data(), w.size(), out) ? out : std::string();
}

bool IsGoneError(DWORD e) { return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND; }

// The keys the category reads of a desktop entry's [Desktop Entry] group, as written.
struct DesktopFile {
    std::string exec, icon, mimeTypes, type;
};

DesktopFile ParseDesktopFile(const std::string& text) {
    DesktopFile d;
    bool inGroup = false;
    for (std::string line : SplitAt(text, '\n')) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inGroup) continue;
        for (auto key : {std::make_pair("Exec=", &d.exec), std::make_pair("Icon=", &d.icon),
                         std::make_pair("MimeType=", &d.mimeTypes), std::make_pair("Type=", &d.type)})
            if (StartsWith(line, key.first) && key.second->empty()) *key.second = line.substr(strlen(key.first));
    }
    return d;
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

// The texts of every <name>...</name> element, XML escapes resolved.
std::vector<std::string> XmlElements(const std::string& text, const std::string& name) {
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

// An icon Wine's menu builder extracted: "<4 hex digits>_<program>.<index>" (".png", ".xpm").
bool IsWineIconName(const std::string& base) {
    if (base.size() < 8 || base[4] != '_') return false;
    for (int i = 0; i < 4; ++i)
        if (!isxdigit(static_cast<unsigned char>(base[i]))) return false;
    const size_t dot = base.rfind('.');
    if (dot == std::string::npos || dot < 6 || dot + 1 == base.size()) return false;
    for (size_t i = dot + 1 + (base[dot + 1] == '-'); i < base.size(); ++i)
        if (base[i] < '0' || base[i] > '9') return false;
    return base[dot + 1] != '-' || dot + 2 < base.size();
}

// The icon name an Icon= value stands for: its last element without a picture's extension.
std::string IconKey(const std::string& value) {
    std::string key = value.substr(value.rfind('/') == std::string::npos ? 0 : value.rfind('/') + 1);
    for (const char* ext : {".png", ".xpm", ".svg"})
        if (EndsWith(key, ext)) return Without(key, ext);
    return key;
}

// A file or folder of the host: its Windows path, through which it is read, and its Unix path,
// by which a row names it.
struct HostPath {
    std::wstring dos;
    std::string unix;   // ANSI; empty when the code page cannot hold it: judged, never reported
    std::string name;   // its own name in the host's bytes (UTF-8)
    bool exact = true;  // false when Wine could not give the host's name exactly: never judged
};

HostPath Child(const HostPath& dir, const std::wstring& name) {
    HostPath c;
    c.dos = dir.dos + L"\\" + name;
    // Wine lists bytes that are no UTF-8 as U+FFFD: such a name leads nowhere exactly.
    c.exact = dir.exact && !dir.dos.empty() && name.find(L'\xFFFD') == std::wstring::npos;
    c.name = WideToUtf8(name);
    std::string ansi;
    if (!dir.unix.empty() && WideToAnsiExact(name.data(), name.size(), ansi)) c.unix = dir.unix + "/" + ansi;
    return c;
}

// The entry a desktop-file ID or menu names (UTF-8); false when the text names none exactly.
bool ChildNamed(const HostPath& dir, const std::string& utf8Name, HostPath& out) {
    std::wstring w;
    if (!Utf8ToWideExact(utf8Name, w) || w.empty() || w.find_first_of(L"\\/") != std::wstring::npos) return false;
    out = Child(dir, w);
    return true;
}

HostPath FromUnix(const std::string& unix) {
    HostPath p;
    p.unix = unix;
    p.dos = AnsiToWide(DosPathOfUnix(unix));
    p.name = AnsiToUtf8(unix.substr(unix.rfind('/') + 1));
    p.exact = !p.dos.empty();
    return p;
}

struct HostEntry {
    std::wstring name;
    DWORD attributes = 0;
    bool Folder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    // A folder link is never entered: it may lead anywhere on the host.
    bool Link() const { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
};

enum class Listing { Listed, Missing, CannotTell };

// Every entry of a host folder but "." and "..", read to its end.
Listing ListHost(const HostPath& dir, std::vector<HostEntry>& entries) {
    if (!dir.exact) return Listing::CannotTell;
    const DWORD a = GetFileAttributesW(dir.dos.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return IsGoneError(GetLastError()) ? Listing::Missing : Listing::CannotTell;
    if (!(a & FILE_ATTRIBUTE_DIRECTORY)) return Listing::CannotTell;
    WIN32_FIND_DATAW fd;
    UniqueFind find(FindFirstFileW((dir.dos + L"\\*").c_str(), &fd));
    if (!find) return Listing::CannotTell;
    do {
        if (wcscmp(fd.cFileName, L".") != 0 && wcscmp(fd.cFileName, L"..") != 0)
            entries.push_back({fd.cFileName, fd.dwFileAttributes});
    } while (FindNextFileW(find.get(), &fd));
    return GetLastError() == ERROR_NO_MORE_FILES ? Listing::Listed : Listing::CannotTell;
}

// The plain files of a folder (links to folders and folders left out) whose name has `head`
// and `tail`; false when the folder cannot be listed (a missing one lists nothing).
bool FilesOf(const HostPath& dir, const std::string& head, const std::string& tail, std::vector<HostPath>& files) {
    std::vector<HostEntry> entries;
    const Listing l = ListHost(dir, entries);
    for (const HostEntry& e : entries) {
        HostPath p = Child(dir, e.name);
        if (!e.Folder() && StartsWith(p.name, head) && EndsWith(p.name, tail)) files.push_back(p);
    }
    return l != Listing::CannotTell;
}

// Whether the path is a symbolic link (Wine never writes one; acting on it would act on what
// it leads to), or cannot be told.
bool IsLinkPath(const HostPath& p) {
    const size_t slash = p.dos.rfind(L'\\');
    return slash == std::wstring::npos || IsHostLink(p.dos.substr(0, slash), p.dos.substr(slash + 1));
}

// Whether a prefix that is not there may lie on a disk that is not mounted now: then it may
// come back when the disk is plugged in, and nothing can be told. The nearest folder of its
// path that is there is empty (a mount point without its disk), or the path lies where
// removable disks are mounted and no disk mounted there holds it.
bool MayBeUnmounted(const std::string& prefix) {
    std::string there = prefix;
    for (;;) {
        const size_t slash = there.rfind('/');
        if (slash == std::string::npos) return true;
        there = slash == 0 ? "/" : there.substr(0, slash);
        const PathState s = JudgePath(DosPathOfUnix(there));
        if (s == PathState::Directory) break;
        if (!IsGone(s) || there == "/") return true;  // a file on the way, or cannot tell
    }
    std::vector<HostEntry> entries;
    if (ListHost(FromUnix(there), entries) != Listing::Listed || entries.empty()) return true;
    for (const char* removable : {"/media", "/mnt", "/run/media"}) {
        const std::string root = removable;
        if (!StartsWith(prefix, root + "/")) continue;
        std::string mounts;
        if (!ReadHostFile(AnsiToWide(DosPathOfUnix("/proc/self/mounts")), 1 << 20, mounts)) return true;
        for (const std::string& line : SplitAt(mounts, '\n')) {
            // "device mount-point type ...", blanks in the mount point written as "\040".
            const std::vector<std::string> fields = SplitAt(line, ' ');
            if (fields.size() < 2) continue;
            std::string point;
            for (size_t i = 0; i < fields[1].size(); ++i) {
                const std::string& f = fields[1];
                if (f[i] == '\\' && i + 3 < f.size() && f[i + 1] >= '0' && f[i + 1] <= '3') {
                    point += static_cast<char>((f[i + 1] - '0') * 64 + (f[i + 2] - '0') * 8 + (f[i + 3] - '0'));
                    i += 3;
                } else {
                    point += f[i];
                }
            }
            if ((point == root || StartsWith(point, root + "/")) && StartsWith(prefix, point + "/")) return false;
        }
        return true;
    }
    return false;
}

}  // namespace

struct Verdict {
    bool stale = false;
    std::string why;
    std::vector<std::string> missing;
    Finding::Missing rule = Finding::Missing::Nothing;
};

// The one judgement of every kind of row, for the scan and for the repair's re-check alike. A
// scan keeps its verdicts (the disk is read once); a repair makes each afresh (the rows before
// it may have changed what it rests on) and keeps only which files use which others.
struct WineLeftovers::Judge {
    explicit Judge(bool remember) : remember_(remember) {
        ok = FindWineHostFolders(unix);
        if (!ok) return;
        apps = FromUnix(unix.dataHome + "/applications");
        wine = FromUnix(unix.dataHome + "/applications/wine");
        menus = FromUnix(unix.configHome + "/menus/applications-merged");
        directories = FromUnix(unix.dataHome + "/desktop-directories");
        mime = FromUnix(unix.dataHome + "/mime/packages");
        desktop = FromUnix(unix.desktop);
        icons = FromUnix(unix.dataHome + "/icons");
        pixmaps = FromUnix(unix.dataHome + "/pixmaps");
        trash = FromUnix(unix.dataHome + "/Trash");
        thisPrefixDos = AnsiToWide(DosPathOfUnix(unix.thisPrefix));
    }

    // What the file or folder is now: its attributes, or INVALID_FILE_ATTRIBUTES with `gone`
    // telling whether nothing is there (rather than cannot tell).
    DWORD Attributes(const HostPath& p, bool& gone) {
        gone = false;
        if (!p.exact) return INVALID_FILE_ATTRIBUTES;
        const DWORD a = GetFileAttributesW(p.dos.c_str());
        gone = a == INVALID_FILE_ATTRIBUTES && IsGoneError(GetLastError());
        return a;
    }

    // The desktop entry, or null when it cannot be read (cannot tell).
    const DesktopFile* Read(const HostPath& p) {
        auto it = read_.find(p.dos);
        if (it == read_.end()) {
            std::string text;
            Entry e;
            e.read = p.exact && ReadHostFile(p.dos, kLargestEntry, text);
            if (e.read) e.file = ParseDesktopFile(text);
            if (!remember_) read_.clear();
            it = read_.emplace(p.dos, e).first;
        }
        return it->second.read ? &it->second.file : nullptr;
    }

    // A stale verdict stays only for a file that is no symbolic link.
    Verdict Settled(const HostPath& p, Verdict v) {
        if (v.stale && IsLinkPath(p)) return Verdict();
        return v;
    }

    // The verdict of a file, kept by a scan.
    Verdict Of(const HostPath& p, Verdict (Judge::*judge)(const HostPath&)) {
        if (!remember_) return Settled(p, (this->*judge)(p));
        auto it = verdicts_.find(p.dos);
        if (it == verdicts_.end()) it = verdicts_.emplace(p.dos, Settled(p, (this->*judge)(p))).first;
        return it->second;
    }

    // The prefix a launcher or association names; `same` tells whether it is this one.
    Verdict Prefix(const WineExec& e, bool& same) {
        std::string prefix = e.prefix.empty() ? unix.home + "/.wine" : Utf8ToAnsiExact(e.prefix);
        prefix = StripTrailingSlashes(prefix);
        auto it = prefixes_.find(prefix);
        if (it == prefixes_.end()) {
            PrefixState s;
            const std::string dos = prefix.empty() ? std::string() : DosPathOfUnix(prefix);
            const PathState state = dos.empty() ? PathState::Unknown : JudgePath(dos);
            if (IsNothing(state) && !MayBeUnmounted(prefix)) {
                s.verdict.stale = true;
                s.verdict.why = "所属的 Wine 前缀已不存在：" + prefix;
                s.verdict.missing = {dos};
            }
            // The same folder may be named through a link: the real paths decide.
            s.same = !dos.empty() && (prefix == unix.thisPrefix ||
                                      (state == PathState::Directory && SameHostObject(AnsiToWide(dos), thisPrefixDos)));
            it = prefixes_.emplace(prefix, s).first;
        }
        same = it->second.same && !it->second.verdict.stale;
        return it->second.verdict;
    }

    // A launcher of the menus or of the desktop: stale when its prefix is gone, or when it is
    // of this prefix and what it starts (a shortcut, or a program) is gone.
    Verdict JudgeLauncher(const HostPath& p) {
        Verdict v;
        const DesktopFile* d = Read(p);
        const WineExec e = d ? ParseWineExec(d->exec) : WineExec();
        if (e.form != WineExec::Shortcut && e.form != WineExec::UnixShortcut && e.form != WineExec::Program) return v;
        bool same = false;
        v = Prefix(e, same);
        if (v.stale || !same) return v;
        const std::string target = Utf8ToAnsiExact(e.target);
        const std::string path = e.form == WineExec::UnixShortcut ? DosPathOfUnix(target) : target;
        // A program on a drive that is not a fixed disk (a CD, a network drive) may come back.
        if (path.empty() || (e.form == WineExec::Program && DriveType(path.substr(0, 3)) != DRIVE_FIXED)) return v;
        if (!IsNoFile(JudgePath(path))) return v;
        v.stale = true;
        v.why = (e.form == WineExec::Program ? "程序已不存在：" : "快捷方式已不存在：") + path;
        v.missing = {path};
        v.rule = Finding::Missing::NoFile;
        return v;
    }
    Verdict Launcher(const HostPath& p) { return Of(p, &Judge::JudgeLauncher); }

    // Whether a folder of launchers holds nothing but stale ones and such folders, each of which
    // a row can name. The rows go to `launcherRows` in the order found and to `folderRows`
    // deepest first (when given).
    bool HoldsOnlyStale(const HostPath& dir, std::vector<Finding>* launcherRows, std::vector<Finding>* folderRows,
                        const std::function<bool()>& going) {
        std::vector<HostEntry> entries;
        if (ListHost(dir, entries) != Listing::Listed) return false;
        bool all = true;
        for (const HostEntry& e : entries) {
            if (!going()) return false;
            const HostPath c = Child(dir, e.name);
            bool gone = false;
            if (e.Folder()) {
                if (!e.Link() && c.exact && HoldsOnlyStale(c, launcherRows, folderRows, going) && !c.unix.empty()) {
                    gone = true;
                    Verdict v;
                    v.why = "文件夹中没有有效的菜单项";
                    if (folderRows) folderRows->push_back(Row(kWineMenuFolderCaption, FindingKind::Folder, c.unix, v));
                }
            } else if (EndsWith(c.name, ".desktop")) {
                const Verdict v = Launcher(c);
                gone = v.stale && !c.unix.empty();
                if (gone && launcherRows) launcherRows->push_back(Row(kWineLauncherCaption, FindingKind::File, c.unix, v));
            }
            all = all && gone;
        }
        return all;
    }

    // Whether a desktop-file ID (a launcher's path below applications/, "/" written "-") names
    // a launcher that is there and not stale, or cannot be told. Outside Wine's own folder any
    // file of that ID counts as working.
    bool IdWorks(const HostPath& dir, const std::string& rest, bool inWine) {
        HostPath file;
        if (!ChildNamed(dir, rest, file)) return true;
        bool gone = true;
        const DWORD a = MayHold(dir, rest) ? Attributes(file, gone) : INVALID_FILE_ATTRIBUTES;
        if (a == INVALID_FILE_ATTRIBUTES) {
            if (!gone) return true;
        } else if (!(a & FILE_ATTRIBUTE_DIRECTORY) && (!inWine || !Launcher(file).stale)) {
            return true;
        }
        for (size_t dash = rest.find('-'); dash != std::string::npos; dash = rest.find('-', dash + 1)) {
            HostPath sub;
            if (!ChildNamed(dir, rest.substr(0, dash), sub)) return true;
            if (!MayHold(dir, sub.name)) continue;
            const DWORD s = FolderAttributes(sub, gone);
            if (s == INVALID_FILE_ATTRIBUTES) {
                if (!gone) return true;
                continue;
            }
            if (!(s & FILE_ATTRIBUTE_DIRECTORY)) continue;
            if (s & FILE_ATTRIBUTE_REPARSE_POINT) return true;
            const bool wineFolder = inWine || (dir.dos == apps.dos && sub.name == "wine");
            if (IdWorks(sub, rest.substr(dash + 1), wineFolder)) return true;
        }
        return false;
    }
    // Whether a folder may hold a name (as the host writes it): false only when the folder's
    // listing, taken once for the scan or the repair command, does not. Under Wine each question
    // about a name that is not there looks through the whole folder; a folder of thousands of
    // launchers would make every menu's judgement cost as much as the folder.
    bool MayHold(const HostPath& dir, const std::string& name) {
        auto it = listings_.find(dir.dos);
        if (it == listings_.end()) {
            std::vector<HostEntry> entries;
            FolderNames listed;
            listed.whole = ListHost(dir, entries) != Listing::CannotTell;
            for (const HostEntry& e : entries) listed.names.insert(WideToUtf8(e.name));
            it = listings_.emplace(dir.dos, std::move(listed)).first;
        }
        return !it->second.whole || it->second.names.count(name) != 0;
    }

    // Folders are asked about again and again while IDs are resolved: a scan asks once.
    DWORD FolderAttributes(const HostPath& p, bool& gone) {
        if (!remember_) return Attributes(p, gone);
        auto it = folders_.find(p.dos);
        if (it == folders_.end()) {
            const DWORD a = Attributes(p, gone);
            it = folders_.emplace(p.dos, std::make_pair(a, gone)).first;
        }
        gone = it->second.second;
        return it->second.first;
    }

    // Whether any file an index lists as using `name` is still there and works (a file gone since
    // the index was read uses nothing).
    template <class Users, class Entries, class Works>
    bool AnyWorks(const Users& byName, const std::string& name, const Entries& entries, Works works) {
        const auto users = byName.find(name);
        if (users == byName.end()) return false;
        for (size_t i : users->second) {
            bool gone = false;
            if (Attributes(entries[i].path, gone) == INVALID_FILE_ATTRIBUTES && gone) continue;
            if (works(entries[i])) return true;
        }
        return false;
    }

    // A menu file of Wine's whose launchers are all gone or stale.
    Verdict JudgeMenu(const HostPath& p) {
        Verdict v;
        std::string text;
        if (!p.exact || !ReadHostFile(p.dos, kLargestEntry, text)) return v;
        const std::vector<std::string> files = XmlElements(text, "Filename");
        if (files.empty()) return v;
        for (const std::string& id : files)
            if (!StartsWith(id, "wine-") || !EndsWith(id, ".desktop")) return v;
        for (const std::string& id : files)
            if (IdWorks(apps, id, false)) return v;
        v.stale = true;
        v.why = "菜单中的菜单项都已不存在";
        return v;
    }
    Verdict Menu(const HostPath& p) { return Of(p, &Judge::JudgeMenu); }

    // Which menus name which folder entries, read once.
    struct MenuUse {
        HostPath path;
        bool read = false, wine = false;
    };
    struct MenuIndex {
        bool listed = false;
        std::vector<MenuUse> menus;
        std::map<std::string, std::vector<size_t>> byDirectory;
        std::vector<size_t> unreadable;  // Wine's menus that could not be read
    };
    const MenuIndex& Menus() {
        if (menuIndex_) return *menuIndex_;
        menuIndex_.reset(new MenuIndex);
        std::vector<HostPath> files;
        menuIndex_->listed = FilesOf(menus, "", ".menu", files);
        for (const HostPath& p : files) {
            MenuUse m;
            m.path = p;
            m.wine = StartsWith(p.name, "wine-");
            std::string text;
            m.read = p.exact && ReadHostFile(p.dos, kLargestEntry, text);
            const size_t i = menuIndex_->menus.size();
            menuIndex_->menus.push_back(m);
            if (!m.read) {
                if (m.wine) menuIndex_->unreadable.push_back(i);
                continue;
            }
            for (const std::string& d : XmlElements(text, "Directory")) menuIndex_->byDirectory[d].push_back(i);
        }
        return *menuIndex_;
    }

    // A folder entry of Wine's that no working menu uses. A menu that cannot be read keeps the
    // entries Wine names after its own place (its name begins with theirs) and "wine-wine".
    Verdict JudgeDirectory(const HostPath& p) {
        Verdict v;
        const DesktopFile* d = Read(p);
        if (!d || d->type != "Directory") return v;
        const MenuIndex& index = Menus();
        if (!index.listed) return v;
        const std::string base = Without(p.name, ".directory");
        for (size_t i : index.unreadable)
            if (base == "wine-wine" || StartsWith(index.menus[i].path.name, base + "-")) return v;
        const auto works = [this](const MenuUse& m) { return !m.wine || !Menu(m.path).stale; };
        if (AnyWorks(index.byDirectory, p.name, index.menus, works)) return v;
        v.stale = true;
        v.why = "没有菜单再用到这个菜单目录";
        return v;
    }

    // An association of a prefix that is gone, or of a class this prefix no longer has.
    Verdict JudgeAssociation(const HostPath& p) {
        Verdict v;
        const DesktopFile* d = Read(p);
        const WineExec x = d ? ParseWineExec(d->exec) : WineExec();
        if (x.form != WineExec::Association) return v;
        bool same = false;
        v = Prefix(x, same);
        if (v.stale || !same) return v;
        const std::string progId = Utf8ToAnsiExact(x.target);
        HKEY key = nullptr;
        const LONG rc = progId.empty() ? ERROR_SUCCESS : RegOpenKeyExA(HKEY_CLASSES_ROOT, progId.c_str(), 0, KEY_READ, &key);
        UniqueHKey owned(key);
        if (rc == ERROR_FILE_NOT_FOUND) {
            v.stale = true;
            v.why = "这个 Wine 前缀中已没有文件类型 " + progId;
        }
        return v;
    }
    Verdict Association(const HostPath& p) { return Of(p, &Judge::JudgeAssociation); }

    // The desktop entries directly in applications/ (associations among them) with the MIME
    // types and icons they name, read once.
    struct AppEntry {
        HostPath path;
        bool read = false, wine = false;  // wine: one of Wine's associations
        std::string icon;
    };
    struct AppIndex {
        bool listed = false;
        std::vector<AppEntry> entries;
        std::map<std::string, std::vector<size_t>> byType;
        std::set<std::string> unreadableTypes;  // the types of Wine's associations that cannot be read
    };
    const AppIndex& Apps() {
        if (appIndex_) return *appIndex_;
        appIndex_.reset(new AppIndex);
        std::vector<HostPath> files;
        appIndex_->listed = FilesOf(apps, "", ".desktop", files);
        for (const HostPath& p : files) {
            AppEntry a;
            a.path = p;
            a.wine = StartsWith(p.name, "wine-extension-");
            const DesktopFile* d = Read(p);
            a.read = d != nullptr;
            if (d) a.icon = IconKey(d->icon);
            const size_t i = appIndex_->entries.size();
            appIndex_->entries.push_back(a);
            if (!d && a.wine)
                appIndex_->unreadableTypes.insert("application/x-wine-extension-" +
                                                  Without(p.name.substr(15), ".desktop"));
            if (d)
                for (const std::string& t : SplitAt(UnescapeValue(d->mimeTypes), ';'))
                    if (!t.empty()) appIndex_->byType[t].push_back(i);
        }
        return *appIndex_;
    }

    // A MIME type of Wine's that no working association uses.
    Verdict JudgeMimeType(const HostPath& p) {
        Verdict v;
        std::string text;
        if (!p.exact || !ReadHostFile(p.dos, kLargestEntry, text)) return v;
        const std::string head = "<mime-type type=\"";
        const size_t at = text.find(head);
        if (at == std::string::npos) return v;
        const size_t end = text.find('"', at + head.size());
        if (end == std::string::npos) return v;
        const std::string type = text.substr(at + head.size(), end - at - head.size());
        const AppIndex& index = Apps();
        if (!StartsWith(type, "application/x-wine-extension-") || !index.listed || index.unreadableTypes.count(type))
            return v;
        const auto works = [this](const AppEntry& a) { return !a.wine || !Association(a.path).stale; };
        if (AnyWorks(index.byType, type, index.entries, works)) return v;
        v.stale = true;
        v.why = "没有文件关联再用到文件类型 " + Utf8ToAnsiExact(type);
        return v;
    }

    // Which launchers, associations and other desktop entries name which icons, read once:
    // Wine's launchers, the entries directly in applications/ and those on the desktop. An entry
    // that cannot be read, or a folder that cannot be listed, may name any icon.
    struct IconUser {
        HostPath path;
        bool judged;  // a launcher or association of Wine's, judged as such; any other works
        bool association;
    };
    struct IconIndex {
        bool sure = true;
        std::vector<IconUser> users;
        std::map<std::string, std::vector<size_t>> byIcon;
    };
    void AddIconUser(const HostPath& p, bool judged, bool association) {
        const DesktopFile* d = Read(p);
        if (!d) {
            iconIndex_->sure = false;
            return;
        }
        if (d->icon.empty()) return;
        iconIndex_->byIcon[IconKey(d->icon)].push_back(iconIndex_->users.size());
        iconIndex_->users.push_back({p, judged, association});
    }
    void AddLaunchers(const HostPath& dir) {
        std::vector<HostEntry> entries;
        if (ListHost(dir, entries) == Listing::CannotTell) iconIndex_->sure = false;
        for (const HostEntry& e : entries) {
            const HostPath c = Child(dir, e.name);
            if (e.Folder() && e.Link()) iconIndex_->sure = false;
            else if (e.Folder()) AddLaunchers(c);
            else if (EndsWith(c.name, ".desktop")) AddIconUser(c, true, false);
        }
    }
    const IconIndex& Icons() {
        if (iconIndex_) return *iconIndex_;
        iconIndex_.reset(new IconIndex);
        AddLaunchers(wine);
        const AppIndex& index = Apps();
        iconIndex_->sure = iconIndex_->sure && index.listed;
        for (const AppEntry& a : index.entries) AddIconUser(a.path, a.wine, true);
        std::vector<HostPath> onDesktop;
        if (!FilesOf(desktop, "", ".desktop", onDesktop)) iconIndex_->sure = false;
        for (const HostPath& p : onDesktop) AddIconUser(p, true, false);
        return *iconIndex_;
    }

    // An icon in Wine's naming that no remaining launcher or association uses.
    Verdict JudgeIcon(const HostPath& p) {
        Verdict v;
        std::string base;
        for (const char* ext : {".png", ".xpm"})
            if (EndsWith(p.name, ext)) base = Without(p.name, ext);
        if (!IsWineIconName(base)) return v;
        const IconIndex& index = Icons();
        if (!index.sure) return v;
        const auto works = [this](const IconUser& u) {
            return !u.judged || !(u.association ? Association(u.path) : Launcher(u.path)).stale;
        };
        if (AnyWorks(index.byIcon, base, index.users, works)) return v;
        v.stale = true;
        v.why = "没有 Wine 菜单项或文件关联再用到这个图标";
        return v;
    }

    // The folders of Wine's icons: icons/hicolor/<size>/apps, and for older versions' pictures
    // icons/ and pixmaps/ themselves.
    std::vector<HostPath> IconFolders() {
        std::vector<HostPath> out = {icons, pixmaps};
        const HostPath hicolor = Child(icons, L"hicolor");
        std::vector<HostEntry> sizes;
        ListHost(hicolor, sizes);
        for (const HostEntry& e : sizes)
            if (e.Folder() && !e.Link()) out.push_back(Child(Child(hicolor, e.name), L"apps"));
        return out;
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

    bool ok = false;
    WineHostFolders unix;
    HostPath apps, wine, menus, directories, mime, desktop, icons, pixmaps, trash;
    std::wstring thisPrefixDos;

private:
    struct Entry {
        bool read = false;
        DesktopFile file;
    };
    struct PrefixState {
        Verdict verdict;
        bool same = false;
    };
    struct FolderNames {
        bool whole = false;  // listed to its end (or not there at all)
        std::set<std::string> names;
    };
    bool remember_;
    std::map<std::wstring, Entry> read_;
    std::map<std::wstring, Verdict> verdicts_;
    std::map<std::wstring, std::pair<DWORD, bool>> folders_;
    std::map<std::string, PrefixState> prefixes_;
    std::map<std::wstring, FolderNames> listings_;
    std::unique_ptr<MenuIndex> menuIndex_;
    std::unique_ptr<AppIndex> appIndex_;
    std::unique_ptr<IconIndex> iconIndex_;
};

namespace {

class WineDesktopScan {
public:
    WineDesktopScan(WineLeftovers::Judge& j, ScanSink& sink, const ScanContext& ctx) : j_(j), sink_(sink), ctx_(ctx) {}

    void Run() {
        sink_.ShowStatus("扫描 Wine 遗留的桌面菜单和文件关联：" + j_.unix.dataHome);
        const std::function<bool()> going = [this] { return ctx_.scanning(); };
        std::vector<Finding> launcherRows, folderRows;
        j_.HoldsOnlyStale(j_.wine, &launcherRows, &folderRows, going);
        for (const Finding& r : launcherRows) Add(r);
        // Menus whose launchers are gone, then the folder entries no working menu uses.
        for (const Judge::MenuUse& m : j_.Menus().menus)
            if (m.wine) Report(kWineMenuCaption, m.path, j_.Menu(m.path));
        Each(j_.directories, "wine-", ".directory", &Judge::JudgeDirectory, kWineMenuFolderCaption);
        for (const Finding& r : folderRows) Add(r);
        for (const Judge::AppEntry& a : j_.Apps().entries)
            if (a.wine) Report(kWineAssociationCaption, a.path, j_.Association(a.path));
        Each(j_.mime, "x-wine-extension-", ".xml", &Judge::JudgeMimeType, kWineMimeTypeCaption);
        Each(j_.desktop, "", ".desktop", &Judge::JudgeLauncher, kWineDesktopFileCaption);
        for (const HostPath& folder : j_.IconFolders()) {
            Each(folder, "", ".png", &Judge::JudgeIcon, kWineIconCaption);
            Each(folder, "", ".xpm", &Judge::JudgeIcon, kWineIconCaption);
        }
    }

private:
    using Judge = WineLeftovers::Judge;

    void Add(const Finding& f) {
        if (!ctx_.scanning()) return;
        sink_.AddFinding(f);
        sink_.ProcessMessages();
    }

    // A row for a stale file that a row can name (one the code page cannot hold stays).
    void Report(const char* caption, const HostPath& p, const Verdict& v) {
        if (v.stale && !p.unix.empty()) Add(Judge::Row(caption, FindingKind::File, p.unix, v));
    }

    // Each file of a folder whose name has `head` and `tail`, judged.
    void Each(const HostPath& dir, const char* head, const char* tail, Verdict (Judge::*judge)(const HostPath&),
              const char* caption) {
        std::vector<HostPath> files;
        FilesOf(dir, head, tail, files);
        for (const HostPath& p : files) {
            if (!ctx_.scanning()) return;
            Report(caption, p, j_.Of(p, judge));
        }
    }

    Judge& j_;
    ScanSink& sink_;
    const ScanContext& ctx_;
};

// The desktop folder as xdg-user-dir names it: XDG_DESKTOP_DIR of user-dirs.dirs ("$HOME/..."
// or an absolute path, in double quotes), else ~/Desktop.
std::string DesktopFolder(const std::string& home, const std::string& configHome) {
    const std::string fallback = home + "/Desktop";
    std::string text;
    const std::string dos = DosPathOfUnix(configHome + "/user-dirs.dirs");
    if (dos.empty() || !ReadHostFile(AnsiToWide(dos), kLargestEntry, text)) return fallback;
    std::string found;
    for (std::string line : SplitAt(text, '\n')) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, 16, "XDG_DESKTOP_DIR=") != 0) continue;
        std::string value = line.substr(start + 16);
        if (value.size() < 2 || value.front() != '"' || value.back() != '"') continue;
        value = value.substr(1, value.size() - 2);
        std::string plain;
        for (size_t i = 0; i < value.size(); ++i) plain += value[i] == '\\' && i + 1 < value.size() ? value[++i] : value[i];
        if (plain == "$HOME" || StartsWith(plain, "$HOME/")) plain = home + plain.substr(5);
        if (!plain.empty() && plain[0] == '/') found = Utf8ToAnsiExact(StripTrailingSlashes(plain));
    }
    return found.empty() ? fallback : found;
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
    } else if (!rest.empty() && IsWindowsPath(rest[0]) && !EndsWithLnk(rest[0]) && !IsStartProgram(rest[0])) {
        // A shortcut on a desktop that is the host's own: its launcher starts the program with
        // the shortcut's arguments.
        e.form = WineExec::Program;
        e.target = rest[0];
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
    out.desktop = DesktopFolder(home, out.configHome);
    return true;
}

void ScanWineDesktopEntries(const ScanContext& ctx, ScanSink& sink) {
    WineLeftovers::Judge judge(true);
    if (!judge.ok) return;
    if (judge.apps.dos.empty()) EndScanAt(judge.unix.dataHome, "无法通过 Wine 的驱动器映射读取这个文件夹");
    if (judge.menus.dos.empty()) EndScanAt(judge.unix.configHome, "无法通过 Wine 的驱动器映射读取这个文件夹");
    WineDesktopScan(judge, sink, ctx).Run();
}

bool IsWineHostRow(const Finding& f) {
    return !f.location.empty() && f.location[0] == '/' && f.OnDisk();
}

namespace {

// The folder a path lies directly in, and whether it has no "." or ".." elements.
std::string FolderOf(const std::string& unix) { return unix.substr(0, unix.rfind('/')); }
bool PlainPath(const std::string& unix) {
    for (const std::string& part : SplitAt(unix.substr(1), '/'))
        if (part.empty() || part == "." || part == "..") return false;
    return true;
}
bool Below(const std::string& unix, const std::string& folder) { return StartsWith(unix, folder + "/"); }

}  // namespace

WineLeftovers::WineLeftovers() : judge_(new Judge(false)) {}
WineLeftovers::~WineLeftovers() = default;

WineRecheck WineLeftovers::Recheck(const Finding& f, std::string& why) {
    why.clear();
    Judge& j = *judge_;
    if (!j.ok || !IsWineHostRow(f)) return WineRecheck::CannotTell;
    const std::string& at = f.location;
    const std::string data = j.unix.dataHome, in = FolderOf(at);
    const bool folderRow = f.kind == FindingKind::Folder;
    // Only what the category's own folders hold, and only of the kind of the row's caption.
    bool own = false;
    Verdict (Judge::*judge)(const HostPath&) = nullptr;
    if (f.caption == kWineLauncherCaption && !folderRow) {
        own = Below(at, data + "/applications/wine");
        judge = &Judge::JudgeLauncher;
    } else if (f.caption == kWineMenuFolderCaption && folderRow) {
        own = Below(at, data + "/applications/wine");
    } else if (f.caption == kWineMenuCaption) {
        own = in == j.unix.configHome + "/menus/applications-merged";
        judge = &Judge::JudgeMenu;
    } else if (f.caption == kWineMenuFolderCaption) {
        own = in == data + "/desktop-directories";
        judge = &Judge::JudgeDirectory;
    } else if (f.caption == kWineAssociationCaption) {
        own = in == data + "/applications";
        judge = &Judge::JudgeAssociation;
    } else if (f.caption == kWineMimeTypeCaption) {
        own = in == data + "/mime/packages";
        judge = &Judge::JudgeMimeType;
    } else if (f.caption == kWineDesktopFileCaption) {
        own = in == j.unix.desktop;
        judge = &Judge::JudgeLauncher;
    } else if (f.caption == kWineIconCaption) {
        own = in == data + "/icons" || in == data + "/pixmaps" ||
              (Below(in, data + "/icons/hicolor") && EndsWith(in, "/apps") &&
               FolderOf(FolderOf(in)) == data + "/icons/hicolor");
        judge = &Judge::JudgeIcon;
    }
    if (!own || folderRow == (judge != nullptr) || !PlainPath(at)) {
        why = "不在 Wine 菜单和文件关联的文件夹中，没有删除";
        return WineRecheck::Refused;
    }
    const HostPath p = FromUnix(at);
    if (p.dos.empty()) return WineRecheck::CannotTell;
    bool gone = false;
    const DWORD a = j.Attributes(p, gone);
    if (a == INVALID_FILE_ATTRIBUTES) return gone ? WineRecheck::Gone : WineRecheck::CannotTell;
    if (((a & FILE_ATTRIBUTE_DIRECTORY) != 0) != folderRow) {
        why = folderRow ? "这已经不是文件夹，没有删除" : "这已经不是文件，没有删除";
        return WineRecheck::Refused;
    }
    if (folderRow ? (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0 : IsLinkPath(p)) {
        why = "这是一个符号链接：通过它删除会删除它所指向的文件，所以没有删除";
        return WineRecheck::Refused;
    }
    const bool stale = folderRow ? j.HoldsOnlyStale(p, nullptr, nullptr, [] { return true; }) : (j.*judge)(p).stale;
    return stale ? WineRecheck::Stale : WineRecheck::NotStale;
}

bool WineLeftovers::MoveToTrash(const Finding& f, std::string& why) {
    const Judge& j = *judge_;
    const std::string trash = j.unix.dataHome + "/Trash";
    switch (MoveToHostTrash(AnsiToWide(DosPathOfUnix(f.location)), AnsiToUtf8(f.location), j.trash.dos)) {
        case HostTrashResult::Moved: return true;
        case HostTrashResult::NoTrash: why = "回收站“" + trash + "”不能使用，没有删除"; break;
        case HostTrashResult::NotMoved: why = "无法把它移到回收站“" + trash + "”，没有删除"; break;
    }
    return false;
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
