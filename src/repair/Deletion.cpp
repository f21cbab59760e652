#include "repair/Deletion.h"

#include <vector>

#include "platform/Handle.h"
#include "platform/Registry.h"

namespace tw {

namespace {

// Splits at the backslashes that are characters of their own: in code page 936 the second byte
// of a double-byte character may be 0x5C too.
std::vector<std::string> SplitAtBackslashes(const std::string& s) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (IsDBCSLeadByte(static_cast<BYTE>(c)) && i + 1 < s.size()) {
            parts.back() += c;
            parts.back() += s[++i];
        } else if (c == '\\') {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

// Whether any single-byte character of s is one of `bad` (trail bytes are not looked at).
bool HasCharOf(const std::string& s, const char* bad) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(s[i])) && i + 1 < s.size()) {
            ++i;
            continue;
        }
        for (const char* b = bad; *b; ++b)
            if (s[i] == *b) return true;
    }
    return false;
}

bool RegistryPathWithAtLeast(const std::string& location, size_t names) {
    if (location.empty()) return false;
    std::vector<std::string> parts = SplitAtBackslashes(location);
    if (parts.size() < names) return false;
    for (const std::string& p : parts)
        if (p.empty()) return false;
    return true;
}

// Deeper than any real key: a chain of registry links would otherwise recurse without end.
const int kMaxDeleteDepth = 512;

// Whether sub names a key strictly below top.
bool IsBelow(const std::string& top, const std::string& sub) {
    return sub.size() > top.size() + 1 && sub.compare(0, top.size(), top) == 0 &&
           sub[top.size()] == '\\' && IsRepairableKeyLocation(sub);
}

void DeleteSubKeys(HKEY root, const std::string& top, const std::string& path, int depth,
                   RepairView& view) {
    if (depth > kMaxDeleteDepth) return;
    std::vector<std::string> names;
    {
        Registry reg;
        reg.SetRootKey(root);
        if (reg.OpenKey(path, false)) {
            names = reg.GetKeyNames();
            reg.CloseKey();
        }
    }
    for (const std::string& name : names) {
        const std::string sub = path + "\\" + name;
        // Each key is checked before it goes, not only the first: an empty or odd name from
        // the enumeration must not turn into a path that reaches elsewhere.
        if (!IsBelow(top, sub)) continue;
        if (IsRegistryLink(root, sub)) {
            // The link goes, never what it leads to (a failure leaves it, and so the row).
            DeleteRegistryLink(root, sub);
            continue;
        }
        Registry reg;
        reg.SetRootKey(root);
        if (reg.OpenKey(sub, false) && reg.HasSubKeys()) {
            reg.CloseKey();
            DeleteSubKeys(root, top, sub, depth + 1, view);
        } else {
            reg.CloseKey();
        }
        reg.DeleteKey(sub);  // a failure leaves the key; the caller's deletion then fails
    }
    view.ProcessMessages();
}

}  // namespace

bool IsGoneError(DWORD err) { return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND; }

bool KeyMissing(HKEY root, const std::string& path) {
    UniqueHKey key;
    return IsGoneError(static_cast<DWORD>(OpenKeyPath(root, path, 0, KEY_READ, key)));
}

bool RegistryObjectBack(const Finding& f) {
    const HKEY root = RootFromCaption(f.caption);
    switch (f.kind) {
        case FindingKind::RegistryKey: return !KeyMissing(root, f.location);
        case FindingKind::RegistryValue:
        case FindingKind::RegistryDefaultValue: {
            Registry reg;
            reg.SetRootKey(root);
            if (!reg.OpenKeyReadOnly(f.location)) return false;
            const std::string name = f.kind == FindingKind::RegistryValue ? f.keyName : std::string();
            if (!reg.ValueExists(name)) return false;
            if (!name.empty()) return true;
            // A repair may have emptied the default value instead of deleting it: back only
            // with data again.
            RegDataInfo info{};
            if (!reg.GetDataInfo(name, info)) return true;
            if (info.kind == RegDataKind::String || info.kind == RegDataKind::ExpandString)
                return !reg.ReadString(name).empty();
            return info.size > 0;
        }
        default: return false;
    }
}

std::string StripOneTrailingBackslash(std::string path) {
    std::vector<std::string> parts = SplitAtBackslashes(path);
    if (parts.size() > 1 && parts.back().empty()) path.pop_back();
    return path;
}

bool IsRepairableKeyLocation(const std::string& location) {
    return RegistryPathWithAtLeast(location, 2);
}

bool IsRepairableValueLocation(const std::string& location) {
    return RegistryPathWithAtLeast(location, 1);
}

bool IsRepairableDiskPath(const std::string& path) {
    if (path.size() < 4) return false;
    // Wildcards would widen the deletion; "/" and ":" would let the path say something else
    // than its elements show (other separators, streams).
    if (HasCharOf(path, "*?/\"<>|")) return false;
    std::vector<std::string> parts = SplitAtBackslashes(path);
    size_t first;  // index of the first element below the drive or share
    const unsigned char d = static_cast<unsigned char>(path[0]);
    if (((d | 0x20) >= 'a' && (d | 0x20) <= 'z') && path[1] == ':' && path[2] == '\\') {
        first = 1;  // parts: "C:", elements...
    } else if (path[0] == '\\' && path[1] == '\\') {
        // parts: "", "", server, share, elements...
        if (parts.size() < 4 || parts[2].empty() || parts[3].empty()) return false;
        first = 4;
    } else {
        return false;  // relative, or a drive without its root
    }
    if (parts.size() <= first) return false;
    for (size_t i = first; i < parts.size(); ++i) {
        const std::string& p = parts[i];
        if (p.empty() || p.back() == '.' || p.back() == ' ') return false;  // covers "." and ".."
        if (HasCharOf(p, ":")) return false;
    }
    for (size_t i = 0; i < first; ++i)
        if (i >= 2 && HasCharOf(parts[i], ":")) return false;
    return true;
}

bool IsRegistryLink(HKEY root, const std::string& path) {
    UniqueHKey key;
    if (OpenKeyPath(root, path, REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, key) != ERROR_SUCCESS) return false;
    return IsLinkKey(key.get());
}

bool DeleteRegistryLink(HKEY root, const std::string& path) {
    using NtDeleteKeyFn = LONG(WINAPI*)(HANDLE);
    static const NtDeleteKeyFn ntDeleteKey = reinterpret_cast<NtDeleteKeyFn>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDeleteKey"));
    if (!ntDeleteKey) return false;
    UniqueHKey key;
    if (RegOpenKeyExA(root, path.c_str(), REG_OPTION_OPEN_LINK, DELETE, key.put()) != ERROR_SUCCESS) return false;
    return ntDeleteKey(key.get()) == 0;
}

bool SubtreeHasLink(HKEY root, const std::string& path, int depth) {
    if (depth > kMaxDeleteDepth) return true;  // deeper than any real key: treat as a loop
    std::vector<std::string> names;
    {
        Registry reg;
        reg.SetRootKey(root);
        if (!reg.OpenKey(path, false)) return false;
        names = reg.GetKeyNames();
        reg.CloseKey();
    }
    for (const std::string& name : names) {
        const std::string sub = path + "\\" + name;
        if (IsRegistryLink(root, sub) || SubtreeHasLink(root, sub, depth + 1)) return true;
    }
    return false;
}

void DeleteSubKeysLevelByLevel(HKEY root, std::string path, RepairView& view) {
    if (!IsRepairableKeyLocation(path)) return;
    DeleteSubKeys(root, path, path, 0, view);
}

}  // namespace tw
