// The registry object: every registry read, write and deletion of the program goes through one.
// Each user creates its own; an object is never shared between threads.
#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Handle.h"

namespace tw {

// A failed read or write, or a value of the wrong kind. The text is the message the user sees.
class RegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class RegDataKind { String, ExpandString, Integer, Binary, Other };

struct RegDataInfo {
    RegDataKind kind = RegDataKind::Other;
    DWORD size = 0;
};

struct RegKeyInfo {
    DWORD subKeys = 0, maxSubKeyLen = 0, values = 0, maxValueNameLen = 0, maxDataLen = 0;
    FILETIME lastWrite{};
};

// One value with its data, as enumeration returns it.
struct RegValue {
    std::string name;
    DWORD type = REG_NONE;
    std::string data;  // raw bytes; string kinds in the ANSI code page, with their NULs as stored
    // False when string data could not be written in the ANSI code page exactly: data is then
    // empty, so that no caller judges a text that differs from what is stored.
    bool dataExact = true;
};

// Run between the items of an enumeration: a scanner on the UI thread lets its window's messages
// through there, since one list of tens of thousands of names or values takes longer to read than
// a user waits for an answer.
using RegPause = std::function<void()>;

// The enumeration loop of every scan: reads an open key's subkeys and values with the wide
// calls, index by index, and stops at the first error of any kind, not only at the end of the
// list (under Wine a key can answer "access denied" for every index, and a loop that skipped
// errors would spin forever). Names that the ANSI code page cannot hold exactly are passed over:
// the converted text would name another object, or none (a subkey is left out with its whole
// subtree). The buffers are kept from call to call, so one reader serves a whole walk; a reader
// belongs to one thread.
// The undo file keeps a loop of its own (UndoFile.cpp) with other rules: it reads in the API of
// its file's flavour (ANSI for the 98 family), takes every name and every byte of data whatever
// their size, and fails at the first error instead of passing anything over, since a repair
// that cannot record a key must not delete it.
class RegKeyReader {
public:
    // Data larger than this is not read: such a value comes with type REG_NONE and no data, and
    // is examined by its name only. No value that names a path comes near it.
    static constexpr size_t kMaxData = 16u << 20;

    RegKeyReader();
    explicit RegKeyReader(RegPause pause);
    // Appends the subkey names in enumeration order.
    void SubKeyNames(HKEY key, std::vector<std::string>& names);
    // Appends every value, with its data when withData is set.
    void Values(HKEY key, std::vector<RegValue>& values, bool withData = true);
    // Appends the subkey names as the registry holds them, every one.
    void SubKeyNamesW(HKEY key, std::vector<std::wstring>& names);

private:
    bool Convert(DWORD length, std::string& out) const;
    // Calls each(length) with the name of every subkey in name_, until the first error.
    template <typename Each>
    void EachSubKey(HKEY key, Each each);

    std::vector<wchar_t> name_;
    std::vector<BYTE> data_;
    RegPause pause_;
};

// Opens base\path as RegOpenKeyExA does, also where the path is longer than the system takes
// whole (it is then opened element by element). Returns the system's answer.
LONG OpenKeyPath(HKEY base, const std::string& path, DWORD options, REGSAM mask, UniqueHKey& key);

// Opens a subkey of an open key for reading (KEY_READ, then 0x20009, then KEY_QUERY_VALUE), by
// its name relative to the parent: no full path is parsed again, and depth is no limit. With
// asItself, a registry link is opened as the link, not as the key it leads to.
bool OpenSubKeyReadOnly(HKEY parent, const std::string& name, UniqueHKey& key, bool asItself = false);

// The registry's own name of an open key ("\REGISTRY\MACHINE\SOFTWARE\..."), which is the
// name of the key a link leads to, not of the link; empty when the system cannot tell.
std::wstring KeyRealName(HKEY key);

// Whether an open key is a registry link itself (opened with REG_OPTION_OPEN_LINK): a link has
// no subkeys and a "SymbolicLinkValue" of type REG_LINK.
bool IsLinkKey(HKEY key);

// The keys a depth-first walk stands in. A walk that enters its keys through Enter never follows
// a registry link back into a key it is already inside (a loop that never ends: the paths grow
// at every level), while links that lead elsewhere, such as the current control set, are walked
// as before. Keys are opened as themselves first, so that a link shows itself at no extra cost;
// only a link is followed and compared, by real names, with the keys of the path.
class RegWalkPath {
public:
    enum class Step { Entered, Refused };
    // Starts a walk at an open key (the walk's root), forgetting any earlier path.
    void Start(HKEY root);
    // Opens the subkey name of parent (the key last entered) for reading, reads its subkey names
    // (and its values, when values is given) with reader, and enters it. Refused when the key
    // cannot be opened, or is a link to a key the walk already stands in; nothing is read then.
    Step Enter(HKEY parent, const std::string& name, RegKeyReader& reader, UniqueHKey& key,
               std::vector<std::string>& subKeys, std::vector<RegValue>* values);
    // Leaves the key last entered.
    void Leave();
    size_t Depth() const { return levels_.size(); }

private:
    bool OnPath(HKEY target);

