// Fixtures that make tests hermetic against the real registry and file system under Wine.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

#include "scanners/ScanSink.h"

namespace tw::test {

// Points HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS and
// HKEY_CURRENT_CONFIG of this process at empty scratch keys; restores them and deletes the
// scratch tree when it goes. Other processes (regedit) do not see the override.
// The key of the current user that holds every sandbox while one exists.
extern const char kSandboxParent[];

class RegistrySandbox {
public:
    RegistrySandbox();
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

private:
    std::string base_;
    std::vector<HKEY> keys_;
};

// Creates a key path (with "\" separators) under a root and sets values on it.
void MakeKey(HKEY root, const std::string& path);
void SetString(HKEY root, const std::string& path, const std::string& name, const std::string& data,
               DWORD type = REG_SZ);
// Through the wide calls: texts and names the code page cannot hold are stored as they are.
void SetWideString(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& data);
void SetDword(HKEY root, const std::string& path, const std::string& name, DWORD data);
void SetBinary(HKEY root, const std::string& path, const std::string& name, const std::string& data);
bool KeyPresent(HKEY root, const std::string& path);
bool ValuePresent(HKEY root, const std::string& path, const std::string& name);
std::string GetString(HKEY root, const std::string& path, const std::string& name);

// A fresh folder on C: ("C:\twtest-<pid>-<n>"), removed with everything in it at the end.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& Path() const { return path_; }  // without trailing backslash
    std::string operator/(const std::string& rel) const { return path_ + "\\" + rel; }
    // Creates a file (and its folders) with the given content; returns its full path.
    std::string File(const std::string& rel, const std::string& content = "x") const;
    std::string Dir(const std::string& rel) const;

private:
    std::string path_;
};

void RemoveTree(const std::string& path);
// Makes a file look last written so many seconds ago.
void WrittenAgo(const std::string& path, unsigned long long seconds);

// One line per Finding, so that a failed comparison shows both lists.
std::string Lines(const std::vector<Finding>& findings);

// Collects what a scanner reports.
class CollectingSink : public ScanSink {
public:
    void AddFinding(const Finding& f) override { findings.push_back(f); }
    void ShowStatus(const std::string& text) override { statuses.push_back(text); }
    void ProcessMessages() override { ++pumps; }
    std::vector<Finding> findings;
    std::vector<std::string> statuses;
    int pumps = 0;
};

}  // namespace tw::test
