// The words of what repair, backup, restore and undo ask and report (repair/RepairUi.h), the
// same in the window and in the console: each text is the string table's (res/strings.h), its
// places filled from the question's or report's data.
#pragma once
#include <string>
#include <vector>

#include "repair/RepairPlan.h"
#include "repair/RepairUi.h"

namespace tw {

// The longest part of a row (location, key name, description) that a question quotes.
constexpr size_t kQuestionFieldLimit = 96;

// The word a repair outcome prints as (the sixth field of a repaired Finding's line in the
// console; the window's details of a row show the dry run's word too).
const char* OutcomeWord(RepairOutcome outcome, bool dryRun = false);
// The question before the repair of one row, naming what it deletes.
std::string RowQuestion(const Finding& f);
// What a repair of a row would do, as the details of the row say it: the plan's outcome in words.
std::string PlannedOutcomeText(RepairOutcome outcome);
// Why a key could not be recorded for holding a registry link; empty when none was met.
std::string LinkRefusalText(const LinkRefusal& refusal);
// Why an undo file is not imported, and what no undo file or an unreadable one says.
std::string UndoRefusedText(const std::string& path, const UndoProblem& problem);
std::string NoUndoFilesText(const std::string& folder);
std::string UndoUnreadableText(const std::string& path);
// A key or value an undo did not put back, as the closing message lists it.
std::string NotRestoredText(const NotRestored& item);

// What kind of report a text is; the window shows its icon.
enum class Tone { Information, Error };

// Repair's questions and reports in words: every one becomes its text, handed to Ask or Tell in
// the order the user meets them. A front end says how a question is asked and a report shown;
// it may answer a question itself (the console, from its options) by overriding that question.
class WordedRepairUi : public RepairUi {
public:
    bool ConfirmRow(const Finding& f) override;
    void RowNotRecorded(const std::string& undoPath, const LinkRefusal& refusal) override;
    void RowProtected(const Finding& f) override;
    void RowNowPresent(const std::string& present) override;
    void RowFailed(const std::string& error) override;
    void HostRowNotRepaired(const Finding& f, const std::string& why) override;
    void ProductUninstalled(const ProductAnswer& answer, bool repaired) override;
    bool OfferBackup() override;
    bool ConfirmRepairAll() override;
    bool ConfirmRows(int count) override;
    void RepairAllDone(const RepairCounts& counts, const std::string& undoPath) override;
    void UndoFileNotMade(const std::string& folder) override;
    void BackupDone(EditorEnd end, const std::string& path) override;
    void NoBackupToRestore(const std::string& path) override;
    bool ConfirmRestore(const std::string& path) override;
    void RestoreDone(EditorEnd end, unsigned long exitCode) override;
    void NoUndoFiles(const std::string& folder) override;
    void UndoUnreadable(const std::string& path) override;
    void UndoRefused(const std::string& path, const UndoProblem& problem) override;
    bool ConfirmUndo(const std::vector<std::string>& newestFirst) override;
    void UndoDone(const UndoResult& result) override;

protected:
    // Asks a question that OK or Cancel answers; true for OK.
    virtual bool Ask(const std::string& question) = 0;
    // Shows a report.
    virtual void Tell(const std::string& text, Tone tone) = 0;

    // The texts of the questions a front end may answer itself.
    static std::string UndoQuestion(const std::vector<std::string>& newestFirst);
};

}  // namespace tw
