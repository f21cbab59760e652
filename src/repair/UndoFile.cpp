#include "repair/UndoFile.h"

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <map>
#include <utility>

#include "platform/DataFolder.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Text.h"

namespace tw {

namespace {

// A registry cannot nest deeper than 512 levels; anything deeper is a link loop.
const int kMaxDepth = 512;

// Opens a key as itself on the NT family; the 98 family has no links and takes no options.
DWORD OpenLinkOption() {
    static const DWORD option = (GetVersion() & 0x80000000u) ? 0 : REG_OPTION_OPEN_LINK;
    return option;
}

// Reads keys in the flavour's own terms: the wide API for the Unicode flavour, so that no name
// or text is lost to the code page; the ANSI API for the ANSI flavour, whose systems store ANSI
// and whose editor imports ANSI.
class KeyReader {
public:
    explicit KeyReader(RegFileFlavor flavor) : wide_(flavor == RegFileFlavor::Unicode5) {}

    // ERROR_SUCCESS, or the system's error. As itself, a registry link is opened as the link, not
    // the key it leads to: what a repair of a key deletes is the link, and following links could
    // walk in circles. Otherwise a link is followed, as a repair of a value follows it.
    LONG Open(HKEY parent, const std::wstring& path, UniqueHKey& key, bool asItself = true) const {
        const DWORD options = asItself ? OpenLinkOption() : 0;
        if (wide_) return RegOpenKeyExW(parent, path.c_str(), options, KEY_READ, key.put());
        return RegOpenKeyExA(parent, WideToAnsi(path).c_str(), options, KEY_READ, key.put());
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

// One object however it was reached: the registry's own name of the open key, in lower case
// ("HKEY_CURRENT_USER\X" and "HKEY_USERS\<SID>\X" are one key). Where the system cannot tell
// (the 98 family), the path as written.
std::wstring Identity(HKEY key, const std::wstring& written) {
    const std::wstring name = KeyRealName(key);
    return Lower(name.empty() ? written : name);
}

bool IsLinkRecord(const RegFileValue& v) {
    return !v.isDefault && v.type == REG_LINK && SameIgnoringCase(v.name, L"SymbolicLinkValue");
}

// The path relative to root with each name as the registry holds it. The registry's own name
// of the open key gives the names from the end up, as long as they match the path's names but
// for letter case; from the first that does not (a link on the way, whose target has another
// name) the path's names stay. Without the system's name (the 98 family) the last name is
// looked up among its parent's subkeys.
std::wstring StoredCase(const KeyReader& reader, HKEY root, const std::wstring& rel, HKEY key) {
    std::vector<std::wstring> names = SplitNames(rel);
    const std::wstring real = KeyRealName(key);
    if (!real.empty()) {
        const std::vector<std::wstring> realNames = SplitNames(real);
        for (size_t i = names.size(), j = realNames.size(); i-- > 0 && j-- > 0;) {
            if (!SameIgnoringCase(names[i], realNames[j])) break;
            names[i] = realNames[j];
        }
        return JoinNames(names);
    }
    UniqueHKey parent;
    std::vector<std::wstring> siblings;
    const std::wstring parentPath = JoinNames(std::vector<std::wstring>(names.begin(), names.end() - 1));
    if (names.size() > 1 && reader.Open(root, parentPath, parent) == ERROR_SUCCESS &&
        reader.SubKeys(parent.get(), siblings)) {
        for (const std::wstring& s : siblings)
            if (SameIgnoringCase(s, names.back())) names.back() = s;
    }
    return JoinNames(names);
}

// Whether a key opened as itself is a registry link: it holds the link's value, and opened the
// ordinary way it is another key (or none, when its target is gone). An ordinary key that merely
// holds a value of that name and kind, as an import of a link leaves, is no link.
bool IsRealLink(const KeyReader& reader, HKEY parent, const std::wstring& rel, HKEY asItself) {
    if (!IsLinkKey(asItself)) return false;
    UniqueHKey followed;
    if (reader.Open(parent, rel, followed, false) != ERROR_SUCCESS) return true;
    const std::wstring self = KeyRealName(asItself), target = KeyRealName(followed.get());
    return !self.empty() && Lower(self) != Lower(target);
}

enum class TreeResult { Written, Failed, Link };

// Writes a key with everything below it, parents before children, as the editor's export lists
// them; leaves out what the file holds already.
struct TreeWriter {
    const KeyReader& reader;
    RegFileFlavor flavor;
    bool escapes;
    const std::vector<std::wstring>& keysDone;
    const std::set<std::wstring>& valuesDone;
    std::wstring linkPath;  // the link met, on TreeResult::Link

    bool KeyDone(const std::wstring& id) const {
        for (const std::wstring& done : keysDone)
            if (id.size() >= done.size() && id.compare(0, done.size(), done) == 0 &&
                (id.size() == done.size() || id[done.size()] == L'\\'))
                return true;
        return false;
    }

    TreeResult Write(HKEY parent, const std::wstring& rel, const std::wstring& fullPath, int depth,
                     std::wstring& out) {
        if (depth > kMaxDepth) return TreeResult::Failed;
        UniqueHKey key;
        if (reader.Open(parent, rel, key) != ERROR_SUCCESS) return TreeResult::Failed;
        std::vector<RegFileValue> values;
        std::vector<std::wstring> subKeys;
        if (!reader.Values(key.get(), values) || !reader.SubKeys(key.get(), subKeys)) return TreeResult::Failed;
        if (subKeys.empty() && std::any_of(values.begin(), values.end(), IsLinkRecord) &&
            IsRealLink(reader, parent, rel, key.get())) {
            linkPath = fullPath;
            return TreeResult::Link;
        }
        const bool anyDone = !keysDone.empty() || !valuesDone.empty();
        const std::wstring id = anyDone ? Identity(key.get(), Lower(fullPath)) : std::wstring();
        // Recorded whole before: that record holds this key as it was before the repair.
        if (depth > 0 && anyDone && KeyDone(id)) return TreeResult::Written;
        out += L"\r\n";
        if (!FormatRegKeyLine(fullPath, out)) return TreeResult::Failed;
        for (const RegFileValue& v : values) {
            if (anyDone && valuesDone.count(id + L"\n" + Lower(v.name))) continue;
            if (!FormatRegValue(flavor, v, out, escapes)) return TreeResult::Failed;
        }
        for (const std::wstring& sub : subKeys) {
            const TreeResult r = Write(key.get(), sub, fullPath + L"\\" + sub, depth + 1, out);
            if (r != TreeResult::Written) return r;
        }
        return TreeResult::Written;
    }
};

bool IsGone(LONG rc) { return rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND; }

HKEY RootFromName(const std::wstring& name) {
    const HKEY roots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                          HKEY_CURRENT_CONFIG};
    for (HKEY root : roots)
        if (AnsiToWide(RootName(root)) == name) return root;
    return nullptr;
}

// The same kind and the same bytes: an import that gives back anything else (Wine's editor pads
// REG_SZ data of odd length, and ends unterminated text with a NUL) has not given back what was
// there.
bool SameData(const RegFileValue& want, const RegFileValue& have) {
    return want.type == have.type && want.data == have.data;
}

// The comment line written after every record: the registry editor passes over it, and it
// tells a record as the repair wrote it from one changed or added by hand afterwards.
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

enum class Marks { None, Whole, Broken };

// Whether the records of an undo file's text are each followed by their mark, with nothing
// after the last (None: the file has no mark at all).
Marks CheckMarks(const std::wstring& text, RegFileFlavor flavor) {
    const std::wstring markLine = std::wstring(L"\n") + kMarkStart;
    size_t at = text.find(markLine);
    if (at == std::wstring::npos) return Marks::None;
    const std::wstring header = RegFileHeader(flavor);
    if (text.compare(0, header.size(), header) != 0) return Marks::Broken;
    size_t from = header.size();
    for (; at != std::wstring::npos; at = text.find(markLine, from)) {
        const size_t mark = at + 1;
        const size_t end = text.find(L"\r\n", mark);
        if (end == std::wstring::npos || mark < from) return Marks::Broken;
        if (text.compare(mark, end + 2 - mark, RecordMark(text.substr(from, mark - from))) != 0) return Marks::Broken;
        from = end + 2;
    }
    for (size_t i = from; i < text.size(); ++i)
        if (text[i] != L'\r' && text[i] != L'\n') return Marks::Broken;
    return Marks::Whole;
}

// A default value that a record's "@=-" may remove: none, or the empty text a repair left.
bool DefaultValueRemovable(RegFileFlavor flavor, HKEY root, const std::wstring& rel) {
    KeyReader reader(flavor);
    UniqueHKey key;
    const LONG rc = reader.Open(root, rel, key, false);
    if (IsGone(rc)) return true;
    RegFileValue v;
    bool found = false;
    if (rc != ERROR_SUCCESS || !reader.Value(key.get(), std::wstring(), v, found)) return false;
    if (!found) return true;
    if (v.type != REG_SZ && v.type != REG_EXPAND_SZ) return false;
    return v.data.find_first_not_of('\0') == std::string::npos;
}

}  // namespace

std::string UndoFolder() { return DataFolder() + "Undo\\"; }

std::vector<std::string> UndoFolders() {
    std::vector<std::string> folders;
    for (const std::string& data : DataFolders()) folders.push_back(data + "Undo\\");
    return folders;
}

std::vector<std::string> ListUndoFiles() { return ListUndoFiles(UndoFolders()); }

std::vector<std::string> ListUndoFiles(const std::vector<std::string>& folders) {
    std::vector<std::pair<std::string, std::string>> byName;  // name, path
    for (const std::string& folder : folders)
        for (std::string& path : ListUndoFiles(folder)) byName.emplace_back(path.substr(folder.size()), std::move(path));
    std::sort(byName.begin(), byName.end());
    std::vector<std::string> paths;
    for (auto& file : byName) paths.push_back(std::move(file.second));
    return paths;
}

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
    if (!EncodeRegFile(flavor_, text + RecordMark(text), false, bytes)) return false;
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
    refusal_.clear();
    if (!file_) return false;
    std::wstring rel;
    const std::string rootName = RootName(root);
    if (rootName.empty() || !KeyPathText(flavor_, path, rel)) return false;
    KeyReader reader(flavor_);
    UniqueHKey probe;
    const LONG rc = reader.Open(root, rel, probe);
    if (IsGone(rc)) return true;
    if (rc != ERROR_SUCCESS) return false;
    const std::wstring rootText = AnsiToWide(rootName) + L"\\";
    const std::wstring id = Identity(probe.get(), Lower(rootText + rel));
    TreeWriter writer{reader, flavor_, lineBreakEscapes_, keysDone_, valuesDone_, std::wstring()};
    if (writer.KeyDone(id)) return true;
    const std::wstring full = rootText + StoredCase(reader, root, rel, probe.get());
    probe.reset();
    std::wstring text;
    switch (writer.Write(root, rel, full, 0, text)) {
        case TreeResult::Written:
            break;
        case TreeResult::Link:
            ++linksRefused_;
            refusal_ = (writer.linkPath == full ? "“" + WideToAnsi(full) + "”是注册表链接"
                                                : "“" + WideToAnsi(full) + "”之下的“" + WideToAnsi(writer.linkPath) +
                                                      "”是注册表链接") +
                       "：撤销文件不能恢复注册表链接，含有链接的注册表项不删除。";
            return false;
        case TreeResult::Failed:
            return false;
    }
    if (!Append(text)) return false;
    keysDone_.push_back(id);
    return true;
}

bool UndoFile::RecordValue(HKEY root, const std::string& path, const std::string& name) {
    refusal_.clear();
    if (!file_) return false;
    std::wstring rel, wname;
    const std::string rootName = RootName(root);
    if (rootName.empty() || !KeyPathText(flavor_, path, rel) || !PathText(flavor_, name, wname)) return false;
    KeyReader reader(flavor_);
    UniqueHKey key;
    const LONG rc = reader.Open(root, rel, key, false);
    if (IsGone(rc)) return true;
    if (rc != ERROR_SUCCESS) return false;
    const std::wstring rootText = AnsiToWide(rootName) + L"\\";
    const std::wstring id = Identity(key.get(), Lower(rootText + rel));
    const std::wstring valueId = id + L"\n" + Lower(wname);
    TreeWriter done{reader, flavor_, lineBreakEscapes_, keysDone_, valuesDone_, std::wstring()};
    // Recorded before, alone or with its key: that record holds the value as it was first.
    if (done.KeyDone(id) || valuesDone_.count(valueId)) return true;
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
    if (!FormatRegKeyLine(rootText + StoredCase(reader, root, rel, key.get()), text) ||
        !FormatRegValue(flavor_, v, text, lineBreakEscapes_))
        return false;
    if (!Append(text)) return false;
    valuesDone_.insert(valueId);
    return true;
}

bool UndoFile::RecordDefaultValue(HKEY root, const std::string& path) { return RecordValue(root, path, ""); }

bool ReadUndoFile(const std::string& path, RegFileFlavor& flavor, std::vector<RegFileKey>& keys) {
    std::string bytes;
    return ReadWholeFile(path, bytes) && ParseRegFile(bytes, flavor, keys);
}

namespace {

std::string RefusalReason(const std::string& path, const UndoRecords& records) {
    std::string bytes;
    std::wstring text;
    RegFileFlavor flavor;
    if (!ReadWholeFile(path, bytes)) return "无法读取这个文件";
    DecodeRegFile(bytes, flavor, text);
    if (CheckMarks(text, flavor) == Marks::Broken) return "其中有修复时没有记录的内容（文件在修复之后被改动过）";
    for (const RegFileKey& k : records.keys) {
        const std::string key = WideToAnsi(k.path);
        if (k.remove) return "其中有删除注册表项的内容“[-" + key + "]”";
        const size_t slash = k.path.find(L'\\');
        const HKEY root = RootFromName(k.path.substr(0, slash));
        if (!root || slash == std::wstring::npos || slash + 1 >= k.path.size())
            return "其中有修复不会记录的注册表项“[" + key + "]”";
        for (const RegFileValue& v : k.values) {
            if (!v.remove) continue;
            // A default-value record of a key whose default value was none: its import takes
            // away only the empty text the repair put there.
            if (!v.isDefault) return "其中有删除注册表值的内容“" + key + "\\" + WideToAnsi(v.name) + "”";
            if (k.values.size() != 1 || !DefaultValueRemovable(records.flavor, root, k.path.substr(slash + 1)))
                return "它会删除“" + key + "”现有的默认值";
        }
    }
    return {};
}

}  // namespace

std::string UndoRefusal(const std::string& path, const UndoRecords& records) {
    const std::string reason = RefusalReason(path, records);
    if (reason.empty()) return reason;
    return "撤销失败！“" + path + "”不是修复时写下的撤销文件：" + reason + "。没有导入任何内容，注册表没有改变。";
}

std::vector<std::string> MissingAfterUndo(const std::vector<UndoRecords>& importOrder) {
    // What must be there once every file is imported: per object (a key, however reached), its
    // values as the file imported last recorded them, and within one file as its first record of
    // them says. A file gives back the state before the first change of each object: where an
    // older file holds a later record of the same value (one object recorded through both
    // views), the editor's import leaves the later one, and the check says so.
    struct Expected {
        RegFileFlavor flavor;
        std::wstring path;
        HKEY root;
        std::wstring rel;
        bool present;
        bool link;
        size_t file;  // the file whose records stand
        std::vector<RegFileValue> values;
        std::vector<size_t> valueFiles;
    };
    std::vector<Expected> objects;
    std::map<std::wstring, size_t> index;
    for (size_t f = 0; f < importOrder.size(); ++f) {
        const UndoRecords& file = importOrder[f];
        KeyReader reader(file.flavor);
        for (const RegFileKey& k : file.keys) {
            const size_t slash = k.path.find(L'\\');
            const HKEY root = RootFromName(k.path.substr(0, slash));
            const std::wstring rel = slash == std::wstring::npos ? std::wstring() : k.path.substr(slash + 1);
            UniqueHKey key;
            const std::wstring id = root && reader.Open(root, rel, key, false) == ERROR_SUCCESS
                                        ? Identity(key.get(), Lower(k.path))
                                        : Lower(k.path);
            auto it = index.find(id);
            if (it == index.end()) {
                it = index.emplace(id, objects.size()).first;
                objects.push_back({file.flavor, k.path, root, rel, !k.remove, false, f, {}, {}});
            }
            Expected& e = objects[it->second];
            if (e.file != f) {
                e.flavor = file.flavor;
                e.path = k.path;
                e.root = root;
                e.rel = rel;
                e.present = !k.remove;
                e.file = f;
                if (k.remove) e.values.clear(), e.valueFiles.clear(), e.link = false;
            }
            for (const RegFileValue& v : k.values) {
                if (IsLinkRecord(v)) e.link = true;
                auto same = std::find_if(e.values.begin(), e.values.end(), [&](const RegFileValue& w) {
                    return w.isDefault == v.isDefault && (v.isDefault || SameIgnoringCase(w.name, v.name));
                });
                if (same == e.values.end()) {
                    e.values.push_back(v);
                    e.valueFiles.push_back(f);
                } else if (e.valueFiles[static_cast<size_t>(same - e.values.begin())] != f) {
                    *same = v;
                    e.valueFiles[static_cast<size_t>(same - e.values.begin())] = f;
                }
            }
        }
    }

    std::vector<std::string> missing;
    for (const Expected& e : objects) {
        KeyReader reader(e.flavor);
        UniqueHKey key;
        if (!e.present) {
            if (e.root && !IsGone(reader.Open(e.root, e.rel, key))) missing.push_back(WideToAnsi(e.path));
            continue;
        }
        if (!e.root || reader.Open(e.root, e.rel, key) != ERROR_SUCCESS) {
            missing.push_back(WideToAnsi(e.path));
            continue;
        }
        // The key's own name, as the registry holds it: back in the recorded letter case.
        const std::vector<std::wstring> written = SplitNames(e.path);
        const std::vector<std::wstring> stored = SplitNames(KeyRealName(key.get()));
        if (stored.size() > 1 && stored.back() != written.back() && SameIgnoringCase(stored.back(), written.back()))
            missing.push_back(WideToAnsi(e.path) + "（注册表中的名称是“" + WideToAnsi(stored.back()) + "”）");
        const bool isLink = IsRealLink(reader, e.root, e.rel, key.get());
        if (e.link && !isLink) {
            missing.push_back(WideToAnsi(e.path) + "（不再是注册表链接）");
            continue;
        }
        // A value recorded through a link: the import wrote it where the link leads.
        if (isLink && !e.link && reader.Open(e.root, e.rel, key, false) != ERROR_SUCCESS) {
            missing.push_back(WideToAnsi(e.path));
            continue;
        }
        for (const RegFileValue& want : e.values) {
            RegFileValue have;
            bool found = false;
            const bool read = reader.Value(key.get(), want.isDefault ? std::wstring() : want.name, have, found);
            const std::string what = WideToAnsi(e.path + L"\\" + (want.isDefault ? L"@" : want.name));
            if (want.remove) {
                if (!read || found) missing.push_back(what);
            } else if (!read || !found) {
                missing.push_back(what);
            } else if (!SameData(want, have)) {
                missing.push_back(what + (want.type != have.type ? "（类型不同）" : "（数据不同）"));
            }
        }
    }
    return missing;
}

}  // namespace tw
