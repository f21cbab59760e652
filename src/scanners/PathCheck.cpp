#include "scanners/PathCheck.h"

#include <windows.h>

#include <shlobj.h>

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

}  // namespace

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
