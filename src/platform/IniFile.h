// An INI file through the system's profile functions ("Set.ini", "Repair.log", "C:\boot.ini").
#pragma once
#include <stdexcept>
#include <string>
#include <vector>

namespace tw {

class IniError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class IniFile {
public:
    explicit IniFile(std::string path) : path_(std::move(path)) {}
    const std::string& Path() const { return path_; }

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& def) const;
    // Key names of a section, in file order; empty when the file or section is missing.
    std::vector<std::string> ReadSection(const std::string& section) const;
    bool SectionExists(const std::string& section) const;
    // Throws IniError "Unable to write to <path>" when the system refuses the write.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    // Makes the system write its cached copy of the file to disk.
    void Flush();

private:
    std::string path_;
};

}  // namespace tw
