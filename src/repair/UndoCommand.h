// Undoing repairs: the registry editor imports undo files (the last one, or every one from the
// newest back to one the user picks in the "Undo" folder), the program waits for it, checks
// that every key and value the files record is back as it was, logs the undo and reports the
// result.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "repair/ProgressWindow.h"
#include "repair/RepairView.h"

namespace tw {

class UndoCommand {
public:
    // `progress` gives the program's progress window (created on first use by its owner).
    UndoCommand(RepairView& view, std::function<TForm3&()> progress);

    // "撤销上次修复": the newest undo file. True when everything it records is back.
    bool UndoLast();
    // "撤销以前的修复...": the undo files window, where the user sees how many files there are
    // and how much room they take, removes old ones, and picks the repair to undo back to.
    // False also when the user closes the window without picking.
    bool UndoChosen();
    // Imports one undo file after the user's OK.
    bool UndoFrom(const std::string& path);
    // Undoes the repair of an undo file and every later one of its folder: imports them from the
    // newest back to that file, so that each object ends up as it was before the earliest of
    // those repairs. A file outside the list of its folder is imported alone.
    bool UndoBackTo(const std::string& path);

private:
    // Imports the files in the given order after the user's OK.
    bool Import(const std::vector<std::string>& newestFirst);

    RepairView& view_;
    std::function<TForm3&()> progress_;
};

}  // namespace tw
