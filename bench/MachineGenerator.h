// Builds the debris of years of installs on one machine, every scan category at once, for the
// whole-machine benchmark. Written once into a scratch prefix and reused: a marker key holds the
// data set's version and size factor. At factor 1:
//   - the current user's dirty hive mix: 30,000 keys of 3 values (47% plain text, 15% paths of
//     200 existing programs, 10% paths under a missing folder of their own, 7% quoted existing
//     paths with arguments, 5% "C:\X\lib<n>.dll,<k>" of 50 missing libraries, 5%
//     "%SystemRoot%\system32\tool<n>.exe" of 30 names (half present), 5% "D:\Media\clip<i>.avi"
//     on a drive that is not there, 10% DWORD, 5% binary);
//   - 20,000 font values, 20,000 classes and 20,000 extensions, 20,000 machine and 20,000 user
//     Software keys, 20,000 help values, 20,000 shared-library values, 5,000 uninstall entries,
//     10,000 Start-menu order records: 15% of each stale;
//   - 100,000 files with 1,000 shortcuts, a third of them broken; 500 folders in the user's
//     Start-menu programs tree, 50 of them empty.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/ComHandle.h"

namespace twbench {

constexpr DWORD kMachineDataVersion = 1;
const char kMachineMarkerKey[] = "Software\\TarnwellMachineBench";
const char kMachineFolder[] = "C:\\twmachine";

struct MachineShape {
    double factor = 1.0;
    unsigned Scaled(unsigned n) const {
        const double v = n * factor;
        return v < 1 ? 1u : static_cast<unsigned>(v);
    }
    unsigned hiveKeys() const { return Scaled(30000); }
    unsigned fonts() const { return Scaled(20000); }
    unsigned classes() const { return Scaled(20000); }
    unsigned softwareKeys() const { return Scaled(20000); }
    unsigned helpValues() const { return Scaled(20000); }
    unsigned sharedDlls() const { return Scaled(20000); }
    unsigned uninstallEntries() const { return Scaled(5000); }
    unsigned menuRecords() const { return Scaled(10000); }
    unsigned files() const { return Scaled(100000); }
    unsigned shortcuts() const { return Scaled(1000); }
    unsigned menuFolders() const { return Scaled(500); }
    static constexpr unsigned kFilesPerFolder = 100;
    static constexpr unsigned kPrograms = 200;
};

// One in this many entries of a category is stale (15%: 3 in 20).
inline bool Stale(unsigned i) { return i % 20 < 3; }

inline std::string Num(unsigned n) { return std::to_string(n); }

inline std::string DataFile(unsigned i) {
    return std::string(kMachineFolder) + "\\files\\d" + Num(i / MachineShape::kFilesPerFolder) + "\\f" + Num(i) + ".dat";
}
inline std::string DataFolder(unsigned i) {
    return std::string(kMachineFolder) + "\\files\\d" + Num(i / MachineShape::kFilesPerFolder) + "\\";
}
inline std::string Program(unsigned n) {
    return std::string(kMachineFolder) + "\\prog\\app" + Num(n % MachineShape::kPrograms) + ".exe";
}

namespace machine {

inline void SetText(HKEY key, const std::string& name, const std::string& text, DWORD type = REG_SZ) {
    RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
}
inline void SetDword(HKEY key, const std::string& name, DWORD v) {
    RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
}
inline tw::UniqueHKey Create(HKEY parent, const std::string& path) {
    tw::UniqueHKey key;
    RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
    return key;
}
inline void Touch(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}
inline std::string Folder(int csidl) {
    char buf[MAX_PATH] = "";
    if (!SHGetSpecialFolderPathA(nullptr, buf, csidl, TRUE)) return std::string();
    return buf;
}

inline void HiveMix(const MachineShape& s) {
    tw::UniqueHKey root = Create(HKEY_CURRENT_USER, "Software\\TwDirtyMix");
    tw::UniqueHKey group;
    unsigned value = 0;
    for (unsigned k = 0; k < s.hiveKeys(); ++k) {
        if (k % 100 == 0) group = Create(root.get(), "Group" + Num(k / 100));
        tw::UniqueHKey key = Create(group.get(), "Key" + Num(k));
        for (unsigned v = 0; v < 3; ++v, ++value) {
            const std::string name = "Value" + Num(v);
            // The mix in hundredths, spread so that neighbours differ.
            const unsigned roll = (value * 37) % 100;
            if (roll < 47) SetText(key.get(), name, "Setting text " + Num(value % 1000));
            else if (roll < 62) SetText(key.get(), name, Program(value));
            else if (roll < 72) SetText(key.get(), name, "C:\\X\\gone" + Num(value) + "\\missing" + Num(value) + ".exe");
            else if (roll < 79) SetText(key.get(), name, "\"" + Program(value) + "\" /open \"%1\"");
            else if (roll < 84) SetText(key.get(), name, "C:\\X\\lib" + Num(value % 50) + ".dll," + Num(value % 7));
            else if (roll < 89)
                SetText(key.get(), name, "%SystemRoot%\\system32\\tool" + Num(value % 30) + ".exe", REG_EXPAND_SZ);
            else if (roll < 94) SetText(key.get(), name, "D:\\Media\\clip" + Num(value) + ".avi");
            else if (roll < 99) SetDword(key.get(), name, value);
            else {
                BYTE blob[24];
                for (unsigned b = 0; b < sizeof blob; ++b) blob[b] = static_cast<BYTE>(value * 31 + b);
                RegSetValueExA(key.get(), name.c_str(), 0, REG_BINARY, blob, sizeof blob);
            }
        }
    }
}

inline void Files(const MachineShape& s) {
    CreateDirectoryA(kMachineFolder, nullptr);
    CreateDirectoryA((std::string(kMachineFolder) + "\\files").c_str(), nullptr);
    CreateDirectoryA((std::string(kMachineFolder) + "\\prog").c_str(), nullptr);
    for (unsigned n = 0; n < MachineShape::kPrograms; ++n) Touch(Program(n));
    for (unsigned i = 0; i < s.files(); ++i) {
        if (i % MachineShape::kFilesPerFolder == 0) CreateDirectoryA(DataFolder(i).c_str(), nullptr);
        Touch(DataFile(i));
    }
    // Half of the system tools the hive names are there.
    char sys[MAX_PATH] = "";
    GetSystemDirectoryA(sys, MAX_PATH);
    for (unsigned n = 0; n < 15; ++n) Touch(std::string(sys) + "\\tool" + Num(n) + ".exe");
    // Fonts the font values name.
    const std::string fonts = Folder(CSIDL_FONTS);
    for (unsigned n = 0; n < 200; ++n) Touch(fonts + "\\twfont" + Num(n) + ".ttf");
}

inline void Shortcuts(const MachineShape& s) {
    const std::string folder = std::string(kMachineFolder) + "\\links";
    CreateDirectoryA(folder.c_str(), nullptr);
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))))
        return;
    tw::UniqueCom<IShellLinkA> owner(link);
    IPersistFile* file = nullptr;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) return;
    tw::UniqueCom<IPersistFile> fileOwner(file);
    for (unsigned i = 0; i < s.shortcuts(); ++i) {
        const std::string target = i % 3 == 0 ? std::string(kMachineFolder) + "\\removed\\gone" + Num(i) + ".exe"
                                              : DataFile((i * 97) % s.files());
        link->SetPath(target.c_str());
        const std::string path = folder + "\\link" + Num(i) + ".lnk";
        wchar_t wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
        file->Save(wide, TRUE);
    }
}

