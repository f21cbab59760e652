// "Open the place": a registry row opens the registry editor at its key, a disk row opens the
// folder that holds the file or folder with it selected.
#pragma once
#include <string>

#include "scanners/Finding.h"

namespace tw {

// The text to store as the registry editor's last key so that it starts at keyPath
// ("HKEY_...\path"). Under Wine always bare: its editor takes nothing else, though it stores its
// tree's top label itself. On Windows the editor's own form wins: when `current` (what it stored
// last) starts with a root name the editor wants bare paths; when it starts with another name
// (its label for the computer, "My Computer" or "My Computer") that name goes first; without a
// stored key, the computer's label goes first.
std::string RegistryEditorLastKey(const std::string& keyPath, const std::string& current, bool wine,
                                  const std::string& computerLabel);

// Sets the editor's last key to the row's key (or, when that is gone, the nearest key above it
// that is still there) and starts the editor without waiting. False when it could not start.
// A registry editor that is already running is only brought forward by the system and stays
// where it is.
bool OpenInRegistryEditor(const Finding& f);
// Starts the Explorer at the folder holding the row's file or folder, with it selected; at that
// folder alone when the object is gone. False when neither is there or nothing started.
bool OpenContainingFolder(const Finding& f);
// The one of the two that fits the row.
bool OpenLocation(const Finding& f);

}  // namespace tw
