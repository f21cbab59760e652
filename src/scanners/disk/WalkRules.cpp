#include "scanners/disk/WalkRules.h"

#include <windows.h>

namespace tw {

namespace {

char LowerAsciiChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Length in bytes of the character that starts at i.
size_t CharLength(const std::string& s, size_t i) {
    return IsDBCSLeadByte(static_cast<BYTE>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

bool MatchFrom(const std::string& name, size_t n, const std::string& mask, size_t m) {
    while (m < mask.size()) {
        if (mask[m] == '*') {
            while (m < mask.size() && mask[m] == '*') ++m;
            if (m == mask.size()) return true;
            for (size_t k = n; k < name.size(); k += CharLength(name, k))
                if (MatchFrom(name, k, mask, m)) return true;
            return false;
        }
        if (n >= name.size()) return false;
        size_t nl = CharLength(name, n);
        if (mask[m] == '?') {
            n += nl;
            m += 1;
            continue;
        }
        size_t ml = CharLength(mask, m);
        if (nl != ml) return false;
        // Only single-byte letters fold: a double-byte character matches itself alone.
        if (nl == 1 ? LowerAsciiChar(name[n]) != LowerAsciiChar(mask[m]) : name.compare(n, nl, mask, m, ml) != 0)
            return false;
        n += nl;
        m += ml;
    }
    return n == name.size();
}

}  // namespace

bool ContainsIgnoringCase(const std::string& text, const std::string& needle) {
    if (needle.empty() || needle.size() > text.size()) return false;
    for (size_t i = 0; i + needle.size() <= text.size(); i += CharLength(text, i)) {
        // Character by character, so that only single-byte letters fold.
        size_t k = 0;
        while (k < needle.size()) {
            const size_t len = CharLength(needle, k);
            if (i + k + len > text.size() || CharLength(text, i + k) != len) break;
            if (len == 1 ? LowerAsciiChar(text[i + k]) != LowerAsciiChar(needle[k])
                         : text.compare(i + k, len, needle, k, len) != 0)
                break;
            k += len;
        }
        if (k == needle.size()) return true;
    }
    return false;
}

bool IsSkippedFolder(const std::string& path, const std::string& bakPath) {
    return ContainsIgnoringCase(path, bakPath) || ContainsIgnoringCase(path, "backup") ||
           ContainsIgnoringCase(path, "system volume information");
}

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

bool IsEnterableFolder(const DirEntry& entry) {
    return (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) && !(entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           !entry.name.empty() && !IsDotEntry(entry.name);
}

bool MatchesMask(const std::string& name, const std::string& mask) {
    if (mask == "*.*" || mask == "*") return true;
    return MatchFrom(name, 0, mask, 0);
}

}  // namespace tw
