// What a program running under Wine can learn of the Linux host it runs on: whether it is Wine
// at all, and the mapping between the host's Unix paths and the Windows paths the file calls
// accept. Wine's calls are looked up at run time: on Windows they do not exist, and the program
// must still load there.
#pragma once
#include <cstddef>
#include <string>

namespace tw {

// Wine's version ("8.0") from ntdll's wine_get_version, through the seam; empty when the
// program does not run under Wine.
std::string WineVersion();

// A host path ("/home/u/.local/share", in the ANSI code page) as a Windows path through Wine's
// drive mapping ("Z:\home\u\.local\share"); empty when not under Wine, when the text is no
// absolute Unix path, or when the code page cannot hold the answer exactly.
std::string DosPathOfUnix(const std::string& unixPath);
// A Windows path as the host's Unix path; empty when it cannot be told exactly.
std::string UnixPathOfDos(const std::string& dosPath);

// A host path in the host's own bytes (UTF-8) as a Windows path, for names the ANSI code page
// cannot hold; empty when it has none.
std::wstring DosPathOfHostPath(const std::string& utf8UnixPath);

// Under Wine a symbolic link to a file lists and opens as the file it leads to, and a move or a
// deletion through it acts on that file. Whether `name` in the folder `dir` (Windows paths) is
// such a link, or a link to a folder; true when it cannot be told, so that nothing acts on it.
bool IsHostLink(const std::wstring& dir, const std::wstring& name);
// Whether two Windows paths lead to the same file or folder of the host (the same device and
// inode, whatever links lie on the way); false when either cannot be told.
bool SameHostObject(const std::wstring& a, const std::wstring& b);
// The content of a host file of at most `limit` bytes, read to its end (the files of /proc give
// no size); false when it cannot be read or is larger.
bool ReadHostFile(const std::wstring& path, size_t limit, std::string& bytes);

// The desktop's trash ($XDG_DATA_HOME/Trash), which is also Wine's Recycle Bin: a file, or an
// empty folder, goes there as the desktop's own trash puts it, its record in "info" first, then
// itself into "files" by a rename on the same disk, never by a copy. When the trash cannot take
// it, it stays where it is: nothing here erases. `utf8UnixPath` is its place for the record.
enum class HostTrashResult {
    Moved,
    NoTrash,   // the trash is no folder, or its folders cannot be made or written
    NotMoved,  // the trash is there, but the object could not be moved into it
};
HostTrashResult MoveToHostTrash(const std::wstring& dosPath, const std::string& utf8UnixPath,
                                const std::wstring& trashDos);

// An environment variable's value, exact in the ANSI code page; empty when unset or when the
// code page cannot hold it.
std::string EnvironmentText(const char* name);

}  // namespace tw
