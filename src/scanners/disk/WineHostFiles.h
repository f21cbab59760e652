// The files Wine's menu builder writes on the host, as the Wine desktop category reads them:
// desktop entries and their Exec lines, menu files, icon names, and the host's folders read
// through Wine's drive mapping. For the category's own units (its scan and its judgement of
// single rows).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace tw {
namespace wine {

// Wine's files are a few hundred bytes; a larger one is not what Wine wrote.
constexpr size_t kLargestEntry = 64 * 1024;

std::string StripTrailingSlashes(std::string p);
bool StartsWith(const std::string& s, const std::string& head);
bool EndsWith(const std::string& s, const std::string& tail);
// The text without `tail`, which it ends with.
std::string Without(const std::string& s, const std::string& tail);
// The UTF-8 text in the ANSI code page; empty when the code page cannot hold it exactly.
std::string Utf8ToAnsiExact(const std::string& s);
bool IsGoneError(DWORD e);

// The keys the category reads of a desktop entry's [Desktop Entry] group, as written.
struct DesktopFile {
    std::string exec, icon, mimeTypes, type;
};
DesktopFile ParseDesktopFile(const std::string& text);
// The escapes of a desktop entry's string value: \s \n \t \r \\.
std::string UnescapeValue(const std::string& v);
// The texts of every <name>...</name> element, XML escapes resolved.
std::vector<std::string> XmlElements(const std::string& text, const std::string& name);
// An icon Wine's menu builder extracted: "<4 hex digits>_<program>.<index>" (".png", ".xpm").
bool IsWineIconName(const std::string& base);
// The icon name an Icon= value stands for: its last element without a picture's extension.
std::string IconKey(const std::string& value);

// A file or folder of the host: its Windows path, through which it is read, and its Unix path,
// by which a row names it.
struct HostPath {
    std::wstring dos;
    std::string unix;   // ANSI; empty when the code page cannot hold it: judged, never reported
    std::string name;   // its own name in the host's bytes (UTF-8)
    bool exact = true;  // false when Wine could not give the host's name exactly: never judged
};
HostPath Child(const HostPath& dir, const std::wstring& name);
// The entry a desktop-file ID or menu names (UTF-8); false when the text names none exactly.
bool ChildNamed(const HostPath& dir, const std::string& utf8Name, HostPath& out);
HostPath FromUnix(const std::string& unix);

struct HostEntry {
    std::wstring name;
    DWORD attributes = 0;
    bool Folder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    // A folder link is never entered: it may lead anywhere on the host.
    bool Link() const { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
};

enum class Listing { Listed, Missing, CannotTell };
// Every entry of a host folder but "." and "..", read to its end.
Listing ListHost(const HostPath& dir, std::vector<HostEntry>& entries);
// The plain files of a folder (links to folders and folders left out) whose name has `head`
// and `tail`; false when the folder cannot be listed (a missing one lists nothing).
bool FilesOf(const HostPath& dir, const std::string& head, const std::string& tail, std::vector<HostPath>& files);
// Whether the path is a symbolic link (Wine never writes one; acting on it would act on what
// it leads to), or cannot be told.
bool IsLinkPath(const HostPath& p);
// Whether a prefix that is not there may lie on a disk that is not mounted now: then it may
// come back when the disk is plugged in, and nothing can be told. The nearest folder of its
// path that is there is empty (a mount point without its disk), or the path lies where
// removable disks are mounted and no disk mounted there holds it.
bool MayBeUnmounted(const std::string& prefix);

}  // namespace wine
}  // namespace tw
