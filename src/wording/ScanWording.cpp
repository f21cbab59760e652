#include "wording/ScanWording.h"

#include "platform/LoadText.h"
#include "platform/Text.h"
#include "strings.h"

namespace tw {

namespace {

// The longest line of a category that ended early, in bytes.
const size_t kEndedEarlyLineLimit = 300;

}  // namespace

std::string MultiBootQuestion(ChecklistRow) { return LoadText(IDS_ASK_SCAN_ON_MULTIBOOT); }

std::string EndedEarlyText(const std::vector<EndedEarly>& ended) {
    std::string text = LoadText(IDS_SCAN_ENDED_EARLY);
    for (const EndedEarly& e : ended) {
        const std::string line = e.row < 0 ? e.why : LoadText(IDS_SCAN_ENDED_EARLY_ITEM, {ChecklistCaption(e.row), e.why});
        text += "\r\n" + ShortForDisplay(line, kEndedEarlyLineLimit);
    }
    return text;
}

}  // namespace tw
