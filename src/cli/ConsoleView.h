// The console front end's view of a scan: no window, one line per Finding in the order found,
// its five fields tab-separated and escaped (EscapeForConsole). A scan that is to be repaired
// keeps its Findings instead, and they are printed with their outcomes afterwards.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "platform/Seams.h"
#include "platform/Text.h"
#include "platform/Threads.h"
#include "repair/RepairView.h"
#include "scan/Checklist.h"
#include "scan/ScanDriver.h"
#include "scanners/FindingList.h"
#include "version.h"
#include "wording/ScanWording.h"

namespace tw {

// A Finding's five fields, escaped and tab-separated, without the line end.
inline std::string ConsoleLine(const Finding& f) {
    // A tab or line break inside a name or a value's data must not forge a field or a row:
    // every field is escaped, so a line is always exactly one Finding.
    return EscapeForConsole(f.caption) + "\t" + EscapeForConsole(f.location) + "\t" +
           EscapeForConsole(f.keyName) + "\t" + EscapeForConsole(f.description) + "\t" + IntToStr(f.image);
}

class ConsoleView : public ScanView, public ScanSink {
public:
    // Findings go to `out` (standard output unless told otherwise).
    ConsoleView(std::vector<bool> ticks, bool utf8, FILE* out = stdout)
        : ticks_(std::move(ticks)), utf8_(utf8), out_(out) {}

    bool ScanCaptionIsStart() override { return !scanning_; }
    void SetScanCaptions(bool scanning) override { scanning_ = scanning; }
    void ResetScanHints() override {}
    void SetSelectAllEnabled(bool) override {}
    void SetRepairControls(bool) override {}
    void SetStatus(const std::string& text) override { status_ = text; }
    int ChecklistRowCount() override { return static_cast<int>(ticks_.size()); }
    bool IsRowTicked(int row) override { return row >= 0 && row < ChecklistRowCount() && ticks_[static_cast<size_t>(row)]; }
    int ChecklistIndexOf(ChecklistRow row) override {
        return rows_.empty() ? ScanView::ChecklistIndexOf(row) : tw::ChecklistIndexOf(rows_, row);
    }
    // The rows the ticks stand for (unset: the rows as on Windows).
    void SetRows(std::vector<ChecklistItem> rows) { rows_ = std::move(rows); }
    int FindingCount() override { return count_; }
    void ClearFindings() override { count_ = 0; }
    ScanSink& Sink() override { return *this; }
    // The pause of a walk on this thread, as in the window.
    void ProcessMessages() override { PauseForMessages(); }
    // No one sits at a console scan to answer: the question goes to standard error, and the
    // category is not scanned.
    bool ConfirmOnMultiBoot(ChecklistRow row) override {
        Say(MultiBootQuestion(row));
        return false;
    }
    void ReportEndedEarly(const std::vector<EndedEarly>& ended) override { Say(ErrorSentence(EndedEarlyText(ended))); }

    void AddFinding(const Finding& f) override {
        ++count_;
        if (kept_)
            kept_->Add(f);
        else
            Write(out_, ConsoleLine(f) + "\n");
    }
    // Keeps the Findings in `list` instead of printing them (null: print them).
    void KeepFindings(FindingList* list) { kept_ = list; }
    void ShowStatus(const std::string&) override {}  // progress is for the window only

    void Write(FILE* out, const std::string& text) {
        std::string bytes = utf8_ ? AnsiToUtf8(text) : text;
        fwrite(bytes.data(), 1, bytes.size(), out);
        fflush(out);
    }
    // A question or report that the window shows in a message box, on standard error: after the
    // box's caption, as long as a box shows it.
    void Say(const std::string& text) {
        Write(stderr, TW_PRODUCT_NAME ": " + ShortForDisplay(text, kMessageTextLimit) + "\n");
    }
    const std::string& Status() const { return status_; }
    // Where the lines of the Findings go (standard output unless told otherwise).
    FILE* Out() const { return out_; }

private:
    std::vector<bool> ticks_;
    std::vector<ChecklistItem> rows_;
    bool utf8_;
    FILE* out_;
    FindingList* kept_ = nullptr;
    bool scanning_ = false;
    int count_ = 0;
    std::string status_;
};

// What repair, undo and backup need of a window, for a console: no rows to select or repaint,
// no owner window, the status kept for the closing line.
class ConsoleRepairView : public RepairView {
public:
    int SelectedRow() override { return -1; }
    void RowChanged(int) override {}
    void SetStatus(const std::string& text) override { status_ = text; }
    void SetRepairControls(bool, bool) override {}
    void ProcessMessages() override { PauseForMessages(); }
    HWND OwnerWindow() override { return nullptr; }
    const std::string& Status() const { return status_; }

private:
    std::string status_;
};

}  // namespace tw
