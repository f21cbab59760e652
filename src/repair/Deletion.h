// What repair deletes and how, before any row is looked at: the checks a row's location must pass
// before anything goes, and the deletion of a registry subtree that never follows a link.
#pragma once
#include <windows.h>
#include <string>

#include "repair/RepairView.h"
#include "scanners/Finding.h"

namespace tw {

// What a row's location may name before anything is deleted. Registry: backslash-separated
// names, none empty; a key to delete needs at least two (never a root or first-level key).
// Disk: an absolute path ("C:\..." or "\\server\share\..."), no wildcards, no "." or ".."
// elements, and at least one element below the drive or share.
bool IsRepairableKeyLocation(const std::string& location);
bool IsRepairableValueLocation(const std::string& location);
bool IsRepairableDiskPath(const std::string& path);

// The path without one trailing backslash (a folder row may end with one).
std::string StripOneTrailingBackslash(std::string path);

bool IsGoneError(DWORD err);
// The key is not there at all (not merely unreadable).
bool KeyMissing(HKEY root, const std::string& path);
// Whether the registry key or value a row names is there again (an undo brought it back);
// false for rows that name no registry object.
bool RegistryObjectBack(const Finding& f);

// Whether root\path is a registry link. Its own key is looked at, not the key it leads to.
bool IsRegistryLink(HKEY root, const std::string& path);
// Deletes the link key itself. The registry's own key deletion follows a link and would delete
// the key it leads to, which no row names; only the native call on the link's own handle
// removes the link alone.
bool DeleteRegistryLink(HKEY root, const std::string& path);
// Whether a registry link lies anywhere below root\path (links themselves are not entered).
bool SubtreeHasLink(HKEY root, const std::string& path, int depth);

// Deletes every subkey below root\path, deepest first, from names taken before anything goes;
// the key at path itself stays. Lets the window repaint once per level. Works on its own copy
// of the path, and checks every key it deletes: never a root or first-level key, never an
// ill-formed path, never anything outside root\path. A registry link below path is deleted
// itself; what it leads to stays.
void DeleteSubKeysLevelByLevel(HKEY root, std::string path, RepairView& view);

}  // namespace tw
