#include "repair/RepairPlan.h"

#include "platform/FileSystem.h"
#include "platform/HostSystem.h"
#include "platform/LoadText.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "repair/Deletion.h"
#include "repair/UndoFile.h"
#include "scanners/PathCheck.h"
#include "scanners/registry/MsiProduct.h"
#include "strings.h"

namespace tw {

namespace {

RepairPlan Outcome(RepairOutcome outcome, std::string why = std::string()) {
    RepairPlan plan;
    plan.outcome = outcome;
    plan.why = std::move(why);
    return plan;
}

RepairPlan Goes(RepairStep step, HKEY root, std::string target) {
    RepairPlan plan;
    plan.outcome = RepairOutcome::Repaired;
    plan.step = step;
    plan.root = root;
    plan.target = std::move(target);
    return plan;
}

// The lines of a .reg file after its first, in ANSI text, without the blank ones and the
// records' marks (the file's own, not what would go).
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
        if (!first && !line.empty() && line[0] != ';') lines.push_back(line);
        first = false;
        start = end + 2;
    }
    return lines;
}

// Whether a folder holds nothing, or is a link (which goes by itself, whatever its target holds).
// A folder that cannot be listed counts as empty: the system refuses to remove one that is not.
bool HoldsNothing(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (ReadPathData(path, data) && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    bool empty = true;
    ListDirectory(path + "\\*", ~DWORD(0), [&](const DirEntry& e) {
        empty = e.name == "." || e.name == "..";
        return empty;
    });
    return empty;
}

}  // namespace

bool StillMissing(const Finding& f, std::string* present) {
    for (const std::string& path : f.missingPaths) {
        bool missing;
        switch (f.missingRule) {
            case Finding::Missing::NoProgram: missing = IsNoFile(JudgeProgram(path)); break;
            case Finding::Missing::NoFile: missing = IsNoFile(JudgePath(path)); break;
            default: missing = IsNothing(JudgePath(path)); break;
        }
        if (!missing) {
            if (present) *present = path;
            return false;
        }
    }
    return true;
}

RepairPlanner::RepairPlanner(const IgnoreList* ignored, OsFamily os) : ignored_(ignored), os_(os) {}

RepairPlanner::~RepairPlanner() {
    if (!scratch_.empty()) RemoveDirectoryA(scratch_.c_str());
}

void RepairPlanner::Forget() { host_.reset(); }

WineLeftovers& RepairPlanner::HostLeftovers() {
    if (!host_) host_.reset(new WineLeftovers);
    return *host_;
}

RepairPlan RepairPlanner::Plan(const Finding& f, Detail detail) {
    if (ignored_ && ignored_->Protects(f)) return Outcome(RepairOutcome::Ignored);
    // Right before anything goes: the row may have sat in the list for hours, and what it said
    // was missing may be back (a drive plugged in again, a program reinstalled).
    std::string present;
    if (!StillMissing(f, &present)) return Outcome(RepairOutcome::NowPresent, present);
    RepairPlan plan;
    switch (f.kind) {
        case FindingKind::File:
        case FindingKind::Folder: return PlanDisk(f);
        case FindingKind::HostFile:
        case FindingKind::HostFolder: return PlanHost(f);
        case FindingKind::RegistryKey: plan = PlanKey(f); break;
        case FindingKind::RegistryValue:
        case FindingKind::RegistryDefaultValue: plan = PlanValue(f); break;
        case FindingKind::ProductUninstall: return PlanProduct(f);
        case FindingKind::Unspecified: return Outcome(RepairOutcome::Failed);
    }
    if (detail == WhatGoes && plan.outcome == RepairOutcome::Repaired) ListRecords(f, plan);
    return plan;
}

RepairPlan RepairPlanner::PlanDisk(const Finding& f) {
    const bool folder = f.kind == FindingKind::Folder;
    const std::string path = folder ? StripOneTrailingBackslash(f.location) : f.location;
    if (!IsRepairableDiskPath(path)) return Outcome(RepairOutcome::Failed);
    const PathState state = QueryPath(path);
    if (IsGone(state)) return Outcome(RepairOutcome::AlreadyGone);
    // A file row names one file, a folder row one folder: anything else at that place is not
    // what was found, and stays.
    if (state != (folder ? PathState::Directory : PathState::File)) return Outcome(RepairOutcome::Failed);
    // Only an empty folder goes: one that holds something now stays, with what it holds.
    if (folder && !HoldsNothing(path)) return Outcome(RepairOutcome::Failed);
    RepairPlan plan = Goes(folder ? RepairStep::RemoveEmptyFolder : RepairStep::RecycleFile, nullptr, path);
    plan.goes.push_back(path);
    return plan;
}

RepairPlan RepairPlanner::PlanHost(const Finding& f) {
    // Named by their Linux path: judged again on their own evidence (the file may have been
    // rewritten since), with the verdicts the scan makes.
    std::string why;
    switch (HostLeftovers().Recheck(f, why)) {
        case WineRecheck::Stale: break;
        case WineRecheck::Gone: return Outcome(RepairOutcome::AlreadyGone, why);
        case WineRecheck::NotStale: return Outcome(RepairOutcome::NowPresent, f.location);
        case WineRecheck::CannotTell:
            return Outcome(RepairOutcome::Failed, why.empty() ? LoadText(IDS_HOST_CANNOT_TELL) : why);
        case WineRecheck::Refused: return Outcome(RepairOutcome::Failed, why);
    }
    RepairPlan plan = Goes(RepairStep::MoveToHostTrash, nullptr, f.location);
    plan.goes.push_back(f.location);
    return plan;
}

