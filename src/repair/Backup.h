// Registry backup and restore: the system's registry editor exports the whole registry to
// "Backup_Tw.reg" in the program's folder and imports it again. The program waits for the
// editor, checks what it did, and only then reports and logs success.
#pragma once
#include <memory>
#include <string>

#include "repair/ProgressWindow.h"
#include "repair/RepairView.h"

namespace tw {

// The program's folder + "Backup_Tw.reg".
std::string BackupFilePath();

class RegistryBackup {
public:
    explicit RegistryBackup(RepairView& view);
    ~RegistryBackup();
    RegistryBackup(const RegistryBackup&) = delete;
    RegistryBackup& operator=(const RegistryBackup&) = delete;

    // Exports the registry ("RegEdit /e Backup_Tw.reg" in the program's folder). True only when
    // the editor ran and left a fresh, non-empty file; otherwise an error message and a
    // "备份失败" log entry.
    bool ToolButton4Click();
    // Imports the export after the user's OK. True when the editor ran and reported success;
    // false when there is no export, the user cancelled, or the editor failed (error message
    // and a "恢复失败" log entry in that last case).
    bool ToolButton7Click();

    // The progress window, null until the first backup or restore.
    TForm3* ProgressWindow() const { return progress_.get(); }
    // The progress window, created on first use; the undo of a repair shows it too.
    TForm3& Progress();

private:

    RepairView& view_;
    std::unique_ptr<TForm3> progress_;
};

}  // namespace tw
