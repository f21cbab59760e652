#include "platform/FileSystem.h"

#include <shlobj.h>

#include <cstdio>

#include "platform/Handle.h"
#include "platform/Seams.h"
#include "platform/Text.h"

namespace tw {

namespace {

// The 32-bit layer of 64-bit systems, looked up at run time: Windows XP before SP2 has none of
// these calls, and the program must still load there.
typedef BOOL(WINAPI* IsWow64ProcessFn)(HANDLE, BOOL*);
typedef BOOL(WINAPI* Wow64DisableFn)(void**);
typedef BOOL(WINAPI* Wow64RevertFn)(void*);

struct Wow64Calls {
    Wow64DisableFn disable = nullptr;
    Wow64RevertFn revert = nullptr;
    bool redirected = false;
};

Wow64Calls LookUpWow64() {
    Wow64Calls calls;
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel) return calls;
    auto isWow64 = reinterpret_cast<IsWow64ProcessFn>(GetProcAddress(kernel, "IsWow64Process"));
    calls.disable = reinterpret_cast<Wow64DisableFn>(GetProcAddress(kernel, "Wow64DisableWow64FsRedirection"));
    calls.revert = reinterpret_cast<Wow64RevertFn>(GetProcAddress(kernel, "Wow64RevertWow64FsRedirection"));
    BOOL wow64 = FALSE;
    calls.redirected = isWow64 && calls.disable && calls.revert && isWow64(GetCurrentProcess(), &wow64) && wow64;
    return calls;
}

const Wow64Calls g_wow64 = LookUpWow64();

// Paths from this length on (in UTF-16 units) go through the "\\?\" form, which has no
// length limit; shorter ones keep the ordinary rules (trailing dots and blanks dropped).
const size_t kLongPath = MAX_PATH - 12;

// Makes a wide path one the calls take: the ordinary path when short, else its full form with
// the "\\?\" prefix. False when it cannot be made long-path safe (such a path cannot be tested).
bool LongPathSafe(std::wstring& out) {
    if (out.size() < kLongPath) return true;
    if (out.compare(0, 4, L"\\\\?\\") == 0) return true;
    // Resolve "." and "..", "/" and trailing dots and blanks as the ordinary rules would.
    DWORD need = GetFullPathNameW(out.c_str(), 0, nullptr, nullptr);
    if (need == 0 || need > 32768) return false;
    std::wstring full(need, L'\0');
    DWORD got = GetFullPathNameW(out.c_str(), need, &full[0], nullptr);
    if (got == 0 || got >= need) return false;
    full.resize(got);
    if (full.size() < 3 || full[1] != L':' || full[2] != L'\\') return false;
    out = L"\\\\?\\" + full;
    return true;
}

// The wide form the calls take; false also when the text is not valid in the code page.
bool CallablePath(const std::string& path, std::wstring& out) {
    return AnsiToWideExact(path, out) && LongPathSafe(out);
}

DWORD AttributesOf(const std::wstring& path, DWORD& error) {
    RealFileSystem real;
    DWORD attr = GetFileAttributesW(path.c_str());
    error = attr == INVALID_FILE_ATTRIBUTES ? GetLastError() : 0;
    return attr;
}

void ToEntry(const WIN32_FIND_DATAW& fd, DirEntry& e) {
    e.nameExact = WideToAnsiExact(fd.cFileName, wcslen(fd.cFileName), e.name);
    if (!e.nameExact) e.name = WideToAnsi(fd.cFileName);
    e.size = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
    e.attributes = fd.dwFileAttributes;
}

}  // namespace

bool RealFileSystem::Redirected() { return g_wow64.redirected; }

RealFileSystem::RealFileSystem() {
    if (g_wow64.redirected) active_ = g_wow64.disable(&old_) != FALSE;
}

RealFileSystem::~RealFileSystem() {
    if (active_) g_wow64.revert(old_);
}

bool HasWildcard(const std::string& path) {
    const bool literal = path.size() >= 4 && path[0] == '\\' && path[1] == '\\' && (path[2] == '?' || path[2] == '.') &&
                         path[3] == '\\';
    return path.find_first_of("*?<>\"", literal ? 4 : 0) != std::string::npos;
}

namespace {

// Where the wildcard characters of a path stand: none, in its last part only (a pattern for the
// find calls), or in a folder part, which no folder's name can hold: nothing is there.
enum class Wildcards { None, LastPart, FolderPart };

// "\\?\" and "\\.\" open a path that the system takes literally: their "?" and "." are no
// wildcards.
size_t LiteralPrefixLength(const std::wstring& path) {
    if (path.size() >= 4 && path[0] == L'\\' && path[1] == L'\\' && (path[2] == L'?' || path[2] == L'.') &&
        path[3] == L'\\')
        return 4;
    return 0;
}

Wildcards WildcardsOf(const std::wstring& path) {
    const size_t first = path.find_first_of(L"*?<>\"", LiteralPrefixLength(path));
    if (first == std::wstring::npos) return Wildcards::None;
    return path.find_first_of(L"\\/", first) == std::wstring::npos ? Wildcards::LastPart : Wildcards::FolderPart;
}

}  // namespace

