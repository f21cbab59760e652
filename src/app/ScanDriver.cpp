#include "app/ScanDriver.h"

#include <algorithm>

#include "app/Checklist.h"
#include "platform/FileSystem.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "platform/Volumes.h"
#include "repair/SystemFileCheck.h"

namespace tw {

namespace {

const char kDone[] = "扫描完毕。共检查到：";
const char kMultiBootQuestion[] =
    "警告！Tarnwell检测到您的计算机安装了多个操作系统，在安装有多种文件系统（例如：同时存在Fat32和"
    "NTFS格式的分区）的机器上扫描磁盘文件错误Tarnwell可能无法准确地判断快捷方式是否有效，您真的要进行扫描吗？";

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
    try {
        RunSteps();
    } catch (const std::exception& e) {
        endedEarly_.push_back(e.what());
    }
    --runningScans_;
    // A scan without worker threads ends here, and so does its system file check: the user
    // ticked it. It runs while the command is still under way, so no second scan can start
    // from the messages that run during the wait.
    if (!shutDown_ && runningScans_ == 0) SystemFileCheckIfTicked();
    inStart_ = false;
    if (shutDown_) return;
    if (runningScans_ == 0) FinishInCommand();
}

std::unique_ptr<HandOverSink> ScanDriver::NewRunSink() {
    unsigned gen = generation_;
    return std::unique_ptr<HandOverSink>(
        new HandOverSink(*ui_, Sink(), [this, gen] { return !shutDown_ && gen == generation_; }));
}

void ScanDriver::AddThread(std::unique_ptr<HandOverSink> sink, std::unique_ptr<WorkerThread> t, int kind) {
    if (!t) return;
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
    threads_.push_back({std::move(sink), std::move(t), generation_, kind});
    ++runningScans_;
}

void ScanDriver::RunStep(int row, const std::function<void()>& step) {
    // A scanner that cannot go on ends its own category only: the scan goes on with the next
    // one, and the closing report says which category ended early and where.
    try {
        step();
    } catch (const std::exception& e) {
        endedEarly_.push_back(ChecklistCaption(row) + "：" + e.what());
    }
}

void ScanDriver::RunSteps() {
    auto ticked = [this](ChecklistRow row) {
        const int index = view_.ChecklistIndexOf(row);
        return index >= 0 && index < view_.ChecklistRowCount() && view_.IsRowTicked(index);
    };

    // Hive threads: all created and counted first, then started side by side.
    const HKEY roots[3] = {HKEY_CURRENT_USER, HKEY_USERS, HKEY_LOCAL_MACHINE};
    size_t firstHive = threads_.size();
    for (int i = 0; i < 3; ++i) {
        if (!ticked(static_cast<ChecklistRow>(kRowCurrentUser + i)) || !categories_.hiveThread) continue;
        std::unique_ptr<HandOverSink> sink = NewRunSink();
        std::unique_ptr<WorkerThread> t = categories_.hiveThread(context_, *sink, roots[i]);
        AddThread(std::move(sink), std::move(t), i);
    }
    for (size_t i = firstHive; i < threads_.size(); ++i) threads_[i].thread->Start();

    ScanSink& sink = Sink();
    if (ticked(kRowSoftware) && categories_.softwareKeys)
        RunStep(kRowSoftware, [&] { categories_.softwareKeys(context_, sink); });
    if (ticked(kRowProgramMenu)) {
        RunStep(kRowProgramMenu, [&] {
            if (categories_.contextMenuHandlers)
                for (const char* type : {"*", "Directory", "Drive", "Folder"})
                    categories_.contextMenuHandlers(context_, sink, type);
            if (categories_.startMenuOrder) categories_.startMenuOrder(context_, sink);
        });
    }
    if (ticked(kRowFileTypes) && categories_.fileTypeThread) {
        std::unique_ptr<HandOverSink> sink = NewRunSink();
        std::unique_ptr<WorkerThread> t = categories_.fileTypeThread(context_, *sink);
        WorkerThread* raw = t.get();
        AddThread(std::move(sink), std::move(t), 3);
        if (raw) raw->Start();
    }
    if (ticked(kRowHelpFiles) && categories_.helpFiles)
        RunStep(kRowHelpFiles, [&] { categories_.helpFiles(context_, sink); });
    if (ticked(kRowSharedDlls) && categories_.sharedDlls)
        RunStep(kRowSharedDlls, [&] { categories_.sharedDlls(context_, sink); });
    if (ticked(kRowUninstall) && categories_.uninstallEntries)
        RunStep(kRowUninstall, [&] { categories_.uninstallEntries(context_, sink); });
    if (ticked(kRowFonts) && categories_.fonts) RunStep(kRowFonts, [&] { categories_.fonts(context_, sink); });
    if (ticked(kRowDiskFiles)) DiskFileStep();
    if (ticked(kRowDiskDirs) && categories_.directories) {
        ++runningScans_;
        RunStep(kRowDiskDirs, [&] { categories_.directories(context_, sink); });
        --runningScans_;
    }
    if (ticked(kRowWineDesktop) && categories_.wineDesktop)
        RunStep(kRowWineDesktop, [&] { categories_.wineDesktop(context_, sink); });
}

void ScanDriver::DiskFileStep() {
    if (multiBoot_ && context_.majorVersion == 4 &&
        ShowMessage(view_.OwnerWindow(), kMultiBootQuestion, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    DWORD mask = LogicalDrives();
    std::vector<std::string> drives;
    for (int bit = 1; bit <= 25; ++bit)  // B: to Z:; A: is never walked
        if (mask & (1u << bit)) drives.push_back(std::string(1, static_cast<char>('A' + bit)) + ":");
    for (const std::string& drive : drives) {
        if (!scanning_) break;
        const std::string root = drive + "\\";
        // Under Wine a fixed drive may be the host's whole file system (Z: maps "/"): that is
        // not a disk of the system being cleaned, and its walk would never end in useful time.
        if (DriveType(root) != DRIVE_FIXED || IsHostRootDrive(root) || !categories_.diskFiles) continue;
        ++runningScans_;
        RunStep(kRowDiskFiles, [&] { categories_.diskFiles(context_, Sink(), root); });
        --runningScans_;
    }
}

void ScanDriver::Stop() {
    scanning_ = false;
    view_.SetScanCaptions(false);
    // File-type thread first, then the hives in their order.
    for (int kind : {3, 0, 1, 2})
        for (RunningThread& r : threads_)
            if (r.kind == kind && r.generation == generation_) r.thread->Terminate();
}

void ScanDriver::Completion(WorkerThread* t) {
    if (shutDown_) return;
    auto it = std::find_if(threads_.begin(), threads_.end(),
                           [t](const RunningThread& r) { return r.thread.get() == t; });
    if (it == threads_.end()) return;
    unsigned gen = it->generation;
    const int kind = it->kind;
    // The thread has posted this as its last act: joining it here is immediate.
    WaitForSingleObject(t->Handle(), INFINITE);
    // Ended, so its failure is its last word and safe to read.
    if (gen == generation_ && !t->Failure().empty())
        endedEarly_.push_back(ChecklistCaption(kind == 3 ? kRowFileTypes : kRowCurrentUser + kind) + "：" + t->Failure());
    threads_.erase(it);
    // A stopped scan's late completion never counts against the scan that followed it.
    if (gen != generation_) return;
    if (--runningScans_ != 0) return;
    FinishInCompletion();
}

void ScanDriver::FinishInCommand() {
    view_.SetScanCaptions(false);
    view_.ResetScanHints();
    view_.SetSelectAllEnabled(true);
    int rows = view_.FindingCount();
    view_.SetStatus(kDone + IntToStr(rows) + " 个错误。" + EndedEarlyNote());
    if (rows > 0) view_.SetRepairControls(true);
    ReportEndedEarly();
    if (onScanFinished) onScanFinished();
}

std::string ScanDriver::EndedEarlyNote() const {
    if (endedEarly_.empty()) return {};
    return "（" + IntToStr(static_cast<long long>(endedEarly_.size())) + " 个项目没有扫描完）";
}

void ScanDriver::ReportEndedEarly() {
    if (endedEarly_.empty()) return;
    std::string text = "下列项目没有扫描完，其余项目照常扫描：";
    for (const std::string& e : endedEarly_) text += "\r\n" + ShortForDisplay(e, 300);
    endedEarly_.clear();
    ShowError(view_.OwnerWindow(), text);
}

void ScanDriver::SystemFileCheckIfTicked() {
    // Found by what it is: under Wine the Wine row stands before it.
    const int row = view_.ChecklistIndexOf(kRowSystemFiles);
    if (scanning_ && row >= 0 && row < view_.ChecklistRowCount() && view_.IsRowTicked(row))
        RunSystemFileCheck(Sink(), view_.OwnerWindow(), context_.windowsDir);
}

void ScanDriver::FinishInCompletion() {
    SystemFileCheckIfTicked();
    if (shutDown_) return;
    view_.SetSelectAllEnabled(true);
    int rows = view_.FindingCount();
    view_.SetRepairControls(rows > 0);
    view_.SetScanCaptions(false);
    view_.SetStatus(kDone + IntToStr(rows) + " 个错误" + EndedEarlyNote());
    ReportEndedEarly();
    if (onScanFinished) onScanFinished();
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
