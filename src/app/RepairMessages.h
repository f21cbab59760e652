// The window's side of repair's questions and reports: each in a message box owned by the main
// window (OK and Cancel with the question icon for a question; OK with the information or error
// icon for a report), in the words both front ends share.
#pragma once
#include <windows.h>

#include "repair/RepairView.h"
#include "wording/RepairWording.h"

namespace tw {

class RepairMessages : public WordedRepairUi {
public:
    // The boxes are owned by the view's window.
    explicit RepairMessages(RepairView& view) : view_(view) {}

protected:
    bool Ask(const std::string& question) override;
    void Tell(const std::string& text, Tone tone) override;

private:
    RepairView& view_;
};

}  // namespace tw
