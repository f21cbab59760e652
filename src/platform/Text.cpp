#include "platform/Text.h"

#include <windows.h>
#include <climits>
#include <cstdio>
#include <vector>

namespace tw {

namespace {

// Moves the ASCII letters from one case to the other; the second byte of a double-byte
// character can fall in the letter range and is part of another character, so it stays.
std::string ShiftAsciiCase(std::string s, char from, char to) {
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (IsDBCSLeadByte(static_cast<BYTE>(c)) && i + 1 < s.size())
            ++i;
        else if (c >= from && c <= from + 25)
            s[i] = static_cast<char>(c - from + to);
    }
    return s;
}

}  // namespace

std::string UpperAscii(std::string s) { return ShiftAsciiCase(std::move(s), 'a', 'A'); }

std::string LowerAscii(std::string s) { return ShiftAsciiCase(std::move(s), 'A', 'a'); }

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
    return s.substr(b, e - b);
}

std::string IntToStr(long long v) { return std::to_string(v); }

bool TryStrToInt(const std::string& s, int& out) {
    size_t i = 0;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
    if (i >= s.size()) return false;
    long long v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) return false;
    }
    if (neg) v = -v;
    if (v > INT_MAX || v < INT_MIN) return false;
    out = static_cast<int>(v);
    return true;
}

std::string FormatS(const char* fmt, const std::string& arg) {
    std::string f(fmt);
    size_t p = f.find("%s");
    if (p == std::string::npos) return f;
    return f.substr(0, p) + arg + f.substr(p + 2);
}

static std::wstring ToWide(UINT cp, const std::string& s) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

static std::string FromWide(UINT cp, const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

std::wstring AnsiToWide(const std::string& s) { return ToWide(CP_ACP, s); }
std::string WideToAnsi(const std::wstring& s) { return FromWide(CP_ACP, s); }
std::string WideToUtf8(const std::wstring& s) { return FromWide(CP_UTF8, s); }
std::string AnsiToUtf8(const std::string& s) { return WideToUtf8(AnsiToWide(s)); }

bool Utf8ToWideExact(const std::string& text, std::wstring& out) {
    out.clear();
    if (text.empty()) return true;
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return false;
    out.assign(static_cast<size_t>(n), L'\0');
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), &out[0], n) == n;
}

bool WideToAnsiExact(const wchar_t* text, size_t length, std::string& out) {
    out.clear();
    if (length == 0) return true;
    // Plain ASCII is the same in every ANSI code page: most names take this way, at no cost.
    size_t i = 0;
    while (i < length && text[i] < 0x80) ++i;
    if (i == length) {
        out.assign(text, text + length);  // each unit is below 0x80
        return true;
    }
    if (length > 0x3FFFFFFF) return false;
    const int n = static_cast<int>(length);
    out.resize(length * 2 + 8);
    BOOL usedDefault = FALSE;
    int got = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, n, &out[0],
                                  static_cast<int>(out.size()), nullptr, &usedDefault);
    if (got <= 0 || usedDefault) return false;
    out.resize(static_cast<size_t>(got));
    // Read it back: only a text that returns unchanged names the same object.
    std::wstring back(length + 1, L'\0');
    int backLen = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, out.data(), got, &back[0],
                                      static_cast<int>(back.size()));
    return backLen == n && back.compare(0, length, text, length) == 0;
}

bool AnsiToWideExact(const std::string& text, std::wstring& out) {
    out.clear();
    if (text.empty()) return true;
    size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
    if (i == text.size()) {
        out.assign(text.begin(), text.end());
        return true;
    }
    if (text.size() > 0x3FFFFFFF) return false;
    const int n = static_cast<int>(text.size());
    out.resize(text.size());
    int got = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), n, &out[0], n);
    if (got <= 0) return false;
    out.resize(static_cast<size_t>(got));
    return true;
}