inline void StartMenu(const MachineShape& s) {
    // The user's own programs tree: groups, some empty.
    const std::string programs = Folder(CSIDL_PROGRAMS);
    for (unsigned i = 0; i < s.menuFolders(); ++i) {
        const std::string group = programs + "\\TwUserGroup" + Num(i);
        CreateDirectoryA(group.c_str(), nullptr);
        if (i % 10 != 0) Touch(group + "\\readme.txt");
    }
    // The groups the order records name, in the folder the menu-order check reads on this system.
    const std::string common = Folder(CSIDL_COMMON_PROGRAMS);
    tw::UniqueHKey order = Create(HKEY_CURRENT_USER,
                                  "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs");
    for (unsigned i = 0; i < s.menuRecords(); ++i) {
        const std::string name = "TwGroup" + Num(i);
        if (!Stale(i)) {
            CreateDirectoryA((common + "\\" + name).c_str(), nullptr);
            CreateDirectoryA((programs + "\\" + name).c_str(), nullptr);
        }
        tw::UniqueHKey record = Create(order.get(), name);
        RegSetValueExA(record.get(), "Order", 0, REG_BINARY, reinterpret_cast<const BYTE*>("\x08\0\0\0"), 4);
    }
}

inline void MachineKeys(const MachineShape& s) {
    {
        tw::UniqueHKey fonts = Create(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts");
        for (unsigned i = 0; i < s.fonts(); ++i)
            SetText(fonts.get(), "Tw Font " + Num(i) + " (TrueType)",
                    Stale(i) ? "twgone" + Num(i) + ".ttf" : "twfont" + Num(i % 200) + ".ttf");
    }
    {
        tw::UniqueHKey classes = Create(HKEY_LOCAL_MACHINE, "Software\\Classes");
        for (unsigned i = 0; i < s.classes(); ++i) {
            const std::string cls = "TwBench.Class" + Num(i);
            tw::UniqueHKey key = Create(classes.get(), cls);
            SetText(key.get(), "", "Bench document " + Num(i));
            tw::UniqueHKey command = Create(key.get(), "shell\\open\\command");
            SetText(command.get(), "",
                    Stale(i) ? "\"C:\\twmachine\\removed\\viewer" + Num(i) + ".exe\" \"%1\""
                             : "\"" + Program(i) + "\" \"%1\"");
            if (i % 2 == 0) {
                tw::UniqueHKey icon = Create(key.get(), "DefaultIcon");
                SetText(icon.get(), "", Program(i + 1) + ",0");
            }
            tw::UniqueHKey ext = Create(classes.get(), ".twb" + Num(i));
            SetText(ext.get(), "", Stale(i + 7) ? "TwBench.NoClass" + Num(i) : cls);
        }
    }
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        for (unsigned i = 0; i < s.softwareKeys(); ++i) {
            tw::UniqueHKey key = Create(root, std::string("Software\\") + (root == HKEY_CURRENT_USER ? "TwUser" : "TwSoft") + Num(i));
            if (!Stale(i)) SetText(key.get(), "Version", "1." + Num(i % 10));
        }
    }
    {
        tw::UniqueHKey help = Create(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\Help");
        for (unsigned i = 0; i < s.helpValues(); ++i) {
            if (Stale(i)) SetText(help.get(), "twgone" + Num(i) + ".hlp", DataFolder(i));
            else SetText(help.get(), "f" + Num(i) + ".dat", DataFolder(i));
        }
    }
    {
        tw::UniqueHKey dlls = Create(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs");
        for (unsigned i = 0; i < s.sharedDlls(); ++i) {
            const unsigned file = (s.helpValues() + i) % s.files();
            SetDword(dlls.get(), Stale(i) ? DataFolder(file) + "shared" + Num(i) + ".dll" : DataFile(file), 1 + i % 3);
        }
    }
    {
        tw::UniqueHKey uninstall = Create(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
        for (unsigned i = 0; i < s.uninstallEntries(); ++i) {
            tw::UniqueHKey entry = Create(uninstall.get(), "TwProduct" + Num(i));
            SetText(entry.get(), "DisplayName", "Bench Product " + Num(i));
            SetText(entry.get(), "DisplayVersion", "2." + Num(i % 10));
            SetText(entry.get(), "Publisher", "Bench Maker");
            SetText(entry.get(), "UninstallString",
                    Stale(i) ? "C:\\twmachine\\removed\\p" + Num(i) + "\\uninst.exe /S" : "\"" + Program(i) + "\" /uninstall");
        }
    }
}

}  // namespace machine

// The factor of the data set in this prefix, 0 when there is none.
inline double MachineDataFactor() {
    tw::UniqueHKey marker;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMachineMarkerKey, 0, KEY_READ, marker.put()) != ERROR_SUCCESS) return 0;
    DWORD version = 0, size = sizeof version;
    if (RegQueryValueExA(marker.get(), "Version", nullptr, nullptr, reinterpret_cast<BYTE*>(&version), &size) !=
            ERROR_SUCCESS ||
        version != kMachineDataVersion)
        return -1;
    char text[32] = "";
    size = sizeof text - 1;
    if (RegQueryValueExA(marker.get(), "Factor", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS)
        return -1;
    return atof(text);
}

// Writes the whole data set and, last, its marker (a run cut short leaves no marker).
inline void GenerateMachine(const MachineShape& s) {
    machine::Files(s);
    machine::Shortcuts(s);
    machine::StartMenu(s);
    machine::HiveMix(s);
    machine::MachineKeys(s);
    tw::UniqueHKey marker = machine::Create(HKEY_LOCAL_MACHINE, kMachineMarkerKey);
    machine::SetDword(marker.get(), "Version", kMachineDataVersion);
    char text[32];
    snprintf(text, sizeof text, "%g", s.factor);
    machine::SetText(marker.get(), "Factor", text);
}

}  // namespace twbench
