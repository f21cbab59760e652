#include "repair/RepairCommands.h"

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

}  // namespace

RepairCommands::RepairCommands(FindingList& findings, RepairView& view, RepairContext context)
    : view_(view),
      backup_(view),
      repairer_(findings, view, context, [this] { return backup_.ToolButton4Click(); }),
      undo_(view, [this]() -> TForm3& { return backup_.Progress(); }) {}

RepairCommands::~RepairCommands() = default;

template <typename Fn>
bool RepairCommands::RunExclusive(Fn fn) {
    if (busy_) return false;
    busy_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{busy_};
    // As while the registry editor runs: no click reaches the main window or the history's
    // clear button until the command is through.
    DisabledWindow main(view_.MainWindow());
    DisabledWindow history(history_ ? history_->Handle() : nullptr);
    fn();
    return true;
}

void RepairCommands::RepairSelected() {
    RunExclusive([this] { repairer_.FlatButton2Click(); });
}

void RepairCommands::RepairAll() {
    RunExclusive([this] { repairer_.FlatButton3Click(); });
}

bool RepairCommands::Backup() {
    bool ok = false;
    RunExclusive([this, &ok] { ok = backup_.ToolButton4Click(); });
    return ok;
}

void RepairCommands::Restore() {
    RunExclusive([this] { backup_.ToolButton7Click(); });
}

bool RepairCommands::UndoLast() {
    bool ok = false;
    RunExclusive([this, &ok] { ok = undo_.UndoLast(); });
    return ok;
}

bool RepairCommands::UndoChosen() {
    bool ok = false;
    RunExclusive([this, &ok] { ok = undo_.UndoChosen(); });
    return ok;
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
