#include "platform/Registry.h"

#include "platform/Text.h"

namespace tw {

namespace {

const char* kInvalidType = "Invalid data type for '%s'";
const char* kGetFailed = "Failed to get data for '%s'";
const char* kSetFailed = "Failed to set data for '%s'";

// Deletes every subkey of the key (depth first, last index first), then the key itself. Names
// are used as the registry holds them (wide), so a subkey whose name the ANSI code page cannot
// hold is deleted as itself, never mistaken for a look-alike sibling. Subkeys are opened as
// themselves: a link below the key is not followed, since deleting through it would empty the
// key it leads to, outside the tree; it stays, and so does its parent (the deletion fails).
bool DeleteTree(HKEY parent, const std::wstring& name, bool top, int depth) {
    // A registry cannot nest deeper than 512 levels; anything beyond is a loop we will not follow.
    if (depth > 512) return false;
    UniqueHKey key;
    if (RegOpenKeyExW(parent, name.c_str(), top ? 0 : REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS, key.put()) ==
        ERROR_SUCCESS) {
        std::vector<std::wstring> subKeys;
        RegKeyReader().SubKeyNamesW(key.get(), subKeys);
        if (!top && subKeys.empty() && IsLinkKey(key.get())) return false;
        for (size_t i = subKeys.size(); i-- > 0;)
            if (!subKeys[i].empty()) DeleteTree(key.get(), subKeys[i], false, depth + 1);
    }
    return RegDeleteKeyW(parent, name.c_str()) == ERROR_SUCCESS;
}

// NtQueryKey, which every NT system's ntdll exports; looked up at run time all the same, since
// it is not part of the documented interface.
typedef LONG(WINAPI* NtQueryKeyFn)(HANDLE key, int infoClass, void* info, ULONG length, ULONG* resultLength);
const int kKeyNameInformation = 3;

NtQueryKeyFn LookUpNtQueryKey() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll ? reinterpret_cast<NtQueryKeyFn>(GetProcAddress(ntdll, "NtQueryKey")) : nullptr;
}
const NtQueryKeyFn g_ntQueryKey = LookUpNtQueryKey();

// From this length on a path is opened element by element: under Wine a path longer than the
// ANSI limit is not found when given whole (a class or program key of 255 characters already
// makes one), while each element alone is.
const size_t kWholePathLimit = 200;

}  // namespace

