#include "app/RepairCommands.h"

#include "app/UndoWindow.h"
#include "platform/LoadText.h"
#include "platform/ScopeExit.h"
#include "repair/Deletion.h"
#include "repair/UndoFile.h"
#include "strings.h"

namespace tw {

namespace {

// Disables a window for the life of the scope, unless it was disabled already; gives the focus
// back afterwards when the window held it.
class DisabledWindow {
public:
    explicit DisabledWindow(HWND w) : w_(w && IsWindowEnabled(w) ? w : nullptr) {
        if (!w_) return;
        HWND focus = GetFocus();
        focus_ = focus && (focus == w_ || IsChild(w_, focus)) ? focus : nullptr;
        EnableWindow(w_, FALSE);
    }
    ~DisabledWindow() {
        if (!w_ || !IsWindow(w_)) return;
        EnableWindow(w_, TRUE);
        if (focus_ && IsWindow(focus_) && GetForegroundWindow() == w_) SetFocus(focus_);
    }
    DisabledWindow(const DisabledWindow&) = delete;
    DisabledWindow& operator=(const DisabledWindow&) = delete;

private:
    HWND w_;
    HWND focus_ = nullptr;
};

// What a row shows before its description after a repair: every outcome but a plain repair.
std::string RowMarkText(RepairOutcome outcome) {
    switch (outcome) {
        case RepairOutcome::Repaired: return {};
        case RepairOutcome::AlreadyGone: return LoadText(IDS_ROW_ALREADY_GONE);
        case RepairOutcome::Failed: return LoadText(IDS_ROW_FAILED);
        case RepairOutcome::NotRecorded: return LoadText(IDS_ROW_NOT_RECORDED_MARK);
        case RepairOutcome::Ignored: return LoadText(IDS_ROW_PROTECTED_MARK);
        case RepairOutcome::NowPresent: return LoadText(IDS_ROW_NOW_PRESENT_MARK);
    }
    return {};
}

RepairContext WithProgress(RepairContext context, RepairProgress& progress) {
    context.progress = &progress;
    return context;
}

}  // namespace

RepairCommands::RepairCommands(FindingList& findings, RepairView& view, RepairContext context)
    : findings_(findings),
      view_(view),
      messages_(view),
      progress_(view.OwnerWindow()),
      backup_(view, progress_, messages_),
      // The wait for a product's own uninstall shows in the progress window, with its stop button.
      repairer_(findings, view, messages_, WithProgress(context, progress_), [this] { return backup_.Backup(); }),
      undo_(view, progress_, messages_) {
    repairer_.SetRowOutcomes([this](int row, const Finding&, RepairOutcome outcome) {
        messages_.Heard(outcome);
        if (rowMark_) rowMark_(row, RowMarkText(outcome));
    });
}

RepairCommands::~RepairCommands() = default;

template <typename Fn>
bool RepairCommands::RunExclusive(Fn fn) {
    if (busy_) return false;
    busy_ = true;
    ScopeExit reset([this] { busy_ = false; });
    // As while the registry editor runs: no click reaches the main window or the history's
    // clear button until the command is through.
    DisabledWindow main(view_.OwnerWindow());
    DisabledWindow history(history_ ? history_->Handle() : nullptr);
    return fn();
}

void RepairCommands::RepairSelected(const std::vector<int>& rows) {
    RunExclusive([this, &rows] {
        messages_.StartCount();
        repairer_.RepairRows(rows);
        return true;
    });
}

void RepairCommands::RepairAll() {
    RunExclusive([this] {
        messages_.StartCount();
        repairer_.RepairAll();
        return true;
    });
}

bool RepairCommands::Backup() {
    return RunExclusive([this] { return backup_.Backup(); });
}

void RepairCommands::Restore() {
    RunExclusive([this] { return backup_.Restore(); });
}

bool RepairCommands::UndoLast() {
    const bool done = RunExclusive([this] { return undo_.UndoLast(); });
    UnmarkRowsBack();
    return done;
}

void RepairCommands::UnmarkRowsBack() {
    int back = 0;
    for (int row = 0; row < findings_.Count(); ++row) {
        if (!findings_.At(row).Repaired() || !RegistryObjectBack(findings_.At(row))) continue;
        findings_.Unmark(row);
        if (rowMark_) rowMark_(row, std::string());
        view_.RowChanged(row);
        ++back;
    }
    if (back == 0) return;
    view_.SetStatus(LoadText(IDS_STATUS_UNDO_ROWS_BACK, {back}));
    view_.SetRepairControls(true, true);
}

bool RepairCommands::UndoChosen() {
    // The undo files window, where the user sees how many files there are and how much room
    // they take, removes old ones, and picks the repair to undo back to; closing it picks none.
    const bool done = RunExclusive([this] {
        std::string path;
        return ChooseUndoFile(view_.OwnerWindow(), UndoFolders(), path) && undo_.UndoBackTo(path);
    });
    UnmarkRowsBack();
    return done;
}

HistoryWindow& RepairCommands::MakeHistory() {
    if (!history_) history_ = std::make_unique<HistoryWindow>(view_.OwnerWindow());
    return *history_;
}

void RepairCommands::ShowHistory() { MakeHistory().Show(); }

void RepairCommands::ClearHistory() {
    if (!busy_) MakeHistory().ClearLog();
}

}  // namespace tw
