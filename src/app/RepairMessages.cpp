#include "app/RepairMessages.h"

#include "platform/LoadText.h"
#include "platform/Seams.h"
#include "strings.h"

namespace tw {

bool RepairMessages::Ask(const std::string& question) {
    return ShowMessage(view_.OwnerWindow(), question, MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
}

void RepairMessages::Tell(const std::string& text, Tone tone) {
    ShowMessage(view_.OwnerWindow(), text, MB_OK | (tone == Tone::Error ? MB_ICONERROR : MB_ICONINFORMATION));
}

void RepairMessages::RepairAllDone(const RepairCounts& counts, const std::string& undoPath) {
    // Rows already gone count as repaired: the summary names them apart.
    std::string parts;
    if (alreadyGone_ > 0) parts += LoadText(IDS_SUMMARY_GONE, {alreadyGone_});
    if (counts.failed > 0) parts += LoadText(IDS_SUMMARY_FAILED, {counts.failed});
    if (counts.nowPresent > 0) parts += LoadText(IDS_SUMMARY_BACK, {counts.nowPresent});
    if (counts.protectedRows > 0) parts += LoadText(IDS_SUMMARY_PROTECTED, {counts.protectedRows});
    std::string text = LoadText(IDS_REPAIR_SUMMARY, {counts.repaired - alreadyGone_, parts});
    if (counts.productsFailed > 0) text += "\r\n" + LoadText(IDS_PRODUCTS_NOT_UNINSTALLED, {counts.productsFailed});
    if (counts.notRecorded > 0)
        text += "\r\n" + (counts.linksRefused == 0 ? LoadText(IDS_ROWS_NOT_RECORDED, {counts.notRecorded, undoPath})
                                                   : LoadText(IDS_ROWS_NOT_RECORDED_LINKS,
                                                              {counts.notRecorded, undoPath, counts.linksRefused}));
    Tell(text, counts.failed > 0 ? Tone::Error : Tone::Information);
}

}  // namespace tw
