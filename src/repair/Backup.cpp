#include "repair/Backup.h"

#include "platform/DataFolder.h"
#include "platform/FileSystem.h"
#include "platform/LoadText.h"
#include "platform/StartProgram.h"
#include "platform/Text.h"
#include "repair/RepairLog.h"
#include "strings.h"

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

RegistryBackup::RegistryBackup(RepairView& view, RepairProgress& progress, RepairUi& ui)
    : view_(view), progress_(progress), ui_(ui) {}

bool RegistryBackup::Backup() {
    const std::string folder = DataFolder();
    const std::string path = folder + kBackupFile;
    progress_.Show(LoadText(IDS_PROGRESS_BACKUP), LoadText(IDS_PROGRESS_BACKUP_TEXT));
    view_.SetStatus(LoadText(IDS_STATUS_BACKING_UP));
    // The editor resolves the file name against the current directory: the data folder,
    // wherever the program was started from.
    SetCurrentDirectoryA(folder.c_str());
    view_.ProcessMessages();

    FILETIME started;
    GetSystemTimeAsFileTime(&started);
    DWORD exitCode = 0;
    // The main window stays disabled while the editor works, so that no second command starts,
    // and is enabled again before the progress window goes, so that the activation returns to it.
    const bool ran = RunAndWaitDisabled(view_.OwnerWindow(), std::string("RegEdit /e ") + kBackupFile, folder, exitCode);
    const bool ok = ran && FreshExport(path, started);

    WriteLog(LogAction::Backup, LoadText(ok ? IDS_LOG_BACKUP_DONE : IDS_LOG_BACKUP_FAILED));
    view_.SetStatus(LoadText(ok ? IDS_STATUS_BACKUP_DONE : IDS_STATUS_BACKUP_FAILED));
    progress_.Hide();
    ui_.BackupDone(ok ? EditorEnd::Done : !ran ? EditorEnd::NotStarted : EditorEnd::Failed, path);
    return ok;
}

bool RegistryBackup::Restore() {
    // The backup of the data folder, or one an older portable use left beside the program.
    const std::string path = DataFileToRead(kBackupFile);
    const std::string folder = path.substr(0, path.size() - (sizeof kBackupFile - 1));
    if (!FileExists(path)) {
        ui_.NoBackupToRestore(path);
        return false;
    }
    if (!ui_.ConfirmRestore(path)) return false;

    progress_.Show(LoadText(IDS_PROGRESS_RESTORE), LoadText(IDS_PROGRESS_RESTORE_TEXT));
    view_.SetStatus(LoadText(IDS_STATUS_RESTORING));
    SetCurrentDirectoryA(folder.c_str());
    view_.ProcessMessages();

    DWORD exitCode = 0;
    const bool ran = RunAndWaitDisabled(view_.OwnerWindow(), std::string("RegEdit /s ") + kBackupFile, folder, exitCode);
    const bool ok = ran && exitCode == 0;

    WriteLog(LogAction::Restore, LoadText(ok ? IDS_LOG_RESTORE_DONE : IDS_LOG_RESTORE_FAILED));
    view_.SetStatus(LoadText(ok ? IDS_STATUS_RESTORE_DONE : IDS_STATUS_RESTORE_FAILED));
    progress_.Hide();
    ui_.RestoreDone(ok ? EditorEnd::Done : !ran ? EditorEnd::NotStarted : EditorEnd::Failed, exitCode);
    return ok;
}

}  // namespace tw
