#include "app/RepairCommands.h"

#include "app/UndoWindow.h"
#include "platform/ScopeExit.h"
#include "repair/UndoFile.h"

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

RepairContext WithProgress(RepairContext context, RepairProgress& progress) {
    context.progress = &progress;
    return context;
}

}  // namespace

RepairCommands::RepairCommands(FindingList& findings, RepairView& view, RepairContext context)
    : view_(view),
      messages_(view),
      progress_(view.OwnerWindow()),
      backup_(view, progress_, messages_),
      // The wait for a product's own uninstall shows in the progress window, with its stop button.
      repairer_(findings, view, messages_, WithProgress(context, progress_), [this] { return backup_.Backup(); }),
      undo_(view, progress_, messages_) {}

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

void RepairCommands::RepairSelected() {
    RunExclusive([this] { repairer_.RepairSelected(); return true; });
}

void RepairCommands::RepairAll() {
    RunExclusive([this] { repairer_.RepairAll(); return true; });
}

bool RepairCommands::Backup() {
    return RunExclusive([this] { return backup_.Backup(); });
}

void RepairCommands::Restore() {
    RunExclusive([this] { return backup_.Restore(); });
}

bool RepairCommands::UndoLast() {
    return RunExclusive([this] { return undo_.UndoLast(); });
}

bool RepairCommands::UndoChosen() {
    // The undo files window, where the user sees how many files there are and how much room
    // they take, removes old ones, and picks the repair to undo back to; closing it picks none.
    return RunExclusive([this] {
        std::string path;
        return ChooseUndoFile(view_.OwnerWindow(), UndoFolders(), path) && undo_.UndoBackTo(path);
    });
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
