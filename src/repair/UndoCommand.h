// Undoing repairs: the registry editor imports undo files (the last one, or every one from the
// newest back to one the user picks among the undo files), the program waits for it, checks
// that every key and value the files record is back as it was, logs the undo and reports the
// result.
#pragma once
#include <string>
#include <vector>

#include "repair/RepairProgress.h"
#include "repair/RepairUi.h"
#include "repair/RepairView.h"

namespace tw {

// The files an undo imports as the log and the messages name them: one file, or how many from
// the newest to the one picked (newest first).
std::string UndoRange(const std::vector<std::string>& newestFirst);

class UndoCommand {
public:
    // `progress` is shown while the editor imports; `ui` hears the question and what came of it.
    UndoCommand(RepairView& view, RepairProgress& progress, RepairUi& ui);

    // "Undo Last Repair": the newest undo file. True when everything it records is back.
    bool UndoLast();
    // Imports one undo file after the user's OK.
    bool UndoFrom(const std::string& path);
    // Undoes the repair of an undo file and every later one of the user's (ListUndoFiles(), or
    // the file's own folder when it lies elsewhere): imports them from the newest back to that
    // file, so that each object ends up as it was before the earliest of those repairs. A file
    // outside those lists is imported alone.
    bool UndoBackTo(const std::string& path);

private:
    // Imports the files in the given order after the user's OK.
    bool Import(const std::vector<std::string>& newestFirst);

    RepairView& view_;
    RepairProgress& progress_;
    RepairUi& ui_;
};

}  // namespace tw
