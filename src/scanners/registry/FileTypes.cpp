#include "scanners/registry/FileTypes.h"

#include "platform/ComScope.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "scanners/PathCheck.h"
#include "scanners/PathText.h"

namespace tw {

namespace {

const char kClasses[] = "Software\\CLASSES";
const char kMachine[] = "HKEY_LOCAL_MACHINE";
const char kStatusLabel[] = "扫描：检查类和文件关联错误   ";
const char kBadType[] = "无效文件类型: ";
const char kBadVerb[] = "无效右键菜单: ";
// The command of a verb that has no Command key at all: such a verb is never reported.
const char kNoCommand[] = "Kivcc-Pelor";

std::string ClassPath(const std::string& name) { return std::string(kClasses) + "\\" + name; }

bool IsExtensionName(const std::string& name) { return !name.empty() && name[0] == '.'; }

const char kBadIcon[] = "无效文件图标: ";

// The file an icon reference names ("C:\App\app.exe,1", "\"C:\App\doc.ico\"",
// "%SystemRoot%\x.dll,-3"), ready to be judged; empty when it names none that can be judged:
// "%1" (each file's own icon), a variable the environment does not know, no drive path on a
// fixed disk.
std::string IconFile(const std::string& reference, DriveTypeCache& drives) {
    std::string s = Trim(reference);
    if (!s.empty() && s[0] == '"') {
        const size_t close = s.find('"', 1);
        s = s.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    } else {
        const size_t comma = s.rfind(',');
        if (comma != std::string::npos) {
            const std::string index = Trim(s.substr(comma + 1));
            int n = 0;
            if (TryStrToInt(index, n)) s = Trim(s.substr(0, comma));
        }
    }
    s = ExpandVariables(s);
    if (s.find('%') != std::string::npos || !StartsWithDriveCtoZ(s)) return {};
    if (drives.TypeOf(s.substr(0, 3)) != DRIVE_FIXED) return {};
    return s;
}

// Subkey and value counts of a key; a key that does not open has neither.
RegKeyInfo InfoOf(const std::string& path) {
    RegKeyInfo info;
    Registry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    if (reg.OpenKeyReadOnly(path) && !reg.GetKeyInfo(info)) info = RegKeyInfo();
    return info;
}

}  // namespace

// The marker searches below are bytewise: a quote, a blank and a comma are never the second
// byte of a double-byte character, so a match always starts a character.
std::string ExtractCommandPath(const std::string& commandLine) {
    std::string s = commandLine;
    if (!s.empty() && s[0] == '"') {
        s.erase(0, 1);
        if (!s.empty() && s[0] == '"') s.erase(0, 1);
    } else {
        size_t q = s.find('"');
        if (q != std::string::npos) s.erase(q, 1);
    }
    size_t q = s.find('"');
    if (q != std::string::npos) s.resize(q);

    // Only the lower-case extension followed by a blank marks the end of the program.
    if (s.find(".exe ") != std::string::npos) s.resize(s.find(".exe") + 4);

    for (const char* marker : {" /", " -", " %", " ,", ","}) {
        size_t p = s.find(marker);
        if (p != std::string::npos && CharAt(s, static_cast<long>(p + 1) - 4, '.')) s.resize(p);
    }
    return s;
}

FileTypeScan::FileTypeScan(const ScanContext& ctx, ScanSink& sink)
    : os_(ctx.os), sink_(sink), status_(sink) {}

void FileTypeScan::Execute() {
    ComScope com;
    try {
        ScanClasses();
    } catch (const std::exception& e) {
        // A registry error ends this scanner's run; the other scanners go on, the Findings
        // handed over so far stay, and the scan's closing report says where this one ended.
        SetFailure(e.what());
    }
    // The class list and the remembered answers are given back here, on this thread: freed where
    // the finished thread is let go, they would hold the window.
    std::vector<std::string>().swap(classList_);
    decltype(classNamesUpper_)().swap(classNamesUpper_);
    std::vector<const Extension*>().swap(extensionList_);
    std::vector<Extension>().swap(extensions_);
    decltype(orphanCount_)().swap(orphanCount_);
    decltype(programs_)().swap(programs_);
    iconFiles_ = FolderListings();
    // The last Findings are shown before the completion reports the count.
    sink_.Flush();
}

bool FileTypeScan::NextEntry(const std::string& name) {
    if (Terminated()) return false;
    if (status_.Due()) status_.Show(kStatusLabel + name);
    return true;
}

void FileTypeScan::ReportFinding(const std::string& location, const std::string& description,
                                    const std::string& missingProgram) {
    Finding f = RegistryKeyFinding(kMachine, location, description);
    if (!missingProgram.empty()) {
        f.missingPaths.push_back(missingProgram);
        f.missingRule = Finding::Missing::NoProgram;
    }
    sink_.AddFinding(f);
}

void FileTypeScan::ScanClasses() {
    classList_.clear();
    {
        Registry reg;
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        if (reg.OpenKeyReadOnly(kClasses)) classList_ = reg.GetKeyNames();
    }
    for (const std::string& name : classList_) {
        classNamesUpper_.insert(UpperAscii(name));
        if (IsExtensionName(name)) {
            extensions_.emplace_back();
            extensions_.back().name = name;
        }
    }

    // Pass 1: extensions without a handler of any kind.
    bool stopped = false;
    size_t ext = 0;
    for (const std::string& name : classList_) {
        if (!NextEntry(name)) {
            stopped = true;
            break;
        }
        if (IsExtensionName(name)) CheckExtension(extensions_[ext++]);
    }

    // Pass 2: the verbs of every class; extensions gathered for pass 3. An extension that pass 1
    // did not reach (stopped) is left out, and pass 3 ends at its first entry anyway.
    ext = 0;
    for (const std::string& name : classList_) {
        if (stopped || !NextEntry(name)) {
            stopped = true;
            break;
        }
        if (IsExtensionName(name)) {
            const Extension& e = extensions_[ext++];
            if (os_.IsNineX() || (e.opened && e.subKeys == 0)) extensionList_.push_back(&e);
            if (e.subKeys > 0) CheckDefaultIcon(name);
        } else {
            CheckClassVerbs(name);
            CheckDefaultIcon(name);
            // The programs registered for "Open with": their verbs sit one level further down.
            if (UpperAscii(name) == "APPLICATIONS") CheckApplications(name);
        }
    }

    // Pass 3: extensions that point to a class that is missing, or that pass 2 reported whole.
    for (const Extension* e : extensionList_) {
        if (stopped || !NextEntry(e->name)) break;
        CheckExtensionTarget(*e);
    }
}

void FileTypeScan::CheckExtension(Extension& ext) {
    Registry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKeyReadOnly(ClassPath(ext.name))) return;
    ext.opened = true;
    RegKeyInfo info;
    if (!reg.GetKeyInfo(info)) info = RegKeyInfo();
    ext.subKeys = info.subKeys;

