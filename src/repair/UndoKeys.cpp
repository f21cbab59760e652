#include "repair/UndoKeys.h"

#include <cwctype>

#include "platform/Registry.h"
#include "platform/Text.h"

namespace tw {
namespace undo {

DWORD OpenLinkOption() {
    static const DWORD option = (GetVersion() & 0x80000000u) ? 0 : REG_OPTION_OPEN_LINK;
    return option;
}

LONG KeyReader::Open(HKEY parent, const std::wstring& path, UniqueHKey& key, bool asItself) const {
    const DWORD options = asItself ? OpenLinkOption() : 0;
    if (wide_) return RegOpenKeyExW(parent, path.c_str(), options, KEY_READ, key.put());
    return RegOpenKeyExA(parent, WideToAnsi(path).c_str(), options, KEY_READ, key.put());
}

bool KeyReader::Values(HKEY key, std::vector<RegFileValue>& out) const {
    out.clear();
    std::vector<wchar_t> wname(1024);
    std::vector<char> aname(1024);
    std::string data(4096, '\0');
    for (DWORD i = 0;; ++i) {
        for (int attempt = 0;; ++attempt) {
            DWORD nameLen = static_cast<DWORD>(wname.size());
            DWORD dataLen = static_cast<DWORD>(data.size());
            DWORD type = REG_NONE;
            LONG rc = wide_ ? RegEnumValueW(key, i, wname.data(), &nameLen, nullptr, &type,
                                            reinterpret_cast<BYTE*>(&data[0]), &dataLen)
                            : RegEnumValueA(key, i, aname.data(), &nameLen, nullptr, &type,
                                            reinterpret_cast<BYTE*>(&data[0]), &dataLen);
            if (rc == ERROR_NO_MORE_ITEMS) return true;
            if (rc == ERROR_MORE_DATA && attempt < 4) {
                // Name or data longer than the buffers: grow both and ask again.
                wname.resize(32768);
                aname.resize(65536);
                data.resize(std::max<size_t>(data.size() * 4, dataLen + 16));
                continue;
            }
            if (rc != ERROR_SUCCESS) return false;
            RegFileValue v;
            if (wide_) {
                v.name.assign(wname.data(), nameLen);
            } else if (!AnsiToWideExact(std::string(aname.data(), nameLen), v.name)) {
                return false;
            }
            v.isDefault = v.name.empty();
            v.type = type;
            v.data.assign(data.data(), dataLen);
            out.push_back(std::move(v));
            break;
        }
    }
}

bool KeyReader::Value(HKEY key, const std::wstring& name, RegFileValue& v, bool& found) const {
    found = false;
    for (DWORD size = 4096;;) {
        std::string data(size, '\0');
        DWORD type = REG_NONE, got = size;
        LONG rc = wide_ ? RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                           reinterpret_cast<BYTE*>(&data[0]), &got)
                        : RegQueryValueExA(key, WideToAnsi(name).c_str(), nullptr, &type,
                                           reinterpret_cast<BYTE*>(&data[0]), &got);
        if (rc == ERROR_FILE_NOT_FOUND) return true;
        if (rc == ERROR_MORE_DATA && got > size) {
            size = got;
            continue;
        }
        if (rc != ERROR_SUCCESS) return false;
        found = true;
        v.name = name;
        v.isDefault = name.empty();
        v.type = type;
        v.data.assign(data.data(), got);
        return true;
    }
}

bool KeyReader::SubKeys(HKEY key, std::vector<std::wstring>& out) const {
    out.clear();
    std::vector<wchar_t> wname(1024);
    std::vector<char> aname(1024);
    for (DWORD i = 0;;) {
        DWORD len = static_cast<DWORD>(wname.size());
        LONG rc = wide_ ? RegEnumKeyExW(key, i, wname.data(), &len, nullptr, nullptr, nullptr, nullptr)
                        : RegEnumKeyExA(key, i, aname.data(), &len, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) return true;
        if (rc == ERROR_MORE_DATA && wname.size() < 32768) {
            wname.resize(32768);
            aname.resize(65536);
            continue;
        }
        if (rc != ERROR_SUCCESS) return false;
        std::wstring name;
        if (wide_) {
            name.assign(wname.data(), len);
        } else if (!AnsiToWideExact(std::string(aname.data(), len), name)) {
            return false;
        }
        out.push_back(std::move(name));
        ++i;
    }
}

std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(towlower(c));
    return s;
}

bool SameIgnoringCase(const std::wstring& a, const std::wstring& b) { return Lower(a) == Lower(b); }

std::vector<std::wstring> SplitNames(const std::wstring& path) {
    std::vector<std::wstring> names(1);
    for (wchar_t c : path) {
        if (c == L'\\') names.emplace_back();
        else names.back() += c;
    }
    return names;
}

std::wstring JoinNames(const std::vector<std::wstring>& names) {
    std::wstring out;
    for (size_t i = 0; i < names.size(); ++i) out += (i ? L"\\" : L"") + names[i];
    return out;
}

std::wstring Identity(HKEY key, const std::wstring& written) {
    const std::wstring name = KeyRealName(key);
    return Lower(name.empty() ? written : name);
}

bool IsLinkRecord(const RegFileValue& v) {
    return !v.isDefault && v.type == REG_LINK && SameIgnoringCase(v.name, L"SymbolicLinkValue");
}

bool IsRealLink(const KeyReader& reader, HKEY parent, const std::wstring& rel, HKEY asItself) {
    if (!IsLinkKey(asItself)) return false;
    UniqueHKey followed;
    if (reader.Open(parent, rel, followed, false) != ERROR_SUCCESS) return true;
    const std::wstring self = KeyRealName(asItself), target = KeyRealName(followed.get());
    return !self.empty() && Lower(self) != Lower(target);
}

bool IsGone(LONG rc) { return rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND; }

const wchar_t kMarkStart[] = L";Tarnwell record ";

std::wstring RecordMark(const std::wstring& record) {
    // FNV-1a over the record's UTF-16 text (the ANSI flavour's text reads back the same).
    unsigned long long h = 14695981039346656037ull;
    for (wchar_t c : record) {
        h ^= static_cast<unsigned short>(c);
        h *= 1099511628211ull;
    }
    std::wstring hex(16, L'0');
    for (size_t i = 16; i-- > 0; h >>= 4) hex[i] = L"0123456789abcdef"[h & 15];
    return kMarkStart + hex + L"\r\n";
}

}  // namespace undo
}  // namespace tw
