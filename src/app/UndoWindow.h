// "Undo Earlier Repairs...": the undo files of the user's folders (the folder named first, then one an
// older portable use left beside the program), newest first, with how many there are and
// how much room they take; the user picks the repair to undo back to (or another file through
// the open dialog), and can remove the files older than a number of days. Every repair writes
// a file and none goes by itself: by default all are kept.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

#include "platform/DialogBase.h"

namespace tw {

struct UndoFileInfo {
    std::string path;
    unsigned long long size = 0;
    FILETIME written{};  // last written: when its repair ran
};

// The undo files of the folders, newest first.
std::vector<UndoFileInfo> UndoFilesOf(const std::vector<std::string>& folders);

class UndoWindow : public DialogBase {
public:
    // Creates the window hidden, centred on the desktop, owned by `owner` (may be null), over
    // the undo files of the folders (at least one).
    UndoWindow(HWND owner, std::vector<std::string> folders);

    // Shows the window and runs its own message loop until the user picks a file (true, with
    // its path) or closes the window (false).
    bool RunModal(std::string& path);

    // The folder's files as the window lists them, newest first, and the line above the list.
    const std::vector<UndoFileInfo>& Files() const { return files_; }
    std::string Summary() const;
    void Select(int row);
    // "Undo": picks the selected file.
    void UndoClick();
    // "Other File...": picks a file through the open dialog.
    void BrowseClick();
    // "Delete": after the user's OK, removes the files older than the number of days in the box
    // (whole days before now); says so when the box holds no number of at least 1.
    void RemoveOldClick();
    void SetDays(const std::string& text);
    // What the user picked; empty until then.
    const std::string& Picked() const { return picked_; }
    bool Done() const { return done_; }

private:
    void OnInit() override;
    void OnCommand(int id, int code) override;
    void OnNotify(const NMHDR& n) override;
    void Fill();
    void Finish(const std::string& path);

    std::vector<std::string> folders_;
    std::vector<UndoFileInfo> files_;
    std::string picked_;
    bool done_ = false;
};

// Runs the window over the folders; true with the path the user picked.
bool ChooseUndoFile(HWND owner, const std::vector<std::string>& folders, std::string& path);

}  // namespace tw
