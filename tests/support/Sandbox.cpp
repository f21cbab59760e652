#include "support/Sandbox.h"

#include <cstdio>

namespace tw::test {

namespace {
const HKEY kRoots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                       HKEY_CURRENT_CONFIG};
const char* const kRootTags[] = {"HKCR", "HKCU", "HKLM", "HKU", "HKCC"};
int counter = 0;
}  // namespace

RegistrySandbox::RegistrySandbox() {
    char buf[96];
    snprintf(buf, sizeof buf, "Software\\TarnwellSandbox\\%lu-%d",
             static_cast<unsigned long>(GetCurrentProcessId()), ++counter);
    base_ = buf;
    for (int i = 0; i < 5; ++i) {
        HKEY k = nullptr;
        std::string path = base_ + "\\" + kRootTags[i];
        RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
        keys_.push_back(k);
    }
    for (int i = 0; i < 5; ++i) RegOverridePredefKey(kRoots[i], keys_[static_cast<size_t>(i)]);
}

static void DeleteTreeRaw(HKEY parent, const std::string& name) {
    HKEY k;
    if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &k) == ERROR_SUCCESS) {
        char sub[1024];
        for (;;) {
            DWORD len = sizeof sub;
            if (RegEnumKeyExA(k, 0, sub, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            DeleteTreeRaw(k, sub);
            // Stop if the key could not be deleted, or this loop would never end.
            HKEY probe;
            if (RegOpenKeyExA(k, sub, 0, KEY_READ, &probe) == ERROR_SUCCESS) {
                RegCloseKey(probe);
                break;
            }
        }
        RegCloseKey(k);
    }
    RegDeleteKeyA(parent, name.c_str());
}

RegistrySandbox::~RegistrySandbox() {
    for (HKEY root : kRoots) RegOverridePredefKey(root, nullptr);
    for (HKEY k : keys_) RegCloseKey(k);
    DeleteTreeRaw(HKEY_CURRENT_USER, base_);
}

void MakeKey(HKEY root, const std::string& path) {
    HKEY k;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) == ERROR_SUCCESS)
        RegCloseKey(k);
}

static void SetRaw(HKEY root, const std::string& path, const std::string& name, DWORD type,
                   const void* data, DWORD size) {
    HKEY k;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(k, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(k);
}

void SetString(HKEY root, const std::string& path, const std::string& name, const std::string& data, DWORD type) {
    SetRaw(root, path, name, type, data.c_str(), static_cast<DWORD>(data.size() + 1));
}
void SetDword(HKEY root, const std::string& path, const std::string& name, DWORD data) {
    SetRaw(root, path, name, REG_DWORD, &data, sizeof data);
}
void SetBinary(HKEY root, const std::string& path, const std::string& name, const std::string& data) {
    SetRaw(root, path, name, REG_BINARY, data.data(), static_cast<DWORD>(data.size()));
}

bool KeyPresent(HKEY root, const std::string& path) {
    HKEY k;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
}

bool ValuePresent(HKEY root, const std::string& path, const std::string& name) {
    HKEY k;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    bool ok = RegQueryValueExA(k, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(k);
    return ok;
}

std::string GetString(HKEY root, const std::string& path, const std::string& name) {
    HKEY k;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return "<no key>";
    char buf[4096] = {};
    DWORD size = sizeof buf - 1, type = 0;
    LONG rc = RegQueryValueExA(k, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(k);
    return rc == ERROR_SUCCESS ? std::string(buf) : "<no value>";
}

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((path + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = fd.cFileName;
            if (name == "." || name == "..") continue;
            std::string full = path + "\\" + name;
            SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            // Links are removed, never followed.
            if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveTree(full);
            else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryA(full.c_str());
            else
                DeleteFileA(full.c_str());
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(path.c_str());
}

ScratchDir::ScratchDir() {
    char buf[64];
    snprintf(buf, sizeof buf, "C:\\twtest-%lu-%d", static_cast<unsigned long>(GetCurrentProcessId()), ++counter);
    path_ = buf;
    RemoveTree(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
}

ScratchDir::~ScratchDir() { RemoveTree(path_); }

std::string ScratchDir::Dir(const std::string& rel) const {
    std::string full = path_;
    size_t start = 0;
    while (start <= rel.size()) {
        size_t p = rel.find('\\', start);
        std::string part = rel.substr(start, p == std::string::npos ? std::string::npos : p - start);
        if (!part.empty()) {
            full += "\\" + part;
            CreateDirectoryA(full.c_str(), nullptr);
        }
        if (p == std::string::npos) break;
        start = p + 1;
    }
    return full;
}

std::string ScratchDir::File(const std::string& rel, const std::string& content) const {
    size_t p = rel.find_last_of('\\');
    if (p != std::string::npos) Dir(rel.substr(0, p));
    std::string full = path_ + "\\" + rel;
    FILE* f = fopen(full.c_str(), "wb");
    if (f) {
        fwrite(content.data(), 1, content.size(), f);
        fclose(f);
    }
    return full;
}

}  // namespace tw::test