LONG OpenKeyPath(HKEY base, const std::string& path, DWORD options, REGSAM mask, UniqueHKey& key) {
    key.reset();
    if (path.size() < kWholePathLimit) return RegOpenKeyExA(base, path.c_str(), options, mask, key.put());
    // Split at the backslashes that are characters of their own (a GBK trail byte may be 0x5C).
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < path.size(); ++i) {
        if (IsLeadByte(path[i]) && i + 1 < path.size()) {
            parts.back() += path[i];
            parts.back() += path[++i];
        } else if (path[i] == '\\') {
            parts.emplace_back();
        } else {
            parts.back() += path[i];
        }
    }
    while (parts.size() > 1 && parts.back().empty()) parts.pop_back();  // trailing backslashes
    HKEY at = base;
    UniqueHKey step;
    for (size_t i = 0; i < parts.size(); ++i) {
        UniqueHKey next;
        const bool last = i + 1 == parts.size();
        // Keys on the way are only passed through; links on the way are followed as a whole path
        // would follow them.
        const LONG rc = RegOpenKeyExA(at, parts[i].c_str(), last ? options : 0, last ? mask : KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS,
                                      next.put());
        if (rc != ERROR_SUCCESS) return rc;
        step = std::move(next);
        at = step.get();
    }
    key = std::move(step);
    return ERROR_SUCCESS;
}

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
        rc = OpenKeyPath(base, rel, 0, access_, key);
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
        if (OpenKeyPath(base, rel, 0, mask, key) == ERROR_SUCCESS) {
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

RegKeyReader::RegKeyReader() : name_(16384 + 1), data_(4096) {}
RegKeyReader::RegKeyReader(RegPause pause) : RegKeyReader() { pause_ = std::move(pause); }

bool RegKeyReader::Convert(DWORD length, std::string& out) const {
    return WideToAnsiExact(name_.data(), length, out);
}

template <typename Each>
void RegKeyReader::EachSubKey(HKEY key, Each each) {
    for (DWORD i = 0;; ++i) {
        DWORD len = static_cast<DWORD>(name_.size());
        if (RegEnumKeyExW(key, i, name_.data(), &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        each(len);
        if (pause_) pause_();
    }
}

void RegKeyReader::SubKeyNamesW(HKEY key, std::vector<std::wstring>& names) {
    EachSubKey(key, [&](DWORD len) { names.emplace_back(name_.data(), len); });
}

void RegKeyReader::SubKeyNames(HKEY key, std::vector<std::string>& names) {
    std::string name;
    EachSubKey(key, [&](DWORD len) {
        if (Convert(len, name)) names.push_back(name);
    });
}

namespace {

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

}  // namespace

void RegKeyReader::Values(HKEY key, std::vector<RegValue>& values, bool withData) {
    for (DWORD i = 0;; ++i) {
        DWORD nameLen = static_cast<DWORD>(name_.size());
        DWORD dataLen = withData ? static_cast<DWORD>(data_.size()) : 0;
        DWORD type = REG_NONE;
        BYTE* data = withData ? data_.data() : nullptr;
        LONG rc = RegEnumValueW(key, i, name_.data(), &nameLen, nullptr, &type, data, withData ? &dataLen : nullptr);
        while (withData && rc == ERROR_MORE_DATA && data_.size() < kMaxData) {
            // The data outgrew the buffer: grow it (at least doubling) and read the same index.
            size_t grown = data_.size() * 2;
            if (dataLen + 2 > grown) grown = dataLen + 2;
            data_.resize(grown < kMaxData ? grown : kMaxData);
            nameLen = static_cast<DWORD>(name_.size());
            dataLen = static_cast<DWORD>(data_.size());
            rc = RegEnumValueW(key, i, name_.data(), &nameLen, nullptr, &type, data_.data(), &dataLen);
        }
        bool tooLarge = false;
        if (withData && rc == ERROR_MORE_DATA) {
            // Too large to read: examined by its name only, like a value whose data is unreadable.
            nameLen = static_cast<DWORD>(name_.size());
            rc = RegEnumValueW(key, i, name_.data(), &nameLen, nullptr, nullptr, nullptr, nullptr);
            tooLarge = true;
        }
        if (rc != ERROR_SUCCESS) break;
        if (pause_) pause_();
        // Read straight into its place in the list: no copy of the name or data per value.
        values.emplace_back();
        RegValue& value = values.back();
        if (!Convert(nameLen, value.name)) {
            values.pop_back();
            continue;
        }
        value.type = tooLarge ? REG_NONE : type;
        if (withData && !tooLarge) {
            if (IsStringType(type)) {
                // Stored as UTF-16; an odd last byte is not part of any character.
                const wchar_t* text = reinterpret_cast<const wchar_t*>(data_.data());
                if (!WideToAnsiExact(text, dataLen / sizeof(wchar_t), value.data)) {
                    value.data.clear();
                    value.dataExact = false;
                }
            } else {
                value.data.assign(reinterpret_cast<const char*>(data_.data()), dataLen);
            }
        }
    }
    // One huge value does not keep its buffer for the rest of the walk.
    if (data_.size() > (1u << 20)) std::vector<BYTE>(4096).swap(data_);
}

bool OpenSubKeyReadOnly(HKEY parent, const std::string& name, UniqueHKey& key, bool asItself) {
    const DWORD options = asItself ? REG_OPTION_OPEN_LINK : 0;
    for (REGSAM mask : {static_cast<REGSAM>(KEY_READ), static_cast<REGSAM>(0x20009),
                        static_cast<REGSAM>(KEY_QUERY_VALUE)}) {
        if (RegOpenKeyExA(parent, name.c_str(), options, mask, key.put()) == ERROR_SUCCESS) return true;
    }
    key.reset();
    return false;
}

bool IsLinkKey(HKEY key) {
    DWORD type = REG_NONE;
    return RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
           type == REG_LINK;
}

std::wstring KeyRealName(HKEY key) {
    if (!g_ntQueryKey || !key) return {};
    // KEY_NAME_INFORMATION: the length in bytes, then the name (not terminated).
    ULONG buf[(sizeof(ULONG) + 1024 * sizeof(wchar_t)) / sizeof(ULONG)];
    ULONG got = 0;
    std::vector<ULONG> big;
    ULONG* info = buf;
    LONG status = g_ntQueryKey(key, kKeyNameInformation, info, sizeof buf, &got);
    if (status < 0 && got > sizeof buf && got < (1u << 20)) {
        big.resize(got / sizeof(ULONG) + 1);
        info = big.data();
        status = g_ntQueryKey(key, kKeyNameInformation, info, static_cast<ULONG>(big.size() * sizeof(ULONG)), &got);
    }
    if (status < 0) return {};
    const ULONG bytes = info[0];
    if (bytes > got) return {};
    return std::wstring(reinterpret_cast<const wchar_t*>(info + 1), bytes / sizeof(wchar_t));
}

void RegWalkPath::Start(HKEY root) {
    levels_.clear();
    levels_.push_back({root, std::wstring(), false});
}

bool RegWalkPath::OnPath(HKEY target) {
    const std::wstring name = KeyRealName(target);
    if (name.empty()) return false;  // cannot tell: the depth limit of the walk still holds
    for (Level& level : levels_) {
        if (!level.known) {
            level.realName = KeyRealName(level.key);
            level.known = true;
        }
        if (level.realName.size() == name.size() && _wcsicmp(level.realName.c_str(), name.c_str()) == 0)
            return true;
    }
    return false;
}

RegWalkPath::Step RegWalkPath::Enter(HKEY parent, const std::string& name, RegKeyReader& reader,
                                     UniqueHKey& key, std::vector<std::string>& subKeys,
                                     std::vector<RegValue>* values) {
    if (!OpenSubKeyReadOnly(parent, name, key, true)) return Step::Refused;
    reader.SubKeyNames(key.get(), subKeys);
    bool link = false;
    if (subKeys.empty()) {
        // Only a key without subkeys can be a link.
        if (values) {
            reader.Values(key.get(), *values);
            for (const RegValue& v : *values)
                if (v.type == REG_LINK && v.name == "SymbolicLinkValue") link = true;
        } else {
            link = IsLinkKey(key.get());
        }
    }
    if (link) {
        if (values) values->clear();
        if (!OpenSubKeyReadOnly(parent, name, key) || OnPath(key.get())) {
            key.reset();
            return Step::Refused;
        }
        reader.SubKeyNames(key.get(), subKeys);
        if (values) reader.Values(key.get(), *values);
    } else if (values && !subKeys.empty()) {
        reader.Values(key.get(), *values);
    }
    levels_.push_back({key.get(), std::wstring(), false});
    return Step::Entered;
}

void RegWalkPath::Leave() {
    if (!levels_.empty()) levels_.pop_back();
}

std::vector<std::string> Registry::GetKeyNames(const RegPause& pause) const {
    std::vector<std::string> names;
    RegKeyReader(pause).SubKeyNames(Current(key_, root_), names);
    return names;
}

std::vector<std::string> Registry::GetValueNames() const {
    std::vector<RegValue> values;
    RegKeyReader().Values(Current(key_, root_), values, false);
    std::vector<std::string> names;
    names.reserve(values.size());
    for (RegValue& v : values) names.push_back(std::move(v.name));
    return names;
}

std::vector<RegValue> Registry::GetValues(const RegPause& pause) const {
    std::vector<RegValue> values;
    RegKeyReader(pause).Values(Current(key_, root_), values, true);
    return values;
}

// Texts are read with one question where they fit a small buffer (most do): asking for the size
// first costs a second round trip to the registry, under Wine a call to its server each.
static constexpr DWORD kFirstReadBytes = 512;

std::string Registry::ReadString(const std::string& name) const {
    HKEY k = Current(key_, root_);
    DWORD type = 0;
    char first[kFirstReadBytes];
    DWORD size = sizeof first;
    LONG rc = RegQueryValueExA(k, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(first), &size);
    if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ) throw RegistryError(FormatS(kInvalidType, name));
    if (size == 0) return {};
    std::string buf;
    if (rc == ERROR_SUCCESS) {
        buf.assign(first, size);
    } else {
        buf.assign(size + 1, '\0');
        DWORD got = size;
        rc = RegQueryValueExA(k, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&buf[0]), &got);
        if (rc != ERROR_SUCCESS) throw RegistryError(FormatS(kGetFailed, name));
        buf.resize(got);
    }
    // The stored data may lack its terminating NUL: cut at the first NUL or at the size read.
    size_t nul = buf.find('\0');
    if (nul != std::string::npos) buf.resize(nul);
    return buf;
}

bool Registry::ReadStringExact(const std::string& name, std::string& out) const {
    out.clear();
    HKEY k = Current(key_, root_);
    std::wstring wideName;
    if (!AnsiToWideExact(name, wideName)) return false;
    DWORD type = 0;
    wchar_t first[kFirstReadBytes / sizeof(wchar_t)];
    DWORD size = sizeof first;
    LONG rc = RegQueryValueExW(k, wideName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(first), &size);
    if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) return true;
    if (type != REG_SZ && type != REG_EXPAND_SZ) throw RegistryError(FormatS(kInvalidType, name));
    std::wstring buf;
    if (rc == ERROR_SUCCESS) {
        buf.assign(first, size / sizeof(wchar_t));
    } else {
        buf.assign(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = size;
        if (RegQueryValueExW(k, wideName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&buf[0]), &got) !=
            ERROR_SUCCESS)
            throw RegistryError(FormatS(kGetFailed, name));
        buf.resize(got / sizeof(wchar_t));
    }
    // The stored data may lack its terminating NUL: cut at the first NUL or at the size read.
    const size_t nul = buf.find(L'\0');
    if (nul != std::wstring::npos) buf.resize(nul);
    if (WideToAnsiExact(buf.data(), buf.size(), out)) return true;
    out.clear();
    return false;
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
    return OpenKeyPath(base, rel, 0, 0x20009, key) == ERROR_SUCCESS;
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
    rel = TrimTrailingBackslashes(rel);
    std::wstring wide;
    if (rel.empty() || !AnsiToWideExact(rel, wide)) return false;
    if (rel.size() < kWholePathLimit) return DeleteTree(base, wide, true, 0);
    // A long path: its parent is opened element by element, and the key goes from there.
    const size_t slash = wide.find_last_of(L'\\');
    if (slash == std::wstring::npos) return DeleteTree(base, wide, true, 0);
    UniqueHKey parent;
    if (OpenKeyPath(base, WideToAnsi(wide.substr(0, slash)), 0, KEY_ALL_ACCESS, parent) != ERROR_SUCCESS) return false;
    return DeleteTree(parent.get(), wide.substr(slash + 1), true, 0);
}

}  // namespace tw
