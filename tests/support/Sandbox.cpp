#include "support/Sandbox.h"

#include <cstdio>

#include "platform/Handle.h"

namespace tw::test {

namespace {
const HKEY kRoots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                       HKEY_CURRENT_CONFIG};
const char* const kRootTags[] = {"HKCR", "HKCU", "HKLM", "HKU", "HKCC"};
int counter = 0;
}  // namespace

const char kSandboxParent[] = "Software\\TarnwellSandbox";

RegistrySandbox::RegistrySandbox() {
    char buf[96];
    snprintf(buf, sizeof buf, "%s\\%lu-%d", kSandboxParent, static_cast<unsigned long>(GetCurrentProcessId()),
             ++counter);
    base_ = buf;
    for (int i = 0; i < 5; ++i) {
        HKEY k = nullptr;
        std::string path = base_ + "\\" + kRootTags[i];
        RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
        keys_.push_back(k);
    }
    for (int i = 0; i < 5; ++i) RegOverridePredefKey(kRoots[i], keys_[static_cast<size_t>(i)]);
}

// Removes a key with its subtree, by the names the registry holds (wide), opening every key as
// itself: a registry link is removed, never followed (a link back up would recurse forever).
typedef LONG(WINAPI* NtDeleteKeyFn)(HANDLE key);

static void DeleteTreeRaw(HKEY parent, const std::wstring& name) {
    static const NtDeleteKeyFn ntDeleteKey =
        reinterpret_cast<NtDeleteKeyFn>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDeleteKey"));
    HKEY k;
    if (RegOpenKeyExW(parent, name.c_str(), REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS, &k) != ERROR_SUCCESS) return;
    wchar_t sub[512];
    for (DWORD index = 0;;) {
        DWORD len = 512;
        if (RegEnumKeyExW(k, index, sub, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        DeleteTreeRaw(k, sub);
        // Step past a key that could not be deleted, or this loop would never end.
        HKEY probe;
        if (RegOpenKeyExW(k, sub, REG_OPTION_OPEN_LINK, KEY_READ, &probe) == ERROR_SUCCESS) {
            RegCloseKey(probe);
            ++index;
        }
    }
    if (ntDeleteKey) ntDeleteKey(k);
    RegCloseKey(k);
}

RegistrySandbox::~RegistrySandbox() {
    for (HKEY root : kRoots) RegOverridePredefKey(root, nullptr);
    for (HKEY k : keys_) RegCloseKey(k);
    DeleteTreeRaw(HKEY_CURRENT_USER, std::wstring(base_.begin(), base_.end()));
    // The parent goes too once no other sandbox (of a test running beside this one) uses it:
    // left behind empty, the scan of program keys would report it. The system refuses to
    // delete a key that still has subkeys.
    RegDeleteKeyA(HKEY_CURRENT_USER, kSandboxParent);
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
void SetWideString(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& data) {
    HKEY k;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(k);
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

// Through the wide calls and the "\\?\" form, so that names the code page cannot hold and
// paths past the ANSI limit go too.
static void RemoveTreeW(const std::wstring& path) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring full = path + L"\\" + name;
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            // Links are removed, never followed.
            if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveTreeW(full);
            else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryW(full.c_str());
            else
                DeleteFileW(full.c_str());
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(path.c_str());
}

void WrittenAgo(const std::string& path, unsigned long long seconds) {
    FILETIME t;
    GetSystemTimeAsFileTime(&t);
    ULARGE_INTEGER u{{t.dwLowDateTime, t.dwHighDateTime}};
    u.QuadPart -= seconds * 10000000ULL;
    t = FILETIME{u.LowPart, u.HighPart};
    UniqueKernelHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    SetFileTime(file.get(), nullptr, nullptr, &t);
}

void RemoveTree(const std::string& path) {
    int n = MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), &wide[0], n);
    if (wide.size() > 2 && wide[1] == L':') wide = L"\\\\?\\" + wide;
    RemoveTreeW(wide);
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
    if (UniqueFile f{fopen(full.c_str(), "wb")}) fwrite(content.data(), 1, content.size(), f.get());
    return full;
}

std::string Lines(const std::vector<Finding>& findings) {
    std::string out;
    for (const Finding& f : findings)
        out += "\n{" + f.caption + " | " + f.location + " | " + f.keyName + " | " + f.description + "}";
    return out;
}

}  // namespace tw::test
