// The repair commands of the main window in one object: repair, backup and restore, the history
// window. The main window owns it and forwards its command handlers here.
#pragma once
#include <windows.h>
#include <memory>

#include "app/HistoryWindow.h"
#include "app/ProgressWindow.h"
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

    void RepairSelected();  // FlatButton2Click
    void RepairAll();       // FlatButton3Click
    bool Backup();          // ToolButton4Click
    void Restore();         // ToolButton7Click
    bool UndoLast();        // "撤销上次修复": imports the newest undo file
    bool UndoChosen();      // "撤销以前的修复...": the undo files window; undoes back to the one picked
    void ShowHistory();     // ToolButton9Click: creates the history window on first use
    void ClearHistory();    // ClearRepairHistory1Click: creates it hidden, then clears
    // True while a repair, backup or restore runs. Messages still run meanwhile (the questions,
    // the repaint during a long deletion, the registry editor's run); the main window must then
    // refuse everything that would change the list or start another command.
    bool Busy() const { return busy_; }

    // Null until first used.
    TForm2* HistoryWindow() const { return history_.get(); }
    TForm3* ProgressWindow() const { return progress_.Window(); }

private:
    TForm2& History();
    // Runs one command with the main and history windows disabled: what it returns, or false
    // when another runs.
    template <typename Fn>
    bool RunExclusive(Fn fn);

    RepairView& view_;
    ProgressOnDemand progress_;
    RegistryBackup backup_;
    Repairer repairer_;
    UndoCommand undo_;
    std::unique_ptr<TForm2> history_;
    // Set while a command runs: the window keeps dispatching messages meanwhile (repaint during
    // a long deletion, the registry editor's run), and a second command must not start then.
    bool busy_ = false;
};

}  // namespace tw
