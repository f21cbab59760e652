#include "platform/WineHost.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/Handle.h"
#include "platform/Seams.h"
#include "platform/Text.h"

namespace tw {

namespace {

typedef const char*(CDECL* WineGetVersion)();
typedef WCHAR*(CDECL* WineGetDosFileName)(const char*);
typedef char*(CDECL* WineGetUnixFileName)(const WCHAR*);

FARPROC Kernel32Export(const char* name) {
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    return kernel32 ? GetProcAddress(kernel32, name) : nullptr;
}

// UTF-8 bytes (the host's file names under a UTF-8 locale) as UTF-16; empty when invalid.
std::wstring Utf8ToWide(const std::string& s) {
    std::wstring w;
    return Utf8ToWideExact(s, w) ? w : std::wstring();
}

// An open handle of what a Windows path leads to, for questions about it (no access to its
// content is asked, so that a folder opens too).
UniqueKernelHandle OpenForQuery(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    return UniqueKernelHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

FARPROC NtdllExport(const char* name) {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll ? GetProcAddress(ntdll, name) : nullptr;
}

// The name of what the path leads to as Wine keeps it: the host's real path, every link on the
// way resolved ("\??\Z:\home\u\x"), without a trailing backslash; empty when it cannot be told.
std::wstring ResolvedName(const std::wstring& path) {
    typedef LONG(WINAPI * NtQueryObjectFn)(HANDLE, int, void*, ULONG, ULONG*);
    static const NtQueryObjectFn query = reinterpret_cast<NtQueryObjectFn>(NtdllExport("NtQueryObject"));
    UniqueKernelHandle h = OpenForQuery(path);
    if (!query || !h) return {};
    struct NameInfo {
        USHORT length, maximum;
        const wchar_t* buffer;
    };
    // Room for a usual path first; a longer name says how much it needs.
    std::vector<ULONGLONG> buf(512);
    ULONG got = 0;
    LONG status = query(h.get(), 1 /* ObjectNameInformation */, buf.data(), static_cast<ULONG>(buf.size() * 8), &got);
    if (status != 0 && got > buf.size() * 8 && got <= 70000) {
        buf.resize(got / 8 + 1);
        status = query(h.get(), 1, buf.data(), static_cast<ULONG>(buf.size() * 8), &got);
    }
    if (status != 0) return {};
    const NameInfo* info = reinterpret_cast<const NameInfo*>(buf.data());
    if (!info->buffer || info->length == 0) return {};
    std::wstring name(info->buffer, info->length / sizeof(wchar_t));
    while (!name.empty() && name.back() == L'\\') name.pop_back();
    return name;
}

// The device and inode of what the path leads to (FileIdInformation); false when not told.
bool HostObjectId(const std::wstring& path, unsigned char (&id)[24]) {
    typedef LONG(WINAPI * NtQueryInformationFileFn)(HANDLE, void*, void*, ULONG, ULONG);
    static const NtQueryInformationFileFn query =
        reinterpret_cast<NtQueryInformationFileFn>(NtdllExport("NtQueryInformationFile"));
    UniqueKernelHandle h = OpenForQuery(path);
    if (!query || !h) return false;
    ULONG_PTR status[2] = {};
    return query(h.get(), status, id, sizeof id, 59 /* FileIdInformation */) == 0;
}

bool CreateFolderIfMissing(const std::wstring& path) {
    if (CreateDirectoryW(path.c_str(), nullptr)) return true;
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderHoldsNothing(const std::wstring& path) {
    WIN32_FIND_DATAW fd;
    UniqueFind find(FindFirstFileW((path + L"\\*").c_str(), &fd));
    if (!find) return false;
    do {
        if (wcscmp(fd.cFileName, L".") != 0 && wcscmp(fd.cFileName, L"..") != 0) return false;
    } while (FindNextFileW(find.get(), &fd));
    return GetLastError() == ERROR_NO_MORE_FILES;
}

// A path as the trash's record writes it: the bytes of the host's path, URL-escaped.
std::string EscapedForTrash(const std::string& utf8) {
    std::string out;
    for (char c : utf8) {
        const unsigned char b = static_cast<unsigned char>(c);
        if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || strchr("/-_.~", c)) {
            out += c;
        } else {
            char hex[4];
            snprintf(hex, sizeof hex, "%%%02X", b);
            out += hex;
        }
    }
    return out;
}

bool WriteNewFile(const std::wstring& path, const std::string& text, DWORD& error) {
    HANDLE raw = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    error = GetLastError();
    UniqueKernelHandle file(raw == INVALID_HANDLE_VALUE ? nullptr : raw);
    if (!file) return false;
    DWORD written = 0;
    if (WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size())
        return true;
    error = GetLastError();
    file.reset();
    DeleteFileW(path.c_str());
    return false;
}

}  // namespace

static std::string SystemWineVersion() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return {};
    WineGetVersion get = reinterpret_cast<WineGetVersion>(GetProcAddress(ntdll, "wine_get_version"));
    const char* v = get ? get() : nullptr;
    // A Wine whose version text is empty is still Wine.
    return get ? std::string(v && *v ? v : "?") : std::string();
}

std::string WineVersion() {
    const Seams& s = CurrentSeams();
    return s.wineVersion ? s.wineVersion() : SystemWineVersion();
}

std::string DosPathOfUnix(const std::string& unixPath) {
    if (unixPath.empty() || unixPath[0] != '/' || WineVersion().empty()) return {};
    WineGetDosFileName get = reinterpret_cast<WineGetDosFileName>(Kernel32Export("wine_get_dos_file_name"));
    std::wstring wide;
    if (!get || !AnsiToWideExact(unixPath, wide)) return {};
    WCHAR* dos = get(WideToUtf8(wide).c_str());
    if (!dos) return {};
    std::string out;
    const bool exact = WideToAnsiExact(dos, lstrlenW(dos), out);
    HeapFree(GetProcessHeap(), 0, dos);
    return exact ? out : std::string();
}

std::string UnixPathOfDos(const std::string& dosPath) {
    if (dosPath.empty() || WineVersion().empty()) return {};
    WineGetUnixFileName get = reinterpret_cast<WineGetUnixFileName>(Kernel32Export("wine_get_unix_file_name"));
    std::wstring wide;
    if (!get || !AnsiToWideExact(dosPath, wide)) return {};
    char* unix = get(wide.c_str());
    if (!unix) return {};
    const std::wstring back = Utf8ToWide(unix);
    HeapFree(GetProcessHeap(), 0, unix);
    std::string out;
    return !back.empty() && WideToAnsiExact(back.data(), back.size(), out) ? out : std::string();
}

std::wstring DosPathOfHostPath(const std::string& utf8UnixPath) {
    if (utf8UnixPath.empty() || utf8UnixPath[0] != '/' || WineVersion().empty()) return {};
    WineGetDosFileName get = reinterpret_cast<WineGetDosFileName>(Kernel32Export("wine_get_dos_file_name"));
    if (!get || Utf8ToWide(utf8UnixPath).empty()) return {};
    WCHAR* dos = get(utf8UnixPath.c_str());
    if (!dos) return {};
    std::wstring out(dos);
    HeapFree(GetProcessHeap(), 0, dos);
    return out;
}

bool IsHostLink(const std::wstring& dir, const std::wstring& name) {
    const std::wstring path = dir + L"\\" + name;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    // Wine keeps the real path of what it opened: through a link it is the link's target.
    const std::wstring real = ResolvedName(path), realDir = ResolvedName(dir);
    return real.empty() || realDir.empty() || real != realDir + L"\\" + name;
}

bool SameHostObject(const std::wstring& a, const std::wstring& b) {
    unsigned char idA[24], idB[24];
    return HostObjectId(a, idA) && HostObjectId(b, idB) && memcmp(idA, idB, sizeof idA) == 0;
}

bool ReadHostFile(const std::wstring& path, size_t limit, std::string& bytes) {
    bytes.clear();
    HANDLE raw = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    UniqueKernelHandle file(raw == INVALID_HANDLE_VALUE ? nullptr : raw);
    if (!file) return false;
    char chunk[16384];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr)) return false;
        if (got == 0) return true;
        if (bytes.size() + got > limit) return false;
        bytes.append(chunk, got);
    }
}

