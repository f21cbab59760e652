#include "repair/Repair.h"

#include <unordered_set>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/HostSystem.h"
#include "platform/LoadText.h"
#include "platform/RecycleBin.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "repair/RepairLog.h"
#include "repair/UndoFile.h"
#include "scanners/PathCheck.h"
#include "scanners/disk/WineDesktopEntries.h"
#include "scanners/registry/MsiProduct.h"
#include "strings.h"

namespace tw {

namespace {

// Rows whose repair deletes from the registry itself, and so records it in the undo file first.
// A product's uninstall changes the registry through the installer, which nothing here can undo.
bool NeedsUndoRecord(const Finding& f) {
    return !f.OnDisk() && f.kind != FindingKind::ProductUninstall;
}

std::string RowRecord(const Finding& f) {
    return f.caption + " " + f.location + " " + f.keyName + " " + f.description;
}

// Counts a row's outcome; true when it was repaired.
bool Tally(RepairOutcome outcome, const Finding& f, const IgnoreList* ignored, RepairCounts& tally) {
    switch (outcome) {
        case RepairOutcome::Ignored:
            if (!ignored || !ignored->Contains(f)) ++tally.protectedRows;
            return false;
        case RepairOutcome::NowPresent: ++tally.nowPresent; return false;
        case RepairOutcome::Failed:
        case RepairOutcome::NotRecorded:
            ++tally.failed;
            if (f.kind == FindingKind::ProductUninstall) ++tally.productsFailed;
            if (outcome == RepairOutcome::NotRecorded) ++tally.notRecorded;
            return false;
        case RepairOutcome::Repaired:
        case RepairOutcome::AlreadyGone: break;
    }
    ++tally.repaired;
    return true;
}

// What a row names, as one text: two rows with the same one name the same object the same way
// (their descriptions may differ, or carry the mark of a row found after a repair).
std::string ObjectOf(const Finding& f) {
    return IntToStr(static_cast<int>(f.kind)) + '\t' + f.caption + '\t' + f.location + '\t' + f.keyName;
}


}  // namespace

Repairer::Repairer(FindingList& findings, RepairView& view, RepairUi& ui, RepairContext context,
                   std::function<bool()> backup)
    : findings_(findings),
      view_(view),
      ui_(ui),
      context_(context),
      backup_(std::move(backup)),
      planner_(context.ignored, context.os) {}

RepairOutcome Repairer::DeleteFromDisk(const RepairPlan& plan) {
    const std::string& path = plan.target;
    // Into the Recycle Bin where the drive has one, so that a shortcut can be taken back; erased
    // where the shell cannot take it (no bin, or a path too long for the shell). A folder goes
    // only while it is empty: the system refuses anything else.
    const bool gone = plan.step == RepairStep::RecycleFile ? RecycleFile(path) || DeleteFileAt(path)
                                                           : RecycleEmptyFolder(path) || RemoveDirectoryAt(path);
    return gone ? RepairOutcome::Repaired : RepairOutcome::Failed;
}

RepairOutcome Repairer::DeleteValue(const RepairPlan& plan, const Finding& f, UndoFile* undo) {
    const HKEY root = plan.root;
    const bool isDefault = plan.step != RepairStep::DeleteValue;
    if (undo && !(isDefault ? undo->RecordDefaultValue(root, f.location) : undo->RecordValue(root, f.location, f.keyName)))
        return RepairOutcome::NotRecorded;
    Registry reg;
    reg.SetRootKey(root);
    if (!reg.OpenKey(f.location, false))
        return KeyMissing(root, f.location) ? RepairOutcome::AlreadyGone : RepairOutcome::Failed;
    if (plan.step == RepairStep::EmptyDefault) {
        reg.WriteString("", "");  // a failed write throws
        return RepairOutcome::Repaired;
    }
    const std::string name = isDefault ? std::string() : f.keyName;
    if (reg.DeleteValue(name)) return RepairOutcome::Repaired;
    LONG rc = RegQueryValueExA(reg.CurrentKey(), name.c_str(), nullptr, nullptr, nullptr, nullptr);
    return IsGoneError(static_cast<DWORD>(rc)) ? RepairOutcome::AlreadyGone : RepairOutcome::Failed;
}

RepairOutcome Repairer::DeleteKey(const RepairPlan& plan, UndoFile* undo) {
    const HKEY root = plan.root;
    const std::string& location = plan.target;
    // The whole subtree, as it is now, before the first of it goes.
    if (undo && !undo->RecordKey(root, location)) return RepairOutcome::NotRecorded;
    if (plan.step == RepairStep::DeleteLink)
        return DeleteRegistryLink(root, location) ? RepairOutcome::Repaired : RepairOutcome::Failed;
    if (KeyMissing(root, location)) return RepairOutcome::AlreadyGone;
    Registry reg;
    reg.SetRootKey(root);
    // Windows 98 and Me delete a key with its subtree in one call; that call would follow a
    // registry link and delete what it leads to, so a subtree holding one goes level by level.
    if (context_.os.IsNineX() && !SubtreeHasLink(root, location, 0))
        return reg.DeleteKey(location) ? RepairOutcome::Repaired : RepairOutcome::Failed;
    // Windows 2000 and later: the subtree goes level by level, deepest first, with the window
    // repainting in between, then the key itself.
    if (reg.OpenKey(location, false)) {
        const bool hasSubKeys = reg.HasSubKeys();
        reg.CloseKey();
        if (hasSubKeys) DeleteSubKeysLevelByLevel(root, location, view_);
    }
    return reg.DeleteKey(location) ? RepairOutcome::Repaired : RepairOutcome::Failed;
}

RepairOutcome Repairer::UninstallOf(const RepairPlan& plan, const Finding& f) {
    // Runs the installer and waits with the windows painting; the log says what came of it.
    RepairOutcome outcome = plan.outcome;
    if (plan.step == RepairStep::UninstallProduct)
        outcome = UninstallProduct(plan.root, f.location, plan.target, view_, context_.progress, productAnswer_)
                      ? RepairOutcome::Repaired
                      : RepairOutcome::Failed;
    else
        productAnswer_.said = plan.why;
    WriteLog(LogAction::Uninstall, LoadText(IDS_LOG_WHY, {RowRecord(f), productAnswer_.said}));
    return outcome;
}

RepairOutcome Repairer::MoveHostRow(const RepairPlan& plan, const Finding& f) {
    // Only ever moved to the desktop's trash, never erased beyond recall.
    hostSaid_ = plan.why;
    RepairOutcome done = plan.outcome;
    if (done == RepairOutcome::Repaired && !planner_.HostLeftovers().MoveToTrash(f, hostSaid_))
        done = RepairOutcome::Failed;
    if (done == RepairOutcome::Repaired) hostCaches_.Removed(f);
    if (!hostSaid_.empty()) WriteLog(LogAction::NotRepaired, LoadText(IDS_LOG_WHY, {RowRecord(f), hostSaid_}));
    return done;
}

RepairOutcome Repairer::RepairFinding(Finding f, UndoFile* undo) {
    productAnswer_ = ProductAnswer();
    hostSaid_.clear();
    lastPlan_ = planner_.Plan(f);
    const RepairPlan& plan = lastPlan_;
    if (plan.outcome == RepairOutcome::Ignored || plan.outcome == RepairOutcome::NowPresent) return plan.outcome;
    if (f.kind == FindingKind::ProductUninstall) return UninstallOf(plan, f);
    if (f.OnHost()) return MoveHostRow(plan, f);
    switch (plan.step) {
        case RepairStep::None: return plan.outcome;
        case RepairStep::RecycleFile:
        case RepairStep::RemoveEmptyFolder: return DeleteFromDisk(plan);
        case RepairStep::DeleteKey:
        case RepairStep::DeleteLink: return DeleteKey(plan, undo);
        case RepairStep::DeleteValue:
        case RepairStep::EmptyDefault:
        case RepairStep::DeleteDefault: return DeleteValue(plan, f, undo);
        case RepairStep::UninstallProduct:
        case RepairStep::MoveToHostTrash: break;  // carried out above
    }
    return RepairOutcome::Failed;
}

bool Repairer::OpenUndo(UndoFile& undo) {
    const std::string folder = context_.undoFolder.empty() ? UndoFolder() : context_.undoFolder;
    // Wine's registry editor reads \r and \n in value names; of Windows' editors that is not
    // known, and a value it could not give back is not deleted there.
    undo.AllowLineBreakEscapes(RunningUnderWine());
    if (undo.Open(FlavorForMajorVersion(context_.os.MajorVersion()), folder)) return true;
    ui_.UndoFileNotMade(folder);
    return false;
}

void Repairer::MarkRow(RowId id, int hint) {
    const int row = findings_.IndexOf(id, hint);
    if (row < 0) return;  // the row is no longer listed: nothing to mark
    findings_.MarkRepaired(row);
    view_.RowChanged(row);
}

void Repairer::ReportRemaining(bool allDone, int foundAfter) {
    const int remaining = findings_.UnrepairedCount();
    const std::string after = foundAfter > 0 ? LoadText(IDS_STATUS_FOUND_AFTER_REPAIR, {foundAfter}) : std::string();
    if (remaining == 0 && allDone)
        view_.SetStatus(after.empty() ? LoadText(IDS_STATUS_ALL_REPAIRED) : LoadText(IDS_STATUS_ALL_REPAIRED_AND, {after}));
    else
        view_.SetStatus(LoadText(IDS_STATUS_REPAIRED_REMAINING, {remaining, after}));
    // The popup items keep their state; only a later scan switches the commands on again.
    if (remaining == 0) view_.SetRepairControls(false, false);
}

void Repairer::RepairSelected() { RepairOne(view_.SelectedRow()); }

void Repairer::RepairOne(int row) {
    if (row < 0 || row >= findings_.Count()) return;
    // The row's own copy and identity, taken before the question: whatever the list does while
    // the question is open, the deletion and the mark concern this row.
    const Finding f = findings_.At(row);
    const RowId id = findings_.IdAt(row);
    if (f.Repaired()) return;
    if (context_.ignored && context_.ignored->Contains(f)) return;

    const FindingKind kind = f.kind;
    if (!ui_.ConfirmRow(f)) return;
    planner_.Forget();

    // What a registry row deletes goes into an undo file first; without one, nothing goes.
    UndoFile undo;
    const bool registry = NeedsUndoRecord(f);
    if (registry && !OpenUndo(undo)) return;
    RepairOutcome outcome;
    try {
        outcome = RepairFinding(f, registry ? &undo : nullptr);
    } catch (const RegistryError& e) {
        // The default value could not be emptied: the user learns why, the row stays.
        if (rowOutcome_) rowOutcome_(row, f, RepairOutcome::Failed);
        ui_.RowFailed(e.what());
        return;
    }
    if (rowOutcome_) rowOutcome_(findings_.IndexOf(id, row), f, outcome);
    if (!TellRowOutcome(f, outcome, undo)) return;

    MarkRow(id, row);
    if (kind != FindingKind::ProductUninstall) WriteLog(LogAction::Delete, RowRecord(f));
    // What this row's repair emptied or left leading nowhere goes with it.
    RepairCounts after;
    bool undoOpen = registry;
    if (outcome == RepairOutcome::Repaired) RepairWhatRepairLeft({f}, undo, undoOpen, after, findings_.Count(), nullptr);
    ReportRemaining(false, after.foundAfter);
    hostCaches_.Run();
}

bool Repairer::TellRowOutcome(const Finding& f, RepairOutcome outcome, const UndoFile& undo) {
    if (outcome == RepairOutcome::NotRecorded) {
        ui_.RowNotRecorded(undo.Path(), undo.Refusal());
        return false;
    }
    if (outcome == RepairOutcome::Ignored) {
        ui_.RowProtected(f);
        return false;
    }
    if (outcome == RepairOutcome::NowPresent) {
        // The path that is back; a row judged again as a whole names its location.
        const std::string present = lastPlan_.why.empty() ? f.location : lastPlan_.why;
        WriteLog(LogAction::NotRepaired, LoadText(IDS_LOG_NOW_PRESENT, {RowRecord(f), present}));
        ui_.RowNowPresent(present);
        return false;
    }
    if (f.kind == FindingKind::ProductUninstall) {
        // The installer did the work, and the log says what came of it: so does the message.
        if (outcome == RepairOutcome::Failed) ReportRemaining(false);  // the status said that it waited
        ui_.ProductUninstalled(productAnswer_, outcome != RepairOutcome::Failed);
    }
    if (outcome == RepairOutcome::Failed) {
        if (f.OnHost() && !hostSaid_.empty()) ui_.HostRowNotRepaired(f, hostSaid_);
        return false;
    }
    return true;
}

void Repairer::RepairWhatRepairLeft(std::vector<Finding> repaired, UndoFile& undo, bool& undoOpen,
                                    RepairCounts& tally, int nextIndex,
                                    const std::function<void(int, const Finding&, RepairOutcome)>& each) {
    if (!context_.scanAfterRepair) return;
    bool undoTried = undoOpen;
    const std::string mark = LoadText(IDS_FOUND_AFTER_REPAIR);
    // Each round repairs what the one before left; three are more than any real nesting needs,
    // and a bound keeps a scanner that keeps finding new rows from holding the command.
    for (int round = 0; round < 3 && !repaired.empty(); ++round) {
        view_.SetStatus(LoadText(IDS_STATUS_CHECKING_AFTER_REPAIR));
        std::vector<Finding> found = context_.scanAfterRepair(repaired);
        repaired.clear();
        // The desktop's folders changed with the round before: what was learnt of them is stale.
        planner_.Forget();
        // What the list holds already (rows that could not be repaired are found again) is not
        // added twice.
        std::unordered_set<std::string> listed;
        for (int i = 0; i < findings_.Count(); ++i) listed.insert(ObjectOf(findings_.At(i)));
        std::vector<Finding> fresh;
        for (Finding& f : found) {
            if (!listed.insert(ObjectOf(f)).second) continue;
            f.description = mark + f.description;
            fresh.push_back(std::move(f));
        }
        for (const Finding& f : fresh) {
            // Listed before anything of it goes: the user sees every deletion in the list.
            findings_.Add(f);
            const int row = findings_.Count() - 1;
            const RowId id = findings_.IdAt(row);
            ++tally.foundAfter;
            view_.RowsAdded();
            if (NeedsUndoRecord(f) && !undoTried) {
                undoTried = true;
                undoOpen = OpenUndo(undo);
                if (undoOpen) undoPath_ = undo.Path();
            }
            RepairOutcome outcome = RepairOutcome::NotRecorded;
            if (!NeedsUndoRecord(f) || undoOpen) {
                try {
                    outcome = RepairFinding(f, undoOpen ? &undo : nullptr);
                } catch (...) {
                    outcome = RepairOutcome::Failed;
                }
            }
            if (each) each(nextIndex++, f, outcome);
            if (!Tally(outcome, f, context_.ignored, tally)) continue;
            MarkRow(id, row);
            if (outcome == RepairOutcome::Repaired) {
                if (f.kind != FindingKind::ProductUninstall) WriteLog(LogAction::Delete, RowRecord(f));
                repaired.push_back(f);
            }
        }
    }
}

bool Repairer::RepairAllQuietly(const std::function<void(int, const Finding&, RepairOutcome)>& each,
                                 RepairCounts* counts) {
    std::vector<int> rows;
    rows.reserve(static_cast<size_t>(findings_.Count()));
    for (int row = 0; row < findings_.Count(); ++row) rows.push_back(row);
    return RepairRowsQuietly(rows, true, each, counts);
}

bool Repairer::RepairRowsQuietly(const std::vector<int>& rows, bool all,
                                 const std::function<void(int, const Finding&, RepairOutcome)>& each,
                                 RepairCounts* counts) {
    // Every row's texts and identity, taken before the first deletion lets messages run.
    struct Target {
        Finding finding;
        RowId id;
        int row;
    };
    std::vector<Target> targets;
    targets.reserve(rows.size());
    for (int row : rows)
        if (row >= 0 && row < findings_.Count()) targets.push_back({findings_.At(row), findings_.IdAt(row), row});

    // The undo file is there before the first deletion: a repair that cannot record what it
    // deletes deletes nothing.
    UndoFile undo;
    bool registry = false;
    for (const Target& t : targets) registry = registry || NeedsUndoRecord(t.finding);
    undoPath_.clear();
    if (registry && !OpenUndo(undo)) return false;

    undoPath_ = undo.Path();
    planner_.Forget();  // what it learns of the desktop's folders holds for this command
    RepairCounts tally;
    std::vector<Finding> repaired;
    for (size_t i = 0; i < targets.size(); ++i) {
        const Target& t = targets[i];
        RepairOutcome outcome;
        try {
            outcome = RepairFinding(t.finding, registry ? &undo : nullptr);
        } catch (...) {
            outcome = RepairOutcome::Failed;
        }
        if (each) each(t.row, t.finding, outcome);
        if (!Tally(outcome, t.finding, context_.ignored, tally)) continue;
        if (outcome == RepairOutcome::Repaired) repaired.push_back(t.finding);
        if (!t.finding.Repaired()) MarkRow(t.id, t.row);
        // Chosen rows are logged one by one, as the repair of one row is.
        if (!all && t.finding.kind != FindingKind::ProductUninstall) WriteLog(LogAction::Delete, RowRecord(t.finding));
    }
    // What the repair emptied or left leading nowhere, found by a second look, goes too.
    RepairWhatRepairLeft(std::move(repaired), undo, registry, tally, findings_.Count(), each);
    hostCaches_.Run();
    tally.linksRefused = undo.LinksRefused();
    if (counts) *counts = tally;
    if (!all) return true;
    std::string record = tally.failed == 0 ? LoadText(IDS_LOG_ALL_REPAIRED)
                                           : LoadText(IDS_LOG_SOME_FAILED, {tally.repaired, tally.failed});
    if (tally.nowPresent > 0) record += LoadText(IDS_LOG_NOW_PRESENT_COUNT, {tally.nowPresent});
    if (tally.protectedRows > 0) record += LoadText(IDS_LOG_PROTECTED_COUNT, {tally.protectedRows});
    if (tally.foundAfter > 0) record += LoadText(IDS_LOG_FOUND_AFTER_COUNT, {tally.foundAfter});
    WriteLog(LogAction::RepairAll, record);
    return true;
}

void Repairer::RepairAll() {
    if (ui_.OfferBackup()) {
        // The user wants a safety copy before the bulk deletion: without one, nothing goes.
        if (!backup_ || !backup_()) return;
    }
    if (!ui_.ConfirmRepairAll()) return;

    RepairCounts counts;
    if (!RepairAllQuietly(rowOutcome_, &counts)) return;
    ReportRemaining(true, counts.foundAfter);
    ui_.RepairAllDone(counts, undoPath_);
}

void Repairer::RepairRows(const std::vector<int>& rows) {
    // The rows still to repair, in list order; one of them is the repair of one row.
    std::vector<int> chosen;
    for (int row : rows)
        if (row >= 0 && row < findings_.Count() && !findings_.At(row).Repaired() &&
            !(context_.ignored && context_.ignored->Contains(findings_.At(row))))
            chosen.push_back(row);
    if (chosen.empty()) return;
    if (chosen.size() == 1) {
        RepairOne(chosen.front());
        return;
    }
    if (!ui_.ConfirmRows(static_cast<int>(chosen.size()))) return;
    RepairCounts counts;
    if (!RepairRowsQuietly(chosen, false, rowOutcome_, &counts)) return;
    ReportRemaining(false, counts.foundAfter);
    ui_.RepairAllDone(counts, undoPath_);
}

}  // namespace tw
