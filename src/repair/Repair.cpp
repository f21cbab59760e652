#include "repair/Repair.h"

#include <unordered_set>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/HostSystem.h"
#include "platform/RecycleBin.h"
#include "platform/Registry.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "repair/RepairLog.h"
#include "repair/UndoFile.h"
#include "scanners/PathCheck.h"
#include "scanners/disk/WineDesktopEntries.h"
#include "scanners/registry/MsiProduct.h"

namespace tw {

const char kFoundAfterRepair[] = "修复后发现：";

namespace {

const UINT kQuestion = MB_OKCANCEL | MB_ICONQUESTION;

// Splits at the backslashes that are characters of their own: in code page 936 the second byte
// of a double-byte character may be 0x5C too.
std::vector<std::string> SplitAtBackslashes(const std::string& s) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (IsDBCSLeadByte(static_cast<BYTE>(c)) && i + 1 < s.size()) {
            parts.back() += c;
            parts.back() += s[++i];
        } else if (c == '\\') {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

// Whether any single-byte character of s is one of `bad` (trail bytes are not looked at).
bool HasCharOf(const std::string& s, const char* bad) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(s[i])) && i + 1 < s.size()) {
            ++i;
            continue;
        }
        for (const char* b = bad; *b; ++b)
            if (s[i] == *b) return true;
    }
    return false;
}

bool RegistryPathWithAtLeast(const std::string& location, size_t names) {
    if (location.empty()) return false;
    std::vector<std::string> parts = SplitAtBackslashes(location);
    if (parts.size() < names) return false;
    for (const std::string& p : parts)
        if (p.empty()) return false;
    return true;
}

bool IsGoneError(DWORD err) { return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND; }

// The key is not there at all (not merely unreadable).
bool KeyMissing(HKEY root, const std::string& path) {
    UniqueHKey key;
    return IsGoneError(static_cast<DWORD>(OpenKeyPath(root, path, 0, KEY_READ, key)));
}

// Rows whose repair deletes from the registry itself, and so records it in the undo file first.
// A product's uninstall changes the registry through the installer, which nothing here can undo.
bool NeedsUndoRecord(const Finding& f) {
    return !f.OnDisk() && f.kind != FindingKind::ProductUninstall;
}

std::string RowRecord(const Finding& f) {
    return f.caption + " " + f.location + " " + f.keyName + " " + f.description;
}

// Counts a row's outcome; true when it was repaired.
bool Tally(RepairOutcome outcome, const Finding& f, const IgnoreList* ignored, RepairCounts& tally) {
    switch (outcome) {
        case RepairOutcome::Ignored:
            if (!ignored || !ignored->Contains(f)) ++tally.protectedRows;
            return false;
        case RepairOutcome::NowPresent: ++tally.nowPresent; return false;
        case RepairOutcome::Failed:
        case RepairOutcome::NotRecorded:
            ++tally.failed;
            if (f.kind == FindingKind::ProductUninstall) ++tally.productsFailed;
            if (outcome == RepairOutcome::NotRecorded) ++tally.notRecorded;
            return false;
        case RepairOutcome::Repaired:
        case RepairOutcome::AlreadyGone: break;
    }
    ++tally.repaired;
    return true;
}

// What a row names, as one text: two rows with the same one name the same object the same way
// (their descriptions may differ, or carry the mark of a row found after a repair).
std::string ObjectOf(const Finding& f) {
    return IntToStr(static_cast<int>(f.kind)) + '\t' + f.caption + '\t' + f.location + '\t' + f.keyName;
}

