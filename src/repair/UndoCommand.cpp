#include "repair/UndoCommand.h"

#include <vector>

#include "platform/FileDialog.h"
#include "platform/FileSystem.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "repair/RepairLog.h"
#include "repair/SystemFileCheck.h"
#include "repair/UndoFile.h"

namespace tw {

namespace {

// At most this many missing keys and values are named in the closing message.
const size_t kNamedMissing = 8;

std::string FileName(const std::string& path) {
    const size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

UndoCommand::UndoCommand(RepairView& view, std::function<TForm3&()> progress)
    : view_(view), progress_(std::move(progress)) {}

bool UndoCommand::UndoLast() {
    const std::vector<std::string> files = ListUndoFiles();
    if (files.empty()) {
        ShowMessage(view_.MainWindow(), "没有可以撤销的修复：文件夹“" + UndoFolder() + "”中没有撤销文件。", MB_OK | MB_ICONINFORMATION);
        return false;
    }
    return UndoFrom(files.back());
}

bool UndoCommand::UndoChosen() {
    FileDialogRequest request;
    request.title = "选择要撤销的修复";
    request.folder = UndoFolder();
    request.filters = {{"撤销文件 (*.reg)", "*.reg"}};
    request.extension = "reg";
    std::string path;
    if (!AskForFile(view_.MainWindow(), request, path)) return false;
    return UndoFrom(path);
}

bool UndoCommand::UndoFrom(const std::string& path) {
    const std::string name = FileName(path);
    RegFileFlavor flavor;
    std::vector<RegFileKey> keys;
    if (!ReadUndoFile(path, flavor, keys)) {
        ShowMessage(view_.MainWindow(), "撤销失败！无法读取撤销文件“" + path + "”，注册表没有改变。", MB_OK | MB_ICONERROR);
        return false;
    }
    if (ShowMessage(view_.MainWindow(), "说明：将要从撤销文件“" + name + "”恢复修复时删除的注册表项，确定吗？",
                    MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
        return false;

    TForm3& progress = progress_();
    progress.Show("撤销", "正在从撤销文件恢复注册表，请稍候......");
    view_.SetStatus("撤销修复...");
    view_.ProcessMessages();

    // The same import as the restore: the system's registry editor, waited for with the main
    // window disabled so that no second command starts meanwhile.
    DWORD exitCode = 0;
    const bool ran =
        RunAndWaitDisabled(view_.MainWindow(), "RegEdit /s \"" + path + "\"", ProgramFolder(), exitCode);

    // The editor's exit code says little (Wine's is 0 for a file it could not read): what is
    // in the registry now is the answer.
    const std::vector<std::string> missing = ran ? MissingAfterUndo(flavor, keys) : std::vector<std::string>{};
    const bool ok = ran && missing.empty();
    WriteLog("撤销修复", (ok ? "从撤销文件“" + name + "”恢复成功"
                             : "从撤销文件“" + name + "”恢复失败"));
    view_.SetStatus(ok ? "撤销完毕" : "撤销失败");
    progress.Hide();
    if (ok) {
        ShowMessage(view_.MainWindow(), "撤销完毕。已经从撤销文件“" + name + "”恢复了 " + IntToStr(static_cast<long long>(keys.size())) +
                        " 个注册表项。",
                    MB_OK | MB_ICONINFORMATION);
    } else if (!ran) {
        ShowMessage(view_.MainWindow(), "撤销失败！无法启动注册表编辑器 RegEdit，注册表没有改变。", MB_OK | MB_ICONERROR);
    } else {
        std::string list;
        for (size_t i = 0; i < missing.size() && i < kNamedMissing; ++i) list += "\r\n" + missing[i];
        if (missing.size() > kNamedMissing) list += "\r\n......";
        ShowMessage(view_.MainWindow(), "撤销没有完成！导入撤销文件“" + name + "”后，下列 " +
                        IntToStr(static_cast<long long>(missing.size())) + " 项仍然不在注册表中：" + list,
                    MB_OK | MB_ICONERROR);
    }
    return ok;
}

}  // namespace tw
