#include "cli/ConsoleRepair.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/HostSystem.h"
#include "platform/RegFileFormat.h"
#include "platform/Text.h"
#include "repair/Backup.h"
#include "repair/UndoCommand.h"
#include "repair/UndoFile.h"
#include "scanners/PathCheck.h"
#include "scanners/registry/MsiProduct.h"

namespace tw {

namespace {

bool Done(RepairOutcome o) { return o == RepairOutcome::Repaired || o == RepairOutcome::AlreadyGone; }

// The lines of a .reg file after its first, in ANSI text, without the blank ones.
std::vector<std::string> RegFileLines(const std::string& bytes) {
    std::string text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::wstring wide((bytes.size() - 2) / 2, L'\0');
        for (size_t i = 0; i < wide.size(); ++i)
            wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                           (static_cast<unsigned char>(bytes[3 + 2 * i]) << 8));
        text = WideToAnsi(wide);
    } else {
        text = bytes;
    }
    std::vector<std::string> lines;
    size_t start = 0;
    bool first = true;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        // The record's mark is the file's own, not what would go.
        if (!first && !line.empty() && line[0] != ';') lines.push_back(line);
        first = false;
        start = end + 2;
    }
    return lines;
}

// What the repair of one row would do, judged as RepairFinding judges it but without deleting
// anything: what a registry row would delete is recorded exactly as the undo file would record
// it (into a scratch file that is read back and removed), a disk row names its file or folder.
class DryRun {
public:
    explicit DryRun(const ConsoleRepairOptions& o)
        : options_(o), flavor_(FlavorForMajorVersion(o.majorVersion)) {
        char temp[MAX_PATH + 1] = {};
        const DWORD n = GetTempPathA(MAX_PATH, temp);
        if (n > 0 && n <= MAX_PATH) folder_ = std::string(temp) + "TarnwellDryRun" + IntToStr(GetCurrentProcessId()) + "\\";
    }
    ~DryRun() {
        if (!folder_.empty()) RemoveDirectoryA(folder_.c_str());
    }

    RepairOutcome Judge(const Finding& f, std::vector<std::string>& detail) {
        detail.clear();
        if (options_.ignored && options_.ignored->Protects(f)) return RepairOutcome::Ignored;
        if (!StillMissing(f)) return RepairOutcome::NowPresent;
        if (IsWineHostRow(f)) {
            std::string why;
            const RepairOutcome o = PlanWineHostRepair(f, wine_, why);
            if (o == RepairOutcome::Repaired) detail.push_back(f.location);
            return o;
        }
        const HKEY root = RootFromCaption(f.caption);
        switch (f.kind) {
            case FindingKind::File:
            case FindingKind::Folder: {
                std::string path = f.location;
                if (f.kind == FindingKind::Folder && path.size() > 3 && path.back() == '\\' &&
                    !IsLeadByteAt(path, path.size() - 2))
                    path.pop_back();
                if (!IsRepairableDiskPath(path)) return RepairOutcome::Failed;
                const PathState state = QueryPath(path);
                if (IsGone(state)) return RepairOutcome::AlreadyGone;
                // A file row names one file, a folder row one folder: anything else is not
                // what was found, and the repair leaves it.
                if (state != (f.kind == FindingKind::File ? PathState::File : PathState::Directory))
                    return RepairOutcome::Failed;
                detail.push_back(path);
                return RepairOutcome::Repaired;
            }
            case FindingKind::RegistryKey:
                if (!IsRepairableKeyLocation(f.location)) return RepairOutcome::Failed;
                return Record(detail, [&](UndoFile& u) { return u.RecordKey(root, f.location); });
            case FindingKind::RegistryDefaultValue:
                if (!IsRepairableValueLocation(f.location)) return RepairOutcome::Failed;
                return Record(detail, [&](UndoFile& u) { return u.RecordDefaultValue(root, f.location); });
            case FindingKind::RegistryValue:
                if (!IsRepairableValueLocation(f.location)) return RepairOutcome::Failed;
                return Record(detail, [&](UndoFile& u) { return u.RecordValue(root, f.location, f.keyName); });
            case FindingKind::ProductUninstall: {
                // Nothing is deleted by hand: the product's own uninstall would run.
                std::string code;
                switch (ProductOfEntry(root, f.location, code)) {
                    case EntryProduct::NoEntry: return RepairOutcome::AlreadyGone;
                    case EntryProduct::NotProduct: return RepairOutcome::Failed;
                    case EntryProduct::Product: break;
                }
                detail.push_back("msiexec /x " + code + " /qn");
                return RepairOutcome::Repaired;
            }
            case FindingKind::Unspecified: break;
        }
        return RepairOutcome::Failed;
    }

private:
    template <class Fn>
    RepairOutcome Record(std::vector<std::string>& detail, Fn record) {
        if (folder_.empty()) return RepairOutcome::NotRecorded;
        UndoFile undo;
        undo.AllowLineBreakEscapes(RunningUnderWine());
        if (!undo.Open(flavor_, folder_)) return RepairOutcome::NotRecorded;
        const std::string path = undo.Path();
        const bool ok = record(undo);
        const int records = undo.RecordCount();
        undo.Close();  // removes a file without records
        if (records > 0) {
            std::string bytes;
            ReadWholeFile(path, bytes);
            detail = RegFileLines(bytes);
            DeleteFileA(path.c_str());
        }
        if (!ok) return RepairOutcome::NotRecorded;
        return records > 0 ? RepairOutcome::Repaired : RepairOutcome::AlreadyGone;
    }

