#include "app/ScanDriver.h"
#include "scanners/disk/BrokenShortcuts.h"
#include "scanners/disk/EmptyFolders.h"
#include "scanners/disk/WineDesktopEntries.h"
#include "scanners/registry/KivChkRegClassErr.h"
#include "scanners/registry/KivChkRegErr.h"
#include "scanners/registry/KivChkRegMenuErr.h"
#include "scanners/registry/KivChkRegUninstallErr.h"
#include "scanners/registry/SharedDllScan.h"

namespace tw {

ScanCategories DefaultScanCategories() {
    ScanCategories c;
    c.softwareKeys = ChkSoftwareErr;
    c.contextMenuHandlers = ChkContextMenuErr;
    c.startMenuOrder = ChkMenuOrderErr;
    c.fileTypeThread = [](const ScanContext& ctx, ScanSink& sink) {
        return std::unique_ptr<WorkerThread>(new TChkRegClassErr(ctx, sink));
    };
    c.helpFiles = ChkHelpErr;
    c.sharedDlls = Scan_DLLerr;
    c.uninstallEntries = ChkUninstallErr;
    c.fonts = ChkFontErr;
    c.hiveThread = [](const ScanContext& ctx, ScanSink& sink, HKEY root) {
        std::unique_ptr<TChkRegErr> t(new TChkRegErr(ctx, sink));
        t->FRootKey = root;
        return std::unique_ptr<WorkerThread>(std::move(t));
    };
    c.diskFiles = ScanDriveForBrokenShortcuts;
    c.directories = Scan_Direrr;
    c.wineDesktop = ScanWineDesktopEntries;
    return c;
}

}  // namespace tw
