#include "scanners/IgnoreList.h"

#include <windows.h>
#include <cstdio>

#include "platform/DataFolder.h"
#include "platform/FileSystem.h"
#include "platform/Handle.h"
#include "platform/Text.h"

namespace tw {

namespace {

const char kSection[] = "[Ignore]";
const char kListName[] = "Ignore.ini";

}  // namespace

std::string IgnoreListPath() { return DataFolder() + kListName; }

std::string OlderIgnoreListPath() { return OlderDataFile(kListName); }

std::string IgnoreList::EscapeField(const std::string& text) {
    // Every byte escaped here is below 0x40, so none can be the second byte of a GB2312
    // character: the escaping never cuts one in two.
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || c == '%') {
            char buf[4];
            snprintf(buf, sizeof buf, "%%%02X", b);
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

IgnoredObject IgnoreList::Folded(IgnoredObject o) {
    o.caption = LowerAscii(o.caption);
    o.location = LowerAscii(o.location);
    o.keyName = LowerAscii(o.keyName);
    return o;
}

namespace {

// Whether inner is outer itself or lies below it (both folded; "\"-separated paths, or the "/"
// of the host's paths, which a Windows path never holds).
bool AtOrBelow(const std::string& inner, const std::string& outer) {
    std::string a = TrimTrailingBackslashes(inner), b = TrimTrailingBackslashes(outer);
    if (b.empty() || a.size() < b.size() || a.compare(0, b.size(), b) != 0) return false;
    return a.size() == b.size() || a[b.size()] == '/' || (a[b.size()] == '\\' && !IsLeadByteAt(a, b.size() - 1));
}

}  // namespace

bool IgnoreList::Protects(const Finding& f) const {
    if (Contains(f)) return true;
    const IgnoredObject row = Folded(IgnoredObject::Of(f));
    const FindingKind kind = f.kind;
    const bool disk = f.OnDisk();
    for (const IgnoredObject& listed : items_) {
        const IgnoredObject item = Folded(listed);
        if (disk) {
            // Paths on disk: a folder on the list holds the row's object, or the row's folder
            // holds an object on the list.
            if (IsDiskKind(KindFromTexts(listed.caption, listed.keyName, listed.location)) &&
                (AtOrBelow(row.location, item.location) || AtOrBelow(item.location, row.location)))
                return true;
            continue;
        }
        if (item.caption != row.caption) continue;
        const bool itemIsKey = item.keyName.empty();
        if (kind == FindingKind::RegistryKey || kind == FindingKind::ProductUninstall) {
            // The key goes with everything below it (a product's uninstall removes its entry).
            if (AtOrBelow(item.location, row.location)) return true;
            if (itemIsKey && AtOrBelow(row.location, item.location)) return true;
        } else {
            // A value inside a key on the list, or the same value.
            if (itemIsKey && AtOrBelow(row.location, item.location)) return true;
            if (!itemIsKey && TrimTrailingBackslashes(item.location) == TrimTrailingBackslashes(row.location) &&
                item.keyName == row.keyName)
                return true;
        }
    }
    return false;
}

bool IgnoreList::UnescapeField(const std::string& text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const int hi = i + 1 < text.size() ? HexDigitValue(text[i + 1]) : -1;
        const int lo = i + 2 < text.size() ? HexDigitValue(text[i + 2]) : -1;
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

bool IgnoreList::Load() {
    items_.clear();
    set_.clear();
    // No list yet is an empty list; one that is there but cannot be read whole is an error.
    // Until the list is first saved in the data folder, the one an older portable use left
    // beside the program is the user's list.
    const std::string from = FileToRead(path_, olderPath_);
    std::string text;
    if (!ReadWholeFile(from, text)) return GetFileAttributesA(from.c_str()) == INVALID_FILE_ATTRIBUTES;

    bool inSection = false;
    for (std::string line : SplitAt(text, '\n')) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            inSection = line == kSection;
            continue;
        }
        const size_t eq = line.find('=');
        if (!inSection || eq == std::string::npos) continue;
        // A line that is not three well-formed fields is not an object: skip it, keep the rest.
        std::vector<std::string> fields = SplitAt(line.substr(eq + 1), '\t');
        if (fields.size() != 3) continue;
        IgnoredObject o;
        if (!UnescapeField(fields[0], o.caption) || !UnescapeField(fields[1], o.location) ||
            !UnescapeField(fields[2], o.keyName))
            continue;
        if (set_.insert(Folded(o)).second) items_.push_back(std::move(o));
    }
    return true;
}

bool IgnoreList::Save() const {
    std::string text = "; Tarnwell 忽略的项目：扫描不再报告，修复不再触及。每行：项目、位置、键名，以制表符分隔。\r\n";
    text += kSection;
    text += "\r\n";
    int n = 0;
    for (const IgnoredObject& o : items_)
        text += IntToStr(++n) + "=" + EscapeField(o.caption) + "\t" + EscapeField(o.location) + "\t" +
                EscapeField(o.keyName) + "\r\n";
    // Written beside the list first, so that a failed write never leaves half a list behind.
    const std::string temp = path_ + ".new";
    UniqueFile f(fopen(temp.c_str(), "wb"));
    if (!f) return false;
    const bool written = fwrite(text.data(), 1, text.size(), f.get()) == text.size();
    const bool closed = fclose(f.release()) == 0;
    if (!written || !closed) {
        DeleteFileA(temp.c_str());
        return false;
    }
    if (MoveFileExA(temp.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    // Windows 98 cannot replace in one step: delete and rename.
    DeleteFileA(path_.c_str());
    if (!MoveFileA(temp.c_str(), path_.c_str())) {
        DeleteFileA(temp.c_str());
        return false;
    }
    return true;
}

bool IgnoreList::Add(const IgnoredObject& object) {
    if (!set_.insert(Folded(object)).second) return true;
    items_.push_back(object);
    return Save();
}

bool IgnoreList::Remove(const std::vector<IgnoredObject>& objects) {
    for (const IgnoredObject& o : objects) {
        if (!set_.erase(Folded(o))) continue;
        for (auto it = items_.begin(); it != items_.end(); ++it) {
            if (Folded(*it) == Folded(o)) {
                items_.erase(it);
                break;
            }
        }
    }
    return Save();
}

}  // namespace tw
