// Text helpers. The program keeps every text as bytes of the ANSI code page (GB2312 on the
// systems it serves); positions count bytes, and casing touches the ASCII letters only.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

namespace tw {

// ASCII-only casing: bytes of double-byte characters are left alone.
std::string UpperAscii(std::string s);
std::string LowerAscii(std::string s);
// Removes leading and trailing bytes with codes 0 to 32.
std::string Trim(const std::string& s);
// Decimal text of an integer.
std::string IntToStr(long long v);
// Whole-text integer conversion: optional sign and decimal digits only, no blanks.
bool TryStrToInt(const std::string& s, int& out);
// Replaces the first "%s" of a format with a text.
std::string FormatS(const char* fmt, const std::string& arg);

// Between the ANSI code page and UTF-16: the one place where the window's text is converted.
std::wstring AnsiToWide(const std::string& s);
std::string WideToAnsi(const std::wstring& s);
std::string WideToUtf8(const std::wstring& s);
std::string AnsiToUtf8(const std::string& s);
// UTF-8 (the Linux host's file names and the desktop's files) to UTF-16: false for bytes that are
// not valid UTF-8.
bool Utf8ToWideExact(const std::string& text, std::wstring& out);

// Exact conversions, for names and paths the program must never mistake for others. The ANSI
// calls replace a character the code page lacks by a look-alike ("Runâ" becomes "Runa", "x²"
// becomes "x2") or by "?", and the text then names another object, or none.
// UTF-16 to the ANSI code page: false when any character has no exact equivalent (no look-alike,
// no default character) or the result does not read back as the same UTF-16; out is then
// unspecified.
bool WideToAnsiExact(const wchar_t* text, size_t length, std::string& out);
// The ANSI code page to UTF-16: false for byte sequences that are not valid in the code page.
bool AnsiToWideExact(const std::string& text, std::wstring& out);

// The text as a message box or the status line shows it: a text of more than maxBytes bytes
// keeps its beginning and its end, joined by "...", within maxBytes, never splitting a
// double-byte character. What is stored and compared stays whole; only what is shown is cut.
std::string ShortForDisplay(const std::string& s, size_t maxBytes);
// A file time (UTC) as the local date and time "YYYY-MM-DD hh:mm:ss"; "?" when it cannot be.
std::string LocalTimeText(const FILETIME& utc);

// One line of console output per field: tab, CR, LF and backslash become \t, \r, \n and \\,
// every other control byte \xHH; a 0x5C that is the second byte of a double-byte character
// stays as it is.
std::string EscapeForConsole(const std::string& s);
// A text kept on one line of a log or INI file: control bytes become \t, \r, \n or \xHH;
// backslashes stay as they are (the records are full of paths).
std::string EscapeControlChars(const std::string& s);

// The value of a hexadecimal digit, -1 for any other character.
int HexDigitValue(char c);
// The pieces of s between the separators: n separators give n + 1 pieces, empty ones included.
std::vector<std::string> SplitAt(const std::string& s, char sep);

// Whether a byte opens a double-byte character in the ANSI code page (as IsDBCSLeadByte answers,
// from a table read once: the text rules ask it for every byte of every path they cut).
bool IsLeadByte(char c);
// Whether the byte at index i (0-based) of s is the lead byte of a double-byte character.
bool IsLeadByteAt(const std::string& s, size_t i);
// The text without its trailing backslashes, counting characters, not bytes: the second byte of
// a double-byte character can be 0x5C and is not a backslash.
std::string TrimTrailingBackslashes(const std::string& s);

}  // namespace tw
