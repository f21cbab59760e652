#include "scan/ScanCategories.h"

#include <stdexcept>

#include "platform/FileSystem.h"
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

// The one table, in checklist order.
std::vector<ScanCategory> Table() {
    return {
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
