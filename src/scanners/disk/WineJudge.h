// The one judgement of every kind of row of Wine's leftovers on the host, for the scan and for
// the repair's re-check alike. A scan keeps its verdicts (the disk is read once); a repair makes
// each afresh (the rows before it may have changed what it rests on) and keeps only which files
// use which others. For the category's own units.
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "scanners/Finding.h"
#include "scanners/disk/WineDesktopEntries.h"
#include "scanners/disk/WineHostFiles.h"

namespace tw {

struct Verdict {
    bool stale = false;
    std::string why;
    std::vector<std::string> missing;
    Finding::Missing rule = Finding::Missing::Nothing;
};

struct WineLeftovers::Judge {
    using HostPath = wine::HostPath;
    using DesktopFile = wine::DesktopFile;

    explicit Judge(bool remember);

    // What the file or folder is now: its attributes, or INVALID_FILE_ATTRIBUTES with `gone`
    // telling whether nothing is there (rather than cannot tell).
    DWORD Attributes(const HostPath& p, bool& gone);

    // The desktop entry, or null when it cannot be read (cannot tell).
    const DesktopFile* Read(const HostPath& p);

    // A stale verdict stays only for a file that is no symbolic link.
    Verdict Settled(const HostPath& p, Verdict v);

    // The verdict of a file, kept by a scan.
    Verdict Of(const HostPath& p, Verdict (Judge::*judge)(const HostPath&));

    // The prefix a launcher or association names; `same` tells whether it is this one.
    Verdict Prefix(const WineExec& e, bool& same);

    // A launcher of the menus or of the desktop: stale when its prefix is gone, or when it is
    // of this prefix and what it starts (a shortcut, or a program) is gone.
    Verdict JudgeLauncher(const HostPath& p);
    Verdict Launcher(const HostPath& p) { return Of(p, &Judge::JudgeLauncher); }

    // Whether a folder of launchers holds nothing but stale ones and such folders, each of which
    // a row can name. The rows go to `launcherRows` in the order found and to `folderRows`
    // deepest first (when given).
    bool HoldsOnlyStale(const HostPath& dir, std::vector<Finding>* launcherRows, std::vector<Finding>* folderRows,
                        const std::function<bool()>& going);

    // Whether a desktop-file ID (a launcher's path below applications/, "/" written "-") names
    // a launcher that is there and not stale, or cannot be told. Outside Wine's own folder any
    // file of that ID counts as working.
    bool IdWorks(const HostPath& dir, const std::string& rest, bool inWine);
    // Whether a folder may hold a name (as the host writes it): false only when the folder's
    // listing, taken once for the scan or the repair command, does not. Under Wine each question
    // about a name that is not there looks through the whole folder; a folder of thousands of
    // launchers would make every menu's judgement cost as much as the folder.
    bool MayHold(const HostPath& dir, const std::string& name);

    // Folders are asked about again and again while IDs are resolved: a scan asks once.
    DWORD FolderAttributes(const HostPath& p, bool& gone);

    // Whether any file an index lists as using `name` is still there and works (a file gone since
    // the index was read uses nothing).
    template <class Users, class Entries, class Works>
    bool AnyWorks(const Users& byName, const std::string& name, const Entries& entries, Works works) {
        const auto users = byName.find(name);
        if (users == byName.end()) return false;
        for (size_t i : users->second) {
            bool gone = false;
            if (Attributes(entries[i].path, gone) == INVALID_FILE_ATTRIBUTES && gone) continue;
            if (works(entries[i])) return true;
        }
        return false;
    }

    // A menu file of Wine's whose launchers are all gone or stale.
    Verdict JudgeMenu(const HostPath& p);
    Verdict Menu(const HostPath& p) { return Of(p, &Judge::JudgeMenu); }

    // Which menus name which folder entries, read once.
    struct MenuUse {
        HostPath path;
        bool read = false, wine = false;
    };
    struct MenuIndex {
        bool listed = false;
        std::vector<MenuUse> menus;
        std::map<std::string, std::vector<size_t>> byDirectory;
        std::vector<size_t> unreadable;  // Wine's menus that could not be read
    };
    const MenuIndex& Menus();

    // A folder entry of Wine's that no working menu uses. A menu that cannot be read keeps the
    // entries Wine names after its own place (its name begins with theirs) and "wine-wine".
    Verdict JudgeDirectory(const HostPath& p);

    // An association of a prefix that is gone, or of a class this prefix no longer has.
    Verdict JudgeAssociation(const HostPath& p);
    Verdict Association(const HostPath& p) { return Of(p, &Judge::JudgeAssociation); }

    // The desktop entries directly in applications/ (associations among them) with the MIME
    // types and icons they name, read once.
    struct AppEntry {
        HostPath path;
        bool read = false, wine = false;  // wine: one of Wine's associations
        std::string icon;
    };
    struct AppIndex {
        bool listed = false;
        std::vector<AppEntry> entries;
        std::map<std::string, std::vector<size_t>> byType;
        std::set<std::string> unreadableTypes;  // the types of Wine's associations that cannot be read
    };
    const AppIndex& Apps();

    // A MIME type of Wine's that no working association uses.
    Verdict JudgeMimeType(const HostPath& p);

    // Which launchers, associations and other desktop entries name which icons, read once:
    // Wine's launchers, the entries directly in applications/ and those on the desktop. An entry
    // that cannot be read, or a folder that cannot be listed, may name any icon.
    struct IconUser {
        HostPath path;
        bool judged;  // a launcher or association of Wine's, judged as such; any other works
        bool association;
    };
    struct IconIndex {
        bool sure = true;
        std::vector<IconUser> users;
        std::map<std::string, std::vector<size_t>> byIcon;
    };
    void AddIconUser(const HostPath& p, bool judged, bool association);
    void AddLaunchers(const HostPath& dir);
    const IconIndex& Icons();

    // An icon in Wine's naming that no remaining launcher or association uses.
    Verdict JudgeIcon(const HostPath& p);

    // The folders of Wine's icons: icons/hicolor/<size>/apps, and for older versions' pictures
    // icons/ and pixmaps/ themselves.
    std::vector<HostPath> IconFolders();

    static Finding Row(const char* caption, FindingKind kind, const std::string& location, const Verdict& v);

    bool ok = false;
    WineHostFolders unix;
    HostPath apps, wine, menus, directories, mime, desktop, icons, pixmaps, trash;
    std::wstring thisPrefixDos;

private:
    struct Entry {
        bool read = false;
        DesktopFile file;
    };
    struct PrefixState {
        Verdict verdict;
        bool same = false;
    };
    struct FolderNames {
        bool whole = false;  // listed to its end (or not there at all)
        std::set<std::string> names;
    };
    bool remember_;
    std::map<std::wstring, Entry> read_;
    std::map<std::wstring, Verdict> verdicts_;
    std::map<std::wstring, std::pair<DWORD, bool>> folders_;
    std::map<std::string, PrefixState> prefixes_;
    std::map<std::wstring, FolderNames> listings_;
    std::unique_ptr<MenuIndex> menuIndex_;
    std::unique_ptr<AppIndex> appIndex_;
    std::unique_ptr<IconIndex> iconIndex_;
};

}  // namespace tw
