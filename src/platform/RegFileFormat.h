// The registry editor's text format (.reg files), written and read the way the editor itself
// does, so that the editor's import ("RegEdit /s FILE") puts back exactly what a file records.
// Two flavours: "Windows Registry Editor Version 5.00" in UTF-16LE with a byte-order mark, where
// text data are UTF-16; and "REGEDIT4" in the ANSI code page, where text data are ANSI bytes.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

namespace tw {

enum class RegFileFlavor { Unicode5, Ansi4 };

// The flavour the system's registry editor reads: Unicode from major version 5 on.
RegFileFlavor FlavorForMajorVersion(unsigned majorVersion);

struct RegFileValue {
    bool isDefault = false;  // the key's unnamed value ("@")
    std::wstring name;
    bool remove = false;     // "=-": the import deletes the value
    DWORD type = REG_NONE;
    std::string data;        // the stored bytes
};

struct RegFileKey {
    std::wstring path;  // with the root's name: "HKEY_CURRENT_USER\Software\..."
    bool remove = false;
    std::vector<RegFileValue> values;
};

// First line and the blank line after it.
std::wstring RegFileHeader(RegFileFlavor flavor);
// "[path]" with its line end. False when the path holds a line break, which the format cannot
// carry.
bool FormatRegKeyLine(const std::wstring& path, std::wstring& out);
// One value as the editor exports it: a string as "...", with \\ and \" escaped, when that gives
// back the exact bytes; an integer of four bytes as dword:; binary as hex:; every other kind
// and every string that a quoted text cannot carry exactly (line breaks, NULs inside, no or
// several terminating NULs, odd sizes) as hex(n):. Long hex data wrap as the editor wraps them.
// Appends to out; false when the name cannot be written (a NUL in it, a line break unless
// `lineBreakEscapes`, or in the ANSI flavour a name that the code page cannot carry). With
// `lineBreakEscapes` a CR or LF in a name is written as \r or \n, which only some editors read
// (Wine's does).
bool FormatRegValue(RegFileFlavor flavor, const RegFileValue& value, std::wstring& out,
                    bool lineBreakEscapes = false);
// The text as file bytes: UTF-16LE with byte-order mark, or the ANSI code page. False when the
// ANSI code page cannot carry the text exactly.
bool EncodeRegFile(RegFileFlavor flavor, const std::wstring& text, bool withBom, std::string& bytes);

// The file's text: UTF-16 after the byte-order mark (Unicode flavour), else the ANSI code page's
// reading of the bytes (ANSI flavour).
void DecodeRegFile(const std::string& bytes, RegFileFlavor& flavor, std::wstring& text);
// Reads a file of either flavour: keys in file order, each with its values. Text data come back
// as the bytes the import stores (UTF-16 with its NUL, or ANSI with its NUL). False for a file
// of neither flavour or a line that is none of a key, a value, a comment or blank.
bool ParseRegFile(const std::string& bytes, RegFileFlavor& flavor, std::vector<RegFileKey>& keys);

}  // namespace tw
