#include "scanners/registry/HiveReferences.h"

#include <objbase.h>

#include <algorithm>
#include <cstring>

#include "platform/ComScope.h"
#include "platform/FileSystem.h"
#include "platform/ScopeExit.h"
#include "platform/Text.h"
#include "scanners/PathCheck.h"
#include "scanners/PathText.h"

namespace tw {

namespace {

// Subtrees owned by other scanners, or whose values name files in forms this test misreads.
// A key path equal to one of these (lower-cased) is skipped with everything below it. They
// start at the hive root, so under HKEY_USERS, where every path starts with a user's key, none
// of them applies.
const char* const kExcludedKeyPaths[] = {
    "software\\classes",
    "software\\microsoft\\messenger service",
    "software\\microsoft\\windows\\currentversion\\installer",
    "software\\microsoft\\windows\\currentversion\\uninstall",
    "software\\microsoft\\windows\\currentversion\\shareddlls",
    "software\\microsoft\\windows\\currentversion\\internet settings",
    "software\\microsoft\\windows\\currentversion\\explorer\\menuorder",
    "software\\microsoft\\windows\\help",
    "software\\microsoft\\windows\\html help",
    "software\\microsoft\\windows\\currentversion\\fonts",
    "software\\microsoft\\windows\\currentversion\\explorer\\docfolderpaths",
    "software\\microsoft\\windows\\currentversion\\telephony",
    "software\\national instruments\\ni-servers",
    // The user's environment (TEMP, TMP): settings of the system, not memories of a program.
    "environment",
    // Where DirectMusic finds its instrument set (GMFilePath): a setting of the system, whose
    // file an add-on may put there later; deleting it would leave that file unused.
    "software\\microsoft\\directmusic",
};

// A key path containing one of these anywhere (lower-cased) is skipped with its subtree.
const char* const kExcludedKeyParts[] = {
    "software\\microsoft\\installer",
    "oracleorahome81tns",
    "l3 generator with c45",
    "extended keyboard",
    "services\\winsock2\\parameters\\namespace_catalog",
    "time zones",
    "%username%",
    "rational",
    "acadm",
    "services\\eventsystem",
    "services\\msdtc",
    "services\\mysql",
    "software\\microsoft\\windows\\currentversion\\explorer\\shell folders",
    // Where the system's own folders are (Fonts, Desktop, Programs...): a missing one is made
    // again by the system, never deleted; and the machine's environment (TEMP, windir, Path).
    "software\\microsoft\\windows\\currentversion\\explorer\\user shell folders",
    "control\\session manager\\environment",
    // Where the system makes files of its own when it needs them: the page file (PagingFiles,
    // with its sizes) and the crash dumps. Settings, not references to files that must exist.
    "control\\session manager\\memory management",
    "control\\crashcontrol",
};

// Values that say where the system's own folders are, in the keys that hold them: they
// configure Windows itself, and deleting one would break every program that asks for it.
const char* const kSystemFolderKeys[] = {
    "software\\microsoft\\windows\\currentversion",
    "software\\microsoft\\windows nt\\currentversion",
};
const char* const kSystemFolderValues[] = {
    "programfilesdir", "commonfilesdir", "programfilesdir (x86)", "commonfilesdir (x86)", "programw6432dir",
    "commonw6432dir", "mediapath", "devicepath", "systemroot", "pathname", "wallpaperdir",
};

// Programs known to leave harmless dangling references; a candidate whose upper-cased text
// contains one of these is never reported.
const char* const kIgnoredNames[] = {
    "QCDPLAYER.EXE", "IE6SETUP",  "DAEMON TOOLS.LNK", "SPEECHENGINES\\MICROSOFT\\",
    "VIAVOICE",      "OFFICE\\DATA\\", "PKMRES.DLL",  "RATIONAL",
    "EB.EXE",        ".EXE.DLL",  "RTSCAN.INI",       "JMC230.PRO",
    ".MNS",          ".MNC",      "DREYE",            "ACADM",
    "SMWIZARD.EXE",
};

// What is left of arguments, switches and lists after the cuts: a candidate still holding one of
// these is not a plain path and is never reported.
// (" (" is one of them too, but only as argument text: see HasArgumentParenthesis.)
const char* const kRejectedSequences[] = {
    " \\", "/", "*", "?", "\"", "<", ">", "|", ",", ";", " ^", " %", " -", " '", "=",
};

// Characters that end a program path when they follow an extension (".exe" then the separator).
const char kSeparators[] = {'"', '^', '\'', '/', '-', '%', '!', '|', '[', '='};

bool MissingPathTest(const std::string& text, const std::string& windowsDir, PathFacts& facts,
                     std::string* candidate) {
    if (text.size() < 3) return false;
    // A quote or marker before a drive path ("C:\... or @C:\...): the path starts one further.
    const size_t from = text[2] == ':' && text.size() > 3 ? 1 : 0;

    // Drives A: and B: are never examined; relative, UNC and %VAR% forms end here too. All of it
    // is read in place: most texts end here, and no copy is made for them.
    char drive = text[from];
    if (drive >= 'a' && drive <= 'z') drive = static_cast<char>(drive - 'a' + 'A');
    if (drive < 'C' || drive > 'Z') return false;
    if (text[from + 1] != ':' || text[from + 2] != '\\') return false;
    if (!facts.FixedDrive(text.substr(from, 3))) return false;

    std::string s = CollapseBackslashes(text, from);
    // Every cut below keeps a beginning of the text: the length tells whether anything was cut.
    const size_t wholeSize = s.size();
    if (facts.Exists(s)) return false;

    // A trailing backslash after an extension, or after an extension and a closing quote.
    if (EndsWithBackslash(s) && CharAt(s, static_cast<long>(s.size()) - 4, '.')) s.pop_back();
    if (EndsWithBackslash(s) && CharAt(s, static_cast<long>(s.size()) - 5, '.'))
        s = CutAt(s, static_cast<long>(s.size()) - 1);

    const long split = FindLastSeparator(s);
    std::string name = s.substr(static_cast<size_t>(split));

    if (FindChar(name, ' ') != 0) {
        // Arguments after the program: "app.exe /min", or a closing quote between them.
        long p = FindChar(name, ' ');
        if (CharAt(name, p - 4, '.')) {
            name = CutAt(name, p);
            s.resize(static_cast<size_t>(split) + name.size());
        }
        p = FindChar(name, ' ');
        if (p != 0 && CharAt(name, p - 5, '.')) {
            name = CutAt(name, p - 1);
            s.resize(static_cast<size_t>(split) + name.size());
        }
    } else {
        for (char sep : kSeparators) {
            long p = FindChar(s, sep);
            if (p != 0 && CharAt(s, p - 4, '.')) s = CutAt(s, p);
        }

        long dots = 0, lastDot = 0;
        for (size_t i = 0; i < s.size(); ++i)
            if (s[i] == '.') {
                ++dots;
                lastDot = static_cast<long>(i + 1);
            }
        if (dots >= 2) {
            long k = lastDot - (dots - 1);
            if (CharAt(s, k + 4, ' ')) s = CutAt(s, k + 4);
        }

        // An icon reference ("lib.dll,3"). Those into the Windows directory are the system's own.
        long comma = FindChar(s, ',');
        if (comma != 0 && CharAt(s, comma - 4, '.')) {
            s = CutAt(s, comma);
            if (!windowsDir.empty() && Contains(UpperAscii(s), UpperAscii(windowsDir).c_str()))
                return false;
        }
    }

    for (const char* rejected : kRejectedSequences)
        if (Contains(s, rejected)) return false;
    if (Contains(s, " (") && HasArgumentParenthesis(s)) return false;
    const std::string upper = UpperAscii(s);
    for (const char* ignored : kIgnoredNames)
        if (Contains(upper, ignored)) return false;

    // Nothing was cut: the file system has answered for this very text already.
    if (s.size() != wholeSize && facts.Exists(s)) return false;
    if (candidate) *candidate = s;
    return true;
}

char LowerByte(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// IsExcludedKeyPath for a key whose first `known` bytes are the path of a key the walk found not
// excluded (0 when nothing is known): a subtree part must then reach past them, and only the end
// of the path is looked through. Every key of a hive is asked, each with a longer path than its
// parent. lower is a buffer kept from call to call.
bool ExcludedBelow(const std::string& keyPath, size_t known, std::string& lower) {
    for (const char* whole : kExcludedKeyPaths) {
        const size_t n = strlen(whole);
        if (n != keyPath.size()) continue;
        size_t i = 0;
        while (i < n && LowerByte(keyPath[i]) == whole[i]) ++i;
        if (i == n) return true;
    }
    size_t longest = 0;
    for (const char* part : kExcludedKeyParts) longest = std::max(longest, strlen(part));
    const size_t tail = known >= longest ? known - longest + 1 : 0;
    lower.assign(keyPath, tail, std::string::npos);
    for (char& c : lower) c = LowerByte(c);
    for (const char* part : kExcludedKeyParts) {
        const size_t n = strlen(part);
        const size_t from = known >= n ? known - n + 1 : 0;
        if (lower.find(part, from - tail) != std::string::npos) return true;
    }
    return false;
}

// Whether a key (lower-cased path) is one of those that hold the system folders' values: the
// path ends with one of kSystemFolderKeys at an element boundary (under HKEY_USERS a user's key
// comes first).
bool HoldsSystemFolders(const std::string& lowerPath) {
    for (const char* key : kSystemFolderKeys) {
        const size_t n = strlen(key);
        if (lowerPath.size() < n || lowerPath.compare(lowerPath.size() - n, n, key) != 0) continue;
        if (lowerPath.size() == n || lowerPath[lowerPath.size() - n - 1] == '\\') return true;
    }
    return false;
}

bool IsSystemFolderValue(const std::string& name) {
    std::string lower = name;
    for (char& c : lower) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    for (const char* v : kSystemFolderValues)
        if (lower == v) return true;
    return false;
}

// Depth past which a key path can only come from a loop of registry links: the registry
// itself nests no deeper than 512 levels.
const size_t kMaxKeyDepth = 512;

size_t DepthOf(const std::string& keyPath) {
    size_t depth = 1;
    for (size_t i = 0; i < keyPath.size(); ++i) {
        if (keyPath[i] == '\\') ++depth;
        else if (IsLeadByte(keyPath[i]) && i + 1 < keyPath.size()) ++i;
    }
    return depth;
}

bool IsLead(char c) { return IsLeadByte(c); }

// A path whose every part the system reads literally: "X:\" then names without "/" or ":",
// none empty and none ending in a dot or a blank. A folder missing from such a path is missing
// from every path that goes on from it; other forms are asked about one by one.
bool PlainPath(const std::string& s) {
    if (s.size() < 4 || s[1] != ':' || s[2] != '\\') return false;
    char last = '\\';
    for (size_t i = 3; i < s.size(); ++i) {
        const char c = s[i];
        if (IsLead(c) && i + 1 < s.size()) {
            last = 'x';
            ++i;
            continue;
        }
        if (c == '/' || c == ':') return false;
        if (c == '\\' && (last == '\\' || last == '.' || last == ' ')) return false;
        last = c;
    }
    return last != '.' && last != ' ' && last != '\\';
}

// Position of the last "\" (a character, not a trail byte), npos when there is none.
size_t LastBackslash(const std::string& s) {
    size_t last = std::string::npos;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\') last = i;
        else if (IsLead(s[i]) && i + 1 < s.size()) ++i;
    }
    return last;
}

const size_t kMaxRemembered = 100000;

}  // namespace

PathFacts::PathFacts(bool remember) : remember_(remember) {
    for (int i = 0; i < 26; ++i) {
        driveTypes_[i] = DRIVE_UNKNOWN;
        driveKnown_[i] = false;
    }
}

bool PathFacts::FixedDrive(const std::string& root) {
    char letter = UpperAscii(root.substr(0, 1))[0];
    if (!remember_ || letter < 'A' || letter > 'Z') return DriveType(root) == DRIVE_FIXED;
    int i = letter - 'A';
    if (!driveKnown_[i]) {
        driveTypes_[i] = DriveType(root);
        driveKnown_[i] = true;
    }
    return driveTypes_[i] == DRIVE_FIXED;
}

bool PathFacts::UnderMissingFolder(const std::string& path) {
    if (missingFolders_.empty()) return false;
    for (size_t i = 3; i < path.size(); ++i) {
        if (path[i] == '\\') {
            folder_.assign(path, 0, i);
            if (missingFolders_.count(folder_)) return true;
        } else if (IsLead(path[i]) && i + 1 < path.size()) {
            ++i;
        }
    }
    return false;
}

bool PathFacts::Ask(const std::string& path) {
    // The scanners' one judgement; what it cannot tell counts as there.
    const bool plain = remember_ && PlainPath(path);
    if (plain && UnderMissingFolder(path)) return false;
    const PathState state = remember_ ? listings_.Judge(path) : JudgePath(path);
    if (state == PathState::FolderMissing && plain) {
        if (missingFolders_.size() >= kMaxRemembered) missingFolders_.clear();
        missingFolders_.insert(path.substr(0, LastBackslash(path)));
    }
    return !IsGone(state);
}

bool PathFacts::Exists(const std::string& path) {
    if (!remember_) return Ask(path);
    auto it = exists_.find(path);
    if (it != exists_.end()) return it->second;
    bool exists = Ask(path);
    // A bound on memory for hives that name an unusual number of distinct files.
    if (exists_.size() >= kMaxRemembered) exists_.clear();
    exists_.emplace(path, exists);
    return exists;
}

bool IsMissingPath(const std::string& text, const std::string& windowsDir, PathFacts& facts, std::string* candidate) {
    try {
        return MissingPathTest(text, windowsDir, facts, candidate);
    } catch (...) {
        return false;
    }
}

bool IsMissingPath(const std::string& text, const std::string& windowsDir) {
    PathFacts facts(false);
    return IsMissingPath(text, windowsDir, facts);
}

bool IsExcludedKeyPath(const std::string& keyPath) {
    std::string lower;
    return ExcludedBelow(keyPath, 0, lower);
}

std::string HiveRootName(HKEY root) {
    if (root == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
    if (root == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
    if (root == HKEY_USERS) return "HKEY_USERS";
    return {};
}

HiveReferenceScan::HiveReferenceScan(const ScanContext& ctx, ScanSink& sink)
    : windowsDir_(ctx.windowsDir), sink_(sink), status_(sink) {}

void HiveReferenceScan::Execute() {
    ComScope com;
    ScanHive();
    // What the walk remembered is given back here, on this thread, while the UI thread shows the
    // last Findings: freed where the finished thread is let go, a hundred thousand remembered
    // answers would hold the window.
    decltype(verdicts_)().swap(verdicts_);
    facts_ = PathFacts(true);
    // The last Findings are shown before the completion reports the count.
    sink_.Flush();
}

bool HiveReferenceScan::IsMissingPath(const std::string& text) const { return MissingCandidate(text) != nullptr; }

const std::string* HiveReferenceScan::MissingCandidate(const std::string& text) const {
    // Only a text with a drive colon near its start can name a path; others end at once.
    if (text.size() < 3 || (text[1] != ':' && text[2] != ':')) return nullptr;
    // A hive repeats its texts (the same command line under every verb of a program): the
    // verdict is remembered, sparing the cuts as well as the file system.
    auto it = verdicts_.find(text);
    if (it == verdicts_.end()) {
        std::string candidate;
        const bool missing = tw::IsMissingPath(text, windowsDir_, facts_, &candidate);
        if (verdicts_.size() >= kMaxRemembered) verdicts_.clear();
        it = verdicts_.emplace(text, Verdict{missing, std::move(candidate)}).first;
    }
    return it->second.missing ? &it->second.candidate : nullptr;
}

void HiveReferenceScan::ScanHive() {
    rootName_ = HiveRootName(root);
    Registry reg;
    reg.SetRootKey(root);
    if (!reg.OpenKeyReadOnly("\\")) return;
    walkPath_.Start(reg.CurrentKey());
    std::vector<std::string> names;
    reader_.SubKeyNames(reg.CurrentKey(), names);
    for (const std::string& name : names) {
        if (Terminated()) return;
        ScanKey(reg.CurrentKey(), name, name, 0);
    }
}

void HiveReferenceScan::ShowStatus(const std::string& keyPath) {
    if (!status_.Due()) return;
    statusText_ = rootName_ + "\\" + keyPath;
    status_.Show("扫描：" + statusText_);
}

void HiveReferenceScan::ReportHit(const std::string& keyPath, const std::string& keyName, const std::string& description,
                           bool isDefault, const std::string& missingPath) {
    Finding f = RegistryValueFinding(rootName_, keyPath, keyName, description);
    if (isDefault) f.kind = FindingKind::RegistryDefaultValue;
    f.missingPaths.push_back(missingPath);
    sink_.AddFinding(f);
}

void HiveReferenceScan::ScanKey(const std::string& keyPath) {
    rootName_ = HiveRootName(root);
    ScanKey(root, keyPath, keyPath, 0);
}

void HiveReferenceScan::ScanKey(HKEY parent, const std::string& name, const std::string& keyPath, size_t parentLength) {
    if (ExcludedBelow(keyPath, parentLength, lowerPath_)) return;
    if (Terminated()) return;
    if (DepthOf(keyPath) > kMaxKeyDepth) return;
    ShowStatus(keyPath);

    // Each key is opened relative to its parent, which stays open: no full path is parsed
    // again, and keys deeper than a full path may name are reached. One open serves the subkey
    // names and every value with its data. A link back into a key the walk is already inside
    // would lead round forever: it is not entered.
    UniqueHKey key;
    std::vector<std::string> subKeys;
    std::vector<RegValue> values;
    if (walkPath_.Enter(parent, name, reader_, key, subKeys, &values) != RegWalkPath::Step::Entered) return;
    ScopeExit leave([this] { walkPath_.Leave(); });
    ScanValues(keyPath, values);
    std::vector<RegValue>().swap(values);
    for (const std::string& sub : subKeys) {
        if (Terminated()) return;
        if (!sub.empty()) ScanKey(key.get(), sub, keyPath + "\\" + sub, keyPath.size());
    }
}

void HiveReferenceScan::ScanValues(const std::string& keyPath, const std::vector<RegValue>& values) {
    // The keys that say where the system's own folders are: those values are not judged.
    bool systemFolders = false;
    if (keyPath.size() >= 28 && (keyPath.back() | 0x20) == 'n') {
        std::string lower = keyPath;
        for (char& c : lower) c = LowerByte(c);
        systemFolders = HoldsSystemFolders(lower);
    }
    try {
        for (const RegValue& value : values) {
            if (Terminated()) break;
            if (systemFolders && IsSystemFolderValue(value.name)) continue;
            if (const std::string* missing = MissingCandidate(value.name))
                ReportHit(keyPath, value.name, std::string(), false, *missing);
            // Only string data is examined, as read: up to its first NUL, %VAR% unexpanded. Data
            // the code page cannot hold exactly would be judged under another text: never.
            if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) continue;
            if (!value.dataExact) continue;
            // Trimmed in place: most data cannot name a path (no drive colon near its start),
            // and is passed over without a copy.
            const char* text = value.data.data();
            size_t end = value.data.size();
            if (const void* nul = memchr(text, '\0', end)) end = static_cast<size_t>(static_cast<const char*>(nul) - text);
            size_t begin = 0;
            while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
            while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
            if (end - begin < 3 || (text[begin + 1] != ':' && text[begin + 2] != ':')) continue;
            data_.assign(text + begin, end - begin);
            if (const std::string* missing = MissingCandidate(data_)) {
                // Only the truly unnamed value is the default value: a name made of blanks is
                // a value of its own, and repair must delete that one, not empty the default.
                ReportHit(keyPath, value.name.empty() ? kDefaultValueMarker : value.name, data_, value.name.empty(),
                          *missing);
            }
        }
    } catch (...) {
        // The rest of this key's values are skipped; its subkeys are still scanned.
    }
}

}  // namespace tw
