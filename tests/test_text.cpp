#include <doctest.h>

#include <windows.h>

#include <string>

#include "platform/Text.h"

using namespace tw;

namespace {

// Whether the text holds only whole characters of the code page (no half of a double-byte one).
bool WholeCharacters(const std::string& s) { return WideToAnsi(AnsiToWide(s)) == s; }

}  // namespace

TEST_CASE("display shortening keeps the beginning and the end, within the limit, whole characters only") {
    struct Row {
        const char* text;
        size_t limit;
        const char* shown;
    };
    const Row rows[] = {
        {"short", 10, "short"},
        {"exactly10!", 10, "exactly10!"},
        {"abcdefghijklmnop", 10, "abcde...op"},
        {"中文中文中文", 9, "中文...文"},          // no half characters at either cut
        {"a中文中文中文", 9, "a中...文"},
        {"中文中文中文", 8, "中文..."},  // no room for a whole character at the end
        {"abcdef", 3, "..."},
        {"abcdef", 2, ".."},
    };
    for (const Row& r : rows) {
        CAPTURE(r.text);
        CAPTURE(r.limit);
        CHECK(ShortForDisplay(r.text, r.limit) == r.shown);
    }
    // Every limit over a mixed text: never longer, never a broken character.
    const std::string mixed = "C:\\程序\\x中\\文件夹名称\\" + std::string(40, 'y') + "名.exe";
    for (size_t limit = 0; limit <= mixed.size() + 1; ++limit) {
        CAPTURE(limit);
        const std::string shown = ShortForDisplay(mixed, limit);
        CHECK(shown.size() <= limit);
        CHECK(WholeCharacters(shown));
        if (limit >= mixed.size()) CHECK(shown == mixed);
    }
}

TEST_CASE("lead bytes: the table answers as the system does for every byte") {
    for (int c = 0; c < 256; ++c) {
        CAPTURE(c);
        CHECK(IsLeadByte(static_cast<char>(c)) == (IsDBCSLeadByte(static_cast<BYTE>(c)) != 0));
    }
    // GBK: 0x81 to 0xFE open a character, ASCII never does.
    CHECK(IsLeadByte('\xB0'));
    CHECK_FALSE(IsLeadByte('\\'));
}

TEST_CASE("console fields and log records stay on their line") {
    struct Row {
        std::string text, console, log;
    };
    const Row rows[] = {
        {"plain 中文", "plain 中文", "plain 中文"},
        {"Software\\Run", "Software\\\\Run", "Software\\Run"},
        {"a\tb", "a\\tb", "a\\tb"},
        {"line1\r\nline2", "line1\\r\\nline2", "line1\\r\\nline2"},
        {"\x1b[31mred", "\\x1B[31mred", "\\x1B[31mred"},
        {std::string("nul\0x", 5), "nul\\x00x", "nul\\x00x"},
        {"del\x7f", "del\\x7F", "del\\x7F"},
        // 0x5C as the second byte of a double-byte character is not a backslash.
        {"\xB1\x5C", "\xB1\x5C", "\xB1\x5C"},
        {"\xB1\x5C\\", "\xB1\x5C\\\\", "\xB1\x5C\\"},
        {"\\t", "\\\\t", "\\t"},  // a real backslash before t stays readable as such
    };
    for (const Row& r : rows) {
        CAPTURE(r.text);
        CHECK(EscapeForConsole(r.text) == r.console);
        CHECK(EscapeControlChars(r.text) == r.log);
    }
}

TEST_CASE("casing moves the ASCII letters only, never the second byte of a double-byte character") {
    // 0x81 0x41 and 0x81 0x61 are two different characters whose second bytes are "A" and "a".
    struct Row { const char* text; const char* upper; const char* lower; };
    const Row rows[] = {
        {"Run", "RUN", "run"},
        {"\x81\x41", "\x81\x41", "\x81\x41"},
        {"\x81\x61", "\x81\x61", "\x81\x61"},
        {"a\x81\x5A" "b\x81\x7A" "C", "A\x81\x5A" "B\x81\x7A" "C", "a\x81\x5A" "b\x81\x7A" "c"},
        {"\xD6\xD0" "Ab", "\xD6\xD0" "AB", "\xD6\xD0" "ab"},
        {"x\x81", "X\x81", "x\x81"},  // a lone lead byte at the end holds no second byte
        {"", "", ""},
    };
    for (const Row& r : rows) {
        CAPTURE(r.text);
        CHECK(UpperAscii(r.text) == r.upper);
        CHECK(LowerAscii(r.text) == r.lower);
    }
}
