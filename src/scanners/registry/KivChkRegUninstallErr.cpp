#include "scanners/registry/KivChkRegUninstallErr.h"

#include <shlobj.h>

#include <vector>

#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "scanners/PathText.h"

namespace tw {

namespace {

const char kMachine[] = "HKEY_LOCAL_MACHINE";
const char kCurrentUser[] = "HKEY_CURRENT_USER";
const char kHelpKey[] = "Software\\Microsoft\\Windows\\Help";
const char kHtmlHelpKey[] = "Software\\Microsoft\\Windows\\HTML Help";
const char kFontsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::vector<std::string> NamesOf(HKEY root, const std::string& path, bool values) {
    Registry reg;
    reg.SetRootKey(root);
    if (!reg.OpenKeyReadOnly(path)) return {};
    return values ? reg.GetValueNames() : reg.GetKeyNames();
}

// The text of one value on a fresh open of its key, exactly as stored; empty when the key or
// the value cannot be read or the value is not text. False when the code page cannot hold the
// text: its look-alike would name another file, so the value is not judged.
bool ReadGuarded(HKEY root, const std::string& path, const std::string& name, std::string& out) {
    out.clear();
    try {
        Registry reg;
        reg.SetRootKey(root);
        if (!reg.OpenKeyReadOnly(path)) return true;
        return reg.ReadStringExact(name, out);
    } catch (const RegistryError&) {
        out.clear();
        return true;
    }
}

bool Exists(const std::string& path) { return FileExists(path) || DirectoryExists(path); }

// No subkeys, no values and no default text: a key nothing uses.
bool IsEmptyKey(const Registry& reg) {
    RegKeyInfo info;
    if (!reg.GetKeyInfo(info)) info = RegKeyInfo();
    if (info.subKeys > 0 || info.values > 0) return false;
    try {
        return reg.ReadString("").empty();
    } catch (const RegistryError&) {
        return false;
    }
}

bool BadPathTest(std::string t) {
    if (t.size() < 3) return true;
    // A quote or other character before the drive letter.
    if (CharAt(t, 3, ':') && t.size() > 3) t.erase(0, 1);
    if (!StartsWithDriveCtoZ(t)) return true;
    if (DriveType(t.substr(0, 3)) != DRIVE_FIXED) return false;

    t = CollapseBackslashes(t);
    if (Exists(t)) return false;

    if (EndsWithBackslash(t) && CharAt(t, static_cast<long>(t.size()) - 4, '.')) t.pop_back();
    if (EndsWithBackslash(t) && CharAt(t, static_cast<long>(t.size()) - 5, '.'))
        t = CutAt(t, static_cast<long>(t.size()) - 1);

    const long split = FindLastSeparator(t);
    const std::string folder = t.substr(0, static_cast<size_t>(split));
    std::string name = t.substr(static_cast<size_t>(split));

    if (long q = FindChar(name, ' ')) {
        // Arguments after the program ("unins000.exe /x").
        if (CharAt(name, q - 4, '.')) t = folder + CutAt(name, q);
    } else {
        for (char sep : {'"', '^', '\'', '/', '-', '%', '!', '|', '[', ','}) {
            long q2 = FindChar(t, sep);
            if (q2 != 0 && CharAt(t, q2 - 4, '.')) t = CutAt(t, q2);
        }
        long dots = 0, lastDot = 0;
        for (size_t i = 0; i < t.size(); ++i)
            if (t[i] == '.') {
                ++dots;
                lastDot = static_cast<long>(i + 1);
            }
        if (dots >= 2) {
            long k = lastDot - (dots - 1);
            if (CharAt(t, k + 4, ' ')) t = CutAt(t, k + 4);
        }
    }

    // What is left of switches and lists: such a text cannot be judged.
    for (const char* seq : {" \\", "/", "*", "?", "\"", "<", ">", ",", ";", " ^", " %", " -", " '", " ("})
        if (Contains(t, seq)) return false;
    if (FindChar(t, '|')) return false;
    return !Exists(t);
}

// The program path cut out of an uninstall command (lower-cased, ".exe" found at exePos,
// 1-based).
std::string UninstallProgram(std::string u, long exePos) {
    if (!u.empty() && u[0] == '"') u.erase(0, 1);
    // Keeps up to ".exe", or one more character (the closing quote) after a leading quote.
    if (static_cast<size_t>(exePos + 3) < u.size()) u.resize(static_cast<size_t>(exePos + 3));
    std::string unquoted;
    for (char c : u)
        if (c != '"') unquoted += c;
    u = CollapseBackslashes(unquoted);
    size_t q = u.find(" -");
    if (q != std::string::npos && CharAt(u, static_cast<long>(q + 1) - 4, '.')) u.resize(q);
    long d = FindChar(u, '-');
    if (d != 0 && CharAt(u, d - 4, '.')) u = CutAt(u, d);
    return u;
}

}  // namespace

bool IsBadUninstallPath(const std::string& text) {
    if (text.size() < 3) return true;
    try {
        return BadPathTest(text);
    } catch (...) {
        return false;
    }
}

void ChkSoftwareErr(const ScanContext&, ScanSink& sink) {
    std::vector<std::string> kept;
    for (const std::string& name : NamesOf(HKEY_LOCAL_MACHINE, "Software", false)) {
        Registry reg;
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKeyReadOnly("Software\\" + name)) continue;
        // "Secure" is the system's own and stays even when empty.
        if (IsEmptyKey(reg) && name != "Secure")
            AddAndPause(sink, kMachine, "Software\\" + name, "", "无效软件");
        else
            kept.push_back(name);
    }
    for (const std::string& name : NamesOf(HKEY_CURRENT_USER, "Software", false)) {
        Registry reg;
        reg.SetRootKey(HKEY_CURRENT_USER);
        if (!reg.OpenKeyReadOnly("Software\\" + name)) continue;
        if (!IsEmptyKey(reg)) continue;
        bool inUse = false;
        for (const std::string& k : kept)
            if (k == name) inUse = true;
        if (!inUse) AddAndPause(sink, kCurrentUser, "Software\\" + name, "", "无效软件");
    }
}

