#include "scan/ScanDriver.h"

#include <algorithm>

#include "platform/ComScope.h"
#include "platform/FileSystem.h"
#include "platform/LoadText.h"
#include "platform/MessagePump.h"
#include "platform/Text.h"
#include "platform/Volumes.h"
#include "strings.h"

namespace tw {

namespace {

// The view of a second look after a repair: the chosen categories ticked, their rows kept,
// nothing shown; its questions and reports go to the view of the scan it repeats.
class AgainView : public ScanView, public ScanSink {
public:
    AgainView(std::vector<ChecklistRow> rows, ScanView& outer) : rows_(std::move(rows)), outer_(outer) {}
    bool ScanCaptionIsStart() override { return !scanning_; }
    void SetScanCaptions(bool scanning) override { scanning_ = scanning; }
    void ResetScanHints() override {}
    void SetSelectAllEnabled(bool) override {}
    void SetRepairControls(bool) override {}
    void SetStatus(const std::string&) override {}
    int ChecklistRowCount() override { return kRowWineDesktop + 1; }
    bool IsRowTicked(int row) override {
        return std::find(rows_.begin(), rows_.end(), static_cast<ChecklistRow>(row)) != rows_.end();
    }
    int ChecklistIndexOf(ChecklistRow row) override { return row; }
    int FindingCount() override { return static_cast<int>(found.size()); }
    void ClearFindings() override { found.clear(); }
    ScanSink& Sink() override { return *this; }
    void ProcessMessages() override { PauseForMessages(); }
    HWND OwnerWindow() override { return outer_.OwnerWindow(); }
    bool ConfirmOnMultiBoot(ChecklistRow row) override { return outer_.ConfirmOnMultiBoot(row); }
    void ReportEndedEarly(const std::vector<EndedEarly>& ended) override { outer_.ReportEndedEarly(ended); }
    void AddFinding(const Finding& f) override { found.push_back(f); }
    void ShowStatus(const std::string&) override {}

    std::vector<Finding> found;

private:
    std::vector<ChecklistRow> rows_;
    ScanView& outer_;
    bool scanning_ = false;
};

// The disk-file category's walk of every fixed drive, then its one more step, on a thread of its
// own: reading one shortcut asks Wine's server many times over, and on the UI thread the
// window's input would wait behind those calls. Each drive is walked as on the UI thread; an
// error ends that drive only and is kept for the closing report.
class DriveWalk : public WorkerThread {
public:
    DriveWalk(const ScanCategory& c, const ScanContext& ctx, ScanSink& sink)
        : driveStep_(c.driveStep), step_(c.step), ctx_(ctx), sink_(sink) {
        // The walk stops at the stop request of this thread, and it never names a window.
        ctx_.scanning = [this] { return !Terminated(); };
        ctx_.owner = nullptr;
        ctx_.desktop = nullptr;
    }
    // Why each drive (or the last step) ended early; read only after the thread has ended.
    std::vector<std::string> failures;

protected:
    void Execute() override {
        ComScope com;
        const DWORD mask = LogicalDrives();
        for (int bit = 1; bit <= 25 && driveStep_; ++bit) {  // B: to Z:; A: is never walked
            if (Terminated()) break;
            if (!(mask & (1u << bit))) continue;
            const std::string root = std::string(1, static_cast<char>('A' + bit)) + ":\\";
            // Under Wine a fixed drive may be the host's whole file system (Z: maps "/"): that
            // is not a disk of the system being cleaned, and its walk would never end in useful
            // time.
            if (DriveType(root) != DRIVE_FIXED || IsHostRootDrive(root)) continue;
            Run([&] { driveStep_(ctx_, sink_, root); });
        }
        if (step_ && !Terminated()) Run([&] { step_(ctx_, sink_); });
    }

private:
    void Run(const std::function<void()>& step) {
        try {
            step();
        } catch (const std::exception& e) {
            failures.push_back(e.what());
        }
    }