std::string TrimTrailingBackslashes(const std::string& s) {
    // Walk forward to find where the run of trailing backslash characters starts.
    size_t keep = 0;
    for (size_t i = 0; i < s.size();) {
        const bool lead = IsLeadByte(s[i]) && i + 1 < s.size();
        if (lead) {
            i += 2;
            keep = i;
        } else {
            if (s[i] != '\\') keep = i + 1;
            ++i;
        }
    }
    return s.substr(0, keep);
}

namespace {

// Byte offsets at which a character starts, and the text's end.
std::vector<size_t> CharStarts(const std::string& s) {
    std::vector<size_t> starts;
    for (size_t i = 0; i < s.size(); ++i) {
        starts.push_back(i);
        if (IsDBCSLeadByte(static_cast<BYTE>(s[i])) && i + 1 < s.size()) ++i;
    }
    starts.push_back(s.size());
    return starts;
}

const char kHex[] = "0123456789ABCDEF";

// Appends the escape of control byte c; false when c is not one.
bool AppendControlEscape(std::string& out, unsigned char c) {
    switch (c) {
        case '\t': out += "\\t"; return true;
        case '\r': out += "\\r"; return true;
        case '\n': out += "\\n"; return true;
        default:
            if (c >= 0x20 && c != 0x7F) return false;
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
            return true;
    }
}

}  // namespace

std::string LocalTimeText(const FILETIME& utc) {
    FILETIME local;
    SYSTEMTIME t;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &t)) return "?";
    char buf[48];
    snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
             t.wSecond);
    return buf;
}

std::string ShortForDisplay(const std::string& s, size_t maxBytes) {
    static const char kEllipsis[] = "...";
    const size_t ell = sizeof kEllipsis - 1;
    if (s.size() <= maxBytes) return s;
    if (maxBytes <= ell) return std::string(kEllipsis, maxBytes);
    const size_t room = maxBytes - ell;
    const size_t headRoom = room - room / 3;  // the beginning says more than the end
    const std::vector<size_t> starts = CharStarts(s);
    // The head ends at the last character start within headRoom.
    size_t head = 0;
    for (size_t b : starts) {
        if (b > headRoom) break;
        head = b;
    }
    // The tail begins at the first character start that leaves it within the rest of the room.
    const size_t tailRoom = room - head;
    size_t tail = s.size();
    for (size_t b : starts)
        if (b >= head && s.size() - b <= tailRoom) {
            tail = b;
            break;
        }
    return s.substr(0, head) + kEllipsis + s.substr(tail);
}

std::string EscapeForConsole(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (IsDBCSLeadByte(c) && i + 1 < s.size()) {
            out += s[i];
            out += s[++i];
        } else if (c == '\\') {
            out += "\\\\";
        } else if (!AppendControlEscape(out, c)) {
            out += s[i];
        }
    }
    return out;
}

std::string EscapeControlChars(const std::string& s) {
    // Trail bytes of the code page are never below 0x40, so a byte-wise look is safe here.
    std::string out;
    out.reserve(s.size());
    for (char ch : s)
        if (!AppendControlEscape(out, static_cast<unsigned char>(ch))) out += ch;
    return out;
}

namespace {

struct LeadBytes {
    bool lead[256];
    LeadBytes() {
        for (int c = 0; c < 256; ++c) lead[c] = IsDBCSLeadByte(static_cast<BYTE>(c)) != 0;
    }
};

}  // namespace

bool IsLeadByte(char c) {
    // The ANSI code page is fixed for the life of the process.
    static const LeadBytes table;
    return table.lead[static_cast<unsigned char>(c)];
}

bool IsLeadByteAt(const std::string& s, size_t i) {
    // Walk from the start: a trail byte can look like a lead byte, so only a forward scan
    // tells them apart.
    for (size_t k = 0; k < s.size(); ++k) {
        bool lead = IsLeadByte(s[k]) && k + 1 < s.size();
        if (k == i) return lead;
        if (lead) ++k;
        if (k >= i) return false;
    }
    return false;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::vector<std::string> SplitAt(const std::string& s, char sep) {
    std::vector<std::string> parts(1);
    for (char c : s) {
        if (c == sep) parts.emplace_back();
        else parts.back() += c;
    }
    return parts;
}

}  // namespace tw