HostTrashResult MoveToHostTrash(const std::wstring& dosPath, const std::string& utf8UnixPath,
                                const std::wstring& trashDos) {
    const std::wstring files = trashDos + L"\\files", info = trashDos + L"\\info";
    if (trashDos.empty() || !CreateFolderIfMissing(trashDos) || !CreateFolderIfMissing(files) ||
        !CreateFolderIfMissing(info))
        return HostTrashResult::NoTrash;
    const DWORD attributes = GetFileAttributesW(dosPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return HostTrashResult::NotMoved;
    // A folder is moved with everything in it: only an empty one goes.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !FolderHoldsNothing(dosPath)) return HostTrashResult::NotMoved;
    const size_t slash = dosPath.rfind(L'\\');
    const std::wstring name = dosPath.substr(slash == std::wstring::npos ? 0 : slash + 1);
    SYSTEMTIME t;
    GetLocalTime(&t);
    char date[32];
    snprintf(date, sizeof date, "%04u-%02u-%02uT%02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    const std::string record = "[Trash Info]\nPath=" + EscapedForTrash(utf8UnixPath) + "\nDeletionDate=" + date + "\n";
    // The record is made first and alone claims its name; a name taken in either folder makes
    // the next one ("name.2", ...) be tried. (Under Wine each new name costs a look through the
    // whole folder, so nothing is asked that the creation and the move do not answer.)
    for (int n = 1; n <= 1000; ++n) {
        const std::wstring entry = n == 1 ? name : name + L"." + AnsiToWide(IntToStr(n));
        const std::wstring recordPath = info + L"\\" + entry + L".trashinfo";
        DWORD error = 0;
        if (!WriteNewFile(recordPath, record, error)) {
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
            return HostTrashResult::NoTrash;
        }
        if (MoveFileW(dosPath.c_str(), (files + L"\\" + entry).c_str())) return HostTrashResult::Moved;
        error = GetLastError();
        DeleteFileW(recordPath.c_str());
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return HostTrashResult::NotMoved;
    }
    return HostTrashResult::NotMoved;
}

std::string EnvironmentText(const char* name) {
    std::wstring wname = AnsiToWide(name);
    const DWORD n = GetEnvironmentVariableW(wname.c_str(), nullptr, 0);
    if (n == 0) return {};
    std::wstring value(n, L'\0');
    const DWORD got = GetEnvironmentVariableW(wname.c_str(), &value[0], n);
    if (got == 0 || got >= n) return {};
    value.resize(got);
    std::string out;
    return WideToAnsiExact(value.data(), value.size(), out) ? out : std::string();
}

}  // namespace tw
