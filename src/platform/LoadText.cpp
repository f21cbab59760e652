#include "platform/LoadText.h"

#include <windows.h>

#include <vector>

#include "platform/Text.h"

namespace tw {

TextArg::TextArg(int n) : text_(IntToStr(n)) {}
TextArg::TextArg(unsigned n) : text_(IntToStr(static_cast<long long>(n))) {}
TextArg::TextArg(long n) : text_(IntToStr(n)) {}
TextArg::TextArg(unsigned long n) : text_(IntToStr(static_cast<long long>(n))) {}
TextArg::TextArg(long long n) : text_(IntToStr(n)) {}
TextArg::TextArg(unsigned long long n) : text_(std::to_string(n)) {}

std::string FillPlaces(const std::string& text, std::initializer_list<TextArg> args) {
    const std::vector<TextArg> values(args);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        // A trail byte of a double-byte character may be 0x25 too: it is no place.
        if (IsLeadByte(text[i]) && i + 1 < text.size()) {
            out += text[i];
            out += text[++i];
            continue;
        }
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] == '%' && next == '%') {
            out += '%';
            ++i;
        } else if (text[i] == '%' && next >= '1' && next <= '9' && static_cast<size_t>(next - '1') < values.size()) {
            out += values[static_cast<size_t>(next - '1')].Text();
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string LoadText(unsigned id, std::initializer_list<TextArg> args) {
    // With no room given, the system hands out the text where the resource lies, unterminated.
    const wchar_t* text = nullptr;
    const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) return {};
    return FillPlaces(WideToAnsi(std::wstring(text, static_cast<size_t>(length))), args);
}

}  // namespace tw
