// File-system, drive and special-folder services. None of them raises: each reports failure
// through its result, and callers treat a failed test as "does not exist".
#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>

namespace tw {

// True when FindFirstFileA finds an entry for the path that is not a directory; wildcards in
// the last element are honoured (any matching file counts).
bool FileExists(const std::string& path);
// True when the path's attributes can be read and carry the directory bit.
bool DirectoryExists(const std::string& path);

struct DirEntry {
    std::string name;
    uint64_t size = 0;
    DWORD attributes = 0;
};
// Yields each entry matching the pattern, in the system's order. Hidden, system, volume-label
// and directory entries are skipped unless their attribute is among `wanted`; "." and ".." come
// through like other directories. The callback returns false to stop the listing.
void ListDirectory(const std::string& pattern, DWORD wanted,
                   const std::function<bool(const DirEntry&)>& each);

bool DeleteFileAt(const std::string& path);
// Removes an empty directory only (the system refuses anything else).
bool RemoveDirectoryAt(const std::string& path);
// Bit 0 = A:.
DWORD LogicalDrives();
// Drive type of a root such as "C:\" (through the test seam).
UINT DriveType(const std::string& root);
// Path of a special folder, empty when it cannot be resolved (through the test seam).
std::string SpecialFolder(HWND owner, int csidl);
// The Windows directory, empty on failure.
std::string WindowsDirectory();
// Folder of the running executable, with its trailing backslash.
std::string ProgramFolder();
// Full path of the running executable.
std::string ProgramPath();

}  // namespace tw