    // Pass 3 reads the extension's class only for extensions without subkeys (on the 98 family,
    // for every one); read it now, while the key is open.
    if (os_.IsNineX() || info.subKeys == 0) {
        try {
            // A class name the code page cannot hold stays empty: it is not judged, since its
            // look-alike would name another class.
            reg.ReadStringExact("", ext.target);
        } catch (const RegistryError& e) {
            ext.targetError = e.what();
        }
    }

    if (info.subKeys == 0) {
        if (info.values == 0) ReportFinding(ClassPath(ext.name), kBadType + ext.name);
        return;
    }
    if (info.subKeys != 1) return;
    // The only subkey is Shell, and neither Shell nor Shell\Open says what to run.
    if (!reg.OpenKeyReadOnly("Shell") || !reg.ReadString("").empty()) return;
    if (!reg.OpenKeyReadOnly("Open") || !reg.ReadString("").empty()) return;
    // Empty defaults are no fault while a verb below still runs something (Shell\Open\Command
    // naming an existing program is the usual way to say "open with"): the extension works.
    if (HasWorkingVerb(ClassPath(ext.name) + "\\Shell")) return;
    ReportFinding(ClassPath(ext.name), kBadType + ext.name);
}

bool FileTypeScan::CommandBroken(const std::string& command, std::string& missingProgram) {
    missingProgram.clear();
    if (command.empty()) return true;
    if (command == kNoCommand || !Contains(command, ":\\") || Contains(LowerAscii(command), "rundll32.exe"))
        return false;
    // A directory is no program; a program that cannot be judged (access denied, a short name
    // of another system) is not taken for a missing one.
    const std::string program = ExtractCommandPath(command);
    if (!IsNoFile(ProgramState(program))) return false;
    missingProgram = program;
    return true;
}

bool FileTypeScan::HasWorkingVerb(const std::string& shellPath) {
    Registry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKeyReadOnly(shellPath)) return false;
    const std::vector<std::string> verbs = reg.GetKeyNames();
    for (const std::string& verb : verbs) {
        std::string command, missing;
        if (!reg.OpenKeyReadOnly("\\" + shellPath + "\\" + verb + "\\Command")) continue;
        try {
            if (!reg.ReadStringExact("", command)) return true;  // cannot tell: take it as working
        } catch (const RegistryError&) {
            return true;  // not text: this check cannot judge it, so the extension stays
        }
        if (!CommandBroken(command, missing)) return true;
    }
    return false;
}

PathState FileTypeScan::ProgramState(const std::string& path) {
    // Many classes start the same program: ask the file system once per path and run.
    auto it = programs_.find(path);
    if (it != programs_.end()) return it->second;
    const PathState state = JudgeProgram(path);
    programs_.emplace(path, state);
    return state;
}

