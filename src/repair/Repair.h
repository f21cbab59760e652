// Repair of Findings: turns rows of the report list back into deletions in the registry and on
// disk, marks the rows that are done and writes the repair log.
#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/OsFamily.h"
#include "repair/Deletion.h"
#include "repair/ProductUninstall.h"
#include "repair/RepairPlan.h"
#include "repair/RepairProgress.h"
#include "repair/RepairUi.h"
#include "repair/RepairView.h"
#include "scanners/FindingList.h"
#include "scanners/IgnoreList.h"
#include "scanners/disk/WineDesktopEntries.h"

namespace tw {

class UndoFile;

// What repair asks the scan after rows were repaired: the rows a new scan of the same
// categories finds now, in whatever the repair may have emptied or left leading nowhere.
using ScanAfterRepairFn = std::function<std::vector<Finding>(const std::vector<Finding>& repaired)>;

// What repair reads besides the rows.
struct RepairContext {
    explicit RepairContext(uint32_t major = 5) : os(major) {}
    explicit RepairContext(OsFamily family) : os(family) {}
    OsFamily os;  // the 98 family deletes a key in one call; the others level by level
    // Objects repair never touches (null: none). Must outlive the repairer.
    const IgnoreList* ignored = nullptr;
    // Where the undo files go; empty for the "Undo" folder beside the program.
    std::string undoFolder;
    // Shown while a product's own uninstall runs, with a way to stop waiting (null: nothing).
    // Must outlive the repairer.
    RepairProgress* progress = nullptr;
    // The second look after a repair (null: none). What it finds that the list does not hold is
    // added to the list, marked, and repaired within the same command and into the same undo
    // file, until a look finds nothing new: a repair leaves nothing for the next scan.
    ScanAfterRepairFn scanAfterRepair;
};

class Repairer {
public:
    // `ui` hears the questions and what came of them; `backup` makes the registry backup and
    // says whether it succeeded.
    Repairer(FindingList& findings, RepairView& view, RepairUi& ui, RepairContext context,
             std::function<bool()> backup);

    // Repairs the selected row after the user's OK (nothing for none or a repaired row).
    void RepairSelected();
    // Offers the backup, asks once, then repairs every row without further questions.
    void RepairAll();
    // The rows the user chose (indexes of the list): one is the repair of one row; more are
    // asked for once, naming how many, and repaired like every row, each logged on its own.
    void RepairRows(const std::vector<int>& rows);
    // Hears what came of every row the commands above carried out: the row's index then, its
    // Finding and its outcome (the window marks each row with it).
    using RowOutcomeFn = std::function<void(int row, const Finding& f, RepairOutcome outcome)>;
    void SetRowOutcomes(RowOutcomeFn fn) { rowOutcome_ = std::move(fn); }

    // Carries out one row's plan (RepairPlanner::Plan) without asking, on its own copy of the
    // row: messages that run during a long deletion may change the list. Throws RegistryError when the empty default value
    // cannot be written. With an undo file, every registry deletion is recorded there first
    // and nothing is deleted whose record could not be written.
    RepairOutcome RepairFinding(Finding f, UndoFile* undo = nullptr);

    // The work of a repair of every row without its questions and closing messages: opens the
    // undo file (says so and returns false, having deleted nothing, when it cannot), repairs every row,
    // marks the repaired ones and writes the log entry. `each` (may be empty) hears every row's
    // index at the start, its Finding and its outcome, in row order.
    bool RepairAllQuietly(const std::function<void(int row, const Finding& f, RepairOutcome outcome)>& each,
                          RepairCounts* counts = nullptr);
    // The undo file of the last repair of every row (empty when it needed none).
    const std::string& UndoPath() const { return undoPath_; }
    // What came of the product uninstall of the row RepairFinding carried out last (an empty
    // code when it ran none).
    const ProductAnswer& LastProductAnswer() const { return productAnswer_; }
    // Why the last row of Wine's leftovers on the host was not repaired (empty when it was, or
    // when the row was no such row).
    const std::string& HostSaid() const { return hostSaid_; }

private:
    void RepairOne(int row);
    // The work of RepairAllQuietly for the listed rows; `all` writes the one log entry of a
    // repair of every row, otherwise each repaired row is logged.
    bool RepairRowsQuietly(const std::vector<int>& rows, bool all, const RowOutcomeFn& each, RepairCounts* counts);
    // Carry out a plan whose outcome is Repaired, each for its steps. A registry deletion is
    // recorded into `undo` (when given) first; nothing goes whose record failed.
    RepairOutcome DeleteFromDisk(const RepairPlan& plan);
    RepairOutcome DeleteValue(const RepairPlan& plan, const Finding& f, UndoFile* undo);
    RepairOutcome DeleteKey(const RepairPlan& plan, UndoFile* undo);
    // The installer's uninstall of the row's product (or what the plan found instead), logged
    // and kept in productAnswer_.
    RepairOutcome UninstallOf(const RepairPlan& plan, const Finding& f);
    // A row of Wine's leftovers into the desktop's trash; why it stays is logged and kept in
    // hostSaid_.
    RepairOutcome MoveHostRow(const RepairPlan& plan, const Finding& f);
    // Tells the user why the selected row was not repaired (false), or what a product's own
    // uninstall did; true when the row was repaired and the command goes on.
    bool TellRowOutcome(const Finding& f, RepairOutcome outcome, const UndoFile& undo);
    // Opens the command's undo file; says so and returns false when it cannot.
    bool OpenUndo(UndoFile& undo);
    // The rounds after a repair: scans again what `repaired` may have left, adds the rows the list
    // does not hold yet (marked kFoundAfterRepair) and repairs them without asking, into `undo`
    // (opened when a registry row first needs it: `undoOpen`), logging each; then again for
    // what those repairs left, at most three times. `each` hears every such row with an index
    // from `nextIndex` on. Counts into `tally`.
    void RepairWhatRepairLeft(std::vector<Finding> repaired, UndoFile& undo, bool& undoOpen, RepairCounts& tally,
                              int nextIndex,
                              const std::function<void(int row, const Finding& f, RepairOutcome outcome)>& each);
    // Marks the row with that identity, wherever it stands now.
    void MarkRow(RowId id, int hint);
    // Status line and controls from the number of rows still unmarked; says how many rows the
    // scan after the repair added.
    void ReportRemaining(bool allDone, int foundAfter = 0);

    FindingList& findings_;
    RepairView& view_;
    RepairUi& ui_;
    RepairContext context_;
    std::function<bool()> backup_;
    // Wine's launchers and MIME types removed from the host, whose caches are brought up to
    // date at the end of the command.
    WineCacheRefresh hostCaches_;
    // Decides every row; what it learns of the desktop's folders holds for the command under way.
    RepairPlanner planner_;
    // The plan of the row RepairFinding carried out last.
    RepairPlan lastPlan_;
    std::string hostSaid_;
    std::string undoPath_;
    // What came of the last product uninstall.
    ProductAnswer productAnswer_;
    RowOutcomeFn rowOutcome_;
};

}  // namespace tw
