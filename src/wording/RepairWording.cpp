#include "wording/RepairWording.h"

#include "platform/LoadText.h"
#include "platform/Registry.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "repair/UndoCommand.h"
#include "strings.h"

namespace tw {

namespace {

// At most this many keys and values an undo did not put back are named in its closing message.
const size_t kNamedNotRestored = 8;

// A part of a row as a question or message quotes it.
std::string Shown(const std::string& text) { return ShortForDisplay(text, kQuestionFieldLimit); }

// The name an uninstall entry shows the user ("DisplayName"), for a row naming such an entry;
// empty for any other row or an entry without one.
std::string ShownProgramName(const Finding& f) {
    static const char kUninstall[] = "\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
    if (f.kind != FindingKind::RegistryKey && f.kind != FindingKind::ProductUninstall) return {};
    const size_t at = f.location.find(kUninstall);
    if (at == std::string::npos || f.location.find('\\', at + sizeof kUninstall - 1) != std::string::npos) return {};
    Registry reg;
    reg.SetRootKey(RootFromCaption(f.caption));
    if (!reg.OpenKeyReadOnly(f.location)) return {};
    std::string name;
    try {
        name = reg.ReadString("DisplayName");
    } catch (const std::exception&) {
        return {};  // not a text: the key's name says it
    }
    return Shown(name);
}

}  // namespace

const char* OutcomeWord(RepairOutcome outcome, bool dryRun) {
    switch (outcome) {
        case RepairOutcome::Repaired: return dryRun ? "would-delete" : "repaired";
        case RepairOutcome::AlreadyGone: return "already-gone";
        case RepairOutcome::Failed: return "failed";
        case RepairOutcome::NotRecorded: return "not-recorded";
        case RepairOutcome::Ignored: return "ignored";
        case RepairOutcome::NowPresent: return "now-present";
    }
    return "failed";
}

std::string PlannedOutcomeText(RepairOutcome outcome) {
    switch (outcome) {
        case RepairOutcome::Repaired: return LoadText(IDS_PLAN_DELETE);
        case RepairOutcome::AlreadyGone: return LoadText(IDS_PLAN_ALREADY_GONE);
        case RepairOutcome::Failed: return LoadText(IDS_PLAN_FAIL);
        case RepairOutcome::NotRecorded: return LoadText(IDS_PLAN_NOT_RECORDED);
        case RepairOutcome::Ignored: return LoadText(IDS_PLAN_IGNORED);
        case RepairOutcome::NowPresent: return LoadText(IDS_PLAN_NOW_PRESENT);
    }
    return LoadText(IDS_PLAN_FAIL);
}

std::string RowQuestion(const Finding& f) {
    const std::string program = ShownProgramName(f);
    switch (f.kind) {
        case FindingKind::File:
        case FindingKind::HostFile: return LoadText(IDS_ASK_REPAIR_FILE, {Shown(f.location), Shown(f.description)});
        case FindingKind::Folder:
        case FindingKind::HostFolder: return LoadText(IDS_ASK_REPAIR_FOLDER, {Shown(f.location)});
        case FindingKind::ProductUninstall:
            if (!program.empty())
                return LoadText(IDS_ASK_UNINSTALL_PRODUCT_NAMED, {program, f.caption, Shown(f.location)});
            return LoadText(IDS_ASK_UNINSTALL_PRODUCT, {f.caption, Shown(f.location)});
        case FindingKind::RegistryKey:
            if (!program.empty()) return LoadText(IDS_ASK_DELETE_UNINSTALL, {program, f.caption, Shown(f.location)});
            return LoadText(IDS_ASK_DELETE_KEY, {f.caption, Shown(f.location)});
        case FindingKind::RegistryDefaultValue:
            // A default text is emptied, not deleted: the key keeps its unnamed value.
            return LoadText(IDS_ASK_EMPTY_DEFAULT, {f.caption, Shown(f.location), Shown(f.description)});
        default:
            return LoadText(IDS_ASK_DELETE_VALUE,
                            {f.caption, Shown(f.location), Shown(f.keyName), Shown(f.description)});
    }
}

std::string LinkRefusalText(const LinkRefusal& refusal) {
    if (refusal.Empty()) return {};
    if (refusal.link == refusal.key) return LoadText(IDS_LINK_REFUSED, {refusal.key});
    return LoadText(IDS_LINK_BELOW_REFUSED, {refusal.key, refusal.link});
}

std::string UndoRefusedText(const std::string& path, const UndoProblem& problem) {
    std::string why;
    switch (problem.what) {
        case UndoProblem::None: return {};
        case UndoProblem::Unreadable: why = LoadText(IDS_REFUSED_UNREADABLE); break;
        case UndoProblem::Changed: why = LoadText(IDS_REFUSED_CHANGED); break;
        case UndoProblem::DeletesKey: why = LoadText(IDS_REFUSED_DELETES_KEY, {problem.key}); break;
        case UndoProblem::KeyNotRecorded: why = LoadText(IDS_REFUSED_KEY_NOT_RECORDED, {problem.key}); break;
        case UndoProblem::DeletesValue: why = LoadText(IDS_REFUSED_DELETES_VALUE, {problem.key, problem.name}); break;
        case UndoProblem::DeletesDefault: why = LoadText(IDS_REFUSED_DELETES_DEFAULT, {problem.key}); break;
    }
    return LoadText(IDS_UNDO_REFUSED, {path, why});
}

std::string NoUndoFilesText(const std::string& folder) { return LoadText(IDS_NO_UNDO_FILES, {folder}); }

std::string UndoUnreadableText(const std::string& path) { return LoadText(IDS_UNDO_UNREADABLE, {path}); }

std::string NotRestoredText(const NotRestored& item) {
    switch (item.why) {
        case NotRestored::Missing: break;
        case NotRestored::OtherName: return LoadText(IDS_NOT_RESTORED_NAME, {item.path, item.stored});
        case NotRestored::NoLongerLink: return LoadText(IDS_NOT_RESTORED_LINK, {item.path});
        case NotRestored::OtherKind: return LoadText(IDS_NOT_RESTORED_KIND, {item.path});
        case NotRestored::OtherData: return LoadText(IDS_NOT_RESTORED_DATA, {item.path});
    }
    return item.path;
}

bool WordedRepairUi::ConfirmRow(const Finding& f) { return Ask(RowQuestion(f)); }

void WordedRepairUi::RowNotRecorded(const std::string& undoPath, const LinkRefusal& refusal) {
    std::string text = LoadText(IDS_ROW_NOT_RECORDED, {undoPath});
    if (!refusal.Empty()) text += "\r\n" + LinkRefusalText(refusal);
    Tell(text, Tone::Error);
}

void WordedRepairUi::RowProtected(const Finding& f) {
    Tell(LoadText(IDS_ROW_PROTECTED, {Shown(f.location)}), Tone::Information);
}

void WordedRepairUi::RowNowPresent(const std::string& present) {
    Tell(LoadText(IDS_ROW_NOW_PRESENT, {Shown(present)}), Tone::Information);
}

void WordedRepairUi::RowFailed(const std::string& error) { Tell(ErrorSentence(error), Tone::Error); }

void WordedRepairUi::HostRowNotRepaired(const Finding& f, const std::string& why) {
    Tell(LoadText(IDS_HOST_ROW_NOT_REPAIRED, {Shown(f.location), why}), Tone::Error);
}

void WordedRepairUi::ProductUninstalled(const ProductAnswer& answer, bool repaired) {
    if (repaired)
        Tell(LoadText(IDS_PRODUCT_REPAIRED, {answer.said}), Tone::Information);
    else
        Tell(LoadText(IDS_PRODUCT_NOT_REPAIRED, {answer.said}), Tone::Error);
}

bool WordedRepairUi::OfferBackup() { return Ask(LoadText(IDS_ASK_BACKUP_FIRST)); }

bool WordedRepairUi::ConfirmRepairAll() { return Ask(LoadText(IDS_ASK_REPAIR_ALL)); }

bool WordedRepairUi::ConfirmRows(int count) { return Ask(LoadText(IDS_ASK_REPAIR_ROWS, {count})); }

void WordedRepairUi::RepairAllDone(const RepairCounts& counts, const std::string& undoPath) {
    if (counts.nowPresent > 0 || counts.protectedRows > 0) {
        std::string text = LoadText(IDS_SOME_LEFT);
        if (counts.nowPresent > 0) text += "\r\n" + LoadText(IDS_SOME_LEFT_NOW_PRESENT, {counts.nowPresent});
        if (counts.protectedRows > 0) text += "\r\n" + LoadText(IDS_SOME_LEFT_PROTECTED, {counts.protectedRows});
        Tell(text, Tone::Information);
    }
    if (counts.productsFailed > 0) Tell(LoadText(IDS_PRODUCTS_NOT_UNINSTALLED, {counts.productsFailed}), Tone::Error);
    if (counts.notRecorded > 0)
        Tell(counts.linksRefused == 0
                 ? LoadText(IDS_ROWS_NOT_RECORDED, {counts.notRecorded, undoPath})
                 : LoadText(IDS_ROWS_NOT_RECORDED_LINKS, {counts.notRecorded, undoPath, counts.linksRefused}),
             Tone::Error);
}

void WordedRepairUi::UndoFileNotMade(const std::string& folder) {
    Tell(LoadText(IDS_UNDO_FILE_NOT_MADE, {folder}), Tone::Error);
}

void WordedRepairUi::BackupDone(EditorEnd end, const std::string& path) {
    switch (end) {
        case EditorEnd::Done: Tell(LoadText(IDS_BACKUP_DONE, {path}), Tone::Information); break;
        case EditorEnd::NotStarted: Tell(LoadText(IDS_BACKUP_NOT_STARTED), Tone::Error); break;
        case EditorEnd::Failed: Tell(LoadText(IDS_BACKUP_NOT_WRITTEN, {path}), Tone::Error); break;
    }
}

void WordedRepairUi::NoBackupToRestore(const std::string& path) { Tell(LoadText(IDS_NO_BACKUP, {path}), Tone::Error); }

bool WordedRepairUi::ConfirmRestore(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const std::string when =
        GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ? LocalTimeText(data.ftLastWriteTime) : "?";
    return Ask(LoadText(IDS_ASK_RESTORE, {path, when}));
}

void WordedRepairUi::RestoreDone(EditorEnd end, unsigned long exitCode) {
    switch (end) {
        case EditorEnd::Done: Tell(LoadText(IDS_RESTORE_DONE), Tone::Information); break;
        case EditorEnd::NotStarted: Tell(LoadText(IDS_RESTORE_NOT_STARTED), Tone::Error); break;
        case EditorEnd::Failed: Tell(LoadText(IDS_RESTORE_FAILED, {exitCode}), Tone::Error); break;
    }
}

void WordedRepairUi::NoUndoFiles(const std::string& folder) { Tell(NoUndoFilesText(folder), Tone::Information); }

void WordedRepairUi::UndoUnreadable(const std::string& path) { Tell(UndoUnreadableText(path), Tone::Error); }

void WordedRepairUi::UndoRefused(const std::string& path, const UndoProblem& problem) {
    Tell(UndoRefusedText(path, problem), Tone::Error);
}

std::string WordedRepairUi::UndoQuestion(const std::vector<std::string>& newestFirst) {
    auto name = [](const std::string& path) { return path.substr(path.find_last_of('\\') + 1); };
    if (newestFirst.size() == 1) return LoadText(IDS_ASK_UNDO_ONE, {name(newestFirst.back())});
    return LoadText(IDS_ASK_UNDO_MANY, {newestFirst.size(), name(newestFirst.front()), name(newestFirst.back())});
}

bool WordedRepairUi::ConfirmUndo(const std::vector<std::string>& newestFirst) { return Ask(UndoQuestion(newestFirst)); }

void WordedRepairUi::UndoDone(const UndoResult& result) {
    const std::string range = UndoRange(result.newestFirst);
    const bool ran = result.imported == result.newestFirst.size();
    if (ran && result.notRestored.empty()) {
        Tell(LoadText(IDS_UNDO_DONE, {range, result.keys}), Tone::Information);
    } else if (result.imported == 0) {
        Tell(LoadText(IDS_UNDO_NOT_STARTED), Tone::Error);
    } else if (!ran) {
        Tell(LoadText(IDS_UNDO_PARTLY, {result.imported}), Tone::Error);
    } else {
        std::string list;
        for (size_t i = 0; i < result.notRestored.size() && i < kNamedNotRestored; ++i)
            list += "\r\n" + NotRestoredText(result.notRestored[i]);
        if (result.notRestored.size() > kNamedNotRestored) list += "\r\n......";
        Tell(LoadText(IDS_UNDO_INCOMPLETE, {range, result.notRestored.size(), list}), Tone::Error);
    }
}

}  // namespace tw
