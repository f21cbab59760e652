#include "repair/UndoFile.h"

#include <algorithm>
#include <cstdio>

#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Text.h"

namespace tw {

namespace {

// A registry cannot nest deeper than 512 levels; anything deeper is a link loop.
const int kMaxDepth = 512;

// Reads keys in the flavour's own terms: the wide API for the Unicode flavour, so that no name
// or text is lost to the code page; the ANSI API for the ANSI flavour, whose systems store ANSI
// and whose editor imports ANSI.
class KeyReader {
public:
    explicit KeyReader(RegFileFlavor flavor) : wide_(flavor == RegFileFlavor::Unicode5) {}

    // ERROR_SUCCESS, or the system's error.
    // A registry link is opened as the link itself, not the key it leads to: what a repair
    // deletes is the link, and following links could walk in circles. The record of a link is
    // its target's name (the value SymbolicLinkValue); an import cannot make a link again.
    LONG Open(HKEY parent, const std::wstring& path, UniqueHKey& key) const {
        if (wide_) return RegOpenKeyExW(parent, path.c_str(), REG_OPTION_OPEN_LINK, KEY_READ, key.put());
        return RegOpenKeyExA(parent, WideToAnsi(path).c_str(), 0, KEY_READ, key.put());
    }

    // Every value of the key, in enumeration order. False on any error but the end of the list,
    // or a name the ANSI flavour cannot carry.
    bool Values(HKEY key, std::vector<RegFileValue>& out) const {
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

    // One value; found is false when there is none of that name.
    bool Value(HKEY key, const std::wstring& name, RegFileValue& v, bool& found) const {
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

    bool SubKeys(HKEY key, std::vector<std::wstring>& out) const {
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

private:
    bool wide_;
};

// The path as the flavour's API wants it: exact in ANSI, or the code page's reading of the
// Finding's text for the wide API.
bool PathText(RegFileFlavor flavor, const std::string& path, std::wstring& out) {
    if (flavor == RegFileFlavor::Ansi4) {
        if (!AnsiToWideExact(path, out)) return false;
    } else {
        out = AnsiToWide(path);
    }
    return true;
}

// A key path without the trailing backslashes the system ignores when it opens the key.
bool KeyPathText(RegFileFlavor flavor, const std::string& path, std::wstring& out) {
    if (!PathText(flavor, path, out)) return false;
    while (!out.empty() && out.back() == L'\\') out.pop_back();
    return !out.empty() && out[0] != L'\\';
}

// Appends the key at `path` and everything below it, parents before children, as the editor's
// export lists them.
bool FormatTree(const KeyReader& reader, RegFileFlavor flavor, bool escapes, HKEY parent, const std::wstring& rel,
                const std::wstring& fullPath, int depth, std::wstring& out) {
    if (depth > kMaxDepth) return false;
    UniqueHKey key;
    if (reader.Open(parent, rel, key) != ERROR_SUCCESS) return false;
    std::vector<RegFileValue> values;
    std::vector<std::wstring> subKeys;
    if (!reader.Values(key.get(), values) || !reader.SubKeys(key.get(), subKeys)) return false;
    out += L"\r\n";
    if (!FormatRegKeyLine(fullPath, out)) return false;
    for (const RegFileValue& v : values)
        if (!FormatRegValue(flavor, v, out, escapes)) return false;
    for (const std::wstring& sub : subKeys)
        if (!FormatTree(reader, flavor, escapes, key.get(), sub, fullPath + L"\\" + sub, depth + 1, out))
            return false;
    return true;
}

bool IsGone(LONG rc) { return rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND; }

HKEY RootFromName(const std::wstring& name) {
    const HKEY roots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                          HKEY_CURRENT_CONFIG};
    for (HKEY root : roots)
        if (AnsiToWide(RootName(root)) == name) return root;
    return nullptr;
}

bool IsStringKind(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

bool SameData(RegFileFlavor flavor, const RegFileValue& want, const RegFileValue& have) {
    if (want.type != have.type) return false;
    if (want.data == have.data) return true;
    if (!IsStringKind(want.type)) return false;
    const size_t unit = flavor == RegFileFlavor::Unicode5 ? 2 : 1;
    return have.data.size() == want.data.size() + unit &&
           have.data.compare(0, want.data.size(), want.data) == 0 &&
           have.data.find_first_not_of('\0', want.data.size()) == std::string::npos;
}

}  // namespace

std::string UndoFolder() { return ProgramFolder() + "Undo\\"; }

std::vector<std::string> ListUndoFiles(const std::string& folder) {
    std::vector<std::string> names;
    ListDirectory(folder + "*.reg", 0, [&](const DirEntry& e) {
        names.push_back(e.name);
        return true;
    });
    std::sort(names.begin(), names.end());
    for (std::string& n : names) n = folder + n;
    return names;
}

UndoFile::~UndoFile() { Close(); }

bool UndoFile::Open(RegFileFlavor flavor, const std::string& folder) {
    Close();
    flavor_ = flavor;
    if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    SYSTEMTIME t;
    GetLocalTime(&t);
    char stamp[32];
    snprintf(stamp, sizeof stamp, "%04u-%02u-%02u_%02u-%02u-%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
             t.wMinute, t.wSecond);
    // The suffix sorts after ".reg", so that a later file of the same second lists later.
    for (int n = 1; n < 100 && !file_; ++n) {
        char suffix[8] = "";
        if (n > 1) snprintf(suffix, sizeof suffix, "_%02d", n);
        std::string path = folder + stamp + suffix + ".reg";
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            file_.reset(h);
            path_ = path;
        } else if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
    if (!file_) return false;
    size_ = 0;
    records_ = 0;
    std::string bytes;
    EncodeRegFile(flavor_, RegFileHeader(flavor_), true, bytes);
    DWORD written = 0;
    if (!WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
        file_.reset();
        DeleteFileA(path_.c_str());
        path_.clear();
        return false;
    }
    size_ = written;
    return true;
}

void UndoFile::Close() {
    if (!file_) return;
    FlushFileBuffers(file_.get());
    file_.reset();
    if (records_ == 0) DeleteFileA(path_.c_str());
}

bool UndoFile::Append(const std::wstring& text) {
    if (!file_) return false;
    std::string bytes;
    if (!EncodeRegFile(flavor_, text, false, bytes)) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    if (!ok || written != bytes.size()) {
        // Half a record would import as something nobody deleted: cut it off again.
        LONG high = static_cast<LONG>(size_ >> 32);
        SetFilePointer(file_.get(), static_cast<LONG>(size_ & 0xFFFFFFFF), &high, FILE_BEGIN);
        SetEndOfFile(file_.get());
        return false;
    }
    // Written through to the system before the deletion it guards: a crash of the program
    // cannot lose it. (Flushing every record to the disk would slow a large repair many times
    // over; the registry itself writes its deletions out lazily too.)
    size_ += written;
    ++records_;
    return true;
}

bool UndoFile::RecordKey(HKEY root, const std::string& path) {
    if (!file_) return false;
    std::wstring rel;
    const std::string rootName = RootName(root);
    if (rootName.empty() || !KeyPathText(flavor_, path, rel)) return false;
    KeyReader reader(flavor_);
    UniqueHKey probe;
    const LONG rc = reader.Open(root, rel, probe);
    if (IsGone(rc)) return true;
    if (rc != ERROR_SUCCESS) return false;
    probe.reset();
    std::wstring text;
    if (!FormatTree(reader, flavor_, lineBreakEscapes_, root, rel, AnsiToWide(rootName) + L"\\" + rel, 0, text))
        return false;
    return Append(text);
}

bool UndoFile::RecordValue(HKEY root, const std::string& path, const std::string& name) {
    if (!file_) return false;
    std::wstring rel, wname;
    const std::string rootName = RootName(root);
    if (rootName.empty() || !KeyPathText(flavor_, path, rel) || !PathText(flavor_, name, wname)) return false;
    KeyReader reader(flavor_);
    UniqueHKey key;
    const LONG rc = reader.Open(root, rel, key);
    if (IsGone(rc)) return true;
    if (rc != ERROR_SUCCESS) return false;
    RegFileValue v;
    bool found = false;
    if (!reader.Value(key.get(), wname, v, found)) return false;
    if (!found) {
        if (!wname.empty()) return true;
        // The repair is about to create the default value as the empty text: undo removes it.
        v.isDefault = true;
        v.remove = true;
    }
    std::wstring text = L"\r\n";
    if (!FormatRegKeyLine(AnsiToWide(rootName) + L"\\" + rel, text) ||
        !FormatRegValue(flavor_, v, text, lineBreakEscapes_))
        return false;
    return Append(text);
}

bool UndoFile::RecordDefaultValue(HKEY root, const std::string& path) { return RecordValue(root, path, ""); }

bool ReadUndoFile(const std::string& path, RegFileFlavor& flavor, std::vector<RegFileKey>& keys) {
    std::string bytes;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    char buf[65536];
    for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;) bytes.append(buf, n);
    fclose(f);
    return ParseRegFile(bytes, flavor, keys);
}

std::vector<std::string> MissingAfterUndo(RegFileFlavor flavor, const std::vector<RegFileKey>& keys) {
    std::vector<std::string> missing;
    KeyReader reader(flavor);
    for (const RegFileKey& k : keys) {
        const size_t slash = k.path.find(L'\\');
        const HKEY root = RootFromName(k.path.substr(0, slash));
        const std::wstring rel = slash == std::wstring::npos ? std::wstring() : k.path.substr(slash + 1);
        UniqueHKey key;
        if (k.remove) {
            if (root && !IsGone(reader.Open(root, rel, key))) missing.push_back(WideToAnsi(k.path));
            continue;
        }
        if (!root || reader.Open(root, rel, key) != ERROR_SUCCESS) {
            missing.push_back(WideToAnsi(k.path));
            continue;
        }
        for (const RegFileValue& want : k.values) {
            RegFileValue have;
            bool found = false;
            const bool read = reader.Value(key.get(), want.isDefault ? std::wstring() : want.name, have, found);
            const bool back = want.remove ? read && !found : read && found && SameData(flavor, want, have);
            if (!back) missing.push_back(WideToAnsi(k.path + L"\\" + (want.isDefault ? L"@" : want.name)));
        }
    }
    return missing;
}

}  // namespace tw
