#include "repair/UndoCommand.h"

#include <vector>

#include "platform/FileSystem.h"
#include "platform/Seams.h"
#include "platform/StartProgram.h"
#include "platform/Text.h"
#include "repair/RepairLog.h"
#include "repair/UndoFile.h"

namespace tw {

namespace {

// At most this many missing keys and values are named in the closing message.
const size_t kNamedMissing = 8;

std::string FileName(const std::string& path) {
    const size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

UndoCommand::UndoCommand(RepairView& view, RepairProgress& progress) : view_(view), progress_(progress) {}

bool UndoCommand::UndoLast() {
    const std::vector<std::string> files = ListUndoFiles();
    if (files.empty()) {
        ShowMessage(view_.MainWindow(), "没有可以撤销的修复：文件夹“" + UndoFolder() + "”中没有撤销文件。", MB_OK | MB_ICONINFORMATION);
        return false;
    }
    return UndoFrom(files.back());
}

bool UndoCommand::UndoFrom(const std::string& path) { return Import({path}); }

bool UndoCommand::UndoBackTo(const std::string& path) {
    // The user's files of every data folder (the later repairs may have written theirs to the
    // other one), or those of the file's own folder when it lies elsewhere.
    for (const std::vector<std::string>& files : {ListUndoFiles(), ListUndoFiles(FolderOf(path))}) {
        std::vector<std::string> newestFirst;
        for (size_t i = files.size(); i-- > 0;) {
            newestFirst.push_back(files[i]);
            if (LowerAscii(files[i]) == LowerAscii(path)) return Import(newestFirst);
        }
    }
    return Import({path});
}

bool UndoCommand::Import(const std::vector<std::string>& newestFirst) {
    if (newestFirst.empty()) return false;
    const std::string name = FileName(newestFirst.back());
    const std::string range = newestFirst.size() == 1
                                  ? "撤销文件“" + name + "”"
                                  : IntToStr(static_cast<long long>(newestFirst.size())) + " 个撤销文件（从最新的“" +
                                        FileName(newestFirst.front()) + "”到“" + name + "”）";
    std::vector<UndoRecords> files(newestFirst.size());
    size_t keyCount = 0;
    for (size_t i = 0; i < newestFirst.size(); ++i) {
        if (!ReadUndoFile(newestFirst[i], files[i].flavor, files[i].keys)) {
            ShowMessage(view_.MainWindow(), "撤销失败！无法读取撤销文件“" + newestFirst[i] + "”，注册表没有改变。",
                        MB_OK | MB_ICONERROR);
            return false;
        }
        // Only what a repair recorded goes back: a file changed or made by hand could delete or
        // add anything at all.
        const std::string refusal = UndoRefusal(newestFirst[i], files[i]);
        if (!refusal.empty()) {
            ShowMessage(view_.MainWindow(), refusal, MB_OK | MB_ICONERROR);
            return false;
        }
        keyCount += files[i].keys.size();
    }
    const std::string question =
        newestFirst.size() == 1
            ? "说明：将要从撤销文件“" + name + "”恢复修复时删除的注册表项，确定吗？"
            : "说明：将要撤销 " + IntToStr(static_cast<long long>(newestFirst.size())) +
                  " 次修复：从最新的撤销文件“" + FileName(newestFirst.front()) + "”直到所选的“" + name +
                  "”，依次恢复修复时删除的注册表项，确定吗？";
    if (ShowMessage(view_.MainWindow(), question, MB_OKCANCEL | MB_ICONQUESTION) != IDOK) return false;

    progress_.Show("撤销", "正在从撤销文件恢复注册表，请稍候......");
    view_.SetStatus("撤销修复...");
    view_.ProcessMessages();

    // The same import as the restore: the system's registry editor, waited for with the main
    // window disabled so that no second command starts meanwhile. Newest first: what an older
    // repair recorded is imported last and stays.
    size_t imported = 0;
    for (const std::string& path : newestFirst) {
        DWORD exitCode = 0;
        if (!RunAndWaitDisabled(view_.MainWindow(), "RegEdit /s \"" + path + "\"", ProgramFolder(), exitCode)) break;
        ++imported;
    }
    const bool ran = imported == newestFirst.size();

    // The editor's exit code says little (Wine's is 0 for a file it could not read): what is
    // in the registry now is the answer.
    const std::vector<std::string> missing = ran ? MissingAfterUndo(files) : std::vector<std::string>{};
    const bool ok = ran && missing.empty();
    WriteLog("撤销修复", "从" + range + (ok ? "恢复成功" : "恢复失败"));
    view_.SetStatus(ok ? "撤销完毕" : "撤销失败");
    progress_.Hide();
    if (ok) {
        ShowMessage(view_.MainWindow(), "撤销完毕。已经从" + range + "恢复了 " + IntToStr(static_cast<long long>(keyCount)) +
                        " 个注册表项。",
                    MB_OK | MB_ICONINFORMATION);
    } else if (imported == 0) {
        ShowMessage(view_.MainWindow(), "撤销失败！无法启动注册表编辑器 RegEdit，注册表没有改变。", MB_OK | MB_ICONERROR);
    } else if (!ran) {
        ShowMessage(view_.MainWindow(), "撤销没有完成！无法再次启动注册表编辑器 RegEdit：只导入了最新的 " +
                        IntToStr(static_cast<long long>(imported)) + " 个撤销文件。",
                    MB_OK | MB_ICONERROR);
    } else {
        std::string list;
        for (size_t i = 0; i < missing.size() && i < kNamedMissing; ++i) list += "\r\n" + missing[i];
        if (missing.size() > kNamedMissing) list += "\r\n......";
        ShowMessage(view_.MainWindow(), "撤销没有完成！导入" + range + "后，下列 " +
                        IntToStr(static_cast<long long>(missing.size())) + " 项没有恢复原样：" + list,
                    MB_OK | MB_ICONERROR);
    }
    return ok;
}

}  // namespace tw