    const ConsoleRepairOptions& options_;
    WineLeftovers wine_;
    RegFileFlavor flavor_;
    std::string folder_;
};

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

int ConsoleRepair(ConsoleView& view, FindingList& findings, const ConsoleRepairOptions& options) {
    const int count = findings.Count();
    // The lines as scanned: repair marks the rows it repaired, which changes their image.
    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i) lines.push_back(ConsoleLine(findings.At(i)));
    int status = 0;

    if (options.dryRun) {
        DryRun judge(options);
        std::vector<std::string> detail;
        for (int i = 0; i < count; ++i) {
            const RepairOutcome o = judge.Judge(findings.At(i), detail);
            if (!Done(o)) status = 1;
            std::string text = lines[static_cast<size_t>(i)] + "\t" + OutcomeWord(o, true) + "\n";
            // What would go, each line after a tab: a Finding's line never starts with one.
            for (const std::string& d : detail) text += "\t" + EscapeForConsole(d) + "\n";
            view.Write(stdout, text);
        }
        return status;
    }

    ConsoleRepairView repairView;
    auto printAll = [&](const char* word) {
        for (const std::string& line : lines) view.Write(stdout, line + "\t" + word + "\n");
    };
    if (options.backup && count > 0) {
        QuietProgress quiet;
        RegistryBackup backup(repairView, quiet);
        if (!backup.ToolButton4Click()) {
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
    Repairer repairer(findings, repairView, context, nullptr);
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
                view.Write(stderr, f.location + "：" + repairer.HostSaid() + "\n");
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
        view.Write(stdout, lines[i] + "\t" + OutcomeWord(o) + (i < answers.size() ? answers[i] : std::string()) + "\n");
    }
    std::string summary = "修复了 " + IntToStr(counts.repaired) + " 个错误，" +
                          IntToStr(static_cast<long long>(lines.size()) - counts.repaired) + " 个没有修复。";
    if (counts.foundAfter > 0)
        summary += "其中 " + IntToStr(counts.foundAfter) + " 个是修复后再次扫描发现的（说明以“" +
                   kFoundAfterRepair + "”开头）。";
    if (!repairer.UndoPath().empty() && FileExists(repairer.UndoPath()))
        summary += "撤销文件：" + repairer.UndoPath();
    view.Write(stderr, summary + "\n");
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
            view.Write(stderr, "没有可以撤销的修复：文件夹“" + UndoFolder() + "”中没有撤销文件。\n");
            return 2;
        }
        path = files.back();
    }
    RegFileFlavor flavor;
    std::vector<RegFileKey> keys;
    if (!ReadUndoFile(path, flavor, keys)) {
        view.Write(stderr, "撤销失败！无法读取撤销文件“" + path + "”，注册表没有改变。\n");
        return 2;
    }
    // A file that holds more than a repair recorded is not imported: nothing could be undone.
    const std::string refusal = UndoRefusal(path, {flavor, keys});
    if (!refusal.empty()) {
        view.Write(stderr, refusal + "\n");
        return 2;
    }
    ConsoleRepairView repairView;
    QuietProgress quiet;
    UndoCommand undo(repairView, quiet);
    const bool ok = undo.UndoFrom(path);
    view.Write(stdout, EscapeForConsole(path) + "\t" + IntToStr(static_cast<long long>(keys.size())) + "\t" +
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
        view.Write(stdout, date + "\t" + keyCount + "\t" + size + "\t" + EscapeForConsole(path) + "\n");
    }
    return 0;
}

}  // namespace tw
