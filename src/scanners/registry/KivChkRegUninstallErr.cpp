#include "scanners/registry/KivChkRegUninstallErr.h"

#include <shlobj.h>

#include <cstring>
#include <unordered_set>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "platform/WineHost.h"
#include "scanners/PathCheck.h"
#include "scanners/PathText.h"
#include "scanners/disk/WalkRules.h"
#include "scanners/disk/WineDesktopEntries.h"
#include "scanners/registry/MsiProduct.h"

namespace tw {

namespace {

const char kMachine[] = "HKEY_LOCAL_MACHINE";
const char kCurrentUser[] = "HKEY_CURRENT_USER";
const char kHelpKey[] = "Software\\Microsoft\\Windows\\Help";
const char kHtmlHelpKey[] = "Software\\Microsoft\\Windows\\HTML Help";
const char kFontsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// The subkey names of root\path; the window gets its turns while a long list is read.
std::vector<std::string> SubKeysOf(HKEY root, const std::string& path, ScanSink& sink) {
    Registry reg;
    reg.SetRootKey(root);
    if (!reg.OpenKeyReadOnly(path)) return {};
    return reg.GetKeyNames([&] { sink.ProcessMessages(); });
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

// A value and its text as ReadGuarded gives it; exact is false where ReadGuarded refuses it.
struct GuardedText {
    std::string name;
    std::string text;
    bool exact = true;
};

// Every value of a key with its text as ReadGuarded would give it, read in one pass over the key
// instead of a fresh open per value (a round trip to the registry each). Only a text that the
// pass cannot give exactly (unconvertible characters after its end, data too large for the
// pass) is read again the old way.
std::vector<GuardedText> GuardedTextsOf(HKEY root, const std::string& path, ScanSink& sink) {
    std::vector<RegValue> values;
    {
        Registry reg;
        reg.SetRootKey(root);
        if (!reg.OpenKeyReadOnly(path)) return {};
        values = reg.GetValues([&] { sink.ProcessMessages(); });
    }
    std::vector<GuardedText> out;
    out.reserve(values.size());
    for (RegValue& v : values) {
        GuardedText t;
        t.name = std::move(v.name);
        if ((v.type == REG_SZ || v.type == REG_EXPAND_SZ) && v.dataExact) {
            const size_t nul = v.data.find('\0');
            t.text = nul == std::string::npos ? std::move(v.data) : v.data.substr(0, nul);
        } else if (v.type == REG_SZ || v.type == REG_EXPAND_SZ || v.type == REG_NONE) {
            t.exact = ReadGuarded(root, path, t.name, t.text);
        }
        // Any other kind is no text: ReadGuarded gives it as empty.
        out.push_back(std::move(t));
    }
    return out;
}

// The values of one uninstall entry as a single pass over its key read them, asked for by name
// as the registry answers (letter case aside) instead of a round trip to the registry per
// question. The pass answers only when it gave every value of the entry under a plain ASCII
// name: then no value it left out, and no other spelling of a name, can be the one asked for.
// A value it holds but cannot give as the old question would (not a text, a text it could not
// read exactly, data too large for it) is asked for again the old way.
class EntryValues {
public:
    EntryValues(std::vector<RegValue> values, DWORD count) : values_(std::move(values)) {
        whole_ = values_.size() == count;
        for (const RegValue& v : values_)
            for (char c : v.name) whole_ = whole_ && static_cast<unsigned char>(c) < 0x80;
    }
    bool Whole() const { return whole_; }
    const std::vector<RegValue>& All() const { return values_; }
    // The value of that name; null when the entry has none.
    const RegValue* Find(const std::string& name) const {
        const std::string wanted = LowerAscii(name);
        for (const RegValue& v : values_)
            if (v.name.size() == wanted.size() && LowerAscii(v.name) == wanted) return &v;
        return nullptr;
    }
    // The first of the names that the entry holds, as ValueExists asks them one by one; null
    // when it holds none of them.
    const RegValue* FirstOf(const char* name, const char* otherwise, const char*& which) const {
        which = name;
        if (const RegValue* v = Find(name)) return v;
        which = otherwise;
        return Find(otherwise);
    }

private:
    std::vector<RegValue> values_;
    bool whole_ = false;
};

// A text value's text up to its first NUL, as the pass read it; false when the pass cannot give
// it as a read of that one value would (not a text, or not read exactly).
bool TextOfPass(const RegValue& v, std::string& out) {
    if ((v.type != REG_SZ && v.type != REG_EXPAND_SZ) || !v.dataExact) return false;
    out = v.data.substr(0, v.data.find('\0'));
    return true;
}

// No subkeys, no values and no default text: a key nothing uses.
// First-level keys under "Software" that the system itself makes and keeps even while they are
// empty: no program's leftovers. "Policies" is where policies are written, "Registered
// Applications" the list programs enter themselves in; under the 32-bit view of a 64-bit system
// both are links the system keeps to the 64-bit keys.
bool IsSystemSoftwareKey(const std::string& name) {
    for (const char* own : {"Secure", "Policies", "Registered Applications"})
        if (LowerAscii(name) == LowerAscii(own)) return true;
    return false;
}

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

// What is left once a command's switches are cut: judged bad only when the file system says it
// is not there (access denied and names it cannot read are not "missing"). `judged` gets the
// path that was found missing.
bool BadPathTest(std::string t, std::string& judged) {
    if (t.size() < 3) return true;
    // A quote or other character before the drive letter.
    if (CharAt(t, 3, ':') && t.size() > 3) t.erase(0, 1);
    if (!StartsWithDriveCtoZ(t)) return true;
    if (DriveType(t.substr(0, 3)) != DRIVE_FIXED) return false;

    t = CollapseBackslashes(t);
    if (!IsNothing(JudgePath(t))) return false;

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
    for (const char* seq : {" \\", "/", "*", "?", "\"", "<", ">", ",", ";", " ^", " %", " -", " '"})
        if (Contains(t, seq)) return false;
    // " (" stops argument text only, not a folder such as "Program Files (x86)".
    if (Contains(t, " (") && HasArgumentParenthesis(t)) return false;
    if (FindChar(t, '|')) return false;
    if (!IsNothing(JudgePath(t))) return false;
    judged = t;
    return true;
}

// Where the program's ".exe" ends in a lower-cased command: the first ".exe" that closes a path
// element (the end, a blank, a quote, a tab or a separator follows). One inside a folder name
// ("my.exercise", "setup.exe.bak") is passed over. npos when there is none.
size_t ProgramExtension(const std::string& u) {
    for (size_t p = u.find(".exe"); p != std::string::npos; p = u.find(".exe", p + 1)) {
        const size_t next = p + 4;
        if (next >= u.size()) return p;
        const char c = u[next];
        if (c == ' ' || c == '"' || c == '\t' || strchr("^'/-%!|[,", c)) return p;
    }
    return std::string::npos;
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
    // Doubled backslashes become one, but for the two that open a network or "\\?\" path.
    u = unquoted.compare(0, 2, "\\\\") == 0 ? "\\\\" + CollapseBackslashes(unquoted, 2) : CollapseBackslashes(unquoted);
    size_t q = u.find(" -");
    if (q != std::string::npos && CharAt(u, static_cast<long>(q + 1) - 4, '.')) u.resize(q);
    long d = FindChar(u, '-');
    if (d != 0 && CharAt(u, d - 4, '.')) u = CutAt(u, d);
    return u;
}

}  // namespace

bool IsBadUninstallPath(const std::string& text) {
    std::string judged;
    return IsBadUninstallPath(text, judged);
}

bool IsBadUninstallPath(const std::string& text, std::string& judged) {
    judged.clear();
    if (text.size() < 3) return true;
    try {
        return BadPathTest(text, judged);
    } catch (...) {
        return false;
    }
}

void ChkSoftwareErr(const ScanContext&, ScanSink& sink) {
    // The machine's program keys that stay, looked up by exact name for every empty user key.
    std::unordered_set<std::string> kept;
    for (const std::string& name : SubKeysOf(HKEY_LOCAL_MACHINE, "Software", sink)) {
        // A turn for the window at every key: tens of thousands may pass without a Finding.
        sink.ProcessMessages();
        Registry reg;
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKeyReadOnly("Software\\" + name)) continue;
        if (IsEmptyKey(reg) && !IsSystemSoftwareKey(name))
            AddAndPause(sink, RegistryKeyFinding(kMachine, "Software\\" + name, "无效软件"));
        else
            kept.insert(name);
    }
    for (const std::string& name : SubKeysOf(HKEY_CURRENT_USER, "Software", sink)) {
        sink.ProcessMessages();
        Registry reg;
        reg.SetRootKey(HKEY_CURRENT_USER);
        if (!reg.OpenKeyReadOnly("Software\\" + name)) continue;
        if (!IsEmptyKey(reg)) continue;
        if (!kept.count(name)) AddAndPause(sink, RegistryKeyFinding(kCurrentUser, "Software\\" + name, "无效软件"));
    }
}

void ChkHelpErr(const ScanContext& ctx, ScanSink& sink) {
    FolderListings listings([&] { sink.ProcessMessages(); });
    for (const char* key : {kHelpKey, kHtmlHelpKey}) {
        const bool html = key == kHtmlHelpKey;
        for (GuardedText& value : GuardedTextsOf(HKEY_LOCAL_MACHINE, key, sink)) {
            sink.ProcessMessages();
            if (!value.exact) continue;
            const std::string& file = value.name;
            std::string& folder = value.text;
            if (!StartsWithDriveCtoZ(folder)) continue;
            if (!EndsWithBackslash(folder)) folder += '\\';
            if (!IsNoFile(listings.Judge(folder + file))) continue;
            // The system's own HTML help lives in the Windows folder and is not judged.
            if (html && !ctx.windowsDir.empty() && Contains(folder, ctx.windowsDir.c_str())) continue;
            // The key's unnamed value is a value of its own: its row must never stand for the key.
            Finding f = NamedOrDefaultValueFinding(kMachine, key, file, "无效帮助" + folder);
            f.missingPaths.push_back(folder + file);
            f.missingRule = Finding::Missing::NoFile;
            AddAndPause(sink, f);
        }
    }
}

namespace {

// The folders Wine loads fonts from besides the Windows fonts folder, as Windows paths: its own
// font folder (WINEDATADIR\fonts, where Debian's fonts-wine puts Wine's bitmap fonts) and the
// host's font folders as fontconfig names them (its defaults, and the folders of
// /etc/fonts/fonts.conf). None where the program does not run under Wine.
std::vector<std::string> WineFontFolders() {
    std::vector<std::string> out;
    auto add = [&out](const std::string& dos) {
        for (const std::string& o : out)
            if (LowerAscii(o) == LowerAscii(dos)) return;
        if (!dos.empty()) out.push_back(dos);
    };
    std::string data = EnvironmentText("WINEDATADIR");  // "\??\Z:\usr\share\wine"
    if (data.compare(0, 4, "\\??\\") == 0) data.erase(0, 4);
    if (!data.empty() && !WineVersion().empty()) add(data + "\\fonts");
    WineHostFolders host;
    if (!FindWineHostFolders(host)) return out;
    std::vector<std::string> unix = {"/usr/share/fonts", "/usr/local/share/fonts", host.dataHome + "/fonts",
                                     host.home + "/.fonts"};
    std::string conf;
    const std::string confPath = DosPathOfUnix("/etc/fonts/fonts.conf");
    if (confPath.empty() || !ReadWholeFile(confPath, conf)) conf.clear();
    // <dir>/path</dir>, <dir>~/path</dir>, <dir prefix="xdg">path</dir>
    for (size_t at = conf.find("<dir"); at != std::string::npos; at = conf.find("<dir", at + 1)) {
        const size_t close = conf.find('>', at);
        const size_t end = close == std::string::npos ? close : conf.find("</dir>", close);
        if (end == std::string::npos) break;
        const std::string tag = conf.substr(at, close - at);
        if (tag != "<dir" && tag.compare(0, 5, "<dir ") != 0) continue;
        std::string dir = conf.substr(close + 1, end - close - 1);
        if (tag.find("\"xdg\"") != std::string::npos) dir = host.dataHome + "/" + dir;
        else if (!dir.empty() && dir[0] == '~') dir = host.home + dir.substr(1);
        if (!dir.empty() && dir[0] == '/') unix.push_back(dir);
    }
    for (const std::string& u : unix) add(DosPathOfUnix(u));
    return out;
}

// The font files Wine finds in those folders, at any depth, listed once on the first question:
// Wine loads every font there, whatever the registry names.
class WineFontFiles {
public:
    // File when one of the folders holds a file of that name (letter case aside), Missing when
    // none does, Unknown when a folder could not be read.
    PathState Find(const std::string& name) {
        if (!loaded_) {
            loaded_ = true;
            folders_ = WineFontFolders();
            for (const std::string& folder : folders_) List(folder, 0);
        }
        if (names_.count(LowerAscii(name))) return PathState::File;
        return unreadable_ ? PathState::Unknown : PathState::Missing;
    }
    // The folders, once Find has been asked.
    const std::vector<std::string>& Folders() const { return folders_; }

private:
    void List(const std::string& folder, int depth) {
        bool listed = false;
        std::vector<std::string> subfolders;
        ListDirectory(folder + "\\*", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY,
                      [&](const DirEntry& e) {
                          listed = true;  // "." at least, when it can be read
                          if (!e.nameExact) return true;
                          if (!(e.attributes & FILE_ATTRIBUTE_DIRECTORY))
                              names_.insert(LowerAscii(e.name));
                          else if (IsEnterableFolder(e))  // never a link: it may lead round
                              subfolders.push_back(e.name);
                          return true;
                      });
        if (!listed && QueryPath(folder) != PathState::Missing && QueryPath(folder) != PathState::FolderMissing)
            unreadable_ = true;
        if (depth < 8)
            for (const std::string& sub : subfolders) List(folder + "\\" + sub, depth + 1);
    }

