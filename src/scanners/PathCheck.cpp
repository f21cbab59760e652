#include "scanners/PathCheck.h"

#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "platform/Handle.h"
#include "platform/Seams.h"
#include "platform/Text.h"

namespace tw {

namespace {

// The pieces of a path between its backslashes, as byte offsets of where each element ends.
std::vector<size_t> ElementEnds(const std::string& path) {
    std::vector<size_t> ends;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '\\') ends.push_back(i);
        else if (IsLeadByte(path[i]) && i + 1 < path.size()) ++i;
    }
    ends.push_back(path.size());
    return ends;
}

// A missing path whose first missing element is an 8.3 short name cannot be judged: each system
// makes its own short names (Windows "PROGRA~1", Wine "PROG~FBU"), and the long name it stands
// for may well be there.
bool FirstMissingIsShortName(const std::string& path) {
    if (path.find('~') == std::string::npos) return false;
    size_t start = 0;
    for (size_t end : ElementEnds(path)) {
        const std::string element = path.substr(start, end - start);
        const std::string prefix = path.substr(0, end);
        start = end + 1;
        if (element.empty() || prefix.size() <= 3) continue;  // "C:" and the root exist or not alike
        const PathState s = QueryPath(prefix);
        if (s == PathState::File || s == PathState::Directory) continue;
        return IsShortNameElement(element);
    }
    return false;
}

PathState Pattern(const std::string& path) {
    std::wstring wide;
    if (!AnsiToWideExact(path, wide)) return PathState::Unknown;
    WIN32_FIND_DATAW fd;
    RealFileSystem real;
    UniqueFind find(FindFirstFileW(wide.c_str(), &fd));
    if (!find) {
        const DWORD err = GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_NO_MORE_FILES) return PathState::Missing;
        if (err == ERROR_PATH_NOT_FOUND) return PathState::FolderMissing;
        return PathState::Unknown;
    }
    bool folder = false;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return PathState::File;
        folder = true;
    } while (FindNextFileW(find.get(), &fd));
    return folder ? PathState::Directory : PathState::Missing;
}

bool HasExtension(const std::string& path) {
    const std::vector<size_t> ends = ElementEnds(path);
    const size_t start = ends.size() > 1 ? ends[ends.size() - 2] + 1 : 0;
    return path.find('.', start) != std::string::npos;
}

bool IsAbsolute(const std::string& path) {
    return (path.size() >= 3 && path[1] == ':' && path[2] == '\\') || (path.size() >= 2 && path[0] == '\\' && path[1] == '\\');
}

PathState Search(const std::string& name) {
    std::wstring wide;
    if (!AnsiToWideExact(name, wide)) return PathState::Unknown;
    wchar_t found[MAX_PATH + 1];
    RealFileSystem real;
    const DWORD n = SearchPathW(nullptr, wide.c_str(), nullptr, MAX_PATH, found, nullptr);
    if (n > 0) return PathState::File;  // a longer answer is still an answer: something is there
    const DWORD err = GetLastError();
    return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ? PathState::Missing : PathState::Unknown;
}

// The system's folder for 32-bit programs on a 64-bit system ("C:\Program Files (x86)"),
// lower-cased; empty on a 32-bit system.
std::string ProgramFilesX86() {
    char buf[MAX_PATH + 1] = "";
    const DWORD n = GetEnvironmentVariableA("ProgramFiles(x86)", buf, sizeof buf);
    std::string folder = n > 0 && n < sizeof buf ? std::string(buf, n) : SpecialFolder(nullptr, CSIDL_PROGRAM_FILESX86);
    return LowerAscii(TrimTrailingBackslashes(folder));
}

// A folder is listed once it has been asked about this often: a table that names one file in a
// big folder costs one question, not a listing.
const int kListAfter = 3;
// A folder holding more entries than this is judged file by file.
const size_t kMaxListed = 20000;
// Folders remembered at most (listed or counted): a hive names files in very many folders.
const size_t kMaxFolders = 50000;

