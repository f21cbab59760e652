#include "scanners/registry/UninstallEntries.h"

#include <cstring>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "scanners/PathCheck.h"
#include "scanners/PathText.h"
#include "scanners/registry/MsiProduct.h"
#include "scanners/registry/ValueTexts.h"

namespace tw {

namespace {

const char kMachine[] = "HKEY_LOCAL_MACHINE";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

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

namespace {

// One uninstall entry, judged: empty or holding one unusable value, a product of the system's
// installer whose files are gone, or a command whose program exists nowhere.
class EntryJudge {
public:
    EntryJudge(const ScanContext& ctx, ScanSink& sink, ComponentPaths& components, FolderListings& listings)
        : ctx_(ctx), sink_(sink), components_(components), listings_(listings) {}

    void Judge(const std::string& entry) {
        location_ = std::string(kUninstallKey) + "\\" + entry;
        reg_.SetRootKey(HKEY_LOCAL_MACHINE);
        if (!reg_.OpenKeyReadOnly(location_)) return;
        // How many values the entry holds, whatever their names: a name the code page cannot
        // show is a value all the same, and an entry is judged by its one value only when it
        // really has one.
        RegKeyInfo info;
        if (!reg_.GetKeyInfo(info)) return;  // cannot tell what it holds
        const EntryValues values(reg_.GetValues(), info.values);
        if (!JudgeByCount(info, values)) return;
        const std::string display = DisplayName(values);
        // A command the code page cannot hold is not judged: its look-alike names another file.
        std::string command;
        const bool exact = UninstallCommand(values, command);
        if (exact && !display.empty() && StaleProduct(entry, command)) return;
        if (!exact || display.empty() || command.empty()) return;
        JudgeProgram(command);
    }

private:
    void Report(std::vector<std::string> missing, Finding::Missing rule) {
        Finding f = RegistryKeyFinding(kMachine, location_, "无效的反安装信息");
        f.missingPaths = std::move(missing);
        f.missingRule = rule;
        sink_.AddFinding(f);
    }

    // An entry without values, or with one value that is no usable path, is reported. False
    // when the entry is not to be judged further (its one value marks a part of the system).
    bool JudgeByCount(const RegKeyInfo& info, const EntryValues& values) {
        if (info.values == 0) Report({}, Finding::Missing::Nothing);
        if (info.values != 1 || values.All().size() != 1) return true;
        const std::string& only = values.All()[0].name;
        if (UpperAscii(only) == "SYSTEMCOMPONENT") return false;
        RegDataKind kind = reg_.GetDataType(only);
        if (kind != RegDataKind::String && kind != RegDataKind::ExpandString) {
            Report({}, Finding::Missing::Nothing);
            return true;
        }
        std::string text, judged;
        bool exact = true;
        try {
            exact = reg_.ReadStringExact(only, text);
        } catch (const RegistryError&) {
        }
        if (exact && IsBadUninstallPath(text, judged))
            Report(judged.empty() ? std::vector<std::string>{} : std::vector<std::string>{judged},
                   Finding::Missing::Nothing);
        return true;
    }

    // Not guarded here: a display name that is not text ends the category, and the closing
    // report names this entry.
    std::string DisplayName(const EntryValues& values) {
        std::string display;
        try {
            const char* name = nullptr;
            if (!values.Whole()) {
                if (reg_.ValueExists("DisplayName")) display = reg_.ReadString("DisplayName");
                else if (reg_.ValueExists("QuietDisplayName")) display = reg_.ReadString("QuietDisplayName");
            } else if (const RegValue* v = values.FirstOf("DisplayName", "QuietDisplayName", name)) {
                if (!TextOfPass(*v, display)) display = reg_.ReadString(name);
            }
        } catch (const RegistryError& e) {
            EndScanAt(std::string(kMachine) + "\\" + location_, e.what());
        }
        return display;
    }

    // The uninstall command; false when the code page cannot hold it exactly.
    bool UninstallCommand(const EntryValues& values, std::string& command) {
        bool exact = true;
        try {
            const char* name = nullptr;
            if (!values.Whole()) {
                if (reg_.ValueExists("UninstallString")) exact = reg_.ReadStringExact("UninstallString", command);
                else if (reg_.ValueExists("QuietUninstallString"))
                    exact = reg_.ReadStringExact("QuietUninstallString", command);
            } else if (const RegValue* v = values.FirstOf("UninstallString", "QuietUninstallString", name)) {
                if (!TextOfPass(*v, command)) exact = reg_.ReadStringExact(name, command);
            }
        } catch (const RegistryError&) {
            command.clear();
        }
        return exact;
    }

    // A product of the system's installer keeps a working uninstaller (the installer) when its
    // files are gone; that uninstaller, not a deletion by hand, removes all it registered. Its
    // row stands for the entry's key: no second row for the same entry. Only an entry that can
    // be one is looked at again: its command hands a product code to the installer, or its name
    // is a product code. True when the entry is such a product and was reported.
    bool StaleProduct(const std::string& entry, const std::string& command) {
        std::string product;
        std::vector<std::string> gone;
        if ((ProductCodeOfCommand(command).empty() && !IsGuidText(entry)) ||
            ProductOfEntry(HKEY_LOCAL_MACHINE, location_, product) != EntryProduct::Product ||
            !ProductFilesGone(HKEY_LOCAL_MACHINE, location_, product, components_, gone))
            return false;
        Finding f = RegistryKeyFinding(kMachine, location_, "程序文件已不存在，可用其卸载程序清除");
        f.kind = FindingKind::ProductUninstall;
        f.missingPaths = std::move(gone);
        f.missingRule = Finding::Missing::Nothing;
        sink_.AddFinding(f);
        return true;
    }

    // The program of the uninstall command, found nowhere.
    void JudgeProgram(std::string command) {
        // The system puts the environment's variables in before it runs the command, and so is
        // the program judged.
        command = LowerAscii(ExpandVariables(command));
        if (Contains(command, "rundll")) return;
        const size_t exe = ProgramExtension(command);
        if (exe == std::string::npos) return;
        const std::string program = UninstallProgram(command, static_cast<long>(exe + 1));
        // A variable the environment does not know leaves the program unknown.
        if (program.find('%') != std::string::npos) return;
        // Bare program names ("msiexec.exe /x{...}") are found in the Windows folders.
        std::vector<std::string> candidates{program};
        if (!StartsWithDriveCtoZ(program) && program.compare(0, 2, "\\\\") != 0)
            for (const char* sub : {"\\", "\\System\\", "\\System32\\"})
                candidates.push_back(ctx_.windowsDir + sub + program);
        for (const std::string& c : candidates)
            if (!IsNoFile(listings_.Judge(c))) return;
        Report(candidates, Finding::Missing::NoFile);
    }

    const ScanContext& ctx_;
    ScanSink& sink_;
    ComponentPaths& components_;
    FolderListings& listings_;
    std::string location_;
    Registry reg_;
};

}  // namespace

void ScanUninstallEntries(const ScanContext& ctx, ScanSink& sink) {
    ComponentPaths components;
    FolderListings listings([&] { sink.ProcessMessages(); });
    for (const std::string& entry : SubKeysOf(HKEY_LOCAL_MACHINE, kUninstallKey, sink)) {
        if (Contains(entry, "Vopt")) continue;
        sink.ProcessMessages();
        EntryJudge(ctx, sink, components, listings).Judge(entry);
    }
}

}  // namespace tw
