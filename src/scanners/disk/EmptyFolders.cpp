#include "scanners/disk/EmptyFolders.h"

#include <shlobj.h>

#include "platform/FileSystem.h"
#include "scanners/disk/WalkRules.h"

namespace tw {

namespace {

const char kStatusPrefix[] = "扫描磁盘目录错误：";
// Every entry counts: hidden and system files and folders make a folder non-empty.
const DWORD kListed = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;

bool SamePath(const std::string& a, const std::string& b) {
    return a.size() == b.size() && !a.empty() && ContainsIgnoringCase(a, b);
}

}  // namespace

EmptyFolderWalk::EmptyFolderWalk(const ScanContext& ctx, ScanSink& sink) : ctx_(ctx), sink_(sink), status_(sink) {}

void EmptyFolderWalk::FindEmptyDirs(const std::string& dir) {
    if (IsSkippedFolder(dir, ctx_.bakPath)) return;
    if (status_.Due()) status_.Show(kStatusPrefix + dir);

    std::vector<std::string> subfolders;
    bool listed = false, holdsSomething = false, cut = false;
    // One listing of everything serves both questions: which subfolders to walk, and whether
    // the folder holds anything at all.
    ListDirectory(dir + "\\*.*", kListed, [&](const DirEntry& e) {
        if (!ctx_.scanning()) {
            cut = true;
            return false;
        }
        // Every folder that can be listed yields at least "." and "..".
        listed = true;
        if (!(e.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            holdsSomething = true;
        } else if (!IsDotEntry(e.name)) {
            // A link counts as content, but the walk never follows it; so does a folder whose
            // name the code page cannot hold (its look-alike would be another folder).
            holdsSomething = true;
            if (IsEnterableFolder(e) && e.nameExact) subfolders.push_back(e.name);
        }
        sink_.ProcessMessages();
        return true;
    });
    if (!cut && listed && !holdsSomething && ctx_.scanning()) found_.push_back(dir);

    for (const std::string& name : subfolders) {
        if (!ctx_.scanning()) break;
        FindEmptyDirs(dir + "\\" + name);
    }
}

void ScanEmptyFolders(const ScanContext& ctx, ScanSink& sink) {
    // The 98 family keeps program groups per user. Later systems show the all-users groups and
    // the user's own side by side, and installers for one user (and Wine for most installers)
    // put theirs in the user's folder: both trees are walked, each with its own Startup folder
    // exempt.
    // The shell's own folders in a tree (Startup, Administrative Tools) are places the system
    // keeps and makes again, empty or not: never reported.
    struct Tree {
        int programs;
        std::vector<int> shellFolders;
        const char* name;
    };
    std::vector<Tree> trees;
    const Tree user{CSIDL_PROGRAMS, {CSIDL_STARTUP, CSIDL_ALTSTARTUP, CSIDL_ADMINTOOLS}, "CSIDL_PROGRAMS"};
    if (ctx.os.IsNineX()) {
        trees.push_back(user);
    } else {
        trees.push_back({CSIDL_COMMON_PROGRAMS, {CSIDL_COMMON_STARTUP, CSIDL_COMMON_ALTSTARTUP, CSIDL_COMMON_ADMINTOOLS},
                         "CSIDL_COMMON_PROGRAMS"});
        trees.push_back(user);
    }
    EmptyFolderWalk walk(ctx, sink);
    std::vector<std::string> shellFolders, walked;
    std::string unresolved;
    for (const Tree& tree : trees) {
        const std::string programs = SpecialFolder(ctx.desktop, tree.programs);
        // Without its folder a tree has nothing to look at: never fall back to walking the root
        // of the current drive, and say that it could not look.
        if (programs.empty()) {
            unresolved += (unresolved.empty() ? "" : "、") + std::string(tree.name);
            continue;
        }
        bool seen = false;
        for (const std::string& w : walked) seen = seen || SamePath(w, programs);
        if (seen) continue;
        walked.push_back(programs);
        for (int csidl : tree.shellFolders) shellFolders.push_back(SpecialFolder(ctx.desktop, csidl));
        if (ctx.scanning()) walk.FindEmptyDirs(programs);
    }

    // Paths compare without letter case, as the file system does: a Startup folder spelt
    // "Startup" by the shell and "StartUp" on disk is the same folder, and never reported.
    for (const std::string& dir : walk.Found()) {
        bool shells = false;
        for (const std::string& s : shellFolders) shells = shells || SamePath(dir, s);
        if (shells) continue;
        Finding f;
        f.caption = kDiskDirCaption;
        f.kind = FindingKind::Folder;
        f.location = dir;
        sink.AddFinding(f);
        sink.ProcessMessages();
    }
    if (!unresolved.empty()) EndScanAt(unresolved, "系统无法给出开始菜单程序文件夹的位置");
}

}  // namespace tw
