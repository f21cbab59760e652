// How the undo units read the registry and mark their records: keys read in a .reg flavour's
// own terms, a key's identity however it was reached, registry links told from keys, and the
// mark written after every record. For the undo units only (UndoFile.cpp, UndoCheck.cpp).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "platform/Handle.h"
#include "platform/RegFileFormat.h"

namespace tw {
namespace undo {

// Opens a key as itself on the NT family; the 98 family has no links and takes no options.
DWORD OpenLinkOption();

// Reads keys in the flavour's own terms: the wide API for the Unicode flavour, so that no name
// or text is lost to the code page; the ANSI API for the ANSI flavour, whose systems store ANSI
// and whose editor imports ANSI.
class KeyReader {
public:
    explicit KeyReader(RegFileFlavor flavor) : wide_(flavor == RegFileFlavor::Unicode5) {}

    // ERROR_SUCCESS, or the system's error. As itself, a registry link is opened as the link, not
    // the key it leads to: what a repair of a key deletes is the link, and following links could
    // walk in circles. Otherwise a link is followed, as a repair of a value follows it.
    LONG Open(HKEY parent, const std::wstring& path, UniqueHKey& key, bool asItself = true) const;

    // Every value of the key, in enumeration order. False on any error but the end of the list,
    // or a name the ANSI flavour cannot carry.
    bool Values(HKEY key, std::vector<RegFileValue>& out) const;

    // One value; found is false when there is none of that name.
    bool Value(HKEY key, const std::wstring& name, RegFileValue& v, bool& found) const;

    bool SubKeys(HKEY key, std::vector<std::wstring>& out) const;

private:
    bool wide_;
};

std::wstring Lower(std::wstring s);
bool SameIgnoringCase(const std::wstring& a, const std::wstring& b);
std::vector<std::wstring> SplitNames(const std::wstring& path);
std::wstring JoinNames(const std::vector<std::wstring>& names);
// One object however it was reached: the registry's own name of the open key, in lower case
// ("HKEY_CURRENT_USER\X" and "HKEY_USERS\<SID>\X" are one key). Where the system cannot tell
// (the 98 family), the path as written.
std::wstring Identity(HKEY key, const std::wstring& written);
// The value a registry link holds its target in.
bool IsLinkRecord(const RegFileValue& v);
// Whether a key opened as itself is a registry link: it holds the link's value, and opened the
// ordinary way it is another key (or none, when its target is gone). An ordinary key that merely
// holds a value of that name and kind, as an import of a link leaves, is no link.
bool IsRealLink(const KeyReader& reader, HKEY parent, const std::wstring& rel, HKEY asItself);
bool IsGone(LONG rc);

// The comment line written after every record: the registry editor passes over it, and it
// tells a record as the repair wrote it from one changed or added by hand afterwards.
extern const wchar_t kMarkStart[];
// The mark line of a record's text.
std::wstring RecordMark(const std::wstring& record);

}  // namespace undo
}  // namespace tw
