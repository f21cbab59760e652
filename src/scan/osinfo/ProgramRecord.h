// Records the program under its maker's registry key: a value named after the executable's
// product name whose data is the executable's path.
#pragma once
#include <windows.h>
#include <string>

namespace tw {

class ProgramRecord {
public:
    ProgramRecord(HKEY rootKey, std::string keyPath, std::string fileName)
        : RootKey(rootKey), KeyPath(std::move(keyPath)), FileName(std::move(fileName)) {}

    // The named string of a file's version resource (through its first translation), or empty.
    static std::string VersionString(const std::string& fileName, const std::string& stringName);
    // Writes ProductName = FileName under RootKey\KeyPath (created if missing). False when the
    // file is missing or the key cannot be opened; a refused write throws the registry error.
    bool Record();

    HKEY RootKey;
    std::string KeyPath;
    std::string FileName;
};

}  // namespace tw
