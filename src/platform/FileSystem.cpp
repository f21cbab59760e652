#include "platform/FileSystem.h"

#include <shlobj.h>

#include "platform/Handle.h"
#include "platform/Seams.h"

namespace tw {

bool FileExists(const std::string& path) {
    if (path.empty()) return false;
    WIN32_FIND_DATAA fd;
    UniqueFind find(FindFirstFileA(path.c_str(), &fd));
    if (!find) return false;
    // A pattern may match directories first; any plain file among the matches counts.
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    } while (FindNextFileA(find.get(), &fd));
    return false;
}

bool DirectoryExists(const std::string& path) {
    if (path.empty()) return false;
    DWORD attr = GetFileAttributesA(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

void ListDirectory(const std::string& pattern, DWORD wanted,
                   const std::function<bool(const DirEntry&)>& each) {
    const DWORD filtered = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | 0x8 /* volume label */ |
                           FILE_ATTRIBUTE_DIRECTORY;
    WIN32_FIND_DATAA fd;
    UniqueFind find(FindFirstFileA(pattern.c_str(), &fd));
    if (!find) return;
    do {
        if ((fd.dwFileAttributes & filtered & ~wanted) != 0) continue;
        DirEntry e;
        e.name = fd.cFileName;
        e.size = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
        e.attributes = fd.dwFileAttributes;
        if (!each(e)) return;
    } while (FindNextFileA(find.get(), &fd));
}

bool DeleteFileAt(const std::string& path) { return !path.empty() && DeleteFileA(path.c_str()); }

bool RemoveDirectoryAt(const std::string& path) {
    return !path.empty() && RemoveDirectoryA(path.c_str());
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
