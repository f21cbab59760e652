#include "platform/IniFile.h"

#include <windows.h>

namespace tw {

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& def) const {
    std::vector<char> buf(2048);
    for (;;) {
        DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), buf.data(),
                                           static_cast<DWORD>(buf.size()), path_.c_str());
        if (n + 1 < buf.size() || buf.size() >= (1u << 20)) return std::string(buf.data(), n);
        buf.resize(buf.size() * 4);
    }
}

std::vector<std::string> IniFile::ReadSection(const std::string& section) const {
    std::vector<char> buf(8192);
    DWORD n;
    for (;;) {
        n = GetPrivateProfileStringA(section.c_str(), nullptr, "", buf.data(),
                                     static_cast<DWORD>(buf.size()), path_.c_str());
        if (n + 2 < buf.size() || buf.size() >= (1u << 20)) break;
        buf.resize(buf.size() * 4);
    }
    std::vector<std::string> keys;
    for (DWORD i = 0; i < n;) {
        std::string k(buf.data() + i);
        if (k.empty()) break;
        i += static_cast<DWORD>(k.size()) + 1;
        keys.push_back(std::move(k));
    }
    return keys;
}

bool IniFile::SectionExists(const std::string& section) const {
    char buf[4] = {};
    // A section with keys answers with at least one name; an empty section still exists but
    // profile functions cannot tell it apart, which is all the callers need.
    return GetPrivateProfileSectionA(section.c_str(), buf, sizeof buf, path_.c_str()) > 0;
}

void IniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path_.c_str()))
        throw IniError("Unable to write to " + path_);
}

void IniFile::Flush() { WritePrivateProfileStringA(nullptr, nullptr, nullptr, path_.c_str()); }

}  // namespace tw
