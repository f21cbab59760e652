// The broken-shortcut walk: looks through a fixed drive for shortcut files (*.lnk) whose target
// no longer exists and reports each as a "disk file error" Finding; repair deletes the shortcut.
// Runs on the scan's drive-walk thread; it honours the scan's stop request at every entry.
#pragma once
#include <memory>
#include <string>

#include "platform/FileSystem.h"
#include "platform/ShellLink.h"
#include "scanners/PacedStatus.h"
#include "scanners/PathCheck.h"
#include "scanners/ScanContext.h"
#include "scanners/ScanSink.h"

namespace tw {

// The file mask the scan walks with; the status line follows the walk only with this mask.
extern const char kShortcutMask[];  // "*.lnk"
// Check kind of WalkTree: resolve each matching file as a shortcut and report broken ones.
constexpr int kShortcutCheck = 3;

// Whether a shortcut's target (as GetShortcutTarget gives it) is missing on a disk this scan
// judges: a fixed drive or a drive letter that does not exist any more. Empty targets, "kiv",
// network paths, other drive types and targets that lost characters to the code page ("?")
// are never judged broken.
bool IsBrokenShortcutTarget(const std::string& target);

bool IsBrokenShortcutTarget(const std::string& target, DriveTypeCache& drives);

class ShortcutWalk {
public:
    ShortcutWalk(const ScanContext& ctx, ScanSink& sink);
    ~ShortcutWalk();
    ShortcutWalk(const ShortcutWalk&) = delete;
    ShortcutWalk& operator=(const ShortcutWalk&) = delete;

    // Walks path (ending in "\") and everything below it for files matching mask, checking each
    // with the given kind. Ends at the next entry once the scan is stopped.
    void WalkTree(const std::string& path, const std::string& mask, int kind);
    // The shortcuts in path (ending in "\") itself, none below it.
    void CheckFolder(const std::string& path);
    // The shortcut's target path; a target of 1 to 3 characters (a drive root such as "C:\")
    // comes back as "kiv", which always counts as valid. Throws when no shell-link object can
    // be made.
    std::string GetShortcutTarget(const std::string& file);

private:
    void Walk(const std::string& path, const std::string& mask, int kind, bool descend);
    // As GetShortcutTarget; whole is false when the target could not be read whole or exactly.
    std::string ReadShortcutTarget(const std::string& file, bool& whole);
    void CheckShortcut(const std::string& path, const DirEntry& entry);
    void ReportBrokenShortcut(const std::string& path, const DirEntry& entry, const std::string& target);

    const ScanContext& ctx_;
    ScanSink& sink_;
    PacedStatus status_;
    std::unique_ptr<ShellLinkReader> links_;
    DriveTypeCache drives_;
};

// The disk-file category on one drive: walks its root folder ("C:\") for broken shortcuts.
void ScanDriveForBrokenShortcuts(const ScanContext& ctx, ScanSink& sink, const std::string& root);

// Whether the walk of every fixed drive reaches a folder: its drive is walked (fixed, not the
// host's root) and no folder on the way is a link, a system folder or one the walks skip.
bool DriveWalkReaches(const std::string& folder, const std::string& bakPath);
// The disk-file category's look at the shell's desktop folders (the user's and all users'),
// once the drives are done, for those the drive walk does not reach: under Wine the user's
// Desktop is a link to the host's desktop or home folder. Only the folder's own shortcuts,
// nothing below it: never the host's home beyond it.
void ScanDesktopShortcuts(const ScanContext& ctx, ScanSink& sink);

}  // namespace tw
