#include "repair/UndoCommand.h"

#include <vector>

#include "platform/FileSystem.h"
#include "platform/LoadText.h"
#include "platform/StartProgram.h"
#include "platform/Text.h"
#include "repair/RepairLog.h"
#include "repair/UndoFile.h"
#include "strings.h"

namespace tw {

namespace {

std::string FileName(const std::string& path) {
    const size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

std::string UndoRange(const std::vector<std::string>& newestFirst) {
    if (newestFirst.empty()) return {};
    const std::string name = FileName(newestFirst.back());
    if (newestFirst.size() == 1) return LoadText(IDS_UNDO_RANGE_ONE, {name});
    return LoadText(IDS_UNDO_RANGE_MANY, {newestFirst.size(), FileName(newestFirst.front()), name});
}

UndoCommand::UndoCommand(RepairView& view, RepairProgress& progress, RepairUi& ui)
    : view_(view), progress_(progress), ui_(ui) {}

bool UndoCommand::UndoLast() {
    const std::vector<std::string> files = ListUndoFiles();
    if (files.empty()) {
        ui_.NoUndoFiles(UndoFolder());
        return false;
    }
    return UndoFrom(files.back());
}

bool UndoCommand::UndoFrom(const std::string& path) { return Import({path}); }

bool UndoCommand::UndoBackTo(const std::string& path) {
    // The user's files of every data folder (the later repairs may have written theirs to the
    // other one), or those of the file's own folder when it lies elsewhere.
    for (const std::vector<std::string>& files : {ListUndoFiles(), ListUndoFiles(FolderOf(path))}) {
        std::vector<std::string> newestFirst;
        for (size_t i = files.size(); i-- > 0;) {
            newestFirst.push_back(files[i]);
            if (LowerAscii(files[i]) == LowerAscii(path)) return Import(newestFirst);
        }
    }
    return Import({path});
}

bool UndoCommand::Import(const std::vector<std::string>& newestFirst) {
    if (newestFirst.empty()) return false;
    UndoResult result;
    result.newestFirst = newestFirst;
    std::vector<UndoRecords> files(newestFirst.size());
    for (size_t i = 0; i < newestFirst.size(); ++i) {
        if (!ReadUndoFile(newestFirst[i], files[i].flavor, files[i].keys)) {
            ui_.UndoUnreadable(newestFirst[i]);
            return false;
        }
        // Only what a repair recorded goes back: a file changed or made by hand could delete or
        // add anything at all.
        const UndoProblem problem = UndoFileProblem(newestFirst[i], files[i]);
        if (problem.what != UndoProblem::None) {
            ui_.UndoRefused(newestFirst[i], problem);
            return false;
        }
        result.keys += files[i].keys.size();
    }
    if (!ui_.ConfirmUndo(newestFirst)) return false;

    progress_.Show(LoadText(IDS_PROGRESS_UNDO), LoadText(IDS_PROGRESS_UNDO_TEXT));
    view_.SetStatus(LoadText(IDS_STATUS_UNDOING));
    view_.ProcessMessages();

    // The same import as the restore: the system's registry editor, waited for with the main
    // window disabled so that no second command starts meanwhile. Newest first: what an older
    // repair recorded is imported last and stays.
    for (const std::string& path : newestFirst) {
        DWORD exitCode = 0;
        if (!RunAndWaitDisabled(view_.OwnerWindow(), "RegEdit /s \"" + path + "\"", ProgramFolder(), exitCode)) break;
        ++result.imported;
    }
    const bool ran = result.imported == newestFirst.size();

    // The editor's exit code says little (Wine's is 0 for a file it could not read): what is
    // in the registry now is the answer.
    if (ran) result.notRestored = MissingAfterUndo(files);
    const bool ok = ran && result.notRestored.empty();
    WriteLog(LogAction::Undo, LoadText(ok ? IDS_LOG_UNDO_DONE : IDS_LOG_UNDO_FAILED, {UndoRange(newestFirst)}));
    view_.SetStatus(LoadText(ok ? IDS_STATUS_UNDO_DONE : IDS_STATUS_UNDO_FAILED));
    progress_.Hide();
    ui_.UndoDone(result);
    return ok;
}

}  // namespace tw
