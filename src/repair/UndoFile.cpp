#include "repair/UndoFile.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/DataFolder.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "repair/UndoKeys.h"

namespace tw {

using namespace undo;

namespace {

// A registry cannot nest deeper than 512 levels; anything deeper is a link loop.
const int kMaxDepth = 512;

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
    refusal_ = LinkRefusal();
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
            refusal_ = {WideToAnsi(full), WideToAnsi(writer.linkPath)};
            return false;
        case TreeResult::Failed:
            return false;
    }
    if (!Append(text)) return false;
    keysDone_.push_back(id);
    return true;
}

bool UndoFile::RecordValue(HKEY root, const std::string& path, const std::string& name) {
    refusal_ = LinkRefusal();
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

}  // namespace tw
