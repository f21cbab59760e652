// What a repair, backup, restore or undo asks the user and tells them, typed: the repair floor
// decides what to ask and what came of it; the front end words it and shows it. The window
// answers with its message boxes (app/RepairMessages), the console with its options and standard
// error (cli/ConsoleRepair); the words of both are the same (wording/RepairWording). A question
// returns true to go on.
#pragma once
#include <string>
#include <vector>

#include "repair/ProductUninstall.h"
#include "repair/UndoFile.h"
#include "scanners/Finding.h"

namespace tw {

// How a repair of every row went (for the log, the closing messages and the console).
struct RepairCounts {
    int repaired = 0;
    int failed = 0;       // failed or not recorded
    int notRecorded = 0;  // of those: what would go could not be written to the undo file
    int nowPresent = 0;
    int protectedRows = 0;  // rows that hold (or lie in) something on the ignore list
    int linksRefused = 0;   // of the not recorded: registry links, which an undo cannot bring back
    int productsFailed = 0;  // of the failed: products whose own uninstall did not succeed
    int foundAfter = 0;      // rows a scan after the repair found and added (all counted above too)
};

// How a run of the registry editor for a backup or a restore ended.
enum class EditorEnd {
    Done,
    NotStarted,  // the editor could not be started: nothing changed
    Failed,      // it ran, but wrote no export (backup) or reported an error (restore)
};

// What an undo of one or more files came to.
struct UndoResult {
    std::vector<std::string> newestFirst;  // the files, in the order they were imported
    size_t imported = 0;                   // how many of them the editor imported
    size_t keys = 0;                       // keys the files record
    std::vector<NotRestored> notRestored;  // what the registry does not hold as recorded
};

class RepairUi {
public:
    virtual ~RepairUi() = default;

    // The repair of the selected row: whether to repair it (the question names what goes).
    virtual bool ConfirmRow(const Finding& f) = 0;
    // Why the row was not repaired: what would go could not be written to the undo file (a
    // registry link among it: `refusal`); it holds or lies in something on the ignore list; a
    // path it says is missing is there again; the registry refused (the error's text); a file of
    // Wine's leftovers could not go, `why` says why.
    virtual void RowNotRecorded(const std::string& undoPath, const LinkRefusal& refusal) = 0;
    virtual void RowProtected(const Finding& f) = 0;
    virtual void RowNowPresent(const std::string& present) = 0;
    virtual void RowFailed(const std::string& error) = 0;
    virtual void HostRowNotRepaired(const Finding& f, const std::string& why) = 0;
    // What a product's own uninstall did; `repaired` when the product is gone.
    virtual void ProductUninstalled(const ProductAnswer& answer, bool repaired) = 0;

    // The repair of every row: whether to back up the registry first, whether to go on, and
    // what came of it (rows left alone, products not uninstalled, rows not recorded).
    virtual bool OfferBackup() = 0;
    virtual bool ConfirmRepairAll() = 0;
    // The repair of the rows the user chose (more than one): whether to repair `count` rows.
    virtual bool ConfirmRows(int count) = 0;
    virtual void RepairAllDone(const RepairCounts& counts, const std::string& undoPath) = 0;
    // Either repair: no undo file could be made in the folder, so nothing was deleted.
    virtual void UndoFileNotMade(const std::string& folder) = 0;

    // Backup and restore. `path` is the export's.
    virtual void BackupDone(EditorEnd end, const std::string& path) = 0;
    virtual void NoBackupToRestore(const std::string& path) = 0;
    // Whether to restore from the backup at `path` (the question gives its date).
    virtual bool ConfirmRestore(const std::string& path) = 0;
    virtual void RestoreDone(EditorEnd end, unsigned long exitCode) = 0;

    // Undo: no undo file at all, one that cannot be read or must not be imported, whether to
    // import the files (newest first), and what came of it.
    virtual void NoUndoFiles(const std::string& folder) = 0;
    virtual void UndoUnreadable(const std::string& path) = 0;
    virtual void UndoRefused(const std::string& path, const UndoProblem& problem) = 0;
    virtual bool ConfirmUndo(const std::vector<std::string>& newestFirst) = 0;
    virtual void UndoDone(const UndoResult& result) = 0;
};

}  // namespace tw
