#include "scanners/disk/WineDesktopEntries.h"

#include <windows.h>

#include <functional>

#include "platform/FileSystem.h"
#include "platform/StartProgram.h"
#include "platform/Text.h"
#include "platform/WineHost.h"
#include "scanners/PathCheck.h"
#include "scanners/disk/WineJudge.h"

namespace tw {

using namespace wine;

const char* const kWineLauncherCaption = "Wine 菜单项错误";
const char* const kWineMenuCaption = "Wine 菜单错误";
const char* const kWineMenuFolderCaption = "Wine 菜单目录错误";
const char* const kWineAssociationCaption = "Wine 文件关联错误";
const char* const kWineMimeTypeCaption = "Wine 文件类型错误";
const char* const kWineDesktopFileCaption = "Wine 桌面快捷方式错误";
const char* const kWineIconCaption = "Wine 图标错误";

bool IsWineHostCaption(const std::string& caption) {
    for (const char* c : {kWineLauncherCaption, kWineMenuCaption, kWineMenuFolderCaption, kWineAssociationCaption,
                          kWineMimeTypeCaption, kWineDesktopFileCaption, kWineIconCaption})
        if (caption == c) return true;
    return false;
}

namespace {

class WineDesktopScan {
public:
    WineDesktopScan(WineLeftovers::Judge& j, ScanSink& sink, const ScanContext& ctx) : j_(j), sink_(sink), ctx_(ctx) {}

    void Run() {
        sink_.ShowStatus("扫描 Wine 遗留的桌面菜单和文件关联：" + j_.unix.dataHome);
        const std::function<bool()> going = [this] { return ctx_.scanning(); };
        std::vector<Finding> launcherRows, folderRows;
        j_.HoldsOnlyStale(j_.wine, &launcherRows, &folderRows, going);
        for (const Finding& r : launcherRows) Add(r);
        // Menus whose launchers are gone, then the folder entries no working menu uses.
        for (const Judge::MenuUse& m : j_.Menus().menus)
            if (m.wine) Report(kWineMenuCaption, m.path, j_.Menu(m.path));
        Each(j_.directories, "wine-", ".directory", &Judge::JudgeDirectory, kWineMenuFolderCaption);
        for (const Finding& r : folderRows) Add(r);
        for (const Judge::AppEntry& a : j_.Apps().entries)
            if (a.wine) Report(kWineAssociationCaption, a.path, j_.Association(a.path));
        Each(j_.mime, "x-wine-extension-", ".xml", &Judge::JudgeMimeType, kWineMimeTypeCaption);
        Each(j_.desktop, "", ".desktop", &Judge::JudgeLauncher, kWineDesktopFileCaption);
        for (const HostPath& folder : j_.IconFolders()) {
            Each(folder, "", ".png", &Judge::JudgeIcon, kWineIconCaption);
            Each(folder, "", ".xpm", &Judge::JudgeIcon, kWineIconCaption);
        }
    }

private:
    using Judge = WineLeftovers::Judge;

    void Add(const Finding& f) {
        if (!ctx_.scanning()) return;
        sink_.AddFinding(f);
        sink_.ProcessMessages();
    }

    // A row for a stale file that a row can name (one the code page cannot hold stays).
    void Report(const char* caption, const HostPath& p, const Verdict& v) {
        if (v.stale && !p.unix.empty()) Add(Judge::Row(caption, FindingKind::HostFile, p.unix, v));
    }

    // Each file of a folder whose name has `head` and `tail`, judged.
    void Each(const HostPath& dir, const char* head, const char* tail, Verdict (Judge::*judge)(const HostPath&),
              const char* caption) {
        std::vector<HostPath> files;
        FilesOf(dir, head, tail, files);
        for (const HostPath& p : files) {
            if (!ctx_.scanning()) return;
            Report(caption, p, j_.Of(p, judge));
        }
    }

