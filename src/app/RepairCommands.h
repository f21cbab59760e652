// The repair commands of the main window in one object: repair, backup and restore, the history
// window. The main window owns it and forwards its command handlers here.
#pragma once
#include <windows.h>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/HistoryWindow.h"
#include "app/ProgressWindow.h"
#include "app/RepairMessages.h"
#include "repair/Backup.h"
#include "repair/Repair.h"
#include "repair/RepairView.h"
#include "repair/UndoCommand.h"
#include "scanners/FindingList.h"

namespace tw {

class RepairCommands {
public:
    RepairCommands(FindingList& findings, RepairView& view, RepairContext context);
    ~RepairCommands();
    RepairCommands(const RepairCommands&) = delete;
    RepairCommands& operator=(const RepairCommands&) = delete;

    // "Repair": the chosen rows (list indexes); one is the repair of one row.
    void RepairSelected(const std::vector<int>& rows);
    void RepairAll();       // "Repair All"
    // Hears the mark each row a repair or an undo changed now carries: what came of it, empty
    // for a row repaired or back as it was found.
    void OnRowMark(std::function<void(int row, const std::string& mark)> fn) { rowMark_ = std::move(fn); }
    bool Backup();          // "Back Up"
    void Restore();         // "Restore"
    bool UndoLast();        // "Undo Last Repair": imports the newest undo file
    bool UndoChosen();      // "Undo Earlier Repairs...": the undo files window; undoes back to the one picked
    void ShowHistory();     // "History": creates the history window on first use
    void ClearHistory();    // "Clear History": creates it hidden, then clears
    // True while a repair, backup or restore runs. Messages still run meanwhile (the questions,
    // the repaint during a long deletion, the registry editor's run); the main window must then
    // refuse everything that would change the list or start another command.
    bool Busy() const { return busy_; }

    // Null until first used.
    HistoryWindow* History() const { return history_.get(); }
    // After the language changed: the history window is made again in the new one, shown if it
    // was shown.
    void RemakeHistory();
    ProgressWindow* Progress() const { return progress_.Window(); }

private:
    HistoryWindow& MakeHistory();
    // After an undo: the rows marked repaired whose key or value is back lose their mark.
    void UnmarkRowsBack();
    // Runs one command with the main and history windows disabled: what it returns, or false
    // when another runs.
    template <typename Fn>
    bool RunExclusive(Fn fn);

    FindingList& findings_;
    RepairView& view_;
    std::function<void(int, const std::string&)> rowMark_;
    // The questions and reports of every command, in message boxes.
    RepairMessages messages_;
    ProgressOnDemand progress_;
    RegistryBackup backup_;
    Repairer repairer_;
    UndoCommand undo_;
    std::unique_ptr<HistoryWindow> history_;
    // Set while a command runs: the window keeps dispatching messages meanwhile (repaint during
    // a long deletion, the registry editor's run), and a second command must not start then.
    bool busy_ = false;
};

}  // namespace tw
