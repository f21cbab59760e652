#include "repair/RepairCommands.h"

namespace tw {

namespace {

class BusyScope {
public:
    explicit BusyScope(bool& flag) : flag_(flag), entered_(!flag) { flag_ = true; }
    ~BusyScope() {
        if (entered_) flag_ = false;
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
    bool Entered() const { return entered_; }

private:
    bool& flag_;
    bool entered_;
};

}  // namespace

RepairCommands::RepairCommands(FindingList& findings, RepairView& view, uint32_t majorVersion)
    : view_(view),
      backup_(view),
      repairer_(findings, view, majorVersion, [this] { return backup_.ToolButton4Click(); }) {}

RepairCommands::~RepairCommands() = default;

void RepairCommands::RepairSelected() {
    BusyScope busy(busy_);
    if (busy.Entered()) repairer_.FlatButton2Click();
}

void RepairCommands::RepairAll() {
    BusyScope busy(busy_);
    if (busy.Entered()) repairer_.FlatButton3Click();
}

bool RepairCommands::Backup() {
    BusyScope busy(busy_);
    return busy.Entered() && backup_.ToolButton4Click();
}

void RepairCommands::Restore() {
    BusyScope busy(busy_);
    if (busy.Entered()) backup_.ToolButton7Click();
}

TForm2& RepairCommands::History() {
    if (!history_) history_ = std::make_unique<TForm2>(view_.MainWindow());
    return *history_;
}

void RepairCommands::ShowHistory() { History().Show(); }

void RepairCommands::ClearHistory() { History().FlatButton1Click(); }

bool RepairCommands::IsDialogMessage(MSG* msg) { return history_ && history_->IsDialogMessage(msg); }

}  // namespace tw