RepairPlan RepairPlanner::PlanKey(const Finding& f) {
    if (!IsRepairableKeyLocation(f.location)) return Outcome(RepairOutcome::Failed);
    const HKEY root = RootFromCaption(f.caption);
    // A row's key that is itself a link: the link is what was found, not the key behind it.
    if (IsRegistryLink(root, f.location)) return Goes(RepairStep::DeleteLink, root, f.location);
    if (KeyMissing(root, f.location)) return Outcome(RepairOutcome::AlreadyGone);
    return Goes(RepairStep::DeleteKey, root, f.location);
}

RepairPlan RepairPlanner::PlanValue(const Finding& f) {
    if (!IsRepairableValueLocation(f.location)) return Outcome(RepairOutcome::Failed);
    const HKEY root = RootFromCaption(f.caption);
    Registry reg;
    reg.SetRootKey(root);
    if (!reg.OpenKeyReadOnly(f.location))
        return Outcome(KeyMissing(root, f.location) ? RepairOutcome::AlreadyGone : RepairOutcome::Failed);
    if (f.kind == FindingKind::RegistryDefaultValue) {
        // The key-name text is not looked at: a value may really be named like the marker. A
        // default text naming what is gone stays, as the empty text; one that is empty already,
        // or is no text at all (a count, a number), is deleted: emptying it would change
        // nothing, or turn it into a text.
        RegDataInfo info;
        const bool text = reg.GetDataInfo("", info) &&
                          (info.kind == RegDataKind::String || info.kind == RegDataKind::ExpandString);
        if (text && !reg.ReadString("").empty()) return Goes(RepairStep::EmptyDefault, root, f.location);
        if (!reg.ValueExists("")) return Outcome(RepairOutcome::AlreadyGone);
        return Goes(RepairStep::DeleteDefault, root, f.location);
    }
    const LONG rc = RegQueryValueExA(reg.CurrentKey(), f.keyName.c_str(), nullptr, nullptr, nullptr, nullptr);
    if (IsGoneError(static_cast<DWORD>(rc))) return Outcome(RepairOutcome::AlreadyGone);
    return Goes(RepairStep::DeleteValue, root, f.location);
}

RepairPlan RepairPlanner::PlanProduct(const Finding& f) {
    // Nothing is deleted by hand: the product's own uninstall runs. Its code is read again from
    // the entry: the row's texts do not hold it, and the entry may have changed (or gone with an
    // uninstall run meanwhile).
    const HKEY root = RootFromCaption(f.caption);
    std::string code;
    switch (ProductOfEntry(root, f.location, code)) {
        case EntryProduct::NoEntry: return Outcome(RepairOutcome::AlreadyGone, LoadText(IDS_ENTRY_GONE));
        case EntryProduct::NotProduct: return Outcome(RepairOutcome::Failed, LoadText(IDS_ENTRY_NOT_PRODUCT));
        case EntryProduct::Product: break;
    }
    RepairPlan plan = Goes(RepairStep::UninstallProduct, root, code);
    plan.goes.push_back("msiexec /x " + code + " /qn");
    return plan;
}

void RepairPlanner::ListRecords(const Finding& f, RepairPlan& plan) {
    if (scratch_.empty()) {
        char temp[MAX_PATH + 1] = {};
        const DWORD n = GetTempPathA(MAX_PATH, temp);
        if (n > 0 && n <= MAX_PATH)
            scratch_ = std::string(temp) + "TarnwellDryRun" + IntToStr(GetCurrentProcessId()) + "\\";
    }
    UndoFile undo;
    undo.AllowLineBreakEscapes(RunningUnderWine());
    if (scratch_.empty() || !undo.Open(FlavorForMajorVersion(os_.MajorVersion()), scratch_)) {
        plan.outcome = RepairOutcome::NotRecorded;
        return;
    }
    const std::string path = undo.Path();
    bool recorded = false;
    switch (plan.step) {
        case RepairStep::DeleteKey:
        case RepairStep::DeleteLink: recorded = undo.RecordKey(plan.root, f.location); break;
        case RepairStep::EmptyDefault:
        case RepairStep::DeleteDefault: recorded = undo.RecordDefaultValue(plan.root, f.location); break;
        default: recorded = undo.RecordValue(plan.root, f.location, f.keyName); break;
    }
    const int records = undo.RecordCount();
    undo.Close();  // removes a file without records
    std::string bytes;
    if (records > 0 && ReadWholeFile(path, bytes)) plan.goes = RegFileLines(bytes);
    if (records > 0) DeleteFileA(path.c_str());
    // What could not be recorded does not go: the plan lists nothing for it.
    if (!recorded) {
        plan.outcome = RepairOutcome::NotRecorded;
        plan.goes.clear();
    } else if (records == 0) {
        plan.outcome = RepairOutcome::AlreadyGone;
    }
}

}  // namespace tw
