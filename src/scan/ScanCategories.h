// The scan categories: one row each, in the order the checklist shows them. A row says all there
// is to know about its category: its checklist caption and note, its image, whether it starts
// ticked, where it is shown, on which thread it runs and the scanner that runs it. The checklist,
// the scan driver, the console scanner's row list and the tests all read this table, so a new
// category is a scanner of its own and one row here.
#pragma once
#include <windows.h>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/OsFamily.h"
#include "platform/Threads.h"
#include "scanners/ScanContext.h"
#include "scanners/ScanSink.h"

namespace tw {

// A category's own number: its checklist index on Windows (and so the console scanner's --rows
// number), and its name everywhere else. The Wine row, shown only under Wine, stands at index
// 12 there, before the system-file row.
enum ChecklistRow {
    kRowSoftware = 0,
    kRowProgramMenu = 1,
    kRowFileTypes = 2,
    kRowHelpFiles = 3,
    kRowSharedDlls = 4,
    kRowUninstall = 5,
    kRowFonts = 6,
    kRowCurrentUser = 7,
    kRowAllUsers = 8,
    kRowMachine = 9,
    kRowDiskFiles = 10,
    kRowDiskDirs = 11,
    kRowSystemFiles = 12,
    kRowWineDesktop = 13,
};

// Where the checklist shows a row.
enum class Shown {
    Always,
    WithFileChecker,  // on 2000/XP/2003 with the system's file checker present (SystemFileCheckerPresent)
    UnderWine,
};

// Whether a row starts ticked.
enum class Ticked {
    Yes,
    No,
    WithFileChecker,  // only where the file checker's row stands below it
};

// On which thread and when a row's scanner runs. A scan runs the ticked rows in table order.
enum class RunsOn {
    UiThread,         // `step`, in its turn, letting messages run between entries
    WorkerThread,     // `thread`, made and started in its turn; the scan ends once it has ended
    WorkerFromStart,  // `thread`, made and started when the scan starts, before every other row
    EachFixedDrive,   // `driveStep` on a worker thread, in its turn, once per fixed drive ("C:\");
                      // B: to Z:, never the drive that maps the host's root; an error ends that
                      // drive only. Then `step`, when there is one, once, on the same thread. The
                      // scan ends once the thread has ended.
    ScanEnd,          // `step`, once every other row has ended, unless the scan was stopped
};

using UiStep = std::function<void(const ScanContext&, ScanSink&)>;
using ThreadStep = std::function<std::unique_ptr<WorkerThread>(const ScanContext&, ScanSink&)>;
using DriveStep = std::function<void(const ScanContext&, ScanSink&, const std::string& root)>;

struct ScanCategory {
    ChecklistRow row;
    unsigned caption;  // the id of its checklist caption (IDS_ROW_...)
    unsigned note;     // the id of the checklist's second column
    int image;            // in the program's small image strip
    Ticked ticked;
    Shown shown;
    RunsOn runs;
    // The scanner: the one of the three that `runs` names. An empty one finds nothing.
    UiStep step;
    ThreadStep thread;
    DriveStep driveStep;
    // Whether the user is asked first (ScanView::ConfirmOnMultiBoot) on the 98 family when
    // several systems are installed; a No skips the row.
    bool askOnMultiBoot;
    // Whether repairing that row (of any category) may leave rows for this one to find: a key or
    // a folder emptied, an entry that led to what went. After a repair the scanned categories it
    // names are scanned again (ScanDriver::ScanAfterRepair). Null: never.
    std::function<bool(const Finding& repaired)> madeStaleBy = nullptr;
};

class ScanCategories {
public:
    // The rows without their scanners: no category finds anything until it is given one.
    ScanCategories();

    const std::vector<ScanCategory>& Rows() const { return rows_; }
    // A category by its number; replace its scanner only between scans.
    ScanCategory& Row(ChecklistRow row);
    const ScanCategory& Row(ChecklistRow row) const;

private:
    friend ScanCategories DefaultScanCategories();
    std::vector<ScanCategory> rows_;
};

// The categories with the scanners the program ships.
ScanCategories DefaultScanCategories();

// The program-menu row's scanner: the context-menu handlers of all files, folders, drives and
// shell folders (in that order), then the Start-menu order records.
UiStep ProgramMenuStep(std::function<void(const ScanContext&, ScanSink&, const std::string& type)> handlers,
                       UiStep startMenuOrder);

// The caption of a category, as the checklist shows it; empty for a number that is no category.
std::string ChecklistCaption(int row);

// True on 2000/XP/2003 where "<windows>\system32\sfc.exe" exists: only there can the scan end
// with the system's file check.
bool SystemFileCheckerPresent(OsFamily os, const std::string& windowsDir);

}  // namespace tw
