#include "platform/RegFileFormat.h"

#include <cwchar>

#include "platform/Text.h"

namespace tw {

namespace {

const wchar_t kHeader5[] = L"Windows Registry Editor Version 5.00";
const wchar_t kHeader4[] = L"REGEDIT4";
// The editor starts a new line once a hex line has reached this many characters.
const size_t kHexLineLimit = 77;

bool HasLineBreakOrNul(const std::wstring& s) {
    return s.find_first_of(std::wstring(L"\r\n\0", 3)) != std::wstring::npos;
}

std::wstring Escape(const std::wstring& s) {
    std::wstring out;
    out.reserve(s.size() + 2);
    for (wchar_t c : s) {
        if (c == L'\\' || c == L'"') out += L'\\';
        out += c;
    }
    return out;
}

std::wstring HexByte(unsigned char b) {
    const wchar_t digits[] = L"0123456789abcdef";
    return {digits[b >> 4], digits[b & 15]};
}

// The text a quoted string would carry, when a quoted string can give back exactly `data`.
bool QuotableString(RegFileFlavor flavor, const std::string& data, std::wstring& text) {
    if (flavor == RegFileFlavor::Unicode5) {
        if (data.size() < 2 || data.size() % 2 != 0) return false;
        text.assign(data.size() / 2 - 1, L'\0');
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<wchar_t>(static_cast<unsigned char>(data[2 * i]) |
                                           (static_cast<unsigned char>(data[2 * i + 1]) << 8));
        if (data[data.size() - 2] != 0 || data[data.size() - 1] != 0) return false;
    } else {
        if (data.empty() || data.back() != '\0') return false;
        std::string back;
        if (!AnsiToWideExact(data.substr(0, data.size() - 1), text) ||
            !WideToAnsiExact(text.data(), text.size(), back) || back != data.substr(0, data.size() - 1))
            return false;
    }
    return !HasLineBreakOrNul(text);
}

std::wstring FormatName(const RegFileValue& v) {
    if (v.isDefault) return L"@=";
    std::wstring name;
    for (wchar_t c : Escape(v.name)) {
        if (c == L'\r') name += L"\\r";
        else if (c == L'\n') name += L"\\n";
        else name += c;
    }
    return L"\"" + name + L"\"=";
}

void AppendHex(const std::string& data, size_t lineLen, std::wstring& out) {
    for (size_t i = 0; i < data.size(); ++i) {
        out += HexByte(static_cast<unsigned char>(data[i]));
        if (i + 1 == data.size()) break;
        out += L',';
        lineLen += 3;
        if (lineLen >= kHexLineLimit) {
            out += L"\\\r\n  ";
            lineLen = 2;
        }
    }
}

// ---- reading ----

std::wstring Utf16Bytes(const std::string& bytes, size_t from) {
    std::wstring w((bytes.size() - from) / 2, L'\0');
    for (size_t i = 0; i < w.size(); ++i)
        w[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[from + 2 * i]) |
                                    (static_cast<unsigned char>(bytes[from + 2 * i + 1]) << 8));
    return w;
}

std::wstring AnsiText(const std::string& s) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

std::string AnsiBytes(const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

std::string StringData(RegFileFlavor flavor, const std::wstring& text) {
    if (flavor == RegFileFlavor::Ansi4) return AnsiBytes(text) + '\0';
    std::string data;
    for (wchar_t c : text) {
        data += static_cast<char>(c & 0xFF);
        data += static_cast<char>((c >> 8) & 0xFF);
    }
    data.append(2, '\0');
    return data;
}

std::wstring TrimRight(std::wstring s) {
    while (!s.empty() && (s.back() == L' ' || s.back() == L'\t' || s.back() == L'\r')) s.pop_back();
    return s;
}

size_t SkipBlanks(const std::wstring& s, size_t i) {
    while (i < s.size() && (s[i] == L' ' || s[i] == L'\t')) ++i;
    return i;
}

// A quoted text starting at s[i] == '"'; i ends after the closing quote.
bool ReadQuoted(const std::wstring& s, size_t& i, std::wstring& out) {
    out.clear();
    for (++i; i < s.size(); ++i) {
        wchar_t c = s[i];
        if (c == L'"') {
            ++i;
            return true;
        }
        if (c == L'\\' && i + 1 < s.size()) {
            wchar_t e = s[++i];
            switch (e) {
                case L'\\': case L'"': out += e; break;
                case L'n': out += L'\n'; break;
                case L'r': out += L'\r'; break;
                case L'0': out += L'\0'; break;
                default: out += L'\\'; out += e; break;  // the editor keeps unknown escapes
            }
        } else {
            out += c;
        }
    }
    return false;
}

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

bool ReadHexBytes(const std::wstring& s, size_t i, std::string& out) {
    out.clear();
    for (;;) {
        i = SkipBlanks(s, i);
        if (i >= s.size()) return true;
        int hi = HexDigit(s[i]);
        int lo = i + 1 < s.size() ? HexDigit(s[i + 1]) : -1;
        if (hi < 0) return false;
        if (lo < 0) {
            out += static_cast<char>(hi);
            ++i;
        } else {
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        }
        i = SkipBlanks(s, i);
        if (i >= s.size()) return true;
        if (s[i] != L',') return false;
        ++i;
    }
}

bool ReadData(RegFileFlavor flavor, const std::wstring& s, size_t i, RegFileValue& v) {
    i = SkipBlanks(s, i);
    if (s.compare(i, std::wstring::npos, L"-") == 0) {
        v.remove = true;
        return true;
    }
    if (i < s.size() && s[i] == L'"') {
        std::wstring text;
        if (!ReadQuoted(s, i, text)) return false;
        v.type = REG_SZ;
        v.data = StringData(flavor, text);
        return true;
    }
    if (s.compare(i, 6, L"dword:") == 0) {
        std::string hex;
        unsigned long n = 0;
        size_t k = i + 6;
        int digits = 0;
        for (; k < s.size() && HexDigit(s[k]) >= 0 && digits < 8; ++k, ++digits)
            n = n * 16 + static_cast<unsigned long>(HexDigit(s[k]));
        if (digits == 0 || SkipBlanks(s, k) != s.size()) return false;
        v.type = REG_DWORD;
        v.data.clear();
        for (int b = 0; b < 4; ++b) v.data += static_cast<char>((n >> (8 * b)) & 0xFF);
        return true;
    }
    if (s.compare(i, 4, L"hex:") == 0) {
        v.type = REG_BINARY;
        return ReadHexBytes(s, i + 4, v.data);
    }
    if (s.compare(i, 4, L"hex(") == 0) {
        size_t k = i + 4;
        unsigned long type = 0;
        int digits = 0;
        for (; k < s.size() && HexDigit(s[k]) >= 0 && digits < 8; ++k, ++digits)
            type = type * 16 + static_cast<unsigned long>(HexDigit(s[k]));
        if (digits == 0 || s.compare(k, 2, L"):") != 0) return false;
        v.type = type;
        std::string raw;
        if (!ReadHexBytes(s, k + 2, raw)) return false;
        v.data = raw;
        return true;
    }
    return false;
}

}  // namespace

RegFileFlavor FlavorForMajorVersion(unsigned majorVersion) {
    return majorVersion >= 5 ? RegFileFlavor::Unicode5 : RegFileFlavor::Ansi4;
}

std::wstring RegFileHeader(RegFileFlavor flavor) {
    return std::wstring(flavor == RegFileFlavor::Unicode5 ? kHeader5 : kHeader4) + L"\r\n";
}

bool FormatRegKeyLine(const std::wstring& path, std::wstring& out) {
    if (path.empty() || HasLineBreakOrNul(path)) return false;
    out += L"[" + path + L"]\r\n";
    return true;
}

bool FormatRegValue(RegFileFlavor flavor, const RegFileValue& v, std::wstring& out, bool lineBreakEscapes) {
    if (!v.isDefault && (v.name.empty() || v.name.find(L'\0') != std::wstring::npos)) return false;
    if (!v.isDefault && !lineBreakEscapes && HasLineBreakOrNul(v.name)) return false;
    std::string ansiName;
    if (flavor == RegFileFlavor::Ansi4 && !WideToAnsiExact(v.name.data(), v.name.size(), ansiName)) return false;
    std::wstring line = FormatName(v);
    if (v.remove) {
        out += line + L"-\r\n";
        return true;
    }
    std::wstring text;
    if (v.type == REG_SZ && QuotableString(flavor, v.data, text)) {
        out += line + L"\"" + Escape(text) + L"\"\r\n";
        return true;
    }
    if (v.type == REG_DWORD && v.data.size() == 4) {
        unsigned long n = 0;
        for (int b = 3; b >= 0; --b) n = (n << 8) | static_cast<unsigned char>(v.data[static_cast<size_t>(b)]);
        wchar_t buf[16];
        swprintf(buf, 16, L"dword:%08lx", n);
        out += line + buf + L"\r\n";
        return true;
    }
    if (v.type == REG_BINARY) {
        line += L"hex:";
    } else {
        wchar_t buf[16];
        swprintf(buf, 16, L"hex(%lx):", static_cast<unsigned long>(v.type));
        line += buf;
    }
    AppendHex(v.data, line.size(), line);
    out += line + L"\r\n";
    return true;
}

bool EncodeRegFile(RegFileFlavor flavor, const std::wstring& text, bool withBom, std::string& bytes) {
    bytes.clear();
    if (flavor == RegFileFlavor::Ansi4) return WideToAnsiExact(text.data(), text.size(), bytes);
    if (withBom) bytes = "\xFF\xFE";
    bytes.reserve(bytes.size() + text.size() * 2);
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return true;
}

void DecodeRegFile(const std::string& bytes, RegFileFlavor& flavor, std::wstring& text) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        flavor = RegFileFlavor::Unicode5;
        text = Utf16Bytes(bytes, 2);
    } else {
        flavor = RegFileFlavor::Ansi4;
        text = AnsiText(bytes);
    }
}

