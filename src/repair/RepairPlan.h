// What the repair of one row would do, decided before anything is deleted: the one place that
// judges a row for repair. The repair carries out the plan (repair/Repair.h), the console's dry
// run prints it, and a window may show it for a row; none of them judges a row on its own.
//
//     RepairPlanner planner(ignoreList, OsFamily(major));
//     RepairPlan plan = planner.Plan(finding, RepairPlanner::WhatGoes);
//     if (plan.outcome == RepairOutcome::Repaired) for (auto& line : plan.goes) ...;
#pragma once
#include <windows.h>
#include <memory>
#include <string>
#include <vector>

#include "platform/OsFamily.h"
#include "scanners/Finding.h"
#include "scanners/IgnoreList.h"
#include "scanners/disk/WineDesktopEntries.h"

namespace tw {

enum class RepairOutcome {
    Repaired,  // of a plan: what `goes` names would go
    AlreadyGone,
    Failed,
    // Nothing was deleted: what would go could not be written to the undo file first.
    NotRecorded,
    // The row names an object on the ignore list, or one that holds one or lies in one: left
    // alone.
    Ignored,
    // What the row says is missing is there again (or can no longer be judged missing): the
    // row is no fault any more, and nothing was deleted.
    NowPresent,
};

// How the object of a row would go.
enum class RepairStep {
    None,               // nothing goes: the outcome says why
    RecycleFile,        // the file, into the Recycle Bin (erased where the drive has none)
    RemoveEmptyFolder,  // the folder, only while it is empty, into the Recycle Bin where it can
    DeleteKey,          // the key with everything below it (a registry link below: that link only)
    DeleteLink,         // the key, itself a registry link: the link, never what it leads to
    DeleteValue,        // the value the row names
    EmptyDefault,       // the key's default text: it stays, as the empty text
    DeleteDefault,      // the key's default value (empty already, or not a text)
    UninstallProduct,   // the product's own uninstall through the system's installer
    MoveToHostTrash,    // a file (or empty folder) of Wine's leftovers, into the desktop's trash
};

struct RepairPlan {
    RepairOutcome outcome = RepairOutcome::Failed;
    RepairStep step = RepairStep::None;
    // What the step acts on: the registry root and key path of a registry step, the path of a
    // disk or host step (a folder without its trailing backslash), the product code of an
    // uninstall.
    HKEY root = nullptr;
    std::string target;
    // What would go, one line each, when the outcome is Repaired: a file's or folder's path, the
    // installer's command line, and (asked for WhatGoes) a registry row's records as the undo
    // file would hold them: the line of each key, then the lines of its values.
    std::vector<std::string> goes;
    // NowPresent: the path that is there again (the row's location when it was judged as a
    // whole). Failed or AlreadyGone of a host row or an uninstall entry: why, as the log and the
    // user are told it (may be empty).
    std::string why;
};

// Whether what the row says is missing is still missing, judged as the scanner judged it. A
// row that names no path (an empty key, a zero count) has nothing to re-check. `present` gets
// the first path found there again.
bool StillMissing(const Finding& f, std::string* present = nullptr);

// Plans rows, one after the other, for one command: what it learns of the desktop's folders
// (Wine's leftovers) holds until Forget. Reads the registry and the disks, changes nothing (the
// records of WhatGoes are written to a scratch file of the temporary folder and removed).
class RepairPlanner {
public:
    enum Detail {
        OutcomeOnly,  // what the repair needs: the outcome and the step
        WhatGoes,     // also every registry key and value that would go
    };
    // `ignored` (null: none) must outlive the planner.
    explicit RepairPlanner(const IgnoreList* ignored = nullptr, OsFamily os = OsFamily());
    ~RepairPlanner();
    RepairPlanner(const RepairPlanner&) = delete;
    RepairPlanner& operator=(const RepairPlanner&) = delete;

    RepairPlan Plan(const Finding& f, Detail detail = OutcomeOnly);
    // The desktop's folders changed (rows of them went): what was learnt of them is stale.
    void Forget();
    // The judgement of Wine's leftovers the plans use, which also moves them to the trash.
    WineLeftovers& HostLeftovers();

private:
    RepairPlan PlanDisk(const Finding& f);
    RepairPlan PlanHost(const Finding& f);
    RepairPlan PlanKey(const Finding& f);
    RepairPlan PlanValue(const Finding& f);
    RepairPlan PlanProduct(const Finding& f);
    // Fills plan.goes with what the undo file would record for it; settles a plan whose record
    // fails (NotRecorded) or finds nothing (AlreadyGone).
    void ListRecords(const Finding& f, RepairPlan& plan);

    const IgnoreList* ignored_;
    OsFamily os_;
    std::unique_ptr<WineLeftovers> host_;
    std::string scratch_;  // the folder of the WhatGoes records, once made
};

}  // namespace tw
