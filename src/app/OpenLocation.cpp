#include "app/OpenLocation.h"

#include <windows.h>
#include <shlobj.h>
#include <shellapi.h>

#include "platform/ComHandle.h"
#include "platform/FileSystem.h"
#include "platform/HostSystem.h"
#include "platform/Registry.h"
#include "platform/StartProgram.h"
#include "platform/WineHost.h"

namespace tw {

namespace {

const char kEditorKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Regedit";
const char kLastKey[] = "LastKey";

std::string FirstComponent(const std::string& path) {
    // The registry editor's texts are plain names: the first component is up to the first
    // backslash that is not the second byte of a double-byte character.
    for (size_t i = 0; i < path.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
            ++i;
            continue;
        }
        if (path[i] == '\\') return path.substr(0, i);
    }
    return path;
}

// The shell's name for the computer, which the editor shows at the top of its tree.
std::string ComputerLabel() {
    UniqueCoTaskMem<ITEMIDLIST> pidl;
    std::string label;
    if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, pidl.put())) && pidl) {
        SHFILEINFOA info{};
        if (SHGetFileInfoA(reinterpret_cast<LPCSTR>(pidl.get()), 0, &info, sizeof info, SHGFI_PIDL | SHGFI_DISPLAYNAME))
            label = info.szDisplayName;
    }
    return label.empty() ? std::string("My Computer") : label;
}

// The row's key, or the nearest key above it that is still there; empty for none.
std::string ExistingKey(HKEY root, std::string path) {
    Registry reg;
    reg.SetRootKey(root);
    for (;;) {
        while (!path.empty() && path.back() == '\\') path.pop_back();
        if (path.empty() || reg.KeyExists(path)) return path;
        size_t cut = std::string::npos;
        for (size_t i = 0; i < path.size(); ++i) {
            if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
                ++i;
                continue;
            }
            if (path[i] == '\\') cut = i;
        }
        if (cut == std::string::npos) return {};
        path.resize(cut);
    }
}

std::string ParentFolder(const std::string& path) {
    size_t cut = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
            ++i;
            continue;
        }
        if (path[i] == '\\' && i + 1 < path.size()) cut = i;
    }
    if (cut == std::string::npos) return {};
    // "C:\" keeps its backslash: "C:" alone names the drive's current folder.
    return path.substr(0, cut == 2 && path[1] == ':' ? cut + 1 : cut);
}

}  // namespace

std::string RegistryEditorLastKey(const std::string& keyPath, const std::string& current, bool wine,
                                  const std::string& computerLabel) {
    // Wine's editor goes to a stored key only in the bare "HKEY_..." form, whatever form it
    // wrote itself when it last closed (it stores its tree's top label, "My Computer", at the root).
    if (wine) return keyPath;
    if (!current.empty()) {
        const std::string first = FirstComponent(current);
        if (first.compare(0, 5, "HKEY_") == 0) return keyPath;
        return first + "\\" + keyPath;
    }
    return computerLabel + "\\" + keyPath;
}

bool OpenInRegistryEditor(const Finding& f) {
    const HKEY root = RootFromCaption(f.caption);
    const std::string existing = ExistingKey(root, f.location);
    const std::string keyPath = RootName(root) + (existing.empty() ? "" : "\\" + existing);
    {
        Registry reg;
        reg.SetRootKey(HKEY_CURRENT_USER);
        if (reg.OpenKey(kEditorKey, true)) {
            std::string current;
            try {
                current = reg.ReadString(kLastKey);
            } catch (const RegistryError&) {
                // A last key of another kind is the editor's business: ours replaces it.
            }
            try {
                reg.WriteString(kLastKey, RegistryEditorLastKey(keyPath, current, RunningUnderWine(), ComputerLabel()));
            } catch (const RegistryError&) {
                // The editor then opens where it was last; it still opens.
            }
        }
    }
    return StartProgram("regedit.exe");
}

bool OpenContainingFolder(const Finding& f) {
    // A file of the Linux host (Wine's leftovers) is named by its Unix path: the Explorer takes
    // it through Wine's drive mapping.
    std::string path = f.OnHost() ? DosPathOfUnix(f.location) : f.location;
    if (path.empty()) return false;
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return StartProgram("explorer.exe /select,\"" + path + "\"");
    const std::string parent = ParentFolder(path);
    if (parent.empty() || !DirectoryExists(parent)) return false;
    return StartProgram("explorer.exe \"" + parent + "\"");
}

bool OpenLocation(const Finding& f) {
    if (f.OnDisk()) return OpenContainingFolder(f);
    return OpenInRegistryEditor(f);
}

}  // namespace tw
