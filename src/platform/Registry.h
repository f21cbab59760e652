// The registry object: every registry read, write and deletion of the program goes through one.
// Each user creates its own; an object is never shared between threads.
#pragma once
#include <windows.h>
#include <cstdint>
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
    std::string data;  // raw bytes
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
    std::vector<std::string> GetKeyNames() const;
    std::vector<std::string> GetValueNames() const;
    // Every value of the current key with its data, in one pass (no reopening per value).
    std::vector<RegValue> GetValues() const;

    // String or expandable string up to its first NUL; empty when missing. Other kinds throw.
    std::string ReadString(const std::string& name) const;
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
    // to 0. An empty path (the root or the current key itself) is refused. The current key
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
