// The window's side of repair's questions and reports: each in a message box owned by the main
// window (OK and Cancel with the question icon for a question; OK with the information or error
// icon for a report), in the words both front ends share.
#pragma once
#include <windows.h>

#include "repair/Repair.h"
#include "repair/RepairView.h"
#include "wording/RepairWording.h"

namespace tw {

class RepairMessages : public WordedRepairUi {
public:
    // The boxes are owned by the view's window.
    explicit RepairMessages(RepairView& view) : view_(view) {}

    // A repair of more than one row: counts what came of each row for its closing summary.
    void StartCount() { alreadyGone_ = 0; }
    void Heard(RepairOutcome outcome) {
        if (outcome == RepairOutcome::AlreadyGone) ++alreadyGone_;
    }
    // One summary of every outcome, with what was not done and why.
    void RepairAllDone(const RepairCounts& counts, const std::string& undoPath) override;

protected:
    bool Ask(const std::string& question) override;
    void Tell(const std::string& text, Tone tone) override;

private:
    RepairView& view_;
    int alreadyGone_ = 0;
};

}  // namespace tw
