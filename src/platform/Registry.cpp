#include "platform/Registry.h"

#include "platform/Text.h"

namespace tw {

namespace {

const char* kInvalidType = "Invalid data type for '%s'";
const char* kGetFailed = "Failed to get data for '%s'";
const char* kSetFailed = "Failed to set data for '%s'";

// Deletes every subkey of key (depth first, last index first), then the key name under parent.
bool DeleteTree(HKEY parent, const std::string& name, int depth) {
    // A registry cannot nest deeper than 512 levels; anything beyond is a loop we will not follow.
    if (depth > 512) return false;
    UniqueHKey key;
    if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, key.put()) == ERROR_SUCCESS) {
        DWORD count = 0, maxLen = 0;
        if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &count, &maxLen, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            std::vector<char> buf(maxLen + 2);
            for (DWORD i = count; i-- > 0;) {
                DWORD len = static_cast<DWORD>(buf.size());
                LONG rc = RegEnumKeyExA(key.get(), i, buf.data(), &len, nullptr, nullptr, nullptr, nullptr);
                if (rc == ERROR_MORE_DATA) {
                    buf.resize(buf.size() * 2 + 256);
                    len = static_cast<DWORD>(buf.size());
                    rc = RegEnumKeyExA(key.get(), i, buf.data(), &len, nullptr, nullptr, nullptr, nullptr);
                }
                if (rc != ERROR_SUCCESS) continue;
                std::string sub(buf.data(), len);
                if (!sub.empty()) DeleteTree(key.get(), sub, depth + 1);
            }
        }
    }
    return RegDeleteKeyA(parent, name.c_str()) == ERROR_SUCCESS;
}

}  // namespace

