// Registry backup and restore: the system's registry editor exports the whole registry to
// "Backup_Tw.reg" in the data folder (platform/DataFolder.h) and imports it again. The program waits for the
// editor, checks what it did, and only then reports and logs success.
#pragma once
#include <string>

#include "repair/RepairProgress.h"
#include "repair/RepairUi.h"
#include "repair/RepairView.h"

namespace tw {

// The data folder + "Backup_Tw.reg".
std::string BackupFilePath();

class RegistryBackup {
public:
    // `progress` is shown while the editor works; `ui` hears the question and what came of it.
    RegistryBackup(RepairView& view, RepairProgress& progress, RepairUi& ui);
    RegistryBackup(const RegistryBackup&) = delete;
    RegistryBackup& operator=(const RegistryBackup&) = delete;

    // Exports the registry ("RegEdit /e Backup_Tw.reg" in the data folder). True only when
    // the editor ran and left a fresh, non-empty file; either way the log gets its entry and the
    // user hears what came of it.
    bool Backup();
    // Imports the export after the user's OK. True when the editor ran and reported success;
    // false when there is no export, the user cancelled, or the editor failed (the user hears
    // it, and the log gets a failure entry, in that last case).
    bool Restore();

private:
    RepairView& view_;
    RepairProgress& progress_;
    RepairUi& ui_;
};

}  // namespace tw
