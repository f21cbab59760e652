#include "platform/WineHost.h"

#include <windows.h>

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

// UTF-8 bytes (the host's file names under a UTF-8 locale) as UTF-16.
std::wstring Utf8ToWide(const std::string& s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
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
