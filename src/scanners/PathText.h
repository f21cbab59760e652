// Position rules shared by the scanners that cut a path out of a registry text (a command line,
// an icon reference, an uninstall command). Positions count from 1 in bytes of the ANSI text;
// a test at a position outside the text never matches.
//
// The searches for ASCII punctuation walk characters, not bytes: the second byte of a GBK
// character can be "\", "^", "|" or "[", and taking it for one would cut a path that exists in
// the middle of a character and report it as missing.
#pragma once
#include <string>

namespace tw {

// Whether the byte at position pos (1-based) is c.
bool CharAt(const std::string& s, long pos, char c);
// Position of the first character c (ASCII), 0 when there is none.
long FindChar(const std::string& s, char c);
// Position of the last character that is "\" or ":", 0 when there is none.
long FindLastSeparator(const std::string& s);
// Whether the last character (not merely the last byte) is a backslash.
bool EndsWithBackslash(const std::string& s);
// Keeps what stands before position p. A p on the second byte of a double-byte character
// drops that whole character, so a cut never leaves half a character behind.
std::string CutAt(const std::string& s, long p);
// Runs of backslashes become one, in what stands from index `from` (0-based) on.
std::string CollapseBackslashes(const std::string& s, size_t from = 0);
bool Contains(const std::string& s, const char* part);
// "X:\" with X from C to Z (either case): a drive path the scanners examine. A: and B:, UNC
// paths, relative names and %VAR% forms are not.
bool StartsWithDriveCtoZ(const std::string& s);

}  // namespace tw
