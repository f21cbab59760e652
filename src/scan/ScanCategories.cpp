#include "scan/ScanCategories.h"

#include <stdexcept>

#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "scan/SystemFileCheck.h"
#include "scanners/disk/BrokenShortcuts.h"
#include "scanners/disk/EmptyFolders.h"
#include "scanners/disk/WineDesktopEntries.h"
#include "scanners/registry/KivChkRegClassErr.h"
#include "scanners/registry/KivChkRegErr.h"
#include "scanners/registry/KivChkRegMenuErr.h"
#include "scanners/registry/KivChkRegUninstallErr.h"
#include "scanners/registry/SharedDllScan.h"

namespace tw {

namespace {

const char kRecommended[] = "推荐";
const char kNotForMultiBoot[] = "多操作系统用户不推荐";

const char kMultiBootQuestion[] =
    "警告！Tarnwell检测到您的计算机安装了多个操作系统，在安装有多种文件系统（例如：同时存在Fat32和"
    "NTFS格式的分区）的机器上扫描磁盘文件错误Tarnwell可能无法准确地判断快捷方式是否有效，您真的要进行扫描吗？";

ThreadStep HiveThread(HKEY root) {
    return [root](const ScanContext& ctx, ScanSink& sink) {
        std::unique_ptr<TChkRegErr> t(new TChkRegErr(ctx, sink));
        t->FRootKey = root;
        return std::unique_ptr<WorkerThread>(std::move(t));
    };
}

std::unique_ptr<WorkerThread> FileTypeThread(const ScanContext& ctx, ScanSink& sink) {
    return std::unique_ptr<WorkerThread>(new TChkRegClassErr(ctx, sink));
}

void SystemFileCheck(const ScanContext& ctx, ScanSink& sink) { RunSystemFileCheck(sink, ctx.owner, ctx.windowsDir); }

ScanCategory Ui(ChecklistRow row, const char* caption, const char* note, int image, UiStep step,
                Ticked ticked = Ticked::Yes) {
    return {row, caption, note, image, ticked, Shown::Always, RunsOn::UiThread, std::move(step), {}, {}, nullptr};
}

ScanCategory Worker(ChecklistRow row, const char* caption, int image, RunsOn runs, ThreadStep thread) {
    return {row, caption, kRecommended, image, Ticked::Yes, Shown::Always, runs, {}, std::move(thread), {}, nullptr};
}

// What a repaired row may leave behind, by what it deleted.
bool IsRegistryRow(const Finding& f) { return !f.OnDisk(); }
bool InClassesTree(const Finding& f) {
    if (f.OnDisk()) return false;
    if (f.kind == FindingKind::ProductUninstall || f.caption == "HKEY_CLASSES_ROOT") return true;
    const std::string path = "\\" + LowerAscii(f.location) + "\\";
    return path.find("\\software\\classes\\") != std::string::npos;
}
// A shortcut or folder of the system's disks (not a file Wine left on the host).
bool RemovedFromDisk(const Finding& f) {
    return (f.OnDisk() && !IsWineHostRow(f)) || f.kind == FindingKind::ProductUninstall;
}
bool RemovedFolder(const Finding& f) { return f.kind == FindingKind::Folder || f.kind == FindingKind::ProductUninstall; }

// Which repairs each category must look after: an emptied program key (any registry row), an
// emptied Start-menu group and its order record (a shortcut or folder gone), a file type or
// context-menu handler whose class went (a row in a classes tree), a value naming a shortcut or
// folder that went, a Wine launcher or association of a shortcut or class that went. The walk of
// every disk is not repeated: only a shortcut leading to an emptied program group could be left,
// and the walk is the longest of all.
std::function<bool(const Finding&)> MadeStaleBy(ChecklistRow row) {
    switch (row) {
        case kRowSoftware: return IsRegistryRow;
        case kRowProgramMenu: return [](const Finding& f) { return RemovedFolder(f) || InClassesTree(f); };
        case kRowFileTypes: return InClassesTree;
        case kRowCurrentUser:
        case kRowAllUsers:
        case kRowMachine:
        case kRowDiskDirs: return RemovedFromDisk;
        case kRowWineDesktop:
            return [](const Finding& f) { return RemovedFromDisk(f) || IsWineHostRow(f) || InClassesTree(f); };
        default: return nullptr;
    }
}

// The one table, in checklist order.
std::vector<ScanCategory> Table() {
    std::vector<ScanCategory> rows = {
        Ui(kRowSoftware, "扫描：错误的应用软件信息", kRecommended, 17, ChkSoftwareErr),
        Ui(kRowProgramMenu, "扫描：错误的主程序菜单项", kRecommended, 16,
           ProgramMenuStep(ChkContextMenuErr, ChkMenuOrderErr)),
        Worker(kRowFileTypes, "扫描：无效的鼠标右键菜单和无效的文件类型", 11, RunsOn::WorkerThread, FileTypeThread),
        Ui(kRowHelpFiles, "扫描：错误的帮助文件", kRecommended, 18, ChkHelpErr),
        Ui(kRowSharedDlls, "扫描：错误的动态连接库", kRecommended, 11, Scan_DLLerr),
        Ui(kRowUninstall, "扫描：错误的反安装信息", kRecommended, 14, ChkUninstallErr),
        Ui(kRowFonts, "扫描：错误的字体信息", kRecommended, 15, ChkFontErr),
        // The three hives are read side by side, beside everything else the scan does.
        Worker(kRowCurrentUser, "扫描：当前用户的错误信息", 12, RunsOn::WorkerFromStart, HiveThread(HKEY_CURRENT_USER)),
        Worker(kRowAllUsers, "扫描：所有用户的错误信息", 13, RunsOn::WorkerFromStart, HiveThread(HKEY_USERS)),
        Worker(kRowMachine, "扫描：计算机的错误信息", 10, RunsOn::WorkerFromStart, HiveThread(HKEY_LOCAL_MACHINE)),
        // Every drive, then the desktop folders the drive walk does not reach.
        {kRowDiskFiles, "扫描：磁盘文件错误", kNotForMultiBoot, 20, Ticked::Yes, Shown::Always, RunsOn::EachFixedDrive,
         ScanDesktopShortcuts, {}, ScanDriveForBrokenShortcuts, kMultiBootQuestion},
        // Every Windows row but the last starts ticked: the directory walk only where the file
        // checker's row follows it.
        Ui(kRowDiskDirs, "扫描：磁盘目录错误", kNotForMultiBoot, 19, Scan_Direrr, Ticked::WithFileChecker),
        {kRowWineDesktop, "扫描：Wine 遗留的 Linux 桌面菜单和文件关联", kRecommended, 20, Ticked::Yes, Shown::UnderWine,
         RunsOn::UiThread, ScanWineDesktopEntries, {}, {}, nullptr},
        {kRowSystemFiles, "扫描：所有受保护的系统文件并用正确的 Microsoft 版本替换不正确版本", "可选", 21, Ticked::No,
         Shown::WithFileChecker, RunsOn::ScanEnd, SystemFileCheck, {}, {}, nullptr},
    };
    for (ScanCategory& c : rows) c.madeStaleBy = MadeStaleBy(c.row);
    return rows;
}

}  // namespace

ScanCategories::ScanCategories() : rows_(Table()) {
    for (ScanCategory& c : rows_) {
        c.step = nullptr;
        c.thread = nullptr;
        c.driveStep = nullptr;
    }
}

ScanCategory& ScanCategories::Row(ChecklistRow row) {
    return const_cast<ScanCategory&>(static_cast<const ScanCategories&>(*this).Row(row));
}

const ScanCategory& ScanCategories::Row(ChecklistRow row) const {
    for (const ScanCategory& c : rows_)
        if (c.row == row) return c;
    throw std::out_of_range("no scan category " + std::to_string(static_cast<int>(row)));
}

ScanCategories DefaultScanCategories() {
    ScanCategories c;
    c.rows_ = Table();
    return c;
}

UiStep ProgramMenuStep(std::function<void(const ScanContext&, ScanSink&, const std::string& type)> handlers,
                       UiStep startMenuOrder) {
    return [handlers, startMenuOrder](const ScanContext& ctx, ScanSink& sink) {
        if (handlers)
            for (const char* type : {"*", "Directory", "Drive", "Folder"}) handlers(ctx, sink, type);
        if (startMenuOrder) startMenuOrder(ctx, sink);
    };
}

std::string ChecklistCaption(int row) {
    const ScanCategories table;
    for (const ScanCategory& c : table.Rows())
        if (c.row == row) return c.caption;
    return {};
}

bool SystemFileCheckerPresent(OsFamily os, const std::string& windowsDir) {
    return os.IsNt() && FileExists(windowsDir + "\\system32\\sfc.exe");
}

}  // namespace tw
