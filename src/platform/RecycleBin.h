// Deleting through the shell's file operation with undo: the object goes to the Recycle Bin
// where its drive has one, and is erased where it has none. Silent: no question, no progress,
// no error box.
#pragma once
#include <string>

namespace tw {

// One plain file (never a folder). True when it is gone afterwards.
bool RecycleFile(const std::string& path);
// One folder, only while it is empty (the shell's operation would take a folder with its
// content). True when it is gone afterwards.
bool RecycleEmptyFolder(const std::string& path);

}  // namespace tw
