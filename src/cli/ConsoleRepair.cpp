#include "cli/ConsoleRepair.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/HostSystem.h"
#include "platform/LoadText.h"
#include "platform/RegFileFormat.h"
#include "platform/Text.h"
#include "repair/Backup.h"
#include "repair/UndoCommand.h"
#include "repair/UndoFile.h"
#include "scanners/PathCheck.h"
#include "scanners/registry/MsiProduct.h"
#include "strings.h"

namespace tw {

namespace {

bool Done(RepairOutcome o) { return o == RepairOutcome::Repaired || o == RepairOutcome::AlreadyGone; }

// Prints each Finding's line with what its repair would do and, below it, what would go, each
// line after a tab (a Finding's line never starts with one). Deletes nothing.
int PrintDryRun(ConsoleView& view, FindingList& findings, const ConsoleRepairOptions& options,
                const std::vector<std::string>& lines) {
    int status = 0;
    RepairPlanner planner(options.ignored, OsFamily(options.majorVersion));
    for (int i = 0; i < findings.Count(); ++i) {
        const RepairPlan plan = planner.Plan(findings.At(i), RepairPlanner::WhatGoes);
        if (!Done(plan.outcome)) status = 1;
        std::string text = lines[static_cast<size_t>(i)] + "\t" + OutcomeWord(plan.outcome, true) + "\n";
        if (plan.outcome == RepairOutcome::Repaired)
            for (const std::string& d : plan.goes) text += "\t" + EscapeForConsole(d) + "\n";
        view.Write(view.Out(), text);
    }
    return status;
}

// The closing line of a repair on standard error.
std::string Summary(const RepairCounts& counts, int rows, const std::string& undoPath) {
    std::string summary = LoadText(IDS_CONSOLE_SUMMARY, {counts.repaired, rows - counts.repaired});
    if (counts.foundAfter > 0)
        summary += LoadText(IDS_CONSOLE_FOUND_AFTER, {counts.foundAfter, LoadText(IDS_FOUND_AFTER_REPAIR)});
    if (!undoPath.empty() && FileExists(undoPath)) summary += LoadText(IDS_CONSOLE_UNDO_FILE, {undoPath});
    return summary;
}

}  // namespace

int ConsoleRepair(ConsoleView& view, FindingList& findings, const ConsoleRepairOptions& options) {
    const int count = findings.Count();
    // The lines as scanned: repair marks the rows it repaired, which changes their image.
    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i) lines.push_back(ConsoleLine(findings.At(i)));
    int status = 0;

    if (options.dryRun) return PrintDryRun(view, findings, options, lines);

    ConsoleRepairView repairView;
    ConsoleRepairUi ui(view);
    auto printAll = [&](const char* word) {
        for (const std::string& line : lines) view.Write(view.Out(), line + "\t" + word + "\n");
    };
    if (options.backup && count > 0) {
        QuietProgress quiet;
        RegistryBackup backup(repairView, quiet, ui);
        if (!backup.Backup()) {
            printAll("not-run");
            return 2;
        }
    }

    // A product's own uninstall may take minutes: standard error says what the scanner waits for
    // (the status line names the product).
    class WaitLine : public QuietProgress {
    public:
        WaitLine(ConsoleView& v, const ConsoleRepairView& r) : view_(v), repair_(r) {}
        void ShowStoppable(const std::string&, const std::string&) override {
            view_.Write(stderr, repair_.Status() + "\n");
        }

