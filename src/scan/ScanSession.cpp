#include "scan/ScanSession.h"

#include "platform/DataFolder.h"
#include "platform/FileSystem.h"

namespace tw {

ScanSession OpenScanSession(IgnoreList& ignored, int minWidth, int minHeight) {
    ScanSession s;
    s.windowsDir = WindowsDirectory();
    if (s.windowsDir.empty()) return s;
    s.settings = LoadSettings(DataFileToRead("Set.ini"), minWidth, minHeight);
    s.ignoreListRead = ignored.Load();
    s.checklist = BuildChecklist(s.os.Family(), s.windowsDir);
    s.context.os = s.os.Family();
    s.context.windowsDir = s.windowsDir;
    s.context.bakPath = s.settings.bakPath;
    s.context.desktop = GetDesktopWindow();
    return s;
}

std::unique_ptr<ScanDriver> MakeScanDriver(ScanView& view, const ScanSession& session, const IgnoreList& ignored) {
    std::unique_ptr<ScanDriver> driver(new ScanDriver(view, session.context, DefaultScanCategories()));
    driver->SetIgnoreList(&ignored);
    return driver;
}

}  // namespace tw
