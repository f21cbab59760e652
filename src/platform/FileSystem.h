// File-system, drive and special-folder services. None of them raises: each reports failure
// through its result, and callers treat a failed test as "does not exist".
//
// Every existence check, listing and deletion here sees the real file system: a 32-bit program
// on a 64-bit system has the system folder redirected to the 32-bit one, where the system's
// own 64-bit files look missing; these calls turn that redirection off around themselves.
// Paths longer than the ANSI limit are tested through the wide calls.
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

// What the file system says of a path, for judging whether what it names is gone.
enum class PathState {
    File,
    Directory,
    Missing,        // the folder is there, the name is not
    FolderMissing,  // a folder on the way is not there (or is a file)
    Unknown,        // wildcard characters, a form the system cannot test: never judge it missing
};
// One attribute lookup. Wildcard characters ("*", "?", "<", ">", the quote) in the last part
// give Unknown (a pattern: the find calls answer it); in a folder part, Missing at no cost, since
// no folder's name holds them. Answers as FileExists and DirectoryExists do for the same path.
PathState QueryPath(const std::string& path);
// The attributes, size and times of what the path names, read as QueryPath reads them (real
// file system, long paths). False when there is nothing there or it cannot be read.
bool ReadPathData(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& data);
// Whether the text holds a character that the find calls take as a wildcard.
bool HasWildcard(const std::string& path);

// Turns the redirection of the 32-bit system folder off for the calling thread while it lives,
// when the program runs as a 32-bit program on a 64-bit system; does nothing elsewhere (and on
// systems that lack the calls). Hold it around file-system calls only: a library loaded while
// it is held would come from the 64-bit system folder.
class RealFileSystem {
public:
    RealFileSystem();
    ~RealFileSystem();
    RealFileSystem(const RealFileSystem&) = delete;
    RealFileSystem& operator=(const RealFileSystem&) = delete;
    // Whether the program runs under the 32-bit layer of a 64-bit system.
    static bool Redirected();

private:
    void* old_ = nullptr;
    bool active_ = false;
};

struct DirEntry {
    std::string name;
    uint64_t size = 0;
    DWORD attributes = 0;
    // False when the name cannot be written in the ANSI code page exactly: name then holds "?"
    // marks and names nothing; such an entry must not be judged or acted on by its name.
    bool nameExact = true;
};
// Yields each entry matching the pattern, in the system's order. Hidden, system, volume-label
// and directory entries are skipped unless their attribute is among `wanted`; "." and ".." come
// through like other directories. The callback returns false to stop the listing.
void ListDirectory(const std::string& pattern, DWORD wanted,
                   const std::function<bool(const DirEntry&)>& each);

// The whole content of a file; false (bytes empty) when it cannot be opened or read to its end.
bool ReadWholeFile(const std::string& path, std::string& bytes);

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