// A name a listing shows as the system would find it: printable ASCII, none of the characters a
// path or pattern gives a meaning to, no short-name tilde, no dot or blank at either end (the
// system drops trailing ones), no device name ("nul", "com1.txt").
bool ListableName(const std::string& name) {
    if (name.empty() || name.size() > 255 || name == "." || name == "..") return false;
    for (char c : name)
        if (c < 0x20 || c > 0x7E || strchr("<>:\"/\\|?*~", c)) return false;
    if (name.front() == ' ' || name.front() == '.' || name.back() == ' ' || name.back() == '.') return false;
    const std::string base = LowerAscii(name.substr(0, name.find('.')));
    for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"})
        if (base == device) return false;
    if (base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) && base[3] >= '0' &&
        base[3] <= '9')
        return false;
    return true;
}

// A character that the system's letter-case rules may take for an ASCII letter ("\u0131" for
// "i", the Kelvin sign for "k"): a name holding one may answer for an ASCII name.
bool FoldsToAscii(wchar_t c) {
    if (c < 0x80) return true;
    const wchar_t up = static_cast<wchar_t>(reinterpret_cast<UINT_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(static_cast<UINT_PTR>(c)))));
    const wchar_t low = static_cast<wchar_t>(reinterpret_cast<UINT_PTR>(CharLowerW(reinterpret_cast<LPWSTR>(static_cast<UINT_PTR>(c)))));
    return up < 0x80 || low < 0x80;
}

}  // namespace

DriveTypeCache::DriveTypeCache() {
    for (UINT& t : types_) t = static_cast<UINT>(-1);
}

UINT DriveTypeCache::TypeOf(const std::string& root) {
    const bool driveRoot = root.size() == 3 && root[1] == ':' && root[2] == '\\';
    const char letter = driveRoot ? static_cast<char>(toupper(static_cast<unsigned char>(root[0]))) : 0;
    if (letter < 'A' || letter > 'Z') return DriveType(root);
    UINT& t = types_[letter - 'A'];
    if (t == static_cast<UINT>(-1)) t = DriveType(root);
    return t;
}

