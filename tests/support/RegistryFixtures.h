// Registry fixtures for tests that involve the registry editor: it is another process, so they
// work on the real registry of the test prefix (under HKEY_CURRENT_USER), through the wide API.
#pragma once
#include <windows.h>
#include <map>
#include <string>
#include <utility>

namespace tw::test {

// Every key below a key (as "path\") and every value ("path\name" -> kind and bytes).
using RegSnapshot = std::map<std::wstring, std::pair<DWORD, std::string>>;
RegSnapshot SnapshotKey(HKEY root, const std::wstring& rel);

std::string Utf16(const std::wstring& text, bool withNul = true);
std::string ReadFileBytes(const std::string& path);

void SetWideValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type, const std::string& data);
// Deletes a key with everything below it (names outside the code page too).
bool DeleteWideTree(HKEY parent, const std::wstring& rel);

// Fills a key with a value of every kind, with the texts that are hard to carry (line breaks,
// NULs, no terminator, characters outside the code page, quotes, backslashes), subkeys with odd
// names and a value whose name holds a line break (only Wine's editor reads it back). Returns the path of the subkey whose name the code page cannot carry.
std::wstring PlantEveryKind(HKEY root, const std::wstring& key);

// The registry editor's own export of a key, as text after its first line, written to file.
std::wstring EditorExport(const std::string& file, const std::wstring& key);

// A key of the real HKEY_CURRENT_USER for one test: "Software\TarnwellTest\<tag><pid>", empty
// at the start and gone at the end.
struct ScratchKey {
    std::string rel;
    std::wstring wrel, full;  // full: with "HKEY_CURRENT_USER\"
    explicit ScratchKey(const char* tag);
    ~ScratchKey();
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;
};

}  // namespace tw::test