void FileTypeScan::CheckClassVerbs(const std::string& cls) {
    const std::string base = ClassPath(cls);
    Registry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    std::vector<std::string> verbs;
    if (reg.OpenKeyReadOnly(base + "\\shell")) {
        verbs = reg.GetKeyNames();
        reg.CloseKey();
    }
    // The verbs of one class are examined together; a stop waits for the next class.
    for (const std::string& verb : verbs) {
        const std::string verbPath = base + "\\Shell\\" + verb;
        std::string display, command = kNoCommand;
        // A command the code page cannot hold is not judged: its look-alike names another file.
        bool exact = true;
        if (reg.OpenKeyReadOnly(verbPath)) {
            display = reg.ReadString("");
            if (reg.OpenKeyReadOnly("Command")) exact = reg.ReadStringExact("", command);
        } else if (reg.OpenKeyReadOnly(verbPath + "\\Command")) {
            exact = reg.ReadStringExact("", command);
        }
        reg.CloseKey();
        if (!exact) continue;

        std::string missingProgram;
        if (CommandBroken(command, missingProgram)) ReportVerb(cls, verb, display.empty() ? cls : display, missingProgram);
    }
}

void FileTypeScan::ReportVerb(const std::string& cls, const std::string& verb, const std::string& display,
                                 const std::string& missingProgram) {
    const std::string description = kBadVerb + display;
    const std::string classPath = ClassPath(cls);
    const std::string shellPath = classPath + "\\Shell";
    const std::string verbPath = shellPath + "\\" + verb;

    // A verb key with more beneath it than its command: only the command goes.
    if (InfoOf(verbPath).subKeys >= 3) {
        ReportFinding(verbPath + "\\Command", description, missingProgram);
        return;
    }
    // Other verbs or settings of the shell key: only this verb goes.
    RegKeyInfo shell = InfoOf(shellPath);
    if (shell.subKeys != 1 || shell.values >= 2) {
        ReportFinding(verbPath, description, missingProgram);
        return;
    }
    // The class's only verb. A class that holds nothing but this shell key (and its icon) is
    // useless as a whole, and so is every extension that points to it (pass 3).
    RegKeyInfo info;
    bool hasIcon = false;
    {
        Registry reg;
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        if (reg.OpenKeyReadOnly(classPath)) {
            if (!reg.GetKeyInfo(info)) info = RegKeyInfo();
            hasIcon = reg.KeyExists("DefaultIcon");
        }
    }
    long subKeys = static_cast<long>(info.subKeys) - (hasIcon ? 1 : 0);
    if (subKeys == 1 && info.values < 2) {
        ReportFinding(classPath, description, missingProgram);
        ++orphanCount_[cls];
    } else {
        ReportFinding(shellPath, description, missingProgram);
    }
}

void FileTypeScan::CheckDefaultIcon(const std::string& cls) {
    Registry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    const std::string iconKey = ClassPath(cls) + "\\DefaultIcon";
    if (!reg.OpenKeyReadOnly(iconKey)) return;
    std::string reference;
    try {
        if (!reg.ReadStringExact("", reference)) return;  // the code page cannot hold it: not judged
    } catch (const RegistryError&) {
        return;  // not text: no file to judge
    }
    const std::string file = IconFile(reference, drives_);
    if (file.empty() || !IsNoFile(iconFiles_.Judge(file))) return;
    // The icon setting only, never the class that has it.
    Finding f = NamedOrDefaultValueFinding(kMachine, iconKey, "", kBadIcon + reference);
    f.missingPaths.push_back(file);
    f.missingRule = Finding::Missing::NoFile;
    sink_.AddFinding(f);
}

void FileTypeScan::CheckApplications(const std::string& applications) {
    std::vector<std::string> programs;
    {
        Registry reg;
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        if (reg.OpenKeyReadOnly(ClassPath(applications))) programs = reg.GetKeyNames();
    }
    for (const std::string& program : programs) {
        if (!NextEntry(program)) return;
        CheckClassVerbs(applications + "\\" + program);
        CheckDefaultIcon(applications + "\\" + program);
    }
}

bool FileTypeScan::ClassKeyExists(const std::string& target) {
    // A plain name that the class list holds (letter case aside) exists without asking the
    // registry; anything else (a path, a name added since) is asked.
    if (target.find('\\') == std::string::npos && classNamesUpper_.count(UpperAscii(target))) return true;
    Registry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKeyReadOnly(kClasses)) return true;  // nothing to judge against
    return reg.KeyExists(target);
}

void FileTypeScan::CheckExtensionTarget(const Extension& ext) {
    if (!ext.opened) return;
    if (!ext.targetError.empty()) throw RegistryError(ext.targetError);
    const std::string& target = ext.target;
    const std::string location = ClassPath(ext.name);
    // An empty target names the class table itself, which exists.
    if (!target.empty() && !Contains(target, ":\\") && !ClassKeyExists(target))
        ReportFinding(location, kBadType + target);
    // Exact letter case: the orphan list holds the names as the registry listed them.
    auto it = orphanCount_.find(target);
    if (it != orphanCount_.end())
        for (int i = 0; i < it->second; ++i) ReportFinding(location, kBadType + target);
}

}  // namespace tw
