#include "scanners/PathText.h"

#include <windows.h>

#include "platform/Text.h"

namespace tw {

namespace {
bool IsLead(char c) { return IsLeadByte(c); }
}  // namespace

bool CharAt(const std::string& s, long pos, char c) {
    return pos >= 1 && pos <= static_cast<long>(s.size()) && s[static_cast<size_t>(pos - 1)] == c;
}

long FindChar(const std::string& s, char c) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == c) return static_cast<long>(i + 1);
        if (IsLead(s[i]) && i + 1 < s.size()) ++i;
    }
    return 0;
}

long FindLastSeparator(const std::string& s) {
    long last = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' || s[i] == ':') last = static_cast<long>(i + 1);
        else if (IsLead(s[i]) && i + 1 < s.size()) ++i;
    }
    return last;
}

bool EndsWithBackslash(const std::string& s) {
    size_t i = 0, lastStart = std::string::npos;
    while (i < s.size()) {
        lastStart = i;
        i += (IsLead(s[i]) && i + 1 < s.size()) ? 2 : 1;
    }
    return lastStart != std::string::npos && s[lastStart] == '\\';
}

std::string CutAt(const std::string& s, long p) {
    if (p <= 1) return {};
    size_t keep = static_cast<size_t>(p - 1);
    if (keep >= s.size()) return s;
    if (IsLeadByteAt(s, keep - 1)) --keep;
    return s.substr(0, keep);
}

std::string CollapseBackslashes(const std::string& s, size_t from) {
    std::string out;
    if (from >= s.size()) return out;
    out.reserve(s.size() - from);
    bool afterBackslash = false;
    for (size_t i = from; i < s.size(); ++i) {
        if (IsLead(s[i]) && i + 1 < s.size()) {
            out += s[i];
            out += s[++i];
            afterBackslash = false;
            continue;
        }
        if (s[i] == '\\') {
            if (afterBackslash) continue;
            afterBackslash = true;
        } else {
            afterBackslash = false;
        }
        out += s[i];
    }
    return out;
}

bool Contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

bool StartsWithDriveCtoZ(const std::string& s) {
    if (s.size() < 3) return false;
    char drive = UpperAscii(s.substr(0, 1))[0];
    return drive >= 'C' && drive <= 'Z' && s[1] == ':' && s[2] == '\\';
}

}  // namespace tw
