// Text helpers. The program keeps every text as bytes of the ANSI code page (GB2312 on the
// systems it serves); positions count bytes, and casing touches the ASCII letters only.
#pragma once
#include <string>

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

// Whether the byte at index i (0-based) of s is the lead byte of a double-byte character.
bool IsLeadByteAt(const std::string& s, size_t i);

}  // namespace tw
