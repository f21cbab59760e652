#include "scan/osinfo/ProgramRecord.h"

#include <cstdio>

#include "platform/FileSystem.h"
#include "platform/Registry.h"

namespace tw {

std::string ProgramRecord::VersionString(const std::string& fileName, const std::string& stringName) {
    if (fileName.empty()) return {};
    DWORD dummy = 0;
    DWORD size = GetFileVersionInfoSizeA(fileName.c_str(), &dummy);
    if (size == 0) return {};
    std::vector<char> buf(size);
    if (!GetFileVersionInfoA(fileName.c_str(), 0, size, buf.data())) return {};
    std::string sub = stringName;
    void* trans = nullptr;
    UINT transLen = 0;
    if (VerQueryValueA(buf.data(), "\\VarFileInfo\\Translation", &trans, &transLen) && trans &&
        transLen >= 4) {
        const WORD* words = static_cast<const WORD*>(trans);
        char block[64];
        snprintf(block, sizeof block, "\\StringFileInfo\\%04x%04x\\", words[0], words[1]);
        sub = block + stringName;
    }
    void* value = nullptr;
    UINT len = 0;
    if (!VerQueryValueA(buf.data(), sub.c_str(), &value, &len) || !value) return {};
    const char* text = static_cast<const char*>(value);
    // The length may count the terminator or not; the text ends at its first NUL either way.
    size_t n = 0;
    const char* end = static_cast<const char*>(static_cast<void*>(buf.data())) + buf.size();
    while (text + n < end && text[n] != '\0') ++n;
    return std::string(text, n);
}

bool ProgramRecord::Record() {
    if (!FileExists(FileName)) return false;
    Registry reg;
    reg.SetRootKey(RootKey);
    if (!reg.OpenKey(KeyPath, true)) return false;
    reg.WriteString(VersionString(FileName, "ProductName"), FileName);
    reg.CloseKey();
    return true;
}

}  // namespace tw