    bool loaded_ = false, unreadable_ = false;
    std::vector<std::string> folders_;
    std::unordered_set<std::string> names_;
};

}  // namespace

void ChkFontErr(const ScanContext& ctx, ScanSink& sink) {
    const std::vector<GuardedText> fonts = GuardedTextsOf(HKEY_LOCAL_MACHINE, kFontsKey, sink);
    if (fonts.empty()) return;
    // Once per scan: the folder does not move while the fonts are looked at. Without it no font
    // can be judged, and every one would look missing.
    const std::string folder = SpecialFolder(ctx.desktop, CSIDL_FONTS);
    if (folder.empty()) EndScanAt("CSIDL_FONTS", "系统无法给出字体文件夹的位置");
    FolderListings listings([&] { sink.ProcessMessages(); });
    WineFontFiles wine;
    for (const GuardedText& value : fonts) {
        sink.ProcessMessages();
        if (!value.exact) continue;
        const std::string& font = value.name;
        const std::string& file = value.text;
        // An empty text names no file: neither "Fonts\" nor "" exists as one.
        const std::string inFolder = folder + "\\" + file;
        if (!IsNoFile(listings.Judge(inFolder)) || !IsNoFile(listings.Judge(file))) continue;
        // A bare file name that Wine finds where it loads fonts from is there (and where it
        // cannot tell, it is not missing).
        const bool bare = !file.empty() && file.find_first_of("\\/:") == std::string::npos;
        if (bare && wine.Find(file) != PathState::Missing) continue;
        Finding f = NamedOrDefaultValueFinding(kMachine, kFontsKey, font, "无效字体" + file);
        f.missingPaths.push_back(inFolder);
        if (!file.empty()) f.missingPaths.push_back(file);
        if (bare)
            for (const std::string& wineFolder : wine.Folders()) f.missingPaths.push_back(wineFolder + "\\" + file);
        f.missingRule = Finding::Missing::NoFile;
        AddAndPause(sink, f);
    }
}

void ChkUninstallErr(const ScanContext& ctx, ScanSink& sink) {
    const std::string& w = ctx.windowsDir;
    ComponentPaths components;
    FolderListings listings([&] { sink.ProcessMessages(); });
    for (const std::string& entry : SubKeysOf(HKEY_LOCAL_MACHINE, kUninstallKey, sink)) {
        if (Contains(entry, "Vopt")) continue;
        sink.ProcessMessages();
        const std::string location = std::string(kUninstallKey) + "\\" + entry;
        Registry reg;
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKeyReadOnly(location)) continue;

        auto report = [&](std::vector<std::string> missing, Finding::Missing rule) {
            Finding f = RegistryKeyFinding(kMachine, location, "无效的反安装信息");
            f.missingPaths = std::move(missing);
            f.missingRule = rule;
            sink.AddFinding(f);
        };
        // How many values the entry holds, whatever their names: a name the code page cannot
        // show is a value all the same, and an entry is judged by its one value only when it
        // really has one.
        RegKeyInfo info;
        if (!reg.GetKeyInfo(info)) continue;  // cannot tell what it holds
        const EntryValues values(reg.GetValues(), info.values);
        if (info.values == 0) report({}, Finding::Missing::Nothing);
        if (info.values == 1 && values.All().size() == 1) {
            const std::string& only = values.All()[0].name;
            if (UpperAscii(only) == "SYSTEMCOMPONENT") continue;
            RegDataKind kind = reg.GetDataType(only);
            if (kind == RegDataKind::String || kind == RegDataKind::ExpandString) {
                std::string text, judged;
                bool exact = true;
                try {
                    exact = reg.ReadStringExact(only, text);
                } catch (const RegistryError&) {
                }
                if (exact && IsBadUninstallPath(text, judged))
                    report(judged.empty() ? std::vector<std::string>{} : std::vector<std::string>{judged},
                           Finding::Missing::Nothing);
            } else {
                report({}, Finding::Missing::Nothing);
            }
        }

        // Not guarded here: a display name that is not text ends the category, and the closing
        // report names this entry.
        std::string display;
        try {
            const char* name = nullptr;
            if (!values.Whole()) {
                if (reg.ValueExists("DisplayName")) display = reg.ReadString("DisplayName");
                else if (reg.ValueExists("QuietDisplayName")) display = reg.ReadString("QuietDisplayName");
            } else if (const RegValue* v = values.FirstOf("DisplayName", "QuietDisplayName", name)) {
                if (!TextOfPass(*v, display)) display = reg.ReadString(name);
            }
        } catch (const RegistryError& e) {
            EndScanAt(std::string(kMachine) + "\\" + location, e.what());
        }
        // A command the code page cannot hold is not judged: its look-alike names another file.
        std::string command;
        bool exact = true;
        try {
            const char* name = nullptr;
            if (!values.Whole()) {
                if (reg.ValueExists("UninstallString")) exact = reg.ReadStringExact("UninstallString", command);
                else if (reg.ValueExists("QuietUninstallString"))
                    exact = reg.ReadStringExact("QuietUninstallString", command);
            } else if (const RegValue* v = values.FirstOf("UninstallString", "QuietUninstallString", name)) {
                if (!TextOfPass(*v, command)) exact = reg.ReadStringExact(name, command);
            }
        } catch (const RegistryError&) {
            command.clear();
        }
        // A product of the system's installer keeps a working uninstaller (the installer) when
        // its files are gone; that uninstaller, not a deletion by hand, removes all it registered.
        // Its row stands for the entry's key: no second row for the same entry. Only an entry
        // that can be one is looked at again: its command hands a product code to the installer,
        // or its name is a product code.
        std::string product;
        std::vector<std::string> gone;
        if (exact && !display.empty() && (!ProductCodeOfCommand(command).empty() || IsGuidText(entry)) &&
            ProductOfEntry(HKEY_LOCAL_MACHINE, location, product) == EntryProduct::Product &&
            ProductFilesGone(HKEY_LOCAL_MACHINE, location, product, components, gone)) {
            Finding f = RegistryKeyFinding(kMachine, location, "程序文件已不存在，可用其卸载程序清除");
            f.kind = FindingKind::ProductUninstall;
            f.missingPaths = std::move(gone);
            f.missingRule = Finding::Missing::Nothing;
            sink.AddFinding(f);
            continue;
        }
        if (!exact || display.empty() || command.empty()) continue;

        // The system puts the environment's variables in before it runs the command, and so is
        // the program judged.
        command = LowerAscii(ExpandVariables(command));
        if (Contains(command, "rundll")) continue;
        const size_t exe = ProgramExtension(command);
        if (exe == std::string::npos) continue;
        const std::string program = UninstallProgram(command, static_cast<long>(exe + 1));
        // A variable the environment does not know leaves the program unknown.
        if (program.find('%') != std::string::npos) continue;
        // Bare program names ("msiexec.exe /x{...}") are found in the Windows folders.
        std::vector<std::string> candidates{program};
        if (!StartsWithDriveCtoZ(program) && program.compare(0, 2, "\\\\") != 0)
            for (const char* sub : {"\\", "\\System\\", "\\System32\\"}) candidates.push_back(w + sub + program);
        bool judgedMissing = true;
        for (const std::string& c : candidates)
            if (!IsNoFile(listings.Judge(c))) judgedMissing = false;
        if (judgedMissing) report(candidates, Finding::Missing::NoFile);
    }
}

}  // namespace tw
