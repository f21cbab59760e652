// Repair and undo from the console scanner, on the same repair, undo, backup and log code as
// the window's "Repair All" and "Undo Last Repair". Each prints its own outcome lines on standard output
// and returns the program's exit status: 0 all done (or nothing to do), 1 some not done, 2 could
// not run.
#pragma once
#include <cstdint>
#include <string>

#include "cli/ConsoleView.h"
#include "repair/Repair.h"
#include "scanners/FindingList.h"
#include "scanners/IgnoreList.h"
#include "wording/RepairWording.h"

namespace tw {

// Repair's questions and reports on the console: each on standard error, worded as the window
// words it. No one sits at the console to answer: a question is refused, but for the import of
// an undo file, which the user asked for with --undo.
class ConsoleRepairUi : public WordedRepairUi {
public:
    explicit ConsoleRepairUi(ConsoleView& view) : view_(view) {}
    bool ConfirmUndo(const std::vector<std::string>& newestFirst) override {
        view_.Say(UndoQuestion(newestFirst));
        return true;
    }

protected:
    bool Ask(const std::string& question) override {
        view_.Say(question);
        return false;
    }
    void Tell(const std::string& text, Tone) override { view_.Say(text); }

private:
    ConsoleView& view_;
};

struct ConsoleRepairOptions {
    uint32_t majorVersion = 5;
    const IgnoreList* ignored = nullptr;
    // Judge and print what would go, deleting nothing.
    bool dryRun = false;
    // The whole-registry backup first; no repair when it fails.
    bool backup = false;
    // The scan's second look after the repair (null: none).
    ScanAfterRepairFn scanAfterRepair;
};

// Repairs every Finding of the scan, then prints each Finding's line with its outcome, and after
// them the line of each row the scan after the repair found (and repaired).
int ConsoleRepair(ConsoleView& view, FindingList& findings, const ConsoleRepairOptions& options);
// Imports an undo file (null: the newest) the way the window does, and checks the registry.
int ConsoleUndo(ConsoleView& view, const std::string* file);
// The undo files, oldest first: date, number of keys recorded, size in bytes, path.
int ConsoleListUndo(ConsoleView& view);

}  // namespace tw
