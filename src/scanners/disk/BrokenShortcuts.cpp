#include "scanners/disk/BrokenShortcuts.h"

#include <shlobj.h>

#include <cctype>
#include <vector>

#include "platform/ComScope.h"
#include "platform/Text.h"
#include "platform/Volumes.h"
#include "scanners/PathCheck.h"
#include "scanners/disk/WalkRules.h"

namespace tw {

const char kShortcutMask[] = "*.lnk";

namespace {

const char kStatusPrefix[] = "扫描磁盘文件错误：";
// Listed at once: folders (hidden ones too) and files of every attribute. Folders with the
// system attribute are not entered, as the walk has always left them alone.
const DWORD kListed = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;

}  // namespace

bool IsBrokenShortcutTarget(const std::string& target) {
    DriveTypeCache drives;
    return IsBrokenShortcutTarget(target, drives);
}

bool IsBrokenShortcutTarget(const std::string& target, DriveTypeCache& drives) {
    if (target.empty() || target == "kiv" || target[0] == '\\') return false;
    // A name that did not fit the code page comes back with "?" in it: such a target cannot be
    // looked up, and a working shortcut must never be taken for a broken one and deleted.
    if (target.find_first_of("?*") != std::string::npos) return false;
    UINT type = drives.TypeOf(target.substr(0, 3));
    if (type != DRIVE_FIXED && type != DRIVE_NO_ROOT_DIR) return false;
    // Neither a file nor a folder there, for certain: a target the system cannot judge (access
    // denied, a short name of another system) is not broken.
    return IsNothing(JudgePath(target));
}

ShortcutWalk::ShortcutWalk(const ScanContext& ctx, ScanSink& sink) : ctx_(ctx), sink_(sink), status_(sink) {}

ShortcutWalk::~ShortcutWalk() = default;

std::string ShortcutWalk::GetShortcutTarget(const std::string& file) {
    bool whole = true;
    return ReadShortcutTarget(file, whole);
}

std::string ShortcutWalk::ReadShortcutTarget(const std::string& file, bool& whole) {
    if (!links_) links_.reset(new ShellLinkReader);
    ShellLinkReader::Result r = links_->Read(file);
    whole = r.whole;
    if (r.target.size() >= 1 && r.target.size() <= 3) return "kiv";
    return r.target;
}

void ShortcutWalk::WalkTree(const std::string& path, const std::string& mask, int kind) {
    Walk(path, mask, kind, true);
}

void ShortcutWalk::CheckFolder(const std::string& path) { Walk(path, kShortcutMask, kShortcutCheck, false); }

void ShortcutWalk::Walk(const std::string& path, const std::string& mask, int kind, bool descend) {
    if (!ctx_.scanning()) return;
    if (IsSkippedFolder(path, ctx_.bakPath)) return;
    if (mask == kShortcutMask && status_.Due()) status_.Show(kStatusPrefix + path);
    sink_.ProcessMessages();

    // One listing serves both the folders to walk and the files to check: the entries come in
    // the same order as from two listings, and a folder is read once instead of twice.
    std::vector<std::string> subfolders;
    bool stopped = false;
    ListDirectory(path + "*.*", kListed, [&](const DirEntry& e) {
        // A name the code page cannot hold names another object (or none) in the ANSI text:
        // such an entry is neither entered nor judged.
        if (!e.nameExact) {
        } else if (e.attributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (IsEnterableFolder(e) && !(e.attributes & FILE_ATTRIBUTE_SYSTEM)) subfolders.push_back(e.name);
        } else if (MatchesMask(e.name, mask)) {
            if (!ctx_.scanning()) {
                stopped = true;
                return false;
            }
            if (kind == kShortcutCheck) CheckShortcut(path, e);
        }
        sink_.ProcessMessages();
        return true;
    });
    if (stopped || !descend) return;

    for (const std::string& name : subfolders) {
        WalkTree(path + name + "\\", mask, kind);
        if (!ctx_.scanning()) break;
    }
}

void ShortcutWalk::CheckShortcut(const std::string& path, const DirEntry& entry) {
    std::string target;
    bool whole = true;
    try {
        target = ReadShortcutTarget(path + entry.name, whole);
    } catch (const std::exception&) {
        return;  // this file cannot be judged; the walk goes on
    }
    // A target read only in part, or only as a look-alike, is not judged.
    if (whole && IsBrokenShortcutTarget(target, drives_)) ReportBrokenShortcut(path, entry, target);
}

void ShortcutWalk::ReportBrokenShortcut(const std::string& path, const DirEntry& entry, const std::string& target) {
    if (!ctx_.scanning()) return;
    Finding f;
    f.caption = kDiskFileCaption;
    f.kind = FindingKind::File;
    f.location = path + entry.name;
    f.keyName = IntToStr(static_cast<long long>(entry.size)) + " Byte";
    f.description = target;
    f.missingPaths.push_back(target);
    sink_.AddFinding(f);
    sink_.ProcessMessages();
}

void ScanDriveForBrokenShortcuts(const ScanContext& ctx, ScanSink& sink, const std::string& root) {
    ComScope com;
    ShortcutWalk walk(ctx, sink);
    walk.WalkTree(root, kShortcutMask, kShortcutCheck);
}

bool DriveWalkReaches(const std::string& folder, const std::string& bakPath) {
    if (folder.size() < 3 || folder[1] != ':' || folder[2] != '\\') return false;
    const std::string root = folder.substr(0, 3);
    if (DriveType(root) != DRIVE_FIXED || IsHostRootDrive(root)) return false;
    const std::string path = TrimTrailingBackslashes(folder);
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i < path.size() && IsLeadByteAt(path, i)) {
            ++i;
            continue;
        }
        if (i < path.size() && path[i] != '\\') continue;
        const std::string step = path.substr(0, i);
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!ReadPathData(step, data) || IsSkippedFolder(step + "\\", bakPath)) return false;
        const DWORD a = data.dwFileAttributes;
        if (!(a & FILE_ATTRIBUTE_DIRECTORY) || (a & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_SYSTEM))) return false;
    }
    return true;
}

void ScanDesktopShortcuts(const ScanContext& ctx, ScanSink& sink) {
    ComScope com;
    ShortcutWalk walk(ctx, sink);
    std::vector<std::string> seen;
    for (int csidl : {CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY}) {
        const std::string desktop = TrimTrailingBackslashes(SpecialFolder(ctx.desktop, csidl));
        if (desktop.size() < 3 || DriveWalkReaches(desktop, ctx.bakPath)) continue;
        bool again = false;
        for (const std::string& s : seen) again = again || LowerAscii(s) == LowerAscii(desktop);
        if (again) continue;
        seen.push_back(desktop);
        walk.CheckFolder(desktop + "\\");
    }
}

}  // namespace tw
