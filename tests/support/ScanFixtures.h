// What the tests of the scan driver and of the hand-over from worker threads share: a view
// without a window that records what the driver shows, worker threads that report on cue, and
// categories made of them.
#pragma once
#include <doctest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/LoadText.h"
#include "platform/MessagePump.h"
#include "platform/Seams.h"
#include "platform/Threads.h"
#include "platform/Volumes.h"
#include "scan/Checklist.h"
#include "scan/ScanDriver.h"
#include "scanners/HandOverSink.h"
#include "strings.h"
#include "support/Sandbox.h"

namespace tw::test {

class FakeView : public ScanView, public ScanSink {
public:
    explicit FakeView(int rows = 12) : ticks(static_cast<size_t>(rows), false) {}
    bool ScanCaptionIsStart() override { return !scanning; }
    void SetScanCaptions(bool on) override { scanning = on; }
    void ResetScanHints() override { ++hintResets; }
    void SetSelectAllEnabled(bool on) override { selectAll = on; }
    void SetRepairControls(bool on) override { repair = on; }
    void SetStatus(const std::string& text) override { status = text; statuses.push_back(text); }
    int ChecklistRowCount() override { return static_cast<int>(ticks.size()); }
    bool IsRowTicked(int row) override { return ticks.at(static_cast<size_t>(row)); }
    int ChecklistIndexOf(ChecklistRow row) override {
        return layout.empty() ? ScanView::ChecklistIndexOf(row) : tw::ChecklistIndexOf(layout, row);
    }
    int FindingCount() override { return static_cast<int>(findings.size()); }
    void ClearFindings() override { findings.clear(); }
    ScanSink& Sink() override { return *this; }
    void ProcessMessages() override { tw::ProcessMessages(); }
    void AddFinding(const Finding& f) override { findings.push_back(f); }
    void ShowStatus(const std::string& text) override { SetStatus(text); }
    bool ConfirmOnMultiBoot(ChecklistRow row) override {
        asked.push_back(row);
        return multiBootAnswer;
    }
    void ReportEndedEarly(const std::vector<EndedEarly>& e) override { ended.push_back(e); }

    void Tick(std::initializer_list<int> rows) {
        for (int r : rows) ticks.at(static_cast<size_t>(r)) = true;
    }

    std::vector<bool> ticks;
    std::vector<ChecklistItem> layout;  // empty: the rows as on Windows
    bool scanning = false;  // the Scan button reads "停止"
    std::string status;
    std::vector<std::string> statuses;
    std::vector<Finding> findings;
    bool selectAll = true, repair = false;
    int hintResets = 0;
    std::vector<ChecklistRow> asked;  // the categories the multi-boot question was asked for
    bool multiBootAnswer = false;
    std::vector<std::vector<EndedEarly>> ended;  // each report of categories that ended early
};

// A worker that reports `count` Findings, then waits for its release (or a stop request).
class FakeThread : public WorkerThread {
public:
    FakeThread(ScanSink& sink, std::string name, int count, HANDLE release)
        : sink_(sink), name_(std::move(name)), count_(count), release_(release) {}

protected:
    void Execute() override {
        for (int i = 0; i < count_ && !Terminated(); ++i)
            sink_.AddFinding(Finding{"HKEY_CURRENT_USER", name_, std::to_string(i), "", 0, FindingKind::RegistryValue});
        while (release_ && !Terminated() && WaitForSingleObject(release_, 5) == WAIT_TIMEOUT) {
        }
        // Keep handing over until asked to stop, when told to flood.
        while (count_ < 0 && !Terminated()) sink_.AddFinding(Finding{"HKEY_USERS", name_, "", "", 0, FindingKind::RegistryKey});
    }

private:
    ScanSink& sink_;
    std::string name_;
    int count_;
    HANDLE release_;
};

struct Event {
    Event() : h(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Event() { CloseHandle(h); }
    void Set() { SetEvent(h); }
    HANDLE h;
};

// Lets messages run until the condition holds (or a few seconds pass).
bool PumpUntil(const std::function<bool()>& cond, DWORD ms = 5000) { return RunUntil(cond, ms); }

// No scanners, but the system's own file check at the end (the seams answer it).
inline ScanCategories FileCheckOnly() {
    ScanCategories c;
    c.Row(kRowSystemFiles).step = DefaultScanCategories().Row(kRowSystemFiles).step;
    return c;
}

inline void SetHiveThreads(ScanCategories& c, const ThreadStep& thread) {
    for (ChecklistRow row : {kRowCurrentUser, kRowAllUsers, kRowMachine}) c.Row(row).thread = thread;
}

inline ScanCategories HiveCategories(int count, HANDLE release, std::vector<HKEY>* roots = nullptr) {
    ScanCategories c = FileCheckOnly();
    const std::pair<ChecklistRow, HKEY> hives[] = {
        {kRowCurrentUser, HKEY_CURRENT_USER}, {kRowAllUsers, HKEY_USERS}, {kRowMachine, HKEY_LOCAL_MACHINE}};
    for (const auto& hive : hives) {
        const HKEY root = hive.second;
        c.Row(hive.first).thread = [=](const ScanContext&, ScanSink& sink) {
            if (roots) roots->push_back(root);
            return std::unique_ptr<WorkerThread>(new FakeThread(sink, "hive", count, release));
        };
    }
    return c;
}

// The closing status line of a scan of n rows; `afterThreads` when its last worker thread ended it,
// `stopped` when the user stopped it.
inline std::string DoneLine(int n, bool afterThreads = false, bool stopped = false) {
    if (stopped) return LoadText(afterThreads ? IDS_SCAN_STOPPED_AFTER_THREADS : IDS_SCAN_STOPPED, {n, ""});
    return LoadText(afterThreads ? IDS_SCAN_DONE_AFTER_THREADS : IDS_SCAN_DONE, {n, ""});
}

}  // namespace tw::test
