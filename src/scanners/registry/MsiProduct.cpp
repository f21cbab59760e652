#include "scanners/registry/MsiProduct.h"

#include <shlobj.h>

#include <cctype>

#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "scanners/PathCheck.h"
#include "scanners/PathText.h"

namespace tw {

namespace {

const char kUserData[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData";

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// The last element of a registry path.
std::string LastElement(const std::string& location) {
    const size_t p = location.rfind('\\');
    return p == std::string::npos ? location : location.substr(p + 1);
}

// A path of the key path's form "X:\..." (a file or, ending in "\", a folder). Registry key
// paths ("01:\...", "02:\...") and those of components not installed here ("C?\...") are not.
bool IsLocalFileKeyPath(const std::string& path) { return StartsWithDriveCtoZ(path); }

// The folder a key path lies in: the path itself when it names a folder ("...\").
std::string FolderOfKeyPath(const std::string& path) {
    if (EndsWithBackslash(path)) return path;
    const long sep = FindLastSeparator(path);
    return sep > 0 ? path.substr(0, static_cast<size_t>(sep)) : std::string();
}

// Definitely not there, on a fixed drive: anything else cannot be judged gone.
bool FolderGone(const std::string& folder) {
    if (!StartsWithDriveCtoZ(folder)) return false;
    if (DriveType(folder.substr(0, 3)) != DRIVE_FIXED) return false;
    return IsNothing(JudgePath(folder));
}

// Whether a component's key path is a shortcut, or lies in the Start menu or on the desktop: the
// shell keeps those folders (and a group in them holds its shortcuts) whether the program is
// there or not, so they say nothing about the product's own files.
bool ShellKeptPath(const std::string& path) {
    const std::string lower = LowerAscii(path);
    for (const char* ext : {".lnk", ".pif", ".url"})
        if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ext) == 0) return true;
    for (int csidl : {CSIDL_STARTMENU, CSIDL_COMMON_STARTMENU, CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY}) {
        std::string folder = LowerAscii(SpecialFolder(nullptr, csidl));
        if (folder.empty()) continue;
        if (!EndsWithBackslash(folder)) folder += '\\';
        if (lower.compare(0, folder.size(), folder) == 0 || lower + '\\' == folder) return true;
    }
    return false;
}

// The key is not there at all (not merely unreadable).
bool KeyAbsent(HKEY root, const std::string& path) {
    UniqueHKey key;
    const LONG rc = OpenKeyPath(root, path, 0, KEY_READ, key);
    return rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND;
}

// KEY_WOW64_64KEY for a 32-bit program on a 64-bit system, else nothing: systems without the
// 32-bit layer (Windows 2000) may refuse the flag.
REGSAM InstallerView() {
    typedef BOOL(WINAPI * IsWow64ProcessFn)(HANDLE, BOOL*);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const auto isWow64 = kernel ? reinterpret_cast<IsWow64ProcessFn>(GetProcAddress(kernel, "IsWow64Process")) : nullptr;
    BOOL wow64 = FALSE;
    return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64 ? static_cast<REGSAM>(KEY_WOW64_64KEY) : 0;
}

}  // namespace

bool IsGuidText(const std::string& text) {
    if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
    for (size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? text[i] != '-' : !IsHex(text[i])) return false;
    }
    return true;
}

std::string PackedGuid(const std::string& guid) {
    if (!IsGuidText(guid)) return {};
    const std::string g = UpperAscii(guid);
    std::string out;
    // Groups 1 to 3 reversed; groups 4 and 5 with each pair of digits swapped.
    for (auto span : {std::make_pair(1, 8), std::make_pair(10, 4), std::make_pair(15, 4)})
        for (int i = span.first + span.second - 1; i >= span.first; --i) out += g[static_cast<size_t>(i)];
    for (auto span : {std::make_pair(20, 4), std::make_pair(25, 12)})
        for (int i = span.first; i < span.first + span.second; i += 2) {
            out += g[static_cast<size_t>(i + 1)];
            out += g[static_cast<size_t>(i)];
        }
    return out;
}

std::string ProductCodeOfCommand(const std::string& command) {
    const std::string u = LowerAscii(command);
    const size_t engine = u.find("msiexec");
    if (engine == std::string::npos) return {};
    for (size_t p = engine + 7; p + 1 < u.size(); ++p) {
        if ((u[p] != '/' && u[p] != '-') || (u[p + 1] != 'x' && u[p + 1] != 'i')) continue;
        size_t q = p + 2;
        while (q < u.size() && (u[q] == ' ' || u[q] == '"')) ++q;
        const std::string code = command.substr(q, 38);
        if (IsGuidText(code)) return UpperAscii(code);
    }
    return {};
}

EntryProduct ProductOfEntry(HKEY root, const std::string& location, std::string& code) {
    code.clear();
    try {
        Registry reg;
        reg.SetRootKey(root);
        if (!reg.OpenKeyReadOnly(location))
            return KeyAbsent(root, location) ? EntryProduct::NoEntry : EntryProduct::NotProduct;
        if (reg.GetDataType("SystemComponent") == RegDataKind::Integer && reg.ReadInteger("SystemComponent") == 1)
            return EntryProduct::NotProduct;
        std::string command;
        bool exact = true;
        if (reg.ValueExists("UninstallString")) exact = reg.ReadStringExact("UninstallString", command);
        else if (reg.ValueExists("QuietUninstallString")) exact = reg.ReadStringExact("QuietUninstallString", command);
        if (exact) code = ProductCodeOfCommand(command);
        if (code.empty()) {
            const std::string name = LastElement(location);
            if (IsGuidText(name) && reg.GetDataType("WindowsInstaller") == RegDataKind::Integer &&
                reg.ReadInteger("WindowsInstaller") == 1)
                code = UpperAscii(name);
        }
    } catch (const RegistryError&) {
        code.clear();
    }
    return code.empty() ? EntryProduct::NotProduct : EntryProduct::Product;
}