    Judge& j_;
    ScanSink& sink_;
    const ScanContext& ctx_;
};

// The desktop folder as xdg-user-dir names it: XDG_DESKTOP_DIR of user-dirs.dirs ("$HOME/..."
}  // namespace

void ScanWineDesktopEntries(const ScanContext& ctx, ScanSink& sink) {
    WineLeftovers::Judge judge(true);
    if (!judge.ok) return;
    if (judge.apps.dos.empty()) EndScanAt(judge.unix.dataHome, "无法通过 Wine 的驱动器映射读取这个文件夹");
    if (judge.menus.dos.empty()) EndScanAt(judge.unix.configHome, "无法通过 Wine 的驱动器映射读取这个文件夹");
    WineDesktopScan(judge, sink, ctx).Run();
}

namespace {

// The folder a path lies directly in, and whether it has no "." or ".." elements.
std::string FolderOf(const std::string& unix) { return unix.substr(0, unix.rfind('/')); }
bool PlainPath(const std::string& unix) {
    for (const std::string& part : SplitAt(unix.substr(1), '/'))
        if (part.empty() || part == "." || part == "..") return false;
    return true;
}
bool Below(const std::string& unix, const std::string& folder) { return StartsWith(unix, folder + "/"); }

}  // namespace

WineLeftovers::WineLeftovers() : judge_(new Judge(false)) {}
WineLeftovers::~WineLeftovers() = default;

WineRecheck WineLeftovers::Recheck(const Finding& f, std::string& why) {
    why.clear();
    Judge& j = *judge_;
    if (!j.ok || !f.OnHost()) return WineRecheck::CannotTell;
    const std::string& at = f.location;
    const std::string data = j.unix.dataHome, in = FolderOf(at);
    const bool folderRow = f.kind == FindingKind::HostFolder;
    // Only what the category's own folders hold, and only of the kind of the row's caption.
    bool own = false;
    Verdict (Judge::*judge)(const HostPath&) = nullptr;
    if (f.caption == kWineLauncherCaption && !folderRow) {
        own = Below(at, data + "/applications/wine");
        judge = &Judge::JudgeLauncher;
    } else if (f.caption == kWineMenuFolderCaption && folderRow) {
        own = Below(at, data + "/applications/wine");
    } else if (f.caption == kWineMenuCaption) {
        own = in == j.unix.configHome + "/menus/applications-merged";
        judge = &Judge::JudgeMenu;
    } else if (f.caption == kWineMenuFolderCaption) {
        own = in == data + "/desktop-directories";
        judge = &Judge::JudgeDirectory;
    } else if (f.caption == kWineAssociationCaption) {
        own = in == data + "/applications";
        judge = &Judge::JudgeAssociation;
    } else if (f.caption == kWineMimeTypeCaption) {
        own = in == data + "/mime/packages";
        judge = &Judge::JudgeMimeType;
    } else if (f.caption == kWineDesktopFileCaption) {
        own = in == j.unix.desktop;
        judge = &Judge::JudgeLauncher;
    } else if (f.caption == kWineIconCaption) {
        own = in == data + "/icons" || in == data + "/pixmaps" ||
              (Below(in, data + "/icons/hicolor") && EndsWith(in, "/apps") &&
               FolderOf(FolderOf(in)) == data + "/icons/hicolor");
        judge = &Judge::JudgeIcon;
    }
    if (!own || folderRow == (judge != nullptr) || !PlainPath(at)) {
        why = "不在 Wine 菜单和文件关联的文件夹中，没有删除";
        return WineRecheck::Refused;
    }
    const HostPath p = FromUnix(at);
    if (p.dos.empty()) return WineRecheck::CannotTell;
    bool gone = false;
    const DWORD a = j.Attributes(p, gone);
    if (a == INVALID_FILE_ATTRIBUTES) return gone ? WineRecheck::Gone : WineRecheck::CannotTell;
    if (((a & FILE_ATTRIBUTE_DIRECTORY) != 0) != folderRow) {
        why = folderRow ? "这已经不是文件夹，没有删除" : "这已经不是文件，没有删除";
        return WineRecheck::Refused;
    }
    if (folderRow ? (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0 : IsLinkPath(p)) {
        why = "这是一个符号链接：通过它删除会删除它所指向的文件，所以没有删除";
        return WineRecheck::Refused;
    }
    const bool stale = folderRow ? j.HoldsOnlyStale(p, nullptr, nullptr, [] { return true; }) : (j.*judge)(p).stale;
    return stale ? WineRecheck::Stale : WineRecheck::NotStale;
}

bool WineLeftovers::MoveToTrash(const Finding& f, std::string& why) {
    const Judge& j = *judge_;
    const std::string trash = j.unix.dataHome + "/Trash";
    switch (MoveToHostTrash(AnsiToWide(DosPathOfUnix(f.location)), AnsiToUtf8(f.location), j.trash.dos)) {
        case HostTrashResult::Moved: return true;
        case HostTrashResult::NoTrash: why = "回收站“" + trash + "”不能使用，没有删除"; break;
        case HostTrashResult::NotMoved: why = "无法把它移到回收站“" + trash + "”，没有删除"; break;
    }
    return false;
}

void WineCacheRefresh::Removed(const Finding& f) {
    if (f.caption == kWineLauncherCaption || f.caption == kWineAssociationCaption) launchers_ = true;
    if (f.caption == kWineMimeTypeCaption) mimeTypes_ = true;
}

void WineCacheRefresh::Run() {
    WineHostFolders folders;
    const bool launchers = launchers_, mimeTypes = mimeTypes_;
    launchers_ = mimeTypes_ = false;
    if ((!launchers && !mimeTypes) || !FindWineHostFolders(folders)) return;
    // Wine starts a Unix program named by its Windows path; its arguments reach it as written,
    // so they are the Unix paths.
    auto run = [](const char* tool, const std::string& folder) {
        for (const char* dir : {"/usr/bin/", "/usr/local/bin/", "/bin/"}) {
            const std::string program = DosPathOfUnix(dir + std::string(tool));
            if (program.empty() || JudgePath(program) != PathState::File) continue;
            StartProgram("\"" + program + "\" \"" + folder + "\"");
            return;
        }
    };
    if (launchers) run("update-desktop-database", folders.dataHome + "/applications");
    if (mimeTypes) run("update-mime-database", folders.dataHome + "/mime");
}

}  // namespace tw
