#include "platform/Volumes.h"

#include <windows.h>

#include "platform/Handle.h"
#include "platform/Text.h"

namespace tw {

namespace {

// Wine's own path conversions, exported by its kernel32 only: looked up at run time, so that the
// program neither needs them nor imports them on Windows. Both return memory of the process heap.
using UnixNameFn = char*(CDECL*)(LPCWSTR dosPath);
using DosNameFn = WCHAR*(CDECL*)(LPCSTR unixPath);

struct WineNames {
    UnixNameFn unixName = nullptr;
    DosNameFn dosName = nullptr;
    WineNames() {
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        if (!kernel) return;
        unixName = reinterpret_cast<UnixNameFn>(GetProcAddress(kernel, "wine_get_unix_file_name"));
        dosName = reinterpret_cast<DosNameFn>(GetProcAddress(kernel, "wine_get_dos_file_name"));
    }
};

template <typename Char>
void FreeFromProcessHeap(Char* p) {
    HeapFree(GetProcessHeap(), 0, p);
}
template <typename Char>
using HeapText = UniqueHandle<NullableTraits<Char*, &FreeFromProcessHeap<Char>>>;

}  // namespace

bool IsHostRootDrive(const std::string& root) {
    static const WineNames wine;
    if (!wine.unixName || !wine.dosName || root.size() < 2 || root[1] != ':') return false;
    std::wstring drive = AnsiToWide(root.substr(0, 2) + "\\");
    HeapText<char> unixPath(wine.unixName(drive.c_str()));
    if (!unixPath.get()) return false;
    if (lstrcmpA(unixPath.get(), "/") == 0) return true;
    // The Unix path of a drive may run through links (dosdevices\y: -> ../../..). Wine maps a
    // Unix path back to a drive by the identity of the folders, not their names: the drive's
    // root maps the host's root exactly when both come back as the same drive.
    HeapText<WCHAR> hostRoot(wine.dosName("/"));
    HeapText<WCHAR> back(wine.dosName(unixPath.get()));
    if (!hostRoot.get() || !back.get()) return false;
    // "\\?\unix\": no drive letter maps the host's root at all.
    if (hostRoot.get()[0] == L'\\') return false;
    return lstrcmpiW(hostRoot.get(), back.get()) == 0;
}

}  // namespace tw