std::string StripOneTrailingBackslash(std::string path) {
    std::vector<std::string> parts = SplitAtBackslashes(path);
    if (parts.size() > 1 && parts.back().empty()) path.pop_back();
    return path;
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

RepairOutcome PlanWineHostRepair(const Finding& f, WineLeftovers& leftovers, std::string& why) {
    switch (leftovers.Recheck(f, why)) {
        case WineRecheck::Stale: return RepairOutcome::Repaired;
        case WineRecheck::Gone: return RepairOutcome::AlreadyGone;
        case WineRecheck::NotStale: return RepairOutcome::NowPresent;
        case WineRecheck::CannotTell:
            if (why.empty()) why = "现在无法判断这一项，没有删除";
            return RepairOutcome::Failed;
        case WineRecheck::Refused: break;
    }
    return RepairOutcome::Failed;
}

bool IsRepairableKeyLocation(const std::string& location) {
    return RegistryPathWithAtLeast(location, 2);
}

bool IsRepairableValueLocation(const std::string& location) {
    return RegistryPathWithAtLeast(location, 1);
}

bool IsRepairableDiskPath(const std::string& path) {
    if (path.size() < 4) return false;
    // Wildcards would widen the deletion; "/" and ":" would let the path say something else
    // than its elements show (other separators, streams).
    if (HasCharOf(path, "*?/\"<>|")) return false;
    std::vector<std::string> parts = SplitAtBackslashes(path);
    size_t first;  // index of the first element below the drive or share
    const unsigned char d = static_cast<unsigned char>(path[0]);
    if (((d | 0x20) >= 'a' && (d | 0x20) <= 'z') && path[1] == ':' && path[2] == '\\') {
        first = 1;  // parts: "C:", elements...
    } else if (path[0] == '\\' && path[1] == '\\') {
        // parts: "", "", server, share, elements...
        if (parts.size() < 4 || parts[2].empty() || parts[3].empty()) return false;
        first = 4;
    } else {
        return false;  // relative, or a drive without its root
    }
    if (parts.size() <= first) return false;
    for (size_t i = first; i < parts.size(); ++i) {
        const std::string& p = parts[i];
        if (p.empty() || p.back() == '.' || p.back() == ' ') return false;  // covers "." and ".."
        if (HasCharOf(p, ":")) return false;
    }
    for (size_t i = 0; i < first; ++i)
        if (i >= 2 && HasCharOf(parts[i], ":")) return false;
    return true;
}

namespace {

// Deeper than any real key: a chain of registry links would otherwise recurse without end.
const int kMaxDeleteDepth = 512;

// Whether root\path is a registry link. Its own key is looked at, not the key it leads to.
bool IsRegistryLink(HKEY root, const std::string& path) {
    UniqueHKey key;
    if (OpenKeyPath(root, path, REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, key) != ERROR_SUCCESS) return false;
    return IsLinkKey(key.get());
}

// Deletes the link key itself. The registry's own key deletion follows a link and would delete
// the key it leads to, which no row names; only the native call on the link's own handle
// removes the link alone.
bool DeleteRegistryLink(HKEY root, const std::string& path) {
    using NtDeleteKeyFn = LONG(WINAPI*)(HANDLE);
    static const NtDeleteKeyFn ntDeleteKey = reinterpret_cast<NtDeleteKeyFn>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDeleteKey"));
    if (!ntDeleteKey) return false;
    UniqueHKey key;
    if (RegOpenKeyExA(root, path.c_str(), REG_OPTION_OPEN_LINK, DELETE, key.put()) != ERROR_SUCCESS) return false;
    return ntDeleteKey(key.get()) == 0;
}

// Whether a registry link lies anywhere below root\path (links themselves are not entered).
bool SubtreeHasLink(HKEY root, const std::string& path, int depth) {
    if (depth > kMaxDeleteDepth) return true;  // deeper than any real key: treat as a loop
    std::vector<std::string> names;
    {
        Registry reg;
        reg.SetRootKey(root);
        if (!reg.OpenKey(path, false)) return false;
        names = reg.GetKeyNames();
        reg.CloseKey();
    }
    for (const std::string& name : names) {
        const std::string sub = path + "\\" + name;
        if (IsRegistryLink(root, sub) || SubtreeHasLink(root, sub, depth + 1)) return true;
    }
    return false;
}

// Whether sub names a key strictly below top.
bool IsBelow(const std::string& top, const std::string& sub) {
    return sub.size() > top.size() + 1 && sub.compare(0, top.size(), top) == 0 &&
           sub[top.size()] == '\\' && IsRepairableKeyLocation(sub);
}

void DeleteSubKeys(HKEY root, const std::string& top, const std::string& path, int depth,
                   RepairView& view) {
    if (depth > kMaxDeleteDepth) return;
    std::vector<std::string> names;
    {
        Registry reg;
        reg.SetRootKey(root);
        if (reg.OpenKey(path, false)) {
            names = reg.GetKeyNames();
            reg.CloseKey();
        }
    }
    for (const std::string& name : names) {
        const std::string sub = path + "\\" + name;
        // Each key is checked before it goes, not only the first: an empty or odd name from
        // the enumeration must not turn into a path that reaches elsewhere.
        if (!IsBelow(top, sub)) continue;
        if (IsRegistryLink(root, sub)) {
            // The link goes, never what it leads to (a failure leaves it, and so the row).
            DeleteRegistryLink(root, sub);
            continue;
        }
        Registry reg;
        reg.SetRootKey(root);
        if (reg.OpenKey(sub, false) && reg.HasSubKeys()) {
            reg.CloseKey();
            DeleteSubKeys(root, top, sub, depth + 1, view);
        } else {
            reg.CloseKey();
        }
        reg.DeleteKey(sub);  // a failure leaves the key; the caller's deletion then fails
    }
    view.ProcessMessages();
}

}  // namespace

void Del_Key2000(HKEY root, std::string path, RepairView& view) {
    if (!IsRepairableKeyLocation(path)) return;
    DeleteSubKeys(root, path, path, 0, view);
}

Repairer::Repairer(FindingList& findings, RepairView& view, RepairContext context,
                   std::function<bool()> backup)
    : findings_(findings), view_(view), context_(context), backup_(std::move(backup)) {}

RepairOutcome Repairer::RepairFile(const std::string& path) {
    if (!IsRepairableDiskPath(path)) return RepairOutcome::Failed;
    const PathState state = QueryPath(path);
    if (IsGone(state)) return RepairOutcome::AlreadyGone;
    // A file row names one file: a folder at that place is not what was found.
    if (state != PathState::File) return RepairOutcome::Failed;
    // Into the Recycle Bin where the drive has one, so that a shortcut can be taken back; erased
    // where the shell cannot take it (no bin, or a path too long for the shell).
    return RecycleFile(path) || DeleteFileAt(path) ? RepairOutcome::Repaired : RepairOutcome::Failed;
}

RepairOutcome Repairer::RepairDirectory(const std::string& location) {
    const std::string path = StripOneTrailingBackslash(location);
    if (!IsRepairableDiskPath(path)) return RepairOutcome::Failed;
    const PathState state = QueryPath(path);
    if (IsGone(state)) return RepairOutcome::AlreadyGone;
    if (state != PathState::Directory) return RepairOutcome::Failed;
    // Only that one folder, and only while it is empty: the system refuses anything else. Into
    // the Recycle Bin where the shell can put it there.
    return RecycleEmptyFolder(path) || RemoveDirectoryAt(path) ? RepairOutcome::Repaired : RepairOutcome::Failed;
}

RepairOutcome Repairer::RepairValue(HKEY root, const Finding& f, UndoFile* undo) {
    if (!IsRepairableValueLocation(f.location)) return RepairOutcome::Failed;
    Registry reg;
    reg.SetRootKey(root);
    if (!reg.OpenKey(f.location, false))
        return KeyMissing(root, f.location) ? RepairOutcome::AlreadyGone : RepairOutcome::Failed;
    if (f.kind == FindingKind::RegistryDefaultValue) {
        // The key-name text is not looked at: a value may really be named like the marker.
        if (undo && !undo->RecordDefaultValue(root, f.location)) return RepairOutcome::NotRecorded;
        // A default text naming what is gone stays, as the empty text (a failed write throws).
        // One that is empty already, or is no text at all (a count, a number), is deleted:
        // emptying it would change nothing, or turn it into a text.
        RegDataInfo info;
        const bool text = reg.GetDataInfo("", info) &&
                          (info.kind == RegDataKind::String || info.kind == RegDataKind::ExpandString);
        if (text && !reg.ReadString("").empty()) {
            reg.WriteString("", "");
            return RepairOutcome::Repaired;
        }
        if (!reg.ValueExists("")) return RepairOutcome::AlreadyGone;
        return reg.DeleteValue("") ? RepairOutcome::Repaired : RepairOutcome::Failed;
    }
    if (undo && !undo->RecordValue(root, f.location, f.keyName)) return RepairOutcome::NotRecorded;
    if (reg.DeleteValue(f.keyName)) return RepairOutcome::Repaired;
    LONG rc = RegQueryValueExA(reg.CurrentKey(), f.keyName.c_str(), nullptr, nullptr, nullptr,
                               nullptr);
    return IsGoneError(static_cast<DWORD>(rc)) ? RepairOutcome::AlreadyGone : RepairOutcome::Failed;
}

RepairOutcome Repairer::RepairKey(HKEY root, const std::string& location, UndoFile* undo) {
    if (!IsRepairableKeyLocation(location)) return RepairOutcome::Failed;
    // The whole subtree, as it is now, before the first of it goes.
    if (undo && !undo->RecordKey(root, location)) return RepairOutcome::NotRecorded;
    // A row's key that is itself a link: the link is what was found, not the key behind it.
    if (IsRegistryLink(root, location))
        return DeleteRegistryLink(root, location) ? RepairOutcome::Repaired : RepairOutcome::Failed;
    if (KeyMissing(root, location)) return RepairOutcome::AlreadyGone;
    Registry reg;
    reg.SetRootKey(root);
    // Windows 98 and Me delete a key with its subtree in one call; that call would follow a
    // registry link and delete what it leads to, so a subtree holding one goes level by level.
    if (context_.os.IsNineX() && !SubtreeHasLink(root, location, 0))
        return reg.DeleteKey(location) ? RepairOutcome::Repaired : RepairOutcome::Failed;
    // Windows 2000 and later: the subtree goes level by level, deepest first, with the window
    // repainting in between, then the key itself.
    if (reg.OpenKey(location, false)) {
        const bool hasSubKeys = reg.HasSubKeys();
        reg.CloseKey();
        if (hasSubKeys) Del_Key2000(root, location, view_);
    }
    return reg.DeleteKey(location) ? RepairOutcome::Repaired : RepairOutcome::Failed;
}

RepairOutcome Repairer::RepairProduct(const Finding& f) {
    // The code is read again from the entry: the row's texts do not hold it, and the entry may
    // have changed (or gone with an uninstall run meanwhile).
    std::string code;
    RepairOutcome outcome = RepairOutcome::Failed;
    const HKEY root = RootFromCaption(f.caption);
    switch (ProductOfEntry(root, f.location, code)) {
        case EntryProduct::NoEntry:
            productAnswer_.said = "卸载条目已不存在，没有运行系统安装程序";
            outcome = RepairOutcome::AlreadyGone;
            break;
        case EntryProduct::NotProduct:
            productAnswer_.said = "这个条目已经不是系统安装程序的产品，没有运行系统安装程序";
            break;
        case EntryProduct::Product:
            if (UninstallProduct(root, f.location, code, view_, context_.progress, productAnswer_))
                outcome = RepairOutcome::Repaired;
            break;
    }
    WriteLog("卸载", RowRecord(f) + " （" + productAnswer_.said + "）");
    return outcome;
}

RepairOutcome Repairer::RepairFinding(Finding f, UndoFile* undo) {
    productAnswer_ = ProductAnswer();
    if (context_.ignored && context_.ignored->Protects(f)) return RepairOutcome::Ignored;
    // Right before anything goes: the row may have sat in the list for hours, and what it said
    // was missing may be back (a drive plugged in again, a program reinstalled).
    if (!StillMissing(f)) return RepairOutcome::NowPresent;
    // Wine's leftovers on the host are named by their Linux path: judged again on their own
    // evidence (the file may have been rewritten since) and only ever moved to the desktop's
    // trash, never erased beyond recall.
    if (IsWineHostRow(f)) {
        if (!wineLeftovers_) wineLeftovers_.reset(new WineLeftovers);
        hostSaid_.clear();
        RepairOutcome done = PlanWineHostRepair(f, *wineLeftovers_, hostSaid_);
        if (done == RepairOutcome::Repaired && !wineLeftovers_->MoveToTrash(f, hostSaid_)) done = RepairOutcome::Failed;
        if (done == RepairOutcome::Repaired) hostCaches_.Removed(f);
        if (!hostSaid_.empty()) WriteLog("未修复", RowRecord(f) + " （" + hostSaid_ + "）");
        return done;
    }
    switch (f.kind) {
        case FindingKind::File: return RepairFile(f.location);
        case FindingKind::Folder: return RepairDirectory(f.location);
        case FindingKind::RegistryKey: return RepairKey(RootFromCaption(f.caption), f.location, undo);
        case FindingKind::RegistryValue:
        case FindingKind::RegistryDefaultValue: return RepairValue(RootFromCaption(f.caption), f, undo);
        case FindingKind::ProductUninstall: return RepairProduct(f);
        case FindingKind::Unspecified: break;
    }
    return RepairOutcome::Failed;
}

bool Repairer::OpenUndo(UndoFile& undo) {
    const std::string folder = context_.undoFolder.empty() ? UndoFolder() : context_.undoFolder;
    // Wine's registry editor reads \r and \n in value names; of Windows' editors that is not
    // known, and a value it could not give back is not deleted there.
    undo.AllowLineBreakEscapes(RunningUnderWine());
    if (undo.Open(FlavorForMajorVersion(context_.os.MajorVersion()), folder)) return true;
    ShowMessage(view_.MainWindow(),
                "修复失败！无法在文件夹“" + folder + "”中创建撤销文件，没有删除任何内容。",
                MB_OK | MB_ICONERROR);
    return false;
}

void Repairer::MarkRow(RowId id, int hint) {
    const int row = findings_.IndexOf(id, hint);
    if (row < 0) return;  // the row is no longer listed: nothing to mark
    findings_.MarkRepaired(row);
    view_.RowChanged(row);
}

void Repairer::ReportRemaining(bool allDone, int foundAfter) {
    const int remaining = findings_.UnrepairedCount();
    const std::string after =
        foundAfter > 0 ? "修复后又发现 " + IntToStr(foundAfter) + " 个错误，已加在列表最后。" : std::string();
    if (remaining == 0 && allDone) {
        view_.SetStatus("全部修复完毕" + (after.empty() ? std::string() : "。" + after));
    } else {
        view_.SetStatus("修复完毕。剩余：" + IntToStr(remaining) + " 个错误。" + after);
    }
    // The popup items keep their state; only a later scan switches the commands on again.
    if (remaining == 0) view_.SetRepairControls(false, false);
}

void Repairer::FlatButton2Click() {
    const int row = view_.SelectedRow();
    if (row < 0 || row >= findings_.Count()) return;
    // The row's own copy and identity, taken before the question: whatever the list does while
    // the question is open, the deletion and the mark concern this row.
    const Finding f = findings_.At(row);
    const RowId id = findings_.IdAt(row);
    if (f.Repaired()) return;
    if (context_.ignored && context_.ignored->Contains(f)) return;

    auto shown = [](const std::string& text) { return ShortForDisplay(text, kQuestionFieldLimit); };
    const FindingKind kind = f.kind;
    std::string question;
    if (kind == FindingKind::File) {
        question = "您确定要修复选中的错误吗？(文件位置：" + shown(f.location) + ") (文件目标：" +
                   shown(f.description) + ")";
    } else if (kind == FindingKind::Folder) {
        question = "您确定要修复选中的错误吗？(目录：" + shown(f.location) + ")";
    } else if (kind == FindingKind::ProductUninstall) {
        question = "将要运行系统安装程序卸载“" + f.caption + "\\" + shown(f.location) +
                   "”所登记的产品（它的程序文件已不存在），由它清除留下的注册信息，确定吗？";
    } else if (kind != FindingKind::RegistryKey) {
        question = "将要从注册表中删除“" + f.caption + "\\" + shown(f.location) + "\\" +
                   shown(f.keyName) + "：" + shown(f.description) + "”，确定吗？";
    } else {
        question = "将要从注册表中删除“" + f.caption + "\\" + shown(f.location) + "”，确定吗？";
    }
    if (ShowMessage(view_.MainWindow(), question, kQuestion) != IDOK) return;
    wineLeftovers_.reset();

    // What a registry row deletes goes into an undo file first; without one, nothing goes.
    UndoFile undo;
    const bool registry = NeedsUndoRecord(f);
    if (registry && !OpenUndo(undo)) return;
    RepairOutcome outcome;
    try {
        outcome = RepairFinding(f, registry ? &undo : nullptr);
    } catch (const RegistryError& e) {
        // The default value could not be emptied: the user learns why, the row stays.
        ShowError(view_.MainWindow(), e.what());
        return;
    }
    if (outcome == RepairOutcome::NotRecorded) {
        ShowMessage(view_.MainWindow(),
                    "没有修复！无法把将要删除的内容写入撤销文件“" + undo.Path() + "”，注册表没有改变。" +
                        (undo.Refusal().empty() ? std::string() : "\r\n" + undo.Refusal()),
                    MB_OK | MB_ICONERROR);
        return;
    }
    if (outcome == RepairOutcome::Ignored) {
        ShowMessage(view_.MainWindow(),
                    "没有修复！“" + shown(f.location) + "”中有忽略列表上的项目（或它本身在忽略列表上的项目中），"
                    "修复会删除它，所以没有删除任何内容。",
                    MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (outcome == RepairOutcome::NowPresent) {
        std::string present;
        StillMissing(f, &present);
        if (present.empty()) present = f.location;  // a row judged again as a whole
        WriteLog("未修复", RowRecord(f) + " （“" + present + "”现在已经存在）");
        ShowMessage(view_.MainWindow(),
                    "没有修复！“" + shown(present) + "”现在已经存在，这一项已经不是错误，没有删除任何内容。",
                    MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (kind == FindingKind::ProductUninstall) {
        // The installer did the work, and the log says what came of it: so does the message.
        if (outcome == RepairOutcome::Failed) {
            ReportRemaining(false);  // the status said that it waited
            ShowMessage(view_.MainWindow(), "没有修复！" + productAnswer_.said + "。", MB_OK | MB_ICONERROR);
        } else
            ShowMessage(view_.MainWindow(), "修复完毕：" + productAnswer_.said + "。", MB_OK | MB_ICONINFORMATION);
    }
    if (outcome == RepairOutcome::Failed) {
        if (IsWineHostRow(f) && !hostSaid_.empty())
            ShowMessage(view_.MainWindow(), "没有修复！“" + shown(f.location) + "”：" + hostSaid_ + "。",
                        MB_OK | MB_ICONERROR);
        return;
    }

    MarkRow(id, row);
    if (kind != FindingKind::ProductUninstall) WriteLog("删除", RowRecord(f));
    // What this row's repair emptied or left leading nowhere goes with it.
    RepairCounts after;
    bool undoOpen = registry;
    if (outcome == RepairOutcome::Repaired) RepairWhatRepairLeft({f}, undo, undoOpen, after, findings_.Count(), nullptr);
    ReportRemaining(false, after.foundAfter);
    hostCaches_.Run();
}

void Repairer::RepairWhatRepairLeft(std::vector<Finding> repaired, UndoFile& undo, bool& undoOpen,
                                    RepairCounts& tally, int nextIndex,
                                    const std::function<void(int, const Finding&, RepairOutcome)>& each) {
    if (!context_.scanAfterRepair) return;
    bool undoTried = undoOpen;
    // Each round repairs what the one before left; three are more than any real nesting needs,
    // and a bound keeps a scanner that keeps finding new rows from holding the command.
    for (int round = 0; round < 3 && !repaired.empty(); ++round) {
        view_.SetStatus("正在检查修复后留下的错误……");
        std::vector<Finding> found = context_.scanAfterRepair(repaired);
        repaired.clear();
        // The desktop's folders changed with the round before: what was learnt of them is stale.
        wineLeftovers_.reset();
        // What the list holds already (rows that could not be repaired are found again) is not
        // added twice.
        std::unordered_set<std::string> listed;
        for (int i = 0; i < findings_.Count(); ++i) listed.insert(ObjectOf(findings_.At(i)));
        std::vector<Finding> fresh;
        for (Finding& f : found) {
            if (!listed.insert(ObjectOf(f)).second) continue;
            f.description = kFoundAfterRepair + f.description;
            fresh.push_back(std::move(f));
        }
        for (const Finding& f : fresh) {
            // Listed before anything of it goes: the user sees every deletion in the list.
            findings_.Add(f);
            const int row = findings_.Count() - 1;
            const RowId id = findings_.IdAt(row);
            ++tally.foundAfter;
            view_.RowsAdded();
            if (NeedsUndoRecord(f) && !undoTried) {
                undoTried = true;
                undoOpen = OpenUndo(undo);
                if (undoOpen) undoPath_ = undo.Path();
            }
            RepairOutcome outcome = RepairOutcome::NotRecorded;
            if (!NeedsUndoRecord(f) || undoOpen) {
                try {
                    outcome = RepairFinding(f, undoOpen ? &undo : nullptr);
                } catch (...) {
                    outcome = RepairOutcome::Failed;
                }
            }
            if (each) each(nextIndex++, f, outcome);
            if (!Tally(outcome, f, context_.ignored, tally)) continue;
            MarkRow(id, row);
            if (outcome == RepairOutcome::Repaired) {
                if (f.kind != FindingKind::ProductUninstall) WriteLog("删除", RowRecord(f));
                repaired.push_back(f);
            }
        }
    }
}

bool Repairer::RepairAllQuietly(const std::function<void(int, const Finding&, RepairOutcome)>& each,
                                 RepairCounts* counts) {
    // Every row's texts and identity, taken before the first deletion lets messages run.
    struct Target {
        Finding finding;
        RowId id;
    };
    std::vector<Target> targets;
    targets.reserve(static_cast<size_t>(findings_.Count()));
    for (int row = 0; row < findings_.Count(); ++row)
        targets.push_back({findings_.At(row), findings_.IdAt(row)});

    // The undo file is there before the first deletion: a repair that cannot record what it
    // deletes deletes nothing.
    UndoFile undo;
    bool registry = false;
    for (const Target& t : targets) registry = registry || NeedsUndoRecord(t.finding);
    undoPath_.clear();
    if (registry && !OpenUndo(undo)) return false;

    undoPath_ = undo.Path();
    wineLeftovers_.reset();  // what it learns of the desktop's folders holds for this command
    RepairCounts tally;
    std::vector<Finding> repaired;
    for (size_t i = 0; i < targets.size(); ++i) {
        const Target& t = targets[i];
        RepairOutcome outcome;
        try {
            outcome = RepairFinding(t.finding, registry ? &undo : nullptr);
        } catch (...) {
            outcome = RepairOutcome::Failed;
        }
        if (each) each(static_cast<int>(i), t.finding, outcome);
        if (!Tally(outcome, t.finding, context_.ignored, tally)) continue;
        if (outcome == RepairOutcome::Repaired) repaired.push_back(t.finding);
        if (!t.finding.Repaired()) MarkRow(t.id, static_cast<int>(i));
    }
    // What the repair emptied or left leading nowhere, found by a second look, goes too.
    RepairWhatRepairLeft(std::move(repaired), undo, registry, tally, static_cast<int>(targets.size()), each);
    std::string record = tally.failed == 0 ? std::string("修复了所有检查到的系统错误")
                                           : "修复了 " + IntToStr(tally.repaired) + " 个检查到的系统错误，" +
                                                 IntToStr(tally.failed) + " 个错误修复失败";
    if (tally.nowPresent > 0)
        record += "；" + IntToStr(tally.nowPresent) + " 个错误所指的文件现在已经存在，没有修复";
    if (tally.protectedRows > 0)
        record += "；" + IntToStr(tally.protectedRows) + " 个错误含有忽略列表上的项目，没有修复";
    if (tally.foundAfter > 0) record += "；其中 " + IntToStr(tally.foundAfter) + " 个错误是修复后发现的";
    WriteLog("全部修复", record);
    // The window's and the console's repair of every row alike bring the desktop's caches of
    // launchers and MIME types up to date.
    hostCaches_.Run();
    tally.linksRefused = undo.LinksRefused();
    if (counts) *counts = tally;
    return true;
}

void Repairer::FlatButton3Click() {
    HWND owner = view_.MainWindow();
    if (ShowMessage(owner,
                    "Tarnwell建议在全部删除前进行注册表备份。单击“确认”将注册表备份为文件，"
                    "如果不需要备份，请单击“取消”。",
                    kQuestion) == IDOK) {
        // The user wants a safety copy before the bulk deletion: without one, nothing goes.
        if (!backup_ || !backup_()) return;
    }
    if (ShowMessage(owner, "Tarnwell将要修复所有检查到的系统错误，确认吗？", kQuestion) != IDOK) return;

    RepairCounts counts;
    if (!RepairAllQuietly(nullptr, &counts)) return;
    const int nowPresent = counts.nowPresent, protectedRows = counts.protectedRows;
    const int notRecorded = counts.notRecorded;
    ReportRemaining(true, counts.foundAfter);
    if (nowPresent > 0 || protectedRows > 0) {
        std::string text = "有些错误没有修复，也没有删除任何内容：";
        if (nowPresent > 0) text += "\r\n" + IntToStr(nowPresent) + " 个错误所指的文件现在已经存在，它们已经不是错误。";
        if (protectedRows > 0)
            text += "\r\n" + IntToStr(protectedRows) + " 个错误的注册表项或文件夹中有忽略列表上的项目。";
        ShowMessage(owner, text, MB_OK | MB_ICONINFORMATION);
    }
    if (counts.productsFailed > 0)
        ShowMessage(owner,
                    IntToStr(counts.productsFailed) + " 个产品没有卸载：系统安装程序没有成功，它返回的代码写在修复记录中。",
                    MB_OK | MB_ICONERROR);
    if (notRecorded > 0)
        ShowMessage(owner,
                    IntToStr(notRecorded) + " 个错误没有修复：无法把将要删除的内容写入撤销文件“" + undoPath_ +
                        "”，这些注册表项没有改变。" +
                        (counts.linksRefused == 0
                             ? std::string()
                             : "其中 " + IntToStr(counts.linksRefused) +
                                   " 个是注册表链接或含有注册表链接：撤销文件不能恢复链接，所以不删除它们。"),
                    MB_OK | MB_ICONERROR);
}

}  // namespace tw
