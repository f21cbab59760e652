#include "scanners/disk/WineJudge.h"

#include "platform/FileSystem.h"
#include "platform/Handle.h"
#include "platform/Text.h"
#include "platform/WineHost.h"
#include "scanners/PathCheck.h"

namespace tw {

using namespace wine;

WineLeftovers::Judge::Judge(bool remember) : remember_(remember) {
    ok = FindWineHostFolders(unix);
    if (!ok) return;
    apps = FromUnix(unix.dataHome + "/applications");
    wine = FromUnix(unix.dataHome + "/applications/wine");
    menus = FromUnix(unix.configHome + "/menus/applications-merged");
    directories = FromUnix(unix.dataHome + "/desktop-directories");
    mime = FromUnix(unix.dataHome + "/mime/packages");
    desktop = FromUnix(unix.desktop);
    icons = FromUnix(unix.dataHome + "/icons");
    pixmaps = FromUnix(unix.dataHome + "/pixmaps");
    trash = FromUnix(unix.dataHome + "/Trash");
    thisPrefixDos = AnsiToWide(DosPathOfUnix(unix.thisPrefix));
}

DWORD WineLeftovers::Judge::Attributes(const HostPath& p, bool& gone) {
    gone = false;
    if (!p.exact) return INVALID_FILE_ATTRIBUTES;
    const DWORD a = GetFileAttributesW(p.dos.c_str());
    gone = a == INVALID_FILE_ATTRIBUTES && IsGoneError(GetLastError());
    return a;
}

const DesktopFile* WineLeftovers::Judge::Read(const HostPath& p) {
    auto it = read_.find(p.dos);
    if (it == read_.end()) {
        std::string text;
        Entry e;
        e.read = p.exact && ReadHostFile(p.dos, kLargestEntry, text);
        if (e.read) e.file = ParseDesktopFile(text);
        if (!remember_) read_.clear();
        it = read_.emplace(p.dos, e).first;
    }
    return it->second.read ? &it->second.file : nullptr;
}

Verdict WineLeftovers::Judge::Settled(const HostPath& p, Verdict v) {
    if (v.stale && IsLinkPath(p)) return Verdict();
    return v;
}

Verdict WineLeftovers::Judge::Of(const HostPath& p, Verdict (Judge::*judge)(const HostPath&)) {
    if (!remember_) return Settled(p, (this->*judge)(p));
    auto it = verdicts_.find(p.dos);
    if (it == verdicts_.end()) it = verdicts_.emplace(p.dos, Settled(p, (this->*judge)(p))).first;
    return it->second;
}

Verdict WineLeftovers::Judge::Prefix(const WineExec& e, bool& same) {
    std::string prefix = e.prefix.empty() ? unix.home + "/.wine" : Utf8ToAnsiExact(e.prefix);
    prefix = StripTrailingSlashes(prefix);
    auto it = prefixes_.find(prefix);
    if (it == prefixes_.end()) {
        PrefixState s;
        const std::string dos = prefix.empty() ? std::string() : DosPathOfUnix(prefix);
        const PathState state = dos.empty() ? PathState::Unknown : JudgePath(dos);
        if (IsNothing(state) && !MayBeUnmounted(prefix)) {
            s.verdict.stale = true;
            s.verdict.why = "所属的 Wine 前缀已不存在：" + prefix;
            s.verdict.missing = {dos};
        }
        // The same folder may be named through a link: the real paths decide.
        s.same = !dos.empty() && (prefix == unix.thisPrefix ||
                                  (state == PathState::Directory && SameHostObject(AnsiToWide(dos), thisPrefixDos)));
        it = prefixes_.emplace(prefix, s).first;
    }
    same = it->second.same && !it->second.verdict.stale;
    return it->second.verdict;
}

Verdict WineLeftovers::Judge::JudgeLauncher(const HostPath& p) {
    Verdict v;
    const DesktopFile* d = Read(p);
    const WineExec e = d ? ParseWineExec(d->exec) : WineExec();
    if (e.form != WineExec::Shortcut && e.form != WineExec::UnixShortcut && e.form != WineExec::Program) return v;
    bool same = false;
    v = Prefix(e, same);
    if (v.stale || !same) return v;
    const std::string target = Utf8ToAnsiExact(e.target);
    const std::string path = e.form == WineExec::UnixShortcut ? DosPathOfUnix(target) : target;
    // A program on a drive that is not a fixed disk (a CD, a network drive) may come back.
    if (path.empty() || (e.form == WineExec::Program && DriveType(path.substr(0, 3)) != DRIVE_FIXED)) return v;
    if (!IsNoFile(JudgePath(path))) return v;
    v.stale = true;
    v.why = (e.form == WineExec::Program ? "程序已不存在：" : "快捷方式已不存在：") + path;
    v.missing = {path};
    v.rule = Finding::Missing::NoFile;
    return v;
}

bool WineLeftovers::Judge::HoldsOnlyStale(const HostPath& dir, std::vector<Finding>* launcherRows,
                                          std::vector<Finding>* folderRows, const std::function<bool()>& going) {
    std::vector<HostEntry> entries;
    if (ListHost(dir, entries) != Listing::Listed) return false;
    bool all = true;
    for (const HostEntry& e : entries) {
        if (!going()) return false;
        const HostPath c = Child(dir, e.name);
        bool gone = false;
        if (e.Folder()) {
            if (!e.Link() && c.exact && HoldsOnlyStale(c, launcherRows, folderRows, going) && !c.unix.empty()) {
                gone = true;
                Verdict v;
                v.why = "文件夹中没有有效的菜单项";
                if (folderRows) folderRows->push_back(Row(kWineMenuFolderCaption, FindingKind::HostFolder, c.unix, v));
            }
        } else if (EndsWith(c.name, ".desktop")) {
            const Verdict v = Launcher(c);
            gone = v.stale && !c.unix.empty();
            if (gone && launcherRows) launcherRows->push_back(Row(kWineLauncherCaption, FindingKind::HostFile, c.unix, v));
        }
        all = all && gone;
    }
    return all;
}

bool WineLeftovers::Judge::IdWorks(const HostPath& dir, const std::string& rest, bool inWine) {
    HostPath file;
    if (!ChildNamed(dir, rest, file)) return true;
    bool gone = true;
    const DWORD a = MayHold(dir, rest) ? Attributes(file, gone) : INVALID_FILE_ATTRIBUTES;
    if (a == INVALID_FILE_ATTRIBUTES) {
        if (!gone) return true;
    } else if (!(a & FILE_ATTRIBUTE_DIRECTORY) && (!inWine || !Launcher(file).stale)) {
        return true;
    }
    for (size_t dash = rest.find('-'); dash != std::string::npos; dash = rest.find('-', dash + 1)) {
        HostPath sub;
        if (!ChildNamed(dir, rest.substr(0, dash), sub)) return true;
        if (!MayHold(dir, sub.name)) continue;
        const DWORD s = FolderAttributes(sub, gone);
        if (s == INVALID_FILE_ATTRIBUTES) {
            if (!gone) return true;
            continue;
        }
        if (!(s & FILE_ATTRIBUTE_DIRECTORY)) continue;
        if (s & FILE_ATTRIBUTE_REPARSE_POINT) return true;
        const bool wineFolder = inWine || (dir.dos == apps.dos && sub.name == "wine");
        if (IdWorks(sub, rest.substr(dash + 1), wineFolder)) return true;
    }
    return false;
}

bool WineLeftovers::Judge::MayHold(const HostPath& dir, const std::string& name) {
    auto it = listings_.find(dir.dos);
    if (it == listings_.end()) {
        std::vector<HostEntry> entries;
        FolderNames listed;
        listed.whole = ListHost(dir, entries) != Listing::CannotTell;
        for (const HostEntry& e : entries) listed.names.insert(WideToUtf8(e.name));
        it = listings_.emplace(dir.dos, std::move(listed)).first;
    }
    return !it->second.whole || it->second.names.count(name) != 0;
}

DWORD WineLeftovers::Judge::FolderAttributes(const HostPath& p, bool& gone) {
    if (!remember_) return Attributes(p, gone);
    auto it = folders_.find(p.dos);
    if (it == folders_.end()) {
        const DWORD a = Attributes(p, gone);
        it = folders_.emplace(p.dos, std::make_pair(a, gone)).first;
    }
    gone = it->second.second;
    return it->second.first;
}

Verdict WineLeftovers::Judge::JudgeMenu(const HostPath& p) {
    Verdict v;
    std::string text;
    if (!p.exact || !ReadHostFile(p.dos, kLargestEntry, text)) return v;
    const std::vector<std::string> files = XmlElements(text, "Filename");
    if (files.empty()) return v;
    for (const std::string& id : files)
        if (!StartsWith(id, "wine-") || !EndsWith(id, ".desktop")) return v;
    for (const std::string& id : files)
        if (IdWorks(apps, id, false)) return v;
    v.stale = true;
    v.why = "菜单中的菜单项都已不存在";
    return v;
}

const WineLeftovers::Judge::MenuIndex& WineLeftovers::Judge::Menus() {
    if (menuIndex_) return *menuIndex_;
    menuIndex_.reset(new MenuIndex);
    std::vector<HostPath> files;
    menuIndex_->listed = FilesOf(menus, "", ".menu", files);
    for (const HostPath& p : files) {
        MenuUse m;
        m.path = p;
        m.wine = StartsWith(p.name, "wine-");
        std::string text;
        m.read = p.exact && ReadHostFile(p.dos, kLargestEntry, text);
        const size_t i = menuIndex_->menus.size();
        menuIndex_->menus.push_back(m);
        if (!m.read) {
            if (m.wine) menuIndex_->unreadable.push_back(i);
            continue;
        }
        for (const std::string& d : XmlElements(text, "Directory")) menuIndex_->byDirectory[d].push_back(i);
    }
    return *menuIndex_;
}

Verdict WineLeftovers::Judge::JudgeDirectory(const HostPath& p) {
    Verdict v;
    const DesktopFile* d = Read(p);
    if (!d || d->type != "Directory") return v;
    const MenuIndex& index = Menus();
    if (!index.listed) return v;
    const std::string base = Without(p.name, ".directory");
    for (size_t i : index.unreadable)
        if (base == "wine-wine" || StartsWith(index.menus[i].path.name, base + "-")) return v;
    const auto works = [this](const MenuUse& m) { return !m.wine || !Menu(m.path).stale; };
    if (AnyWorks(index.byDirectory, p.name, index.menus, works)) return v;
    v.stale = true;
    v.why = "没有菜单再用到这个菜单目录";
    return v;
}

Verdict WineLeftovers::Judge::JudgeAssociation(const HostPath& p) {
    Verdict v;
    const DesktopFile* d = Read(p);
    const WineExec x = d ? ParseWineExec(d->exec) : WineExec();
    if (x.form != WineExec::Association) return v;
    bool same = false;
    v = Prefix(x, same);
    if (v.stale || !same) return v;
    const std::string progId = Utf8ToAnsiExact(x.target);
    HKEY key = nullptr;
    const LONG rc = progId.empty() ? ERROR_SUCCESS : RegOpenKeyExA(HKEY_CLASSES_ROOT, progId.c_str(), 0, KEY_READ, &key);
    UniqueHKey owned(key);
    if (rc == ERROR_FILE_NOT_FOUND) {
        v.stale = true;
        v.why = "这个 Wine 前缀中已没有文件类型 " + progId;
    }
    return v;
}

const WineLeftovers::Judge::AppIndex& WineLeftovers::Judge::Apps() {
    if (appIndex_) return *appIndex_;
    appIndex_.reset(new AppIndex);
    std::vector<HostPath> files;
    appIndex_->listed = FilesOf(apps, "", ".desktop", files);
    for (const HostPath& p : files) {
        AppEntry a;
        a.path = p;
        a.wine = StartsWith(p.name, "wine-extension-");
        const DesktopFile* d = Read(p);
        a.read = d != nullptr;
        if (d) a.icon = IconKey(d->icon);
        const size_t i = appIndex_->entries.size();
        appIndex_->entries.push_back(a);
        if (!d && a.wine)
            appIndex_->unreadableTypes.insert("application/x-wine-extension-" +
                                              Without(p.name.substr(15), ".desktop"));
        if (d)
            for (const std::string& t : SplitAt(UnescapeValue(d->mimeTypes), ';'))
                if (!t.empty()) appIndex_->byType[t].push_back(i);
    }
    return *appIndex_;
}

Verdict WineLeftovers::Judge::JudgeMimeType(const HostPath& p) {
    Verdict v;
    std::string text;
    if (!p.exact || !ReadHostFile(p.dos, kLargestEntry, text)) return v;
    const std::string head = "<mime-type type=\"";
    const size_t at = text.find(head);
    if (at == std::string::npos) return v;
    const size_t end = text.find('"', at + head.size());
    if (end == std::string::npos) return v;
    const std::string type = text.substr(at + head.size(), end - at - head.size());
    const AppIndex& index = Apps();
    if (!StartsWith(type, "application/x-wine-extension-") || !index.listed || index.unreadableTypes.count(type))
        return v;
    const auto works = [this](const AppEntry& a) { return !a.wine || !Association(a.path).stale; };
    if (AnyWorks(index.byType, type, index.entries, works)) return v;
    v.stale = true;
    v.why = "没有文件关联再用到文件类型 " + Utf8ToAnsiExact(type);
    return v;
}

void WineLeftovers::Judge::AddIconUser(const HostPath& p, bool judged, bool association) {
    const DesktopFile* d = Read(p);
    if (!d) {
        iconIndex_->sure = false;
        return;
    }
    if (d->icon.empty()) return;
    iconIndex_->byIcon[IconKey(d->icon)].push_back(iconIndex_->users.size());
    iconIndex_->users.push_back({p, judged, association});
}

void WineLeftovers::Judge::AddLaunchers(const HostPath& dir) {
    std::vector<HostEntry> entries;
    if (ListHost(dir, entries) == Listing::CannotTell) iconIndex_->sure = false;
    for (const HostEntry& e : entries) {
        const HostPath c = Child(dir, e.name);
        if (e.Folder() && e.Link()) iconIndex_->sure = false;
        else if (e.Folder()) AddLaunchers(c);
        else if (EndsWith(c.name, ".desktop")) AddIconUser(c, true, false);
    }
}

const WineLeftovers::Judge::IconIndex& WineLeftovers::Judge::Icons() {
    if (iconIndex_) return *iconIndex_;
    iconIndex_.reset(new IconIndex);
    AddLaunchers(wine);
    const AppIndex& index = Apps();
    iconIndex_->sure = iconIndex_->sure && index.listed;
    for (const AppEntry& a : index.entries) AddIconUser(a.path, a.wine, true);
    std::vector<HostPath> onDesktop;
    if (!FilesOf(desktop, "", ".desktop", onDesktop)) iconIndex_->sure = false;
    for (const HostPath& p : onDesktop) AddIconUser(p, true, false);
    return *iconIndex_;
}

Verdict WineLeftovers::Judge::JudgeIcon(const HostPath& p) {
    Verdict v;
    std::string base;
    for (const char* ext : {".png", ".xpm"})
        if (EndsWith(p.name, ext)) base = Without(p.name, ext);
    if (!IsWineIconName(base)) return v;
    const IconIndex& index = Icons();
    if (!index.sure) return v;
    const auto works = [this](const IconUser& u) {
        return !u.judged || !(u.association ? Association(u.path) : Launcher(u.path)).stale;
    };
    if (AnyWorks(index.byIcon, base, index.users, works)) return v;
    v.stale = true;
    v.why = "没有 Wine 菜单项或文件关联再用到这个图标";
    return v;
}

std::vector<HostPath> WineLeftovers::Judge::IconFolders() {
    std::vector<HostPath> out = {icons, pixmaps};
    const HostPath hicolor = Child(icons, L"hicolor");
    std::vector<HostEntry> sizes;
    ListHost(hicolor, sizes);
    for (const HostEntry& e : sizes)
        if (e.Folder() && !e.Link()) out.push_back(Child(Child(hicolor, e.name), L"apps"));
    return out;
}

Finding WineLeftovers::Judge::Row(const char* caption, FindingKind kind, const std::string& location,
                                  const Verdict& v) {
    Finding f;
    f.caption = caption;
    f.kind = kind;
    f.location = location;
    f.description = v.why;
    f.missingPaths = v.missing;
    f.missingRule = v.rule;
    return f;
}

}  // namespace tw
