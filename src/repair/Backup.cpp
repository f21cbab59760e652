#include "repair/Backup.h"

#include "platform/DataFolder.h"
#include "platform/FileSystem.h"
#include "platform/Seams.h"
#include "platform/StartProgram.h"
#include "platform/Text.h"
#include "repair/RepairLog.h"

namespace tw {

namespace {

const char kBackupFile[] = "Backup_Tw.reg";
// File times of some file systems (FAT) are only exact to two seconds.
const ULONGLONG kTimeSlack = 2ULL * 10000000ULL;

ULONGLONG AsNumber(const FILETIME& t) {
    return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// Whether the editor has just written the export: a plain, non-empty file that is not older
// than the start of this backup. An older file is the previous backup, not this one.
bool FreshExport(const std::string& path, const FILETIME& started) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!ReadPathData(path, data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    if (data.nFileSizeHigh == 0 && data.nFileSizeLow == 0) return false;
    ULONGLONG start = AsNumber(started);
    start = start > kTimeSlack ? start - kTimeSlack : 0;
    return AsNumber(data.ftLastWriteTime) >= start;
}

}  // namespace

std::string BackupFilePath() { return DataFolder() + kBackupFile; }

RegistryBackup::RegistryBackup(RepairView& view, RepairProgress& progress) : view_(view), progress_(progress) {}

bool RegistryBackup::ToolButton4Click() {
    const std::string folder = DataFolder();
    const std::string path = folder + kBackupFile;
    progress_.Show("备份", "正在进行系统文件备份，请稍候......");
    view_.SetStatus("备份注册表...");
    // The editor resolves the file name against the current directory: the data folder,
    // wherever the program was started from.
    SetCurrentDirectoryA(folder.c_str());
    view_.ProcessMessages();

    FILETIME started;
    GetSystemTimeAsFileTime(&started);
    DWORD exitCode = 0;
    // The main window stays disabled while the editor works, so that no second command starts,
    // and is enabled again before the progress window goes, so that the activation returns to it.
    const bool ran = RunAndWaitDisabled(view_.MainWindow(), std::string("RegEdit /e ") + kBackupFile, folder, exitCode);
    const bool ok = ran && FreshExport(path, started);

    WriteLog("备份注册表", ok ? "备份成功" : "备份失败");
    view_.SetStatus(ok ? "备份完毕" : "备份失败");
    progress_.Hide();
    if (ok) {
        ShowMessage(view_.MainWindow(), "备份完毕。Windows已经在当前目录创建了备份文件“Backup_Tw.reg”。",
                    MB_OK | MB_ICONINFORMATION);
    } else if (!ran) {
        ShowMessage(view_.MainWindow(), "备份失败！无法启动注册表编辑器 RegEdit，没有创建备份文件。",
                    MB_OK | MB_ICONERROR);
    } else {
        ShowMessage(view_.MainWindow(), "备份失败！注册表编辑器没有写出备份文件“" + path + "”。", MB_OK | MB_ICONERROR);
    }
    return ok;
}

bool RegistryBackup::ToolButton7Click() {
    // The backup of the data folder, or one an older portable use left beside the program.
    const std::string path = DataFileToRead(kBackupFile);
    const std::string folder = path.substr(0, path.size() - (sizeof kBackupFile - 1));
    if (!FileExists(path)) {
        ShowMessage(view_.MainWindow(), "错误！备份文件“" + path + "”不存在，恢复失败。", MB_OK | MB_ICONERROR);
        return false;
    }
    if (ShowMessage(view_.MainWindow(), "说明：将要从备份文件“Backup_Tw.reg”恢复系统，确定吗？ ",
                    MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
        return false;

    progress_.Show("恢复", "正在从系统文件备份进行恢复，请稍候......");
    view_.SetStatus("恢复注册表...");
    SetCurrentDirectoryA(folder.c_str());
    view_.ProcessMessages();

    DWORD exitCode = 0;
    const bool ran = RunAndWaitDisabled(view_.MainWindow(), std::string("RegEdit /s ") + kBackupFile, folder, exitCode);
    const bool ok = ran && exitCode == 0;

    WriteLog("恢复注册表", ok ? "恢复成功" : "恢复失败");
    view_.SetStatus(ok ? "恢复完毕" : "恢复失败");
    progress_.Hide();
    if (ok) {
        ShowMessage(view_.MainWindow(), "恢复完毕。Windows已经从备份文件“Backup_Tw.reg”恢复了系统。",
                    MB_OK | MB_ICONINFORMATION);
    } else if (!ran) {
        ShowMessage(view_.MainWindow(), "恢复失败！无法启动注册表编辑器 RegEdit，注册表没有改变。",
                    MB_OK | MB_ICONERROR);
    } else {
        ShowMessage(view_.MainWindow(), "恢复失败！注册表编辑器从备份文件“Backup_Tw.reg”导入时出错（退出代码 " +
                        IntToStr(static_cast<long long>(exitCode)) + "）。",
                    MB_OK | MB_ICONERROR);
    }
    return ok;
}

}  // namespace tw
