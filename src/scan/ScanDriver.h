// The scan driver: runs the ticked categories in the order of their table, counts the running
// scan tasks and finishes every scan exactly once. It talks to the window through ScanView, so the
// console front end and the tests drive the same code.
#pragma once
#include <windows.h>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Threads.h"
#include "scan/ScanCategories.h"
#include "scanners/HandOverSink.h"
#include "scanners/IgnoreList.h"
#include "scanners/ScanContext.h"
#include "scanners/ScanSink.h"

namespace tw {

// A category that ended early: its checklist row (-1 when the scan itself could not go on) and
// the error's text, which says where it stopped and why.
struct EndedEarly {
    int row;
    std::string why;
};

class ScanView {
public:
    virtual ~ScanView() = default;
    // True when the Scan button reads "Scan" (the command then starts a scan, else it stops).
    virtual bool ScanCaptionIsStart() = 0;
    // "Scan"/"Stop" on the button, the tool button and the menu item.
    virtual void SetScanCaptions(bool scanning) = 0;
    // Restores the hints of the Scan button and tool button.
    virtual void ResetScanHints() = 0;
    virtual void SetSelectAllEnabled(bool on) = 0;
    // All eight repair controls.
    virtual void SetRepairControls(bool on) = 0;
    virtual void SetStatus(const std::string& text) = 0;
    virtual int ChecklistRowCount() = 0;
    virtual bool IsRowTicked(int row) = 0;
    // The index of the category's row, -1 when this checklist lacks it. By default the rows as
    // on Windows: each category at its own number, no Wine row.
    virtual int ChecklistIndexOf(ChecklistRow row) { return row == kRowWineDesktop ? -1 : row; }
    virtual int FindingCount() = 0;
    virtual void ClearFindings() = 0;
    // Where Findings and status texts of the UI thread go.
    virtual ScanSink& Sink() = 0;
    virtual void ProcessMessages() = 0;
    // The window that the scan's programs (the system file check) keep disabled while they run
    // (null: none).
    virtual HWND OwnerWindow() { return nullptr; }

    // The scan's question and its report, worded and shown by the front end.
    // Whether to scan a category that asks first (ScanCategory::askOnMultiBoot), on a system of
    // the 98 family with several operating systems installed; false skips the category.
    virtual bool ConfirmOnMultiBoot(ChecklistRow row) = 0;
    // The categories of this scan that ended early while the others went on, once at its end.
    virtual void ReportEndedEarly(const std::vector<EndedEarly>& ended) = 0;
    // A category of the running scan has ended (or was skipped): the rows it added to the list,
    // and how many of the scan's `total` categories have ended so far.
    virtual void CategoryDone(ChecklistRow /*row*/, int /*found*/, int /*done*/, int /*total*/) {}
};

class ScanDriver {
public:
    // The driver must be created and used on the UI thread.
    ScanDriver(ScanView& view, ScanContext context, ScanCategories categories);
    ~ScanDriver();
    ScanDriver(const ScanDriver&) = delete;
    ScanDriver& operator=(const ScanDriver&) = delete;

    // The Scan command: starts a scan when the button reads "Scan", else stops.
    void ScanCommand();
    // Stops every worker thread and waits for all of them (dispatching messages meanwhile);
    // afterwards nothing of this driver touches the view. Used when the window closes.
    void Shutdown();

    bool Scanning() const { return scanning_; }
    int RunningScans() const { return runningScans_; }
    bool InScanCommand() const { return inStart_; }
    bool Idle() const { return !inStart_ && threads_.empty(); }
    void SetMultiBoot(bool on) { multiBoot_ = on; }
    bool MultiBoot() const { return multiBoot_; }
    const ScanContext& Context() const { return context_; }
    ScanContext& Context() { return context_; }
    // The scanners of the categories; replaced only between scans.
    ScanCategories& Categories() { return categories_; }
    // The objects no scan reports (null: none). Every scanner's Findings pass this filter on
    // the UI thread, before they reach the view. The list must outlive the driver.
    void SetIgnoreList(const IgnoreList* list) {
        ignoreList_ = list;
        ignoring_.reset(new IgnoringSink(view_.Sink(), list));
    }
    // Called after each scan has been finished (the console front end waits for it).
    std::function<void()> onScanFinished;

