#include "app/RepairMessages.h"

#include "platform/Seams.h"

namespace tw {

bool RepairMessages::Ask(const std::string& question) {
    return ShowMessage(view_.OwnerWindow(), question, MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
}

void RepairMessages::Tell(const std::string& text, Tone tone) {
    ShowMessage(view_.OwnerWindow(), text, MB_OK | (tone == Tone::Error ? MB_ICONERROR : MB_ICONINFORMATION));
}

}  // namespace tw