bool ParseRegFile(const std::string& bytes, RegFileFlavor& flavor, std::vector<RegFileKey>& keys) {
    keys.clear();
    std::wstring text;
    DecodeRegFile(bytes, flavor, text);
    std::vector<std::wstring> lines;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        lines.push_back(TrimRight(text.substr(start, end - start)));
        start = end + 1;
    }
    if (lines.empty() || lines[0] != (flavor == RegFileFlavor::Unicode5 ? kHeader5 : kHeader4)) return false;

    for (size_t n = 1; n < lines.size(); ++n) {
        std::wstring line = lines[n];
        size_t first = SkipBlanks(line, 0);
        if (first == line.size() || line[first] == L';') continue;
        if (line[first] == L'[') {
            size_t close = line.rfind(L']');
            if (close == std::wstring::npos || close < first) return false;
            RegFileKey key;
            key.path = line.substr(first + 1, close - first - 1);
            if (!key.path.empty() && key.path[0] == L'-') {
                key.remove = true;
                key.path.erase(0, 1);
            }
            keys.push_back(std::move(key));
            continue;
        }
        if (keys.empty() || (line[first] != L'"' && line[first] != L'@')) return false;
        // Hex data go on over lines that end with a backslash.
        while (!line.empty() && line.back() == L'\\' && n + 1 < lines.size()) {
            line.pop_back();
            ++n;
            line += lines[n].substr(SkipBlanks(lines[n], 0));
        }
        RegFileValue v;
        size_t i = first;
        if (line[i] == L'@') {
            v.isDefault = true;
            ++i;
        } else if (!ReadQuoted(line, i, v.name)) {
            return false;
        }
        i = SkipBlanks(line, i);
        if (i >= line.size() || line[i] != L'=') return false;
        if (!ReadData(flavor, line, i + 1, v)) return false;
        keys.back().values.push_back(std::move(v));
    }
    return true;
}

}  // namespace tw
