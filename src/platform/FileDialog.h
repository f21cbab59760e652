// The standard open and save dialogs.
#pragma once
#include <windows.h>
#include <string>
#include <utility>
#include <vector>

namespace tw {

struct FileDialogRequest {
    bool save = false;         // the save dialog (asks before replacing a file), else open
    std::string title;
    std::string folder;        // where the dialog starts
    std::string fileName;      // proposed name (save)
    // The kinds of file offered: a description and its pattern ("Text files (*.txt)", "*.txt").
    std::vector<std::pair<std::string, std::string>> filters;
    std::string extension;     // added when the user types a name without one ("txt")
};

// Shows the dialog through the file-dialog seam; true with the chosen full path, false when the
// user cancelled.
bool AskForFile(HWND owner, const FileDialogRequest& request, std::string& path);
// The system's dialog, which the seam uses outside tests.
bool SystemFileDialog(HWND owner, const FileDialogRequest& request, std::string& path);

}  // namespace tw