void ComponentPaths::Load() {
    loaded_ = true;
    // The installer's records live in the system's own (64-bit) view of the registry, which a
    // 32-bit program on a 64-bit system sees only when it asks for it.
    const REGSAM mask = KEY_READ | InstallerView();
    UniqueHKey users;
    if (OpenKeyPath(HKEY_LOCAL_MACHINE, kUserData, 0, mask, users) != ERROR_SUCCESS) {
        whole_ = false;
        return;
    }
    RegKeyReader reader;
    std::vector<std::string> userNames;
    reader.SubKeyNames(users.get(), userNames);
    for (const std::string& user : userNames) {
        UniqueHKey components;
        const LONG rc = OpenKeyPath(users.get(), user + "\\Components", 0, mask, components);
        // A user without component records has none to read; any other failure hides some.
        if (rc != ERROR_SUCCESS) {
            if (rc != ERROR_FILE_NOT_FOUND && rc != ERROR_PATH_NOT_FOUND) whole_ = false;
            continue;
        }
        std::vector<std::string> componentNames;
        reader.SubKeyNames(components.get(), componentNames);
        for (const std::string& component : componentNames) {
            UniqueHKey key;
            if (OpenKeyPath(components.get(), component, 0, mask, key) != ERROR_SUCCESS) {
                whole_ = false;
                continue;
            }
            std::vector<RegValue> values;
            reader.Values(key.get(), values);
            for (const RegValue& v : values) {
                const bool text = v.type == REG_SZ || v.type == REG_EXPAND_SZ;
                std::string path = text ? v.data.substr(0, v.data.find('\0')) : std::string();
                // A product whose key path cannot be read as stored cannot be judged.
                if (!text || !v.dataExact) path = "?";
                paths_[UpperAscii(v.name)].push_back(path);
            }
        }
    }
}

bool ComponentPaths::Of(const std::string& packedProduct, std::vector<std::string>& paths) {
    if (!loaded_) Load();
    paths.clear();
    auto it = paths_.find(UpperAscii(packedProduct));
    if (it != paths_.end()) paths = it->second;
    return whole_;
}

bool ProductFilesGone(HKEY root, const std::string& location, const std::string& code,
                      ComponentPaths& components, std::vector<std::string>& gone) {
    gone.clear();
    std::string installLocation;
    bool hasLocation = false;
    try {
        Registry reg;
        reg.SetRootKey(root);
        if (!reg.OpenKeyReadOnly(location)) return false;
        if (reg.ValueExists("InstallLocation")) {
            const RegDataKind kind = reg.GetDataType("InstallLocation");
            if (kind != RegDataKind::String && kind != RegDataKind::ExpandString) return false;
            if (!reg.ReadStringExact("InstallLocation", installLocation)) return false;
            hasLocation = !installLocation.empty();
        }
    } catch (const RegistryError&) {
        return false;
    }
    if (hasLocation) {
        if (!FolderGone(installLocation)) return false;
        gone.push_back(installLocation);
        return true;
    }

    std::vector<std::string> paths;
    if (!components.Of(PackedGuid(code), paths)) return false;
    for (const std::string& path : paths) {
        if (path == "?") return false;
        if (!IsLocalFileKeyPath(path) || ShellKeptPath(path)) continue;
        const std::string folder = FolderOfKeyPath(path);
        if (!FolderGone(folder)) return false;
        bool known = false;
        for (const std::string& g : gone) known = known || LowerAscii(g) == LowerAscii(folder);
        if (!known) gone.push_back(folder);
    }
    return !gone.empty();
}

bool ProductRegistered(const std::string& code) {
    const std::string packed = PackedGuid(code);
    if (packed.empty()) return true;
    const REGSAM mask = KEY_READ | InstallerView();
    UniqueHKey users;
    const LONG rc = OpenKeyPath(HKEY_LOCAL_MACHINE, kUserData, 0, mask, users);
    if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND) return false;
    if (rc != ERROR_SUCCESS) return true;
    std::vector<std::string> userNames;
    RegKeyReader().SubKeyNames(users.get(), userNames);
    for (const std::string& user : userNames) {
        UniqueHKey product;
        const LONG found = OpenKeyPath(users.get(), user + "\\Products\\" + packed, 0, mask, product);
        if (found != ERROR_FILE_NOT_FOUND && found != ERROR_PATH_NOT_FOUND) return true;
    }
    return false;
}

std::string InstallerExitText(DWORD code) {
    switch (code) {
        case 0: return "卸载成功";
        case 1641: return "卸载成功，安装程序已开始重新启动计算机";
        case 3010: return "卸载成功，重新启动计算机后才能完成";
        case 1602: return "卸载被取消";
        case 1603: return "卸载时发生严重错误";
        case 1605: return "系统安装程序中没有登记这个产品";
        case 1618: return "另一个安装或卸载正在进行，请稍后再试";
        case 1619: return "无法打开这个产品的安装包";
        case 1612: return "找不到这个产品的安装源";
        case 1625: return "系统策略禁止这次卸载";
        default: return "卸载程序报告了错误";
    }
}

bool InstallerRemoved(DWORD code) { return code == 0 || code == 1641 || code == 3010; }

}  // namespace tw
