// Wine's leftovers on the Linux desktop. Wine's menu builder writes launchers, menu files,
// menu folder entries, file associations, MIME types and icons for the shortcuts and file types
// of each prefix into the user's XDG folders on the host, and a launcher on the host's desktop
// for each desktop shortcut; it never removes those of a prefix that was deleted, nor those of a
// shortcut deleted behind its back. This category reads only those files, through Wine's mapping
// of the host's file system, and reports the ones that lead nowhere. Rows name the files by
// their Linux path, as the user knows them, with the kinds HostFile and HostFolder.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "scanners/ScanContext.h"
#include "scanners/ScanSink.h"

namespace tw {

// The folders Wine's menu builder writes to and the prefixes it names, as Unix paths (ANSI
// code page, no trailing "/").
struct WineHostFolders {
    std::string home;        // from WINEHOMEDIR (else HOME)
    std::string dataHome;    // $XDG_DATA_HOME, else ~/.local/share
    std::string configHome;  // $XDG_CONFIG_HOME, else ~/.config
    std::string thisPrefix;  // $WINEPREFIX, else ~/.wine
    // The desktop folder, as xdg-user-dir DESKTOP names it: XDG_DESKTOP_DIR of
    // $XDG_CONFIG_HOME/user-dirs.dirs, else ~/Desktop.
    std::string desktop;
};
// The folders of this process's environment; false when not under Wine or the home folder
// cannot be told.
bool FindWineHostFolders(WineHostFolders& out);

// What an Exec line (its value, as written in the file) says when it has one of the forms
// Wine writes; form None for anything else, which is never judged.
struct WineExec {
    enum Form { None, Shortcut, UnixShortcut, Association, Program };
    Form form = None;
    std::string prefix;  // WINEPREFIX as written (UTF-8); empty: the default prefix
    // The shortcut's Windows path (Shortcut), its Unix path (UnixShortcut), the ProgID, or the
    // program a launcher on the desktop starts directly (Program).
    std::string target;
};
WineExec ParseWineExec(const std::string& execValue);

// Captions of the rows.
extern const char* const kWineLauncherCaption;     // "Wine 菜单项错误"
extern const char* const kWineMenuCaption;         // "Wine 菜单错误"
extern const char* const kWineMenuFolderCaption;   // "Wine 菜单目录错误"
extern const char* const kWineAssociationCaption;  // "Wine 文件关联错误"
extern const char* const kWineMimeTypeCaption;     // "Wine 文件类型错误"
extern const char* const kWineDesktopFileCaption;  // "Wine 桌面快捷方式错误"
extern const char* const kWineIconCaption;         // "Wine 图标错误"
// Whether a caption is one of the above.
bool IsWineHostCaption(const std::string& caption);

// The category: launchers (applications/wine/**/*.desktop) of a prefix that is gone or of a
// shortcut of this prefix that is gone; menu files (menus/applications-merged/wine-*.menu) and
// folder entries (desktop-directories/wine-*.directory) that only lead to such launchers;
// folders under applications/wine that hold nothing else; associations
// (applications/wine-extension-*.desktop) of a prefix that is gone or of a class this prefix no
// longer has; MIME types (mime/packages/x-wine-extension-*.xml) no working association uses;
// the desktop folder's launchers judged as the others; icons in Wine's naming
// (icons/hicolor/<size>/apps, pixmaps) that no remaining launcher or association uses.
// Does nothing when the program does not run under Wine.
void ScanWineDesktopEntries(const ScanContext& ctx, ScanSink& sink);

// What a row of this category is right before repair, judged on its own evidence only (its own
// file, and what its verdict rests on), never by scanning the whole category again: a repair of
// N rows is linear in N. Gone: nothing is there; Refused: it is there but must not be touched
// (a symbolic link, outside the category's folders, not what the row named), `why` says why.
enum class WineRecheck { Stale, NotStale, Gone, CannotTell, Refused };

// The category's judgement of single rows, and its move to the desktop's trash. One lives for
// one repair command: what it learns of the folders (which menus use which folder entries) is
// kept for the command, the verdicts are made afresh for each row.
class WineLeftovers {
public:
    WineLeftovers();
    ~WineLeftovers();
    WineLeftovers(const WineLeftovers&) = delete;
    WineLeftovers& operator=(const WineLeftovers&) = delete;

    WineRecheck Recheck(const Finding& f, std::string& why);
    // Moves the row's file, or its folder while empty, into the desktop's trash; false, with the
    // reason in `why`, when the trash cannot take it: it then stays where it is.
    bool MoveToTrash(const Finding& f, std::string& why);

    struct Judge;

private:
    std::unique_ptr<Judge> judge_;
};

// The desktop's caches of launchers and MIME types, brought up to date after repair removed
// such files, with the host's own tools when it has them.
class WineCacheRefresh {
public:
    // Notes a repaired row.
    void Removed(const Finding& f);
    // Starts the tools for what was removed since the last call (through the program-start
    // seam); does nothing when nothing was removed or the host lacks the tool.
    void Run();

private:
    bool launchers_ = false, mimeTypes_ = false;
};

}  // namespace tw
