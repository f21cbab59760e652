// Undoing a repair: the registry editor imports an undo file (the last one, or one the user
// picks in the "Undo" folder), the program waits for it, checks that every key and value the
// file records is back, logs the undo and reports the result.
#pragma once
#include <functional>
#include <string>

#include "repair/ProgressWindow.h"
#include "repair/RepairView.h"

namespace tw {

class UndoCommand {
public:
    // `progress` gives the program's progress window (created on first use by its owner).
    UndoCommand(RepairView& view, std::function<TForm3&()> progress);

    // "撤销上次修复": the newest undo file. True when everything it records is back.
    bool UndoLast();
    // "撤销修复...": the file the user picks in the standard open dialog, starting in the
    // "Undo" folder. False also when the user cancels.
    bool UndoChosen();
    // Imports one undo file after the user's OK.
    bool UndoFrom(const std::string& path);

private:
    RepairView& view_;
    std::function<TForm3&()> progress_;
};

}  // namespace tw