void ChkHelpErr(const ScanContext& ctx, ScanSink& sink) {
    for (const char* key : {kHelpKey, kHtmlHelpKey}) {
        const bool html = key == kHtmlHelpKey;
        for (const std::string& file : NamesOf(HKEY_LOCAL_MACHINE, key, true)) {
            std::string folder;
            if (!ReadGuarded(HKEY_LOCAL_MACHINE, key, file, folder)) continue;
            if (!StartsWithDriveCtoZ(folder)) continue;
            if (!EndsWithBackslash(folder)) folder += '\\';
            if (FileExists(folder + file)) continue;
            // The system's own HTML help lives in the Windows folder and is not judged.
            if (html && !ctx.windowsDir.empty() && Contains(folder, ctx.windowsDir.c_str())) continue;
            AddAndPause(sink, kMachine, key, file, "无效帮助" + folder);
        }
    }
}

void ChkFontErr(const ScanContext& ctx, ScanSink& sink) {
    for (const std::string& font : NamesOf(HKEY_LOCAL_MACHINE, kFontsKey, true)) {
        std::string file;
        if (!ReadGuarded(HKEY_LOCAL_MACHINE, kFontsKey, font, file)) continue;
        const std::string folder = SpecialFolder(ctx.desktop, CSIDL_FONTS);
        // An empty text names no file: neither "Fonts\" nor "" exists as one.
        if (FileExists(folder + "\\" + file) || FileExists(file)) continue;
        AddAndPause(sink, kMachine, kFontsKey, font, "无效字体" + file);
    }
}

void ChkUninstallErr(const ScanContext& ctx, ScanSink& sink) {
    const std::string& w = ctx.windowsDir;
    for (const std::string& entry : NamesOf(HKEY_LOCAL_MACHINE, kUninstallKey, false)) {
        if (Contains(entry, "Vopt")) continue;
        sink.ProcessMessages();
        const std::string location = std::string(kUninstallKey) + "\\" + entry;
        Registry reg;
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKeyReadOnly(location)) continue;

        auto report = [&] {
            Finding f;
            f.caption = kMachine;
            f.location = location;
            f.description = "无效的反安装信息";
            sink.AddFinding(f);
        };
        const std::vector<std::string> values = reg.GetValueNames();
        if (values.empty()) report();
        if (values.size() == 1) {
            const std::string& only = values[0];
            if (UpperAscii(only) == "SYSTEMCOMPONENT") continue;
            RegDataKind kind = reg.GetDataType(only);
            if (kind == RegDataKind::String || kind == RegDataKind::ExpandString) {
                std::string text;
                bool exact = true;
                try {
                    exact = reg.ReadStringExact(only, text);
                } catch (const RegistryError&) {
                }
                if (exact && IsBadUninstallPath(text)) report();
            } else {
                report();
            }
        }

        // Not guarded: a display name that is not text ends the scan with the error shown.
        std::string display;
        if (reg.ValueExists("DisplayName")) display = reg.ReadString("DisplayName");
        else if (reg.ValueExists("QuietDisplayName")) display = reg.ReadString("QuietDisplayName");
        // A command the code page cannot hold is not judged: its look-alike names another file.
        std::string command;
        bool exact = true;
        try {
            if (reg.ValueExists("UninstallString")) exact = reg.ReadStringExact("UninstallString", command);
            else if (reg.ValueExists("QuietUninstallString"))
                exact = reg.ReadStringExact("QuietUninstallString", command);
        } catch (const RegistryError&) {
            command.clear();
        }
        if (!exact || display.empty() || command.empty()) continue;

        command = LowerAscii(command);
        if (Contains(command, "rundll")) continue;
        size_t exe = command.find(".exe");
        if (exe == std::string::npos) continue;
        const std::string program = UninstallProgram(command, static_cast<long>(exe + 1));
        // Bare program names ("msiexec.exe /x{...}") are found in the Windows folders.
        if (FileExists(program) || FileExists(w + "\\" + program) || FileExists(w + "\\System\\" + program) ||
            FileExists(w + "\\System32\\" + program))
            continue;
        report();
    }
}

}  // namespace tw