    // The categories the last scan ran, in table order.
    const std::vector<ChecklistRow>& LastScanned() const { return lastScanned_; }
    // What repairing `repaired` left for a new scan of the same categories to find: the
    // categories of the last scan that such a repair may leave rows for (their `madeStaleBy`),
    // scanned again on a driver of their own with the same scanners, system and ignore list.
    // Every row they find now, old ones too; none when no category needs a second look. Waits
    // with messages running; nothing of this driver or its view changes.
    std::vector<Finding> ScanAfterRepair(const std::vector<Finding>& repaired);

private:
    struct RunningThread {
        // The thread's sink is declared first, so it outlives the thread.
        std::unique_ptr<HandOverSink> sink;
        std::unique_ptr<WorkerThread> thread;
        unsigned generation;
        ChecklistRow row;  // the category it scans
        // More than one early end of its category (the drive walk's, one per drive); read
        // after the thread has ended. Null: only the thread's own Failure.
        const std::vector<std::string>* failures;
    };

    // What one category of a scan hands to the view, counted after the ignore filter.
    class CategorySink {
    public:
        CategorySink(ScanSink& view, const IgnoreList* ignored, ChecklistRow category)
            : row(category), counting_(view, count), filtered_(counting_, ignored) {}
        ScanSink& Sink() { return filtered_; }
        const ChecklistRow row;
        int count = 0;
        bool done = false;

    private:
        struct Counting : ScanSink {
            Counting(ScanSink& target, int& n) : target_(target), n_(n) {}
            void AddFinding(const Finding& f) override {
                ++n_;
                target_.AddFinding(f);
            }
            void ShowStatus(const std::string& text) override { target_.ShowStatus(text); }
            void ProcessMessages() override { target_.ProcessMessages(); }
            ScanSink& target_;
            int& n_;
        } counting_;
        IgnoringSink filtered_;
    };

    void Start();
    void Stop();
    // The sink of one category of the running scan (the shared one when it has none).
    ScanSink& SinkFor(ChecklistRow row);
    // Tells the view that the category has ended, once.
    void CategoryEnded(ChecklistRow row);
    void RunSteps();
    // Runs one category's step; an error ends that category only and is kept for the report.
    void RunStep(int row, const std::function<void()>& step);
    // The closing status line; `afterThreads` when the last worker thread ended the scan.
    std::string DoneStatus(int rows, bool afterThreads) const;
    // Hands the categories that ended early to the view, once.
    void ReportEndedEarly();
    // A category on the UI thread; it counts as a running scan task while it runs.
    void RunUiStep(const ScanCategory& c, const std::function<void()>& step);
    // False when the user declined the category's question.
    bool AskFirst(const ScanCategory& c);
    // Makes the category's worker thread and counts it; null when it has none.
    WorkerThread* AddThread(const ScanCategory& c);
    // Makes the thread that walks every fixed drive for the category and counts it.
    WorkerThread* AddDriveWalk(const ScanCategory& c);
    WorkerThread* CountThread(ChecklistRow row, std::unique_ptr<HandOverSink> sink, std::unique_ptr<WorkerThread> t,
                              const std::vector<std::string>* failures);
    std::unique_ptr<HandOverSink> NewRunSink(ChecklistRow row);
    // Where every Finding of a scan goes: the view's sink behind the ignore filter.
    ScanSink& Sink() { return ignoring_ ? static_cast<ScanSink&>(*ignoring_) : view_.Sink(); }
    void Completion(WorkerThread* t);
    void FinishInCommand();
    bool Ticked(ChecklistRow row);
    // The categories that run at the scan's end (the system file check), when ticked and the
    // scan was not stopped.
    void ScanEndSteps();
    void FinishInCompletion();

    ScanView& view_;
    ScanContext context_;
    ScanCategories categories_;
    std::unique_ptr<UiDispatcher> ui_;
    const IgnoreList* ignoreList_ = nullptr;
    std::unique_ptr<IgnoringSink> ignoring_;
    // Every category sink of this driver's scans: a stopped scan's worker may still hold one.
    std::vector<std::unique_ptr<CategorySink>> categorySinks_;
    // Those of the running scan.
    std::vector<CategorySink*> current_;
    std::vector<RunningThread> threads_;
    // All fields below belong to the UI thread.
    bool scanning_ = false;
    // The user stopped the running scan: its list is incomplete, and its status says so.
    bool stopped_ = false;
    bool multiBoot_ = false;
    bool inStart_ = false;
    bool shutDown_ = false;
    int runningScans_ = 0;
    unsigned generation_ = 0;
    // Each category of this scan that ended early, with where and why.
    std::vector<EndedEarly> endedEarly_;
    std::vector<ChecklistRow> lastScanned_;
};

}  // namespace tw
