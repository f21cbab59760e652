#include "repair/UndoFile.h"

#include <algorithm>
#include <map>

#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "repair/UndoKeys.h"

namespace tw {

using namespace undo;

namespace {

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

bool ReadUndoFile(const std::string& path, RegFileFlavor& flavor, std::vector<RegFileKey>& keys) {
    std::string bytes;
    return ReadWholeFile(path, bytes) && ParseRegFile(bytes, flavor, keys);
}

namespace {

UndoProblem Problem(UndoProblem::What what, const std::string& key = std::string(),
                    const std::string& name = std::string()) {
    UndoProblem p;
    p.what = what;
    p.key = key;
    p.name = name;
    return p;
}

// What must be there of one object (a key, however reached) once every file is imported.
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

// What must be there once every file is imported: per object, its values as the file imported
// last recorded them, and within one file as its first record of them says. A file gives back
// the state before the first change of each object: where an older file holds a later record of
// the same value (one object recorded through both views), the editor's import leaves the later
// one, and the check says so.
std::vector<Expected> ExpectedAfterImport(const std::vector<UndoRecords>& importOrder) {
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
    return objects;
}

}  // namespace

UndoProblem UndoFileProblem(const std::string& path, const UndoRecords& records) {
    std::string bytes;
    std::wstring text;
    RegFileFlavor flavor;
    if (!ReadWholeFile(path, bytes)) return Problem(UndoProblem::Unreadable);
    DecodeRegFile(bytes, flavor, text);
    if (CheckMarks(text, flavor) == Marks::Broken) return Problem(UndoProblem::Changed);
    for (const RegFileKey& k : records.keys) {
        const std::string key = WideToAnsi(k.path);
        if (k.remove) return Problem(UndoProblem::DeletesKey, key);
        const size_t slash = k.path.find(L'\\');
        const HKEY root = RootFromName(k.path.substr(0, slash));
        if (!root || slash == std::wstring::npos || slash + 1 >= k.path.size())
            return Problem(UndoProblem::KeyNotRecorded, key);
        for (const RegFileValue& v : k.values) {
            if (!v.remove) continue;
            // A default-value record of a key whose default value was none: its import takes
            // away only the empty text the repair put there.
            if (!v.isDefault) return Problem(UndoProblem::DeletesValue, key, WideToAnsi(v.name));
            if (k.values.size() != 1 || !DefaultValueRemovable(records.flavor, root, k.path.substr(slash + 1)))
                return Problem(UndoProblem::DeletesDefault, key);
        }
    }
    return {};
}

std::vector<NotRestored> MissingAfterUndo(const std::vector<UndoRecords>& importOrder) {
    std::vector<NotRestored> missing;
    auto add = [&missing](const std::wstring& path, NotRestored::Why why = NotRestored::Missing,
                          const std::wstring& stored = std::wstring()) {
        missing.push_back({WideToAnsi(path), why, WideToAnsi(stored)});
    };
    for (const Expected& e : ExpectedAfterImport(importOrder)) {
        KeyReader reader(e.flavor);
        UniqueHKey key;
        if (!e.present) {
            if (e.root && !IsGone(reader.Open(e.root, e.rel, key))) add(e.path);
            continue;
        }
        if (!e.root || reader.Open(e.root, e.rel, key) != ERROR_SUCCESS) {
            add(e.path);
            continue;
        }
        // The key's own name, as the registry holds it: back in the recorded letter case.
        const std::vector<std::wstring> written = SplitNames(e.path);
        const std::vector<std::wstring> stored = SplitNames(KeyRealName(key.get()));
        if (stored.size() > 1 && stored.back() != written.back() && SameIgnoringCase(stored.back(), written.back()))
            add(e.path, NotRestored::OtherName, stored.back());
        const bool isLink = IsRealLink(reader, e.root, e.rel, key.get());
        if (e.link && !isLink) {
            add(e.path, NotRestored::NoLongerLink);
            continue;
        }
        // A value recorded through a link: the import wrote it where the link leads.
        if (isLink && !e.link && reader.Open(e.root, e.rel, key, false) != ERROR_SUCCESS) {
            add(e.path);
            continue;
        }
        for (const RegFileValue& want : e.values) {
            RegFileValue have;
            bool found = false;
            const bool read = reader.Value(key.get(), want.isDefault ? std::wstring() : want.name, have, found);
            const std::wstring what = e.path + L"\\" + (want.isDefault ? L"@" : want.name);
            if (want.remove) {
                if (!read || found) add(what);
            } else if (!read || !found) {
                add(what);
            } else if (!SameData(want, have)) {
                add(what, want.type != have.type ? NotRestored::OtherKind : NotRestored::OtherData);
            }
        }
    }
    return missing;
}

}  // namespace tw
