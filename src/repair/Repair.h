// Repair of Findings: turns rows of the report list back into deletions in the registry and on
// disk, marks the rows that are done and writes the repair log.
#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>

#include "app/FindingList.h"
#include "repair/RepairView.h"

namespace tw {

// The root a row's caption names; any other caption means HKEY_CURRENT_USER.
HKEY RootFromCaption(const std::string& caption);

// Deletes every subkey below root\path, deepest first, from names taken before anything goes;
// the key at path itself stays. Lets the window repaint once per level. Refuses a root, a
// first-level key or an ill-formed path.
void Del_Key2000(HKEY root, const std::string& path, RepairView& view);

// What a row's location may name before anything is deleted. Registry: backslash-separated
// names, none empty; a key to delete needs at least two (never a root or first-level key).
// Disk: an absolute path ("C:\..." or "\\server\share\..."), no wildcards, no "." or ".."
// elements, and at least one element below the drive or share.
bool IsRepairableKeyLocation(const std::string& location);
bool IsRepairableValueLocation(const std::string& location);
bool IsRepairableDiskPath(const std::string& path);

enum class RepairOutcome { Repaired, AlreadyGone, Failed };

class Repairer {
public:
    // `backup` makes the registry backup and says whether it succeeded.
    Repairer(FindingList& findings, RepairView& view, uint32_t majorVersion,
             std::function<bool()> backup);

    // Repairs the selected row after the user's OK (nothing for none or a repaired row).
    void FlatButton2Click();
    // Offers the backup, asks once, then repairs every row without further questions.
    void FlatButton3Click();

    // Carries out one row without asking. Throws RegistryError when the empty default value
    // cannot be written.
    RepairOutcome RepairFinding(const Finding& f);

private:
    RepairOutcome RepairFile(const std::string& path);
    RepairOutcome RepairDirectory(const std::string& path);
    RepairOutcome RepairValue(HKEY root, const Finding& f);
    RepairOutcome RepairKey(HKEY root, const std::string& location);
    // Status line and controls from the number of rows still unmarked.
    void ReportRemaining(bool allDone);

    FindingList& findings_;
    RepairView& view_;
    uint32_t majorVersion_;
    std::function<bool()> backup_;
};

}  // namespace tw