std::string RootName(HKEY root) {
    if (root == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
    if (root == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
    if (root == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
    if (root == HKEY_USERS) return "HKEY_USERS";
    if (root == HKEY_CURRENT_CONFIG) return "HKEY_CURRENT_CONFIG";
    return {};
}

RegDataKind KindOfType(DWORD type) {
    switch (type) {
        case REG_SZ: return RegDataKind::String;
        case REG_EXPAND_SZ: return RegDataKind::ExpandString;
        case REG_DWORD: return RegDataKind::Integer;
        case REG_BINARY: return RegDataKind::Binary;
        default: return RegDataKind::Other;
    }
}

void Registry::SetRootKey(HKEY root) {
    if (root != root_) {
        CloseKey();
        root_ = root;
    }
}

HKEY Registry::BaseFor(const std::string& path, std::string& rel, std::string& full) const {
    if (!path.empty() && path[0] == '\\') {
        rel = path.substr(1);
        full = rel;
        return root_;
    }
    rel = path;
    if (key_) {
        full = path_.empty() ? path : (path.empty() ? path_ : path_ + "\\" + path);
        return key_.get();
    }
    full = path;
    return root_;
}

bool Registry::OpenKey(const std::string& path, bool create) {
    std::string rel, full;
    HKEY base = BaseFor(path, rel, full);
    UniqueHKey key;
    LONG rc;
    if (create) {
        rc = RegCreateKeyExA(base, rel.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access_,
                             nullptr, key.put(), nullptr);
    } else {
        rc = RegOpenKeyExA(base, rel.c_str(), 0, access_, key.put());
    }
    if (rc != ERROR_SUCCESS) return false;
    key_ = std::move(key);
    path_ = full;
    return true;
}

bool Registry::OpenKeyReadOnly(const std::string& path) {
    std::string rel, full;
    HKEY base = BaseFor(path, rel, full);
    for (REGSAM mask : {static_cast<REGSAM>(KEY_READ), static_cast<REGSAM>(0x20009),
                        static_cast<REGSAM>(KEY_QUERY_VALUE)}) {
        UniqueHKey key;
        if (RegOpenKeyExA(base, rel.c_str(), 0, mask, key.put()) == ERROR_SUCCESS) {
            access_ = mask;
            key_ = std::move(key);
            path_ = full;
            return true;
        }
    }
    return false;
}

void Registry::CloseKey() {
    key_.reset();
    path_.clear();
}

static HKEY Current(const UniqueHKey& key, HKEY root) { return key ? key.get() : root; }

namespace {

// Names by index until the first error. Stopping on any error, not only at the end of the list,
// matters: a key that answers "access denied" for every index would otherwise spin forever.
template <typename EnumFn>
std::vector<std::string> EnumNames(DWORD count, DWORD maxLen, EnumFn enumAt) {
    std::vector<std::string> names;
    std::vector<char> buf(maxLen + 2 > 260 ? maxLen + 2 : 260);
    names.reserve(count);
    for (DWORD i = 0;; ++i) {
        DWORD len = static_cast<DWORD>(buf.size());
        LONG rc = enumAt(i, buf.data(), &len);
        if (rc == ERROR_MORE_DATA && buf.size() < 65536) {
            buf.resize(65536);  // a name grew since the size query: retry the same index
            len = static_cast<DWORD>(buf.size());
            rc = enumAt(i, buf.data(), &len);
        }
        if (rc != ERROR_SUCCESS) break;
        names.emplace_back(buf.data(), len);
    }
    return names;
}

}  // namespace

std::vector<std::string> Registry::GetKeyNames() const {
    HKEY k = Current(key_, root_);
    DWORD count = 0, maxLen = 0;
    if (RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, &count, &maxLen, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return {};
    return EnumNames(count, maxLen, [k](DWORD i, char* buf, DWORD* len) {
        return RegEnumKeyExA(k, i, buf, len, nullptr, nullptr, nullptr, nullptr);
    });
}

std::vector<std::string> Registry::GetValueNames() const {
    HKEY k = Current(key_, root_);
    DWORD count = 0, maxLen = 0;
    if (RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         &maxLen, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return {};
    return EnumNames(count, maxLen, [k](DWORD i, char* buf, DWORD* len) {
        return RegEnumValueA(k, i, buf, len, nullptr, nullptr, nullptr, nullptr);
    });
}

std::vector<RegValue> Registry::GetValues() const {
    std::vector<RegValue> values;
    HKEY k = Current(key_, root_);
    DWORD count = 0, maxName = 0, maxData = 0;
    if (RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         &maxName, &maxData, nullptr, nullptr) != ERROR_SUCCESS)
        return values;
    std::vector<char> name(maxName + 2 > 260 ? maxName + 2 : 260);
    std::vector<BYTE> data(maxData + 2 > 256 ? maxData + 2 : 256);
    values.reserve(count);
    for (DWORD i = 0;; ++i) {
        DWORD nameLen = static_cast<DWORD>(name.size());
        DWORD dataLen = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        LONG rc = RegEnumValueA(k, i, name.data(), &nameLen, nullptr, &type, data.data(), &dataLen);
        if (rc == ERROR_MORE_DATA) {
            // A value grew since the size query, or the name was longer: grow and retry once.
            if (name.size() < 65536) name.resize(65536);
            if (dataLen > data.size()) data.resize(dataLen + 2);
            else data.resize(data.size() * 2);
            nameLen = static_cast<DWORD>(name.size());
            dataLen = static_cast<DWORD>(data.size());
            rc = RegEnumValueA(k, i, name.data(), &nameLen, nullptr, &type, data.data(), &dataLen);
        }
        if (rc != ERROR_SUCCESS) break;
        values.push_back({std::string(name.data(), nameLen), type,
                          std::string(reinterpret_cast<const char*>(data.data()), dataLen)});
    }
    return values;
}

std::string Registry::ReadString(const std::string& name) const {
    HKEY k = Current(key_, root_);
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(k, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ) throw RegistryError(FormatS(kInvalidType, name));
    if (size == 0) return {};
    std::string buf(size + 1, '\0');
    DWORD got = size;
    LONG rc = RegQueryValueExA(k, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&buf[0]), &got);
    if (rc != ERROR_SUCCESS) throw RegistryError(FormatS(kGetFailed, name));
    // The stored data may lack its terminating NUL: cut at the first NUL or at the size read.
    buf.resize(got);
    size_t nul = buf.find('\0');
    if (nul != std::string::npos) buf.resize(nul);
    return buf;
}

int32_t Registry::ReadInteger(const std::string& name) const {
    HKEY k = Current(key_, root_);
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(k, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        throw RegistryError(FormatS(kGetFailed, name));
    if (type != REG_DWORD) throw RegistryError(FormatS(kInvalidType, name));
    DWORD value = 0;
    size = sizeof value;
    if (RegQueryValueExA(k, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS || size != sizeof value)
        throw RegistryError(FormatS(kGetFailed, name));
    return static_cast<int32_t>(value);
}

bool Registry::GetDataInfo(const std::string& name, RegDataInfo& info) const {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(Current(key_, root_), name.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
        info = {};
        return false;
    }
    info.kind = KindOfType(type);
    info.size = size;
    return true;
}

RegDataKind Registry::GetDataType(const std::string& name) const {
    RegDataInfo info;
    return GetDataInfo(name, info) ? info.kind : RegDataKind::Other;
}

bool Registry::ValueExists(const std::string& name) const {
    RegDataInfo info;
    return GetDataInfo(name, info);
}

bool Registry::KeyExists(const std::string& path) const {
    std::string rel, full;
    HKEY base = BaseFor(path, rel, full);
    UniqueHKey key;
    return RegOpenKeyExA(base, rel.c_str(), 0, 0x20009, key.put()) == ERROR_SUCCESS;
}

bool Registry::HasSubKeys() const {
    RegKeyInfo info;
    return GetKeyInfo(info) && info.subKeys > 0;
}

bool Registry::GetKeyInfo(RegKeyInfo& info) const {
    info = {};
    return RegQueryInfoKeyA(Current(key_, root_), nullptr, nullptr, nullptr, &info.subKeys,
                            &info.maxSubKeyLen, nullptr, &info.values, &info.maxValueNameLen,
                            &info.maxDataLen, nullptr, &info.lastWrite) == ERROR_SUCCESS;
}

void Registry::WriteString(const std::string& name, const std::string& value) {
    if (RegSetValueExA(Current(key_, root_), name.c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS)
        throw RegistryError(FormatS(kSetFailed, name));
}

bool Registry::DeleteValue(const std::string& name) {
    return RegDeleteValueA(Current(key_, root_), name.c_str()) == ERROR_SUCCESS;
}

bool Registry::DeleteKey(const std::string& path) {
    std::string rel, full;
    HKEY base = BaseFor(path, rel, full);
    // Never the base itself: an empty path would take the root (or the open key) with it.
    while (!rel.empty() && rel.back() == '\\') rel.pop_back();
    if (rel.empty()) return false;
    return DeleteTree(base, rel, 0);
}

}  // namespace tw