    DriveStep driveStep_;
    UiStep step_;
    ScanContext ctx_;
    ScanSink& sink_;
};

}  // namespace

ScanDriver::ScanDriver(ScanView& view, ScanContext context, ScanCategories categories)
    : view_(view), context_(std::move(context)), categories_(std::move(categories)),
      ui_(new UiDispatcher) {
    context_.scanning = [this] { return scanning_; };
}

ScanDriver::~ScanDriver() {
    Shutdown();
    // Runs (and so frees) whatever completions are still queued; they see the shutdown.
    ui_.reset();
}

void ScanDriver::ScanCommand() {
    if (shutDown_) return;
    if (view_.ScanCaptionIsStart())
        Start();
    else
        Stop();
}

void ScanDriver::Start() {
    // A second Start from inside the running one (its message processing) would interleave two
    // scans on one list; the first one must come to its end first.
    if (inStart_) return;
    inStart_ = true;
    scanning_ = true;
    stopped_ = false;
    ++generation_;
    view_.SetScanCaptions(true);
    view_.SetSelectAllEnabled(false);
    view_.SetRepairControls(false);
    view_.ClearFindings();
    runningScans_ = 0;
    // Hold the count for the whole command: a worker thread that ends while a UI-thread
    // scanner lets messages run must not finish the scan before the command is through.
    ++runningScans_;
    endedEarly_.clear();
    lastScanned_.clear();
    current_.clear();
    for (const ScanCategory& c : categories_.Rows())
        if (Ticked(c.row)) {
            lastScanned_.push_back(c.row);
            categorySinks_.emplace_back(new CategorySink(view_.Sink(), ignoreList_, c.row));
            current_.push_back(categorySinks_.back().get());
        }
    context_.owner = view_.OwnerWindow();
    try {
        RunSteps();
    } catch (const std::exception& e) {
        endedEarly_.push_back({-1, e.what()});
    }
    --runningScans_;
    // A scan without worker threads ends here, and so does its system file check: the user
    // ticked it. It runs while the command is still under way, so no second scan can start
    // from the messages that run during the wait.
    if (!shutDown_ && runningScans_ == 0) ScanEndSteps();
    inStart_ = false;
    if (shutDown_) return;
    if (runningScans_ == 0) FinishInCommand();
}

std::unique_ptr<HandOverSink> ScanDriver::NewRunSink(ChecklistRow row) {
    unsigned gen = generation_;
    return std::unique_ptr<HandOverSink>(
        new HandOverSink(*ui_, SinkFor(row), [this, gen] { return !shutDown_ && gen == generation_; }));
}

ScanSink& ScanDriver::SinkFor(ChecklistRow row) {
    for (CategorySink* c : current_)
        if (c->row == row) return c->Sink();
    return Sink();
}

void ScanDriver::CategoryEnded(ChecklistRow row) {
    int done = 0;
    CategorySink* ended = nullptr;
    for (CategorySink* c : current_) {
        if (c->row == row && !c->done) {
            c->done = true;
            ended = c;
        }
        if (c->done) ++done;
    }
    if (ended) view_.CategoryDone(row, ended->count, done, static_cast<int>(current_.size()));
}

WorkerThread* ScanDriver::AddThread(const ScanCategory& c) {
    if (!c.thread) return nullptr;
    std::unique_ptr<HandOverSink> sink = NewRunSink(c.row);
    std::unique_ptr<WorkerThread> t = c.thread(context_, *sink);
    return CountThread(c.row, std::move(sink), std::move(t), nullptr);
}

WorkerThread* ScanDriver::AddDriveWalk(const ScanCategory& c) {
    std::unique_ptr<HandOverSink> sink = NewRunSink(c.row);
    std::unique_ptr<DriveWalk> walk(new DriveWalk(c, context_, *sink));
    const std::vector<std::string>* failures = &walk->failures;
    return CountThread(c.row, std::move(sink), std::move(walk), failures);
}

WorkerThread* ScanDriver::CountThread(ChecklistRow row, std::unique_ptr<HandOverSink> sink,
                                      std::unique_ptr<WorkerThread> t, const std::vector<std::string>* failures) {
    if (!t) return nullptr;
    WorkerThread* raw = t.get();
    HandOverSink* handOver = sink.get();
    handOver->SetProducer(raw);
    UiDispatcher* ui = ui_.get();
    raw->onFinished = [this, ui, raw, handOver](WorkerThread&) {
        // What the thread still holds back is shown before its completion counts the rows.
        try {
            handOver->Flush();
        } catch (const std::exception&) {
        }
        ui->Post([this, raw] { Completion(raw); });
    };
    threads_.push_back({std::move(sink), std::move(t), generation_, row, failures});
    ++runningScans_;
    return raw;
}

void ScanDriver::RunStep(int row, const std::function<void()>& step) {
    // A scanner that cannot go on ends its own category only: the scan goes on with the next
    // one, and the closing report says which category ended early and where.
    try {
        step();
    } catch (const std::exception& e) {
        endedEarly_.push_back({row, e.what()});
    }
}

bool ScanDriver::Ticked(ChecklistRow row) {
    const int index = view_.ChecklistIndexOf(row);
    return index >= 0 && index < view_.ChecklistRowCount() && view_.IsRowTicked(index);
}

void ScanDriver::RunSteps() {
    // The threads that start with the scan: all made and counted first, then started side by side.
    const size_t first = threads_.size();
    for (const ScanCategory& c : categories_.Rows())
        if (c.runs == RunsOn::WorkerFromStart && Ticked(c.row)) AddThread(c);
    for (size_t i = first; i < threads_.size(); ++i) threads_[i].thread->Start();

    for (const ScanCategory& c : categories_.Rows()) {
        if (!Ticked(c.row)) continue;
        if (!AskFirst(c)) {
            CategoryEnded(c.row);
            continue;
        }
        ScanSink& sink = SinkFor(c.row);
        switch (c.runs) {
            case RunsOn::UiThread:
                if (c.step) RunUiStep(c, [&] { c.step(context_, sink); });
                CategoryEnded(c.row);
                break;
            case RunsOn::WorkerThread:
                if (WorkerThread* t = AddThread(c)) t->Start();
                break;
            case RunsOn::EachFixedDrive:
                if (WorkerThread* t = AddDriveWalk(c))
                    t->Start();
                else
                    CategoryEnded(c.row);
                break;
            case RunsOn::WorkerFromStart:
            case RunsOn::ScanEnd:
                break;
        }
    }
}

void ScanDriver::RunUiStep(const ScanCategory& c, const std::function<void()>& step) {
    ++runningScans_;
    RunStep(c.row, step);
    --runningScans_;
}

bool ScanDriver::AskFirst(const ScanCategory& c) {
    return !c.askOnMultiBoot || !multiBoot_ || !context_.os.IsNineX() || view_.ConfirmOnMultiBoot(c.row);
}

void ScanDriver::Stop() {
    scanning_ = false;
    stopped_ = true;
    view_.SetScanCaptions(false);
    // In table order: the file-type thread first, then the hives in their order.
    for (const ScanCategory& c : categories_.Rows())
        for (RunningThread& r : threads_)
            if (r.row == c.row && r.generation == generation_) r.thread->Terminate();
}

void ScanDriver::Completion(WorkerThread* t) {
    if (shutDown_) return;
    auto it = std::find_if(threads_.begin(), threads_.end(),
                           [t](const RunningThread& r) { return r.thread.get() == t; });
    if (it == threads_.end()) return;
    unsigned gen = it->generation;
    const ChecklistRow row = it->row;
    // The thread has posted this as its last act: joining it here is immediate.
    WaitForSingleObject(t->Handle(), INFINITE);
    // Ended, so its failure is its last word and safe to read.
    if (gen == generation_ && !t->Failure().empty())
        endedEarly_.push_back({row, t->Failure()});
    if (gen == generation_ && it->failures)
        for (const std::string& why : *it->failures) endedEarly_.push_back({row, why});
    threads_.erase(it);
    // A stopped scan's late completion never counts against the scan that followed it.
    if (gen != generation_) return;
    CategoryEnded(row);
    if (--runningScans_ != 0) return;
    FinishInCompletion();
}

void ScanDriver::FinishInCommand() {
    view_.SetScanCaptions(false);
    view_.ResetScanHints();
    view_.SetSelectAllEnabled(true);
    int rows = view_.FindingCount();
    view_.SetStatus(DoneStatus(rows, false));
    if (rows > 0) view_.SetRepairControls(true);
    ReportEndedEarly();
    if (onScanFinished) onScanFinished();
}

std::string ScanDriver::DoneStatus(int rows, bool afterThreads) const {
    const std::string note =
        endedEarly_.empty() ? std::string() : LoadText(IDS_SCAN_ENDED_EARLY_NOTE, {endedEarly_.size()});
    if (stopped_) return LoadText(afterThreads ? IDS_SCAN_STOPPED_AFTER_THREADS : IDS_SCAN_STOPPED, {rows, note});
    return LoadText(afterThreads ? IDS_SCAN_DONE_AFTER_THREADS : IDS_SCAN_DONE, {rows, note});
}

void ScanDriver::ReportEndedEarly() {
    if (endedEarly_.empty()) return;
    const std::vector<EndedEarly> ended = std::move(endedEarly_);
    endedEarly_.clear();
    view_.ReportEndedEarly(ended);
}

void ScanDriver::ScanEndSteps() {
    // Found by what they are, not where: under Wine the Wine row stands before the file check.
    for (const ScanCategory& c : categories_.Rows())
        if (c.runs == RunsOn::ScanEnd && c.step && scanning_ && Ticked(c.row)) {
            RunStep(c.row, [&] { c.step(context_, SinkFor(c.row)); });
            CategoryEnded(c.row);
        }
}

void ScanDriver::FinishInCompletion() {
    ScanEndSteps();
    if (shutDown_) return;
    view_.SetSelectAllEnabled(true);
    int rows = view_.FindingCount();
    view_.SetRepairControls(rows > 0);
    view_.SetScanCaptions(false);
    view_.SetStatus(DoneStatus(rows, true));
    ReportEndedEarly();
    if (onScanFinished) onScanFinished();
}

std::vector<Finding> ScanDriver::ScanAfterRepair(const std::vector<Finding>& repaired) {
    std::vector<ChecklistRow> again;
    for (const ScanCategory& c : categories_.Rows()) {
        if (!c.madeStaleBy || std::find(lastScanned_.begin(), lastScanned_.end(), c.row) == lastScanned_.end())
            continue;
        for (const Finding& f : repaired)
            if (c.madeStaleBy(f)) {
                again.push_back(c.row);
                break;
            }
    }
    if (again.empty() || shutDown_) return {};
    AgainView view(again, view_);
    ScanDriver driver(view, context_, categories_);
    driver.SetIgnoreList(ignoreList_);
    bool finished = false;
    driver.onScanFinished = [&finished] { finished = true; };
    driver.ScanCommand();
    RunUntil([&finished] { return finished; });
    return std::move(view.found);
}

void ScanDriver::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    scanning_ = false;
    // Nothing a worker hands over is shown any more: a worker waiting for its batch to be
    // taken is released at once, and its next hand-over ends it.
    if (ui_) ui_->Close();
    std::vector<HANDLE> handles;
    for (RunningThread& r : threads_) {
        r.thread->Terminate();
        handles.push_back(r.thread->Handle());
    }
    // Keep the window painting while they end.
    if (!handles.empty()) WaitPumping(handles.data(), static_cast<DWORD>(handles.size()));
    threads_.clear();
}

}  // namespace tw
