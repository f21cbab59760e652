// The console front end's view of a scan: no window, one line per Finding in the order found,
// its five fields tab-separated and escaped (EscapeForConsole).
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "app/ScanDriver.h"
#include "platform/Text.h"
#include "platform/Threads.h"

namespace tw {

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

    void AddFinding(const Finding& f) override {
        ++count_;
        // A tab or line break inside a name or a value's data must not forge a field or a row:
        // every field is escaped, so a line is always exactly one Finding of five fields.
        std::string line = EscapeForConsole(f.caption) + "\t" + EscapeForConsole(f.location) + "\t" +
                           EscapeForConsole(f.keyName) + "\t" + EscapeForConsole(f.description) + "\t" +
                           IntToStr(f.image) + "\n";
        Write(out_, line);
    }
    void ShowStatus(const std::string&) override {}  // progress is for the window only

    void Write(FILE* out, const std::string& text) {
        std::string bytes = utf8_ ? AnsiToUtf8(text) : text;
        fwrite(bytes.data(), 1, bytes.size(), out);
        fflush(out);
    }
    const std::string& Status() const { return status_; }

private:
    std::vector<bool> ticks_;
    std::vector<ChecklistItem> rows_;
    bool utf8_;
    FILE* out_;
    bool scanning_ = false;
    int count_ = 0;
    std::string status_;
};

}  // namespace tw
