#include "app/ReportExport.h"

#include <windows.h>
#include <cstdio>

#include "platform/Handle.h"
#include "platform/Text.h"

namespace tw {

namespace {

const char kBom[] = "\xEF\xBB\xBF";
// The report list's column captions, and the image index the console scanner prints last.
const char kHeader[] = "项目\t位置\t键名\t说明\t图标";

std::string Utf8ToAnsi(const std::string& s) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return WideToAnsi(w);
}

}  // namespace

std::string EscapeReportField(const std::string& text) { return EscapeForConsole(text); }

bool UnescapeReportField(const std::string& text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        // A second byte 0x5C of a double-byte character is not a backslash.
        if (IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size()) {
            out += text[i];
            out += text[++i];
            continue;
        }
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i >= text.size()) return false;
        switch (text[i]) {
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'n': out += '\n'; break;
            case '\\': out += '\\'; break;
            case 'x': {
                const int hi = i + 1 < text.size() ? HexDigitValue(text[i + 1]) : -1;
                const int lo = i + 2 < text.size() ? HexDigitValue(text[i + 2]) : -1;
                if (hi < 0 || lo < 0) return false;
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                break;
            }
            default: return false;
        }
    }
    return true;
}

std::string ReportText(const std::vector<Finding>& findings) {
    std::string text = kBom + AnsiToUtf8(kHeader) + "\r\n";
    for (const Finding& f : findings) {
        // Escaped as the console scanner escapes the ANSI text, then converted: the escapes are
        // ASCII and come through the conversion unchanged.
        text += AnsiToUtf8(EscapeReportField(f.caption) + "\t" + EscapeReportField(f.location) + "\t" +
                           EscapeReportField(f.keyName) + "\t" + EscapeReportField(f.description) + "\t" +
                           IntToStr(f.image)) +
                "\r\n";
    }
    return text;
}

bool ParseReportText(const std::string& bytes, std::vector<Finding>& findings) {
    findings.clear();
    std::string text = bytes;
    if (text.compare(0, 3, kBom) == 0) text.erase(0, 3);
    std::vector<std::string> lines = SplitAt(text, '\n');
    for (std::string& line : lines)
        if (!line.empty() && line.back() == '\r') line.pop_back();
    if (lines.empty() || Utf8ToAnsi(lines[0]) != kHeader) return false;
    for (size_t n = 1; n < lines.size(); ++n) {
        if (lines[n].empty() && n + 1 == lines.size()) break;  // the end of the last line
        std::vector<std::string> fields = SplitAt(Utf8ToAnsi(lines[n]), '\t');
        if (fields.size() != 5) return false;
        Finding f;
        std::string caption, location, keyName, description;
        if (!UnescapeReportField(fields[0], caption) || !UnescapeReportField(fields[1], location) ||
            !UnescapeReportField(fields[2], keyName) || !UnescapeReportField(fields[3], description) ||
            !TryStrToInt(fields[4], f.image))
            return false;
        f.caption = caption;
        f.location = location;
        f.keyName = keyName;
        f.description = description;
        // The report keeps the texts only: what the row names is read back from them.
        f.kind = KindFromTexts(f.caption, f.keyName, f.location);
        findings.push_back(std::move(f));
    }
    return true;
}

bool WriteReportFile(const std::string& path, const std::vector<Finding>& findings) {
    const std::string text = ReportText(findings);
    UniqueFile f(fopen(path.c_str(), "wb"));
    if (!f) return false;
    const bool written = fwrite(text.data(), 1, text.size(), f.get()) == text.size();
    const bool closed = fclose(f.release()) == 0;
    if (!written || !closed) DeleteFileA(path.c_str());
    return written && closed;
}

}  // namespace tw
