// What one front end's scans share, set up once when it starts: the system, the Windows folder,
// the settings in the data folder, the user's ignore list, the checklist rows and the scan
// context made of them. The window and the console scanner both start here.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "scan/Checklist.h"
#include "scan/ScanDriver.h"
#include "scan/Settings.h"
#include "scan/osinfo/OsInfo.h"
#include "scanners/IgnoreList.h"
#include "scanners/ScanContext.h"

namespace tw {

struct ScanSession {
    OsInfo os;
    std::string windowsDir;  // empty: not found, and nothing can be scanned
    WindowSettings settings;
    std::vector<ChecklistItem> checklist;
    ScanContext context;
    // False when the ignore list could not be read: it then ignores nothing, so every object is
    // reported again and none is lost.
    bool ignoreListRead = false;
};

// Asks the system, finds the Windows folder, reads "Set.ini" of the data folder (minWidth and
// minHeight as LoadSettings) and loads `ignored`. Without a Windows folder it reads no further.
ScanSession OpenScanSession(IgnoreList& ignored, int minWidth = 0, int minHeight = 0);

// The session's scan driver for a view, with the program's scanners, reporting nothing that
// `ignored` holds; the list must outlive the driver.
std::unique_ptr<ScanDriver> MakeScanDriver(ScanView& view, const ScanSession& session, const IgnoreList& ignored);

}  // namespace tw
