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
      progress_(view.MainWindow()),
      backup_(view, progress_),
      // The wait for a product's own uninstall shows in the progress window, with its stop button.
      repairer_(findings, view, WithProgress(context, progress_), [this] { return backup_.ToolButton4Click(); }),
      undo_(view, progress_) {}

RepairCommands::~RepairCommands() = default;

template <typename Fn>
bool RepairCommands::RunExclusive(Fn fn) {
    if (busy_) return false;
    busy_ = true;
    ScopeExit reset([this] { busy_ = false; });
    // As while the registry editor runs: no click reaches the main window or the history's
    // clear button until the command is through.
    DisabledWindow main(view_.MainWindow());
    DisabledWindow history(history_ ? history_->Handle() : nullptr);
    return fn();
}

void RepairCommands::RepairSelected() {
    RunExclusive([this] { repairer_.FlatButton2Click(); return true; });
}

void RepairCommands::RepairAll() {
    RunExclusive([this] { repairer_.FlatButton3Click(); return true; });
}

bool RepairCommands::Backup() {
    return RunExclusive([this] { return backup_.ToolButton4Click(); });
}

void RepairCommands::Restore() {
    RunExclusive([this] { return backup_.ToolButton7Click(); });
}

bool RepairCommands::UndoLast() {
    return RunExclusive([this] { return undo_.UndoLast(); });
}

bool RepairCommands::UndoChosen() {
    // The undo files window, where the user sees how many files there are and how much room
    // they take, removes old ones, and picks the repair to undo back to; closing it picks none.
    return RunExclusive([this] {
        std::string path;
        return ChooseUndoFile(view_.MainWindow(), UndoFolders(), path) && undo_.UndoBackTo(path);
    });
}

TForm2& RepairCommands::History() {
    if (!history_) history_ = std::make_unique<TForm2>(view_.MainWindow());
    return *history_;
}

void RepairCommands::ShowHistory() { History().Show(); }

void RepairCommands::ClearHistory() {
    if (!busy_) History().FlatButton1Click();
}

}  // namespace tw
