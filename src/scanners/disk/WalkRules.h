// Rules the two disk walks share: which folders they leave alone and which entries they enter.
#pragma once
#include <string>

#include "platform/FileSystem.h"

namespace tw {

// Whether text holds needle anywhere, ASCII letters compared without case. Matches start only
// at character boundaries, so the trail byte of a double-byte character never begins one. An
// empty needle is found nowhere.
bool ContainsIgnoringCase(const std::string& text, const std::string& needle);

// Folders a walk skips with everything below them: a path that contains the backup folder's
// name (the BakPath setting), "backup" or "system volume information", in any letter case.
bool IsSkippedFolder(const std::string& path, const std::string& bakPath);

// A listed subfolder a walk may go down into: a directory other than "." and "..", and never a
// reparse point (junction or symbolic link), which may lead back up the tree or off the disk.
bool IsEnterableFolder(const DirEntry& entry);
bool IsDotEntry(const std::string& name);

// Whether a file name matches a listing mask such as "*.lnk": "*" stands for any run of
// characters, "?" for one character, letters compare without case. "*.*" matches every name.
bool MatchesMask(const std::string& name, const std::string& mask);

}  // namespace tw
