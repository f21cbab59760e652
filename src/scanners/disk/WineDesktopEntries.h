// Wine's leftovers on the Linux desktop. Wine's menu builder writes launchers, menu files,
// menu folder entries, file associations and MIME types for the shortcuts and file types of
// each prefix into the user's XDG folders on the host; it never removes those of a prefix that
// was deleted, nor those of a shortcut deleted behind its back. This category reads only those
// files, through Wine's mapping of the host's file system, and reports the ones that lead
// nowhere. Rows name the files by their Linux path, as the user knows them.
#pragma once
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
};
// The folders of this process's environment; false when not under Wine or the home folder
// cannot be told.
bool FindWineHostFolders(WineHostFolders& out);

// What an Exec line (its value, as written in the file) says when it has one of the forms
// Wine writes; form None for anything else, which is never judged.
struct WineExec {
    enum Form { None, Shortcut, UnixShortcut, Association };
    Form form = None;
    std::string prefix;  // WINEPREFIX as written (UTF-8); empty: the default prefix
    // The shortcut's Windows path (Shortcut), its Unix path (UnixShortcut), or the ProgID.
    std::string target;
};
WineExec ParseWineExec(const std::string& execValue);

// Captions of the rows.
extern const char* const kWineLauncherCaption;     // "Wine 菜单项错误"
extern const char* const kWineMenuCaption;         // "Wine 菜单错误"
extern const char* const kWineMenuFolderCaption;   // "Wine 菜单目录错误"
extern const char* const kWineAssociationCaption;  // "Wine 文件关联错误"
extern const char* const kWineMimeTypeCaption;     // "Wine 文件类型错误"

// The category: launchers (applications/wine/**/*.desktop) of a prefix that is gone or of a
// shortcut of this prefix that is gone; menu files (menus/applications-merged/wine-*.menu) and
// folder entries (desktop-directories/wine-*.directory) that only lead to such launchers;
// folders under applications/wine that hold nothing else; associations
// (applications/wine-extension-*.desktop) of a prefix that is gone or of a class this prefix no
// longer has; MIME types (mime/packages/x-wine-extension-*.xml) no working association uses.
// Does nothing when the program does not run under Wine.
void ScanWineDesktopEntries(const ScanContext& ctx, ScanSink& sink);

// Whether a row names a file of the host (a Unix path) rather than one of the system.
bool IsWineHostRow(const Finding& f);

// The judgement again, right before repair deletes: Stale when a scan now reports the same
// row, NotStale when it does not, CannotTell when the host's folders cannot be read now. The
// row's Windows path (through Wine's mapping) in dosPath.
enum class WineRecheck { Stale, NotStale, CannotTell };
WineRecheck RecheckWineLeftover(const Finding& f, std::string& dosPath);

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