PathState QueryPath(const std::string& path) {
    if (path.empty()) return PathState::Missing;
    std::wstring wide;
    if (!AnsiToWideExact(path, wide)) return PathState::Unknown;
    switch (WildcardsOf(wide)) {
        case Wildcards::LastPart: return PathState::Unknown;
        case Wildcards::FolderPart: return PathState::Missing;
        case Wildcards::None: break;
    }
    // Converted once above: the wide text only gets its long form here, when it needs one.
    if (!LongPathSafe(wide)) return PathState::Unknown;
    DWORD error = 0;
    DWORD attr = AttributesOf(wide, error);
    if (attr != INVALID_FILE_ATTRIBUTES)
        return (attr & FILE_ATTRIBUTE_DIRECTORY) ? PathState::Directory : PathState::File;
    switch (error) {
        case ERROR_FILE_NOT_FOUND: return PathState::Missing;
        case ERROR_PATH_NOT_FOUND: return PathState::FolderMissing;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_INVALID_DRIVE:
        case ERROR_NOT_READY:
        case ERROR_BAD_NETPATH:
        case ERROR_DIRECTORY: return PathState::Missing;
        default: return PathState::Unknown;
    }
}

bool ReadPathData(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& data) {
    std::wstring wide;
    if (path.empty() || HasWildcard(path) || !CallablePath(path, wide)) return false;
    RealFileSystem real;
    return GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data) != FALSE;
}

bool FileExists(const std::string& path) {
    if (path.empty()) return false;
    const PathState state = QueryPath(path);
    if (state != PathState::Unknown || !HasWildcard(path)) return state == PathState::File;
    std::wstring wide;
    if (!CallablePath(path, wide)) return false;
    WIN32_FIND_DATAW fd;
    RealFileSystem real;
    UniqueFind find(FindFirstFileW(wide.c_str(), &fd));
    if (!find) return false;
    // A pattern may match directories first; any plain file among the matches counts.
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    } while (FindNextFileW(find.get(), &fd));
    return false;
}

bool DirectoryExists(const std::string& path) {
    if (path.empty()) return false;
    std::wstring wide;
    if (!CallablePath(path, wide)) return false;
    DWORD error = 0;
    DWORD attr = AttributesOf(wide, error);
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

void ListDirectory(const std::string& pattern, DWORD wanted,
                   const std::function<bool(const DirEntry&)>& each) {
    const DWORD filtered = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | 0x8 /* volume label */ |
                           FILE_ATTRIBUTE_DIRECTORY;
    std::wstring wide;
    if (!CallablePath(pattern, wide)) return;
    WIN32_FIND_DATAW fd;
    UniqueFind find;
    {
        RealFileSystem real;
        find.reset(FindFirstFileW(wide.c_str(), &fd));
    }
    if (!find) return;
    for (;;) {
        if ((fd.dwFileAttributes & filtered & ~wanted) == 0) {
            DirEntry e;
            ToEntry(fd, e);
            // The caller's code runs with the redirection as usual.
            if (!each(e)) return;
        }
        RealFileSystem real;
        if (!FindNextFileW(find.get(), &fd)) return;
    }
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    UniqueFile f(fopen(path.c_str(), "rb"));
    if (!f) return false;
    char buf[65536];
    for (size_t n; (n = fread(buf, 1, sizeof buf, f.get())) > 0;) bytes.append(buf, n);
    const bool whole = ferror(f.get()) == 0;
    if (!whole) bytes.clear();
    return whole;
}

bool DeleteFileAt(const std::string& path) {
    std::wstring wide;
    if (path.empty() || !CallablePath(path, wide)) return false;
    RealFileSystem real;
    return DeleteFileW(wide.c_str()) != FALSE;
}

bool RemoveDirectoryAt(const std::string& path) {
    std::wstring wide;
    if (path.empty() || !CallablePath(path, wide)) return false;
    RealFileSystem real;
    return RemoveDirectoryW(wide.c_str()) != FALSE;
}

DWORD LogicalDrives() { return GetLogicalDrives(); }

UINT DriveType(const std::string& root) { return CurrentSeams().driveType(root); }

std::string SpecialFolder(HWND owner, int csidl) { return CurrentSeams().specialFolder(owner, csidl); }

std::string WindowsDirectory() {
    char buf[261] = {};
    UINT n = GetWindowsDirectoryA(buf, sizeof buf);
    if (n == 0 || n >= sizeof buf) return {};
    return std::string(buf, n);
}

std::string ProgramPath() {
    char buf[MAX_PATH * 2] = {};
    DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    return std::string(buf, n < sizeof buf ? n : 0);
}

std::string ProgramFolder() {
    std::string path = ProgramPath();
    size_t p = path.find_last_of("\\:");
    return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

}  // namespace tw
