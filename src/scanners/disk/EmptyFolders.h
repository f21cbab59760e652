// The directory walk: empty folders in the Start menu's program tree become "disk folder error"
// Findings; repair removes them. Runs on the UI thread; walks first, adds its rows at the end.
#pragma once
#include <string>
#include <vector>

#include "scanners/PacedStatus.h"
#include "scanners/ScanContext.h"
#include "scanners/ScanSink.h"

namespace tw {

class EmptyFolderWalk {
public:
    EmptyFolderWalk(const ScanContext& ctx, ScanSink& sink);

    // Walks dir (no trailing "\") and everything below it, recording the folders that hold
    // no file and no subfolder of any attribute. A folder that cannot be listed, or whose
    // listing a stop cut short, is not recorded.
    void FindEmptyDirs(const std::string& dir);
    // The empty folders, in the order found.
    const std::vector<std::string>& Found() const { return found_; }

private:
    const ScanContext& ctx_;
    ScanSink& sink_;
    PacedStatus status_;
    std::vector<std::string> found_;
};

// The directory category: walks the programs folder (the user's on major version 4, else the
// all users' and then the user's own), then adds a row for each empty folder found, the shell's
// own folders (Startup, Administrative Tools) excepted; the rows are added also when the scan was stopped during the walk. A
// programs folder the system cannot name is not walked, and the category ends saying so (a
// ScanStepError, after the rows of the other tree).
void ScanEmptyFolders(const ScanContext& ctx, ScanSink& sink);

}  // namespace tw