    private:
        ConsoleView& view_;
        const ConsoleRepairView& repair_;
    } waitLine(view, repairView);
    RepairContext context(options.majorVersion);
    context.ignored = options.ignored;
    context.progress = &waitLine;
    context.scanAfterRepair = options.scanAfterRepair;
    Repairer repairer(findings, repairView, ui, context, nullptr);
    std::vector<RepairOutcome> outcomes(static_cast<size_t>(count), RepairOutcome::Failed);
    // What each product's uninstall returned: two more fields on its line.
    std::vector<std::string> answers(static_cast<size_t>(count));
    RepairCounts counts;
    const bool ran = repairer.RepairAllQuietly(
        [&](int row, const Finding& f, RepairOutcome o) {
            if (row < 0) return;
            // A row found after the repair: listed after the scanned ones, as it is found.
            if (row >= count) lines.push_back(ConsoleLine(f));
            const size_t at = static_cast<size_t>(row);
            outcomes.resize(std::max(outcomes.size(), at + 1), RepairOutcome::Failed);
            answers.resize(std::max(answers.size(), at + 1));
            outcomes[at] = o;
            const ProductAnswer& answer = repairer.LastProductAnswer();
            if (!answer.code.empty())
                answers[at] = "\t" + answer.code + "\t" + EscapeForConsole(answer.meaning);
            if (o == RepairOutcome::Failed && !repairer.HostSaid().empty())
                view.Write(stderr, LoadText(IDS_CONSOLE_HOST_NOT_REPAIRED, {f.location, repairer.HostSaid()}) + "\n");
        },
        &counts);
    if (!ran) {
        // The undo file could not be made: nothing was deleted.
        printAll(OutcomeWord(RepairOutcome::NotRecorded));
        return 2;
    }
    for (size_t i = 0; i < lines.size() && i < outcomes.size(); ++i) {
        const RepairOutcome o = outcomes[i];
        if (!Done(o)) status = 1;
        view.Write(view.Out(), lines[i] + "\t" + OutcomeWord(o) + (i < answers.size() ? answers[i] : std::string()) + "\n");
    }
    view.Write(stderr, Summary(counts, static_cast<int>(lines.size()), repairer.UndoPath()) + "\n");
    return status;
}

int ConsoleUndo(ConsoleView& view, const std::string* file) {
    std::string path;
    if (file) {
        char full[MAX_PATH * 2] = {};
        const DWORD n = GetFullPathNameA(file->c_str(), sizeof full, full, nullptr);
        path = n > 0 && n < sizeof full ? std::string(full, n) : *file;
    } else {
        const std::vector<std::string> files = ListUndoFiles();
        if (files.empty()) {
            view.Write(stderr, NoUndoFilesText(UndoFolder()) + "\n");
            return 2;
        }
        path = files.back();
    }
    RegFileFlavor flavor;
    std::vector<RegFileKey> keys;
    if (!ReadUndoFile(path, flavor, keys)) {
        view.Write(stderr, UndoUnreadableText(path) + "\n");
        return 2;
    }
    // A file that holds more than a repair recorded is not imported: nothing could be undone.
    const UndoProblem problem = UndoFileProblem(path, {flavor, keys});
    if (problem.what != UndoProblem::None) {
        view.Write(stderr, UndoRefusedText(path, problem) + "\n");
        return 2;
    }
    ConsoleRepairView repairView;
    QuietProgress quiet;
    ConsoleRepairUi ui(view);
    UndoCommand undo(repairView, quiet, ui);
    const bool ok = undo.UndoFrom(path);
    view.Write(view.Out(), EscapeForConsole(path) + "\t" + IntToStr(static_cast<long long>(keys.size())) + "\t" +
                           (ok ? "restored" : "not-restored") + "\n");
    return ok ? 0 : 1;
}

int ConsoleListUndo(ConsoleView& view) {
    for (const std::string& path : ListUndoFiles()) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        std::string date = "?", size = "?", keyCount = "?";
        if (ReadPathData(path, data)) {
            FILETIME local;
            SYSTEMTIME t;
            if (FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) && FileTimeToSystemTime(&local, &t)) {
                char buf[32];
                snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
                         t.wMinute, t.wSecond);
                date = buf;
            }
            size = IntToStr(static_cast<long long>((static_cast<unsigned long long>(data.nFileSizeHigh) << 32) |
                                                   data.nFileSizeLow));
        }
        RegFileFlavor flavor;
        std::vector<RegFileKey> keys;
        if (ReadUndoFile(path, flavor, keys)) keyCount = IntToStr(static_cast<long long>(keys.size()));
        view.Write(view.Out(), date + "\t" + keyCount + "\t" + size + "\t" + EscapeForConsole(path) + "\n");
    }
    return 0;
}

}  // namespace tw
