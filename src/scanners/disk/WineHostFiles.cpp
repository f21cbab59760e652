#include "scanners/disk/WineHostFiles.h"

#include <cctype>
#include <cstring>

#include "platform/FileSystem.h"
#include "platform/Handle.h"
#include "platform/Text.h"
#include "platform/WineHost.h"
#include "scanners/PathCheck.h"
#include "scanners/disk/WineDesktopEntries.h"

namespace tw {
namespace wine {

std::string StripTrailingSlashes(std::string p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

bool StartsWith(const std::string& s, const std::string& head) { return s.compare(0, head.size(), head) == 0; }
bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}
std::string Without(const std::string& s, const std::string& tail) { return s.substr(0, s.size() - tail.size()); }

std::string Utf8ToAnsiExact(const std::string& s) {
    std::wstring w;
    std::string out;
    return Utf8ToWideExact(s, w) && WideToAnsiExact(w.data(), w.size(), out) ? out : std::string();
}

bool IsGoneError(DWORD e) { return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND; }

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

std::string IconKey(const std::string& value) {
    std::string key = value.substr(value.rfind('/') == std::string::npos ? 0 : value.rfind('/') + 1);
    for (const char* ext : {".png", ".xpm", ".svg"})
        if (EndsWith(key, ext)) return Without(key, ext);
    return key;
}

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

bool FilesOf(const HostPath& dir, const std::string& head, const std::string& tail, std::vector<HostPath>& files) {
    std::vector<HostEntry> entries;
    const Listing l = ListHost(dir, entries);
    for (const HostEntry& e : entries) {
        HostPath p = Child(dir, e.name);
        if (!e.Folder() && StartsWith(p.name, head) && EndsWith(p.name, tail)) files.push_back(p);
    }
    return l != Listing::CannotTell;
}

bool IsLinkPath(const HostPath& p) {
    const size_t slash = p.dos.rfind(L'\\');
    return slash == std::wstring::npos || IsHostLink(p.dos.substr(0, slash), p.dos.substr(slash + 1));
}

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

}  // namespace wine

using namespace wine;

namespace {

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

}  // namespace tw