    struct Level {
        HKEY key;
        std::wstring realName;  // looked up when a link is met, then kept
        bool known;
    };
    std::vector<Level> levels_;
};

// Name of a predefined root ("HKEY_LOCAL_MACHINE"), empty for any other handle.
std::string RootName(HKEY root);
RegDataKind KindOfType(DWORD type);

class Registry {
public:
    Registry() = default;
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    HKEY RootKey() const { return root_; }
    // A change of root closes the current key.
    void SetRootKey(HKEY root);
    REGSAM Access() const { return access_; }
    void SetAccess(REGSAM access) { access_ = access; }

    // Paths beginning with "\" are taken from the root; others from the current key when one
    // is open, else from the root. A successful open replaces the current key.
    bool OpenKey(const std::string& path, bool create);
    // Tries KEY_READ, then 0x20009, then KEY_QUERY_VALUE; keeps the mask that worked.
    bool OpenKeyReadOnly(const std::string& path);
    void CloseKey();
    HKEY CurrentKey() const { return key_.get(); }
    const std::string& CurrentPath() const { return path_; }

    // Names of the current key's subkeys / values in enumeration order; empty when unreadable.
    // Read by RegKeyReader: names the ANSI code page cannot hold exactly are left out.
    // With a pause, it runs after every name or value read.
    std::vector<std::string> GetKeyNames(const RegPause& pause = nullptr) const;
    std::vector<std::string> GetValueNames() const;
    // Every value of the current key with its data, in one pass (no reopening per value), as
    // RegKeyReader gives them (data past its limit is not read; inexact string data is empty).
    std::vector<RegValue> GetValues(const RegPause& pause = nullptr) const;

    // String or expandable string up to its first NUL; empty when missing. Other kinds throw.
    std::string ReadString(const std::string& name) const;
    // As ReadString, but reads the data as stored (UTF-16) and gives it only when the ANSI code
    // page holds it exactly: false (out empty) when it does not, so that a scanner never judges
    // a look-alike text ("C:\x2\app.exe" for a folder "x²" that exists). Missing: true, empty.
    bool ReadStringExact(const std::string& name, std::string& out) const;
    // REG_DWORD; throws for another kind or an unreadable value.
    int32_t ReadInteger(const std::string& name) const;
    RegDataKind GetDataType(const std::string& name) const;
    bool GetDataInfo(const std::string& name, RegDataInfo& info) const;
    bool ValueExists(const std::string& name) const;
    // Opens the path with 0x20009 and closes it again; the current key is untouched.
    bool KeyExists(const std::string& path) const;
    bool HasSubKeys() const;
    bool GetKeyInfo(RegKeyInfo& info) const;

    // Writes a REG_SZ; throws "Failed to set data for '%s'" on failure.
    void WriteString(const std::string& name, const std::string& value);
    bool DeleteValue(const std::string& name);
    // Deletes the key and its whole subtree, depth first, each level from the last index down
    // to 0. An empty path (the root or the current key itself) is refused. Links below the key
    // are not followed (they and their parents stay: the deletion fails). The current key
    // stays as it was.
    bool DeleteKey(const std::string& path);

private:
    // Resolves a path by the path rule: the base handle and the path relative to it.
    HKEY BaseFor(const std::string& path, std::string& rel, std::string& full) const;

    HKEY root_ = HKEY_CURRENT_USER;
    UniqueHKey key_;
    std::string path_;
    REGSAM access_ = KEY_ALL_ACCESS;
};

}  // namespace tw