void FolderListings::List(const std::string& folder, Folder& f) {
    f.tried = true;
    std::wstring pattern;
    if (!AnsiToWideExact(folder + "\\*", pattern) || pattern.size() >= MAX_PATH) return;
    WIN32_FIND_DATAW fd;
    UniqueFind find;
    {
        RealFileSystem real;
        find.reset(FindFirstFileW(pattern.c_str(), &fd));
    }
    if (!find) return;
    std::unordered_map<std::string, bool> names;
    for (;;) {
        // Only a plain file answers "file"; a folder or a link is asked about as before. The
        // short name finds the entry too.
        const bool plain = !(fd.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
        for (const wchar_t* spelling : {fd.cFileName, fd.cAlternateFileName}) {
            bool ascii = true;
            for (const wchar_t* c = spelling; *c; ++c) {
                if (*c >= 0x80 && FoldsToAscii(*c)) return;  // another spelling of an ASCII name
                ascii = ascii && *c < 0x80;
            }
            if (!ascii || !*spelling) continue;
            std::string name;
            for (const wchar_t* c = spelling; *c; ++c) name += static_cast<char>(*c);
            bool& entry = names.emplace(LowerAscii(name), plain).first->second;
            entry = entry && plain;
        }
        if (names.size() > kMaxListed) return;
        if (pause_) pause_();
        RealFileSystem real;
        if (!FindNextFileW(find.get(), &fd)) {
            // Listed to its end, or not whole: then it answers nothing.
            if (GetLastError() != ERROR_NO_MORE_FILES) return;
            break;
        }
    }
    f.names = std::move(names);
    f.listed = true;
}

PathState FolderListings::Judge(const std::string& path) {
    // A whole drive path of a folder and a name, nothing the system reads another way.
    const size_t sep = path.rfind('\\');
    if (path.size() >= MAX_PATH || sep == std::string::npos || sep < 2 || path.size() < 4 || path[1] != ':' ||
        path[2] != '\\' || path.find('/') != std::string::npos || path.find(':', 2) != std::string::npos || path.find("\\\\", 2) != std::string::npos ||
        HasWildcard(path))
        return JudgePath(path);
    const std::string name = path.substr(sep + 1);
    if (!ListableName(name)) return JudgePath(path);
    if (folders_.size() >= kMaxFolders) folders_.clear();
    const std::string folder = path.substr(0, sep);
    Folder& f = folders_[folder];
    if (!f.listed && !f.tried && ++f.asked >= kListAfter) List(folder, f);
    if (f.listed) {
        const auto it = f.names.find(LowerAscii(name));
        if (it == f.names.end()) return PathState::Missing;
        return it->second ? PathState::File : JudgePath(path);
    }
    // The folders above, nearest first: where each ends, and where the folder on the way in it
    // does. Only where every folder on the way is one a listing shows as the system finds it
    // (a ".." would take back the folder before it).
    std::vector<std::pair<size_t, size_t>> above;
    for (size_t i = folder.size(), next = folder.size(); i-- > 2;) {
        if (folder[i] != '\\') continue;
        if (!ListableName(folder.substr(i + 1, next - i - 1))) return JudgePath(path);
        above.emplace_back(i, next);
        next = i;
    }
    // A folder further up, listed whole, that lacks the next folder on the way: the path's folder
    // is not there. One that holds it answers nothing more.
    for (const auto& a : above) {
        const auto it = folders_.find(folder.substr(0, a.first));
        if (it == folders_.end() || !it->second.listed) continue;
        if (!it->second.names.count(LowerAscii(folder.substr(a.first + 1, a.second - a.first - 1))))
            return PathState::FolderMissing;
        break;
    }
    const PathState state = JudgePath(path);
    // A path under a missing folder counts for every folder above it: the one that holds the
    // folders of many removed programs gets listed, and answers for all of them.
    if (state == PathState::FolderMissing)
        for (const auto& a : above) {
            Folder& up = folders_[folder.substr(0, a.first)];
            if (!up.listed && !up.tried && ++up.asked >= kListAfter) List(folder.substr(0, a.first), up);
        }
    return state;
}

std::string ExpandVariables(const std::string& text) {
    if (text.find('%') == std::string::npos) return text;
    std::wstring wide;
    if (!AnsiToWideExact(text, wide)) return text;
    std::wstring out(32768, L'\0');
    const DWORD n = ExpandEnvironmentStringsW(wide.c_str(), &out[0], static_cast<DWORD>(out.size()));
    if (n == 0 || n > out.size()) return text;
    out.resize(n - 1);
    std::string ansi;
    return WideToAnsiExact(out.data(), out.size(), ansi) ? ansi : text;
}

bool HasArgumentParenthesis(const std::string& path) {
    for (size_t p = path.find(" ("); p != std::string::npos; p = path.find(" (", p + 2)) {
        // Neither byte of " (" can be the second byte of a double-byte character.
        size_t next = std::string::npos;
        for (size_t i = p + 2; i < path.size(); ++i) {
            if (path[i] == '\\') {
                next = i;
                break;
            }
            if (IsLeadByte(path[i]) && i + 1 < path.size()) ++i;
        }
        if (next == std::string::npos) return true;
        const std::string element = path.substr(0, next);
        if (JudgePath(element) == PathState::Directory) continue;
        static const std::string x86 = ProgramFilesX86();
        if (!x86.empty() && LowerAscii(element) == x86) continue;
        return true;
    }
    return false;
}

bool IsShortNameElement(const std::string& element) {
    // NAME~N with up to six characters before the tilde and digits after it, then an optional
    // extension of up to three characters.
    const size_t tilde = element.find('~');
    if (tilde == std::string::npos || tilde == 0 || tilde > 6) return false;
    size_t i = tilde + 1;
    const size_t digits = i;
    while (i < element.size() && element[i] >= '0' && element[i] <= '9') ++i;
    if (i == digits) return false;
    if (i == element.size()) return true;
    return element[i] == '.' && element.size() - i - 1 <= 3;
}

PathState JudgePath(const std::string& path) {
    if (path.empty()) return PathState::Missing;
    PathState s = QueryPath(path);
    if (s == PathState::Unknown && HasWildcard(path)) s = Pattern(path);
    if (IsGone(s) && FirstMissingIsShortName(path)) return PathState::Unknown;
    return s;
}

PathState JudgeProgram(const std::string& path) {
    if (path.empty()) return PathState::Missing;
    if (!IsAbsolute(path)) {
        // A variable the environment does not know cannot be judged.
        if (path.find('%') != std::string::npos) return PathState::Unknown;
        PathState s = Search(path);
        if (IsGone(s) && !HasExtension(path)) s = Search(path + ".exe");
        return s;
    }
    PathState s = JudgePath(path);
    if (IsNoFile(s) && !HasExtension(path)) {
        const PathState withExe = JudgePath(path + ".exe");
        if (!IsNoFile(withExe)) return withExe;
    }
    return s;
}

}  // namespace tw
