#include "scan/ScanCategories.h"

#include <stdexcept>

#include "platform/FileSystem.h"
#include "platform/LoadText.h"
#include "platform/Text.h"
#include "scan/SystemFileCheck.h"
#include "scanners/disk/BrokenShortcuts.h"
#include "scanners/disk/EmptyFolders.h"
#include "scanners/disk/WineDesktopEntries.h"
#include "scanners/registry/EmptySoftwareKeys.h"
#include "scanners/registry/FileTypes.h"
#include "scanners/registry/Fonts.h"
#include "scanners/registry/HelpFiles.h"
#include "scanners/registry/HiveReferences.h"
#include "scanners/registry/ProgramMenu.h"
#include "scanners/registry/SharedDlls.h"
#include "scanners/registry/UninstallEntries.h"
#include "strings.h"

namespace tw {

namespace {

ThreadStep HiveThread(HKEY root) {
    return [root](const ScanContext& ctx, ScanSink& sink) {
        std::unique_ptr<HiveReferenceScan> t(new HiveReferenceScan(ctx, sink));
        t->root = root;
        return std::unique_ptr<WorkerThread>(std::move(t));
    };
}

std::unique_ptr<WorkerThread> FileTypeThread(const ScanContext& ctx, ScanSink& sink) {
    return std::unique_ptr<WorkerThread>(new FileTypeScan(ctx, sink));
}

void SystemFileCheck(const ScanContext& ctx, ScanSink& sink) { RunSystemFileCheck(sink, ctx.owner, ctx.windowsDir); }

ScanCategory Ui(ChecklistRow row, unsigned caption, unsigned note, int image, UiStep step,
                Ticked ticked = Ticked::Yes) {
    return {row, caption, note, image, ticked, Shown::Always, RunsOn::UiThread, std::move(step), {}, {}, false};
}

ScanCategory Worker(ChecklistRow row, unsigned caption, int image, RunsOn runs, ThreadStep thread) {
    return {row, caption, IDS_NOTE_RECOMMENDED, image, Ticked::Yes, Shown::Always, runs, {}, std::move(thread), {},
            false};
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
    return (f.OnDisk() && !f.OnHost()) || f.kind == FindingKind::ProductUninstall;
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
            return [](const Finding& f) { return RemovedFromDisk(f) || f.OnHost() || InClassesTree(f); };
        default: return nullptr;
    }
}

// The one table, in checklist order.
std::vector<ScanCategory> Table() {
    std::vector<ScanCategory> rows = {
        Ui(kRowSoftware, IDS_ROW_SOFTWARE, IDS_NOTE_RECOMMENDED, 17, ScanEmptySoftwareKeys),
        Ui(kRowProgramMenu, IDS_ROW_PROGRAM_MENU, IDS_NOTE_RECOMMENDED, 16,
           ProgramMenuStep(ScanContextMenuHandlers, ScanStartMenuOrder)),
        Worker(kRowFileTypes, IDS_ROW_FILE_TYPES, 11, RunsOn::WorkerThread, FileTypeThread),
        Ui(kRowHelpFiles, IDS_ROW_HELP_FILES, IDS_NOTE_RECOMMENDED, 18, ScanHelpFiles),
        Ui(kRowSharedDlls, IDS_ROW_SHARED_DLLS, IDS_NOTE_RECOMMENDED, 11, ScanSharedDlls),
        Ui(kRowUninstall, IDS_ROW_UNINSTALL, IDS_NOTE_RECOMMENDED, 14, ScanUninstallEntries),
        Ui(kRowFonts, IDS_ROW_FONTS, IDS_NOTE_RECOMMENDED, 15, ScanFonts),
        // The three hives are read side by side, beside everything else the scan does.
        Worker(kRowCurrentUser, IDS_ROW_CURRENT_USER, 12, RunsOn::WorkerFromStart, HiveThread(HKEY_CURRENT_USER)),
        Worker(kRowAllUsers, IDS_ROW_ALL_USERS, 13, RunsOn::WorkerFromStart, HiveThread(HKEY_USERS)),
        Worker(kRowMachine, IDS_ROW_MACHINE, 10, RunsOn::WorkerFromStart, HiveThread(HKEY_LOCAL_MACHINE)),
        // Every drive, then the desktop folders the drive walk does not reach.
        {kRowDiskFiles, IDS_ROW_DISK_FILES, IDS_NOTE_NOT_FOR_MULTIBOOT, 20, Ticked::Yes, Shown::Always,
         RunsOn::EachFixedDrive, ScanDesktopShortcuts, {}, ScanDriveForBrokenShortcuts, true},
        // Every Windows row but the last starts ticked: the directory walk only where the file
        // checker's row follows it.
        Ui(kRowDiskDirs, IDS_ROW_DISK_DIRS, IDS_NOTE_NOT_FOR_MULTIBOOT, 19, ScanEmptyFolders, Ticked::WithFileChecker),
        {kRowWineDesktop, IDS_ROW_WINE_DESKTOP, IDS_NOTE_RECOMMENDED, 20, Ticked::Yes, Shown::UnderWine,
         RunsOn::UiThread, ScanWineDesktopEntries, {}, {}, false},
        {kRowSystemFiles, IDS_ROW_SYSTEM_FILES, IDS_NOTE_OPTIONAL, 21, Ticked::No, Shown::WithFileChecker,
         RunsOn::ScanEnd, SystemFileCheck, {}, {}, false},
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
        if (c.row == row) return LoadText(c.caption);
    return {};
}

bool SystemFileCheckerPresent(OsFamily os, const std::string& windowsDir) {
    return os.IsNt() && FileExists(windowsDir + "\\system32\\sfc.exe");
}

}  // namespace tw
