#include "platform/LoadText.h"

#include <windows.h>

#include <vector>

#include "platform/Language.h"
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

namespace {

// String `id` of a block of sixteen strings, each a count of UTF-16 units and the units.
std::wstring StringOfBlock(const void* data, DWORD size, unsigned id) {
    const auto* block = static_cast<const WORD*>(data);
    if (!block) return {};
    const WORD* end = block + size / sizeof(WORD);
    const WORD* at = block;
    for (unsigned i = 0; i < (id & 15) && at < end; ++i) at += 1 + *at;
    if (at >= end || at + 1 + *at > end) return {};
    return std::wstring(reinterpret_cast<const wchar_t*>(at + 1), *at);
}

// String `id` of the block of `language` alone.
std::wstring WideTextIn(Language language, unsigned id) {
    // LoadString takes the block of the thread's or the system's language, and older systems
    // ignore a language set for the thread: the block is named here.
    const HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceExW(module, reinterpret_cast<LPCWSTR>(RT_STRING), MAKEINTRESOURCEW((id >> 4) + 1), LanguageId(language));
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* block = loaded ? LockResource(loaded) : nullptr;
    return StringOfBlock(block, block ? SizeofResource(module, found) : 0, id);
}

}  // namespace

std::wstring LoadWideText(unsigned id) {
    const std::wstring text = WideTextIn(CurrentLanguage(), id);
    // A string the current language's block lacks: the Chinese text stands in.
    return text.empty() ? WideTextIn(Language::Chinese, id) : text;
}

std::string LoadTextIn(Language language, unsigned id, std::initializer_list<TextArg> args) {
    return FillPlaces(WideToAnsi(WideTextIn(language, id)), args);
}

bool IsTextOf(const std::string& text, unsigned id) {
    for (Language language : {Language::Chinese, Language::English}) {
        const std::string known = LoadTextIn(language, id);
        if (!known.empty() && text == known) return true;
    }
    return false;
}

std::string LoadText(unsigned id, std::initializer_list<TextArg> args) {
    return FillPlaces(WideToAnsi(LoadWideText(id)), args);
}

}  // namespace tw
