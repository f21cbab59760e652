// The uninstall-entry scanner: entries of programs that were removed without their uninstaller,
// and products of the system's installer whose files are gone.
#pragma once
#include <string>

#include "scanners/ScanContext.h"
#include "scanners/ScanSink.h"

namespace tw {

// Uninstall entries that are empty, hold one unusable value, or whose uninstall program exists
// nowhere. A display name that is not text ends the scanner with a RegistryError for the
// caller to show.
void ScanUninstallEntries(const ScanContext& ctx, ScanSink& sink);

// The single value of an uninstall entry, judged as a path: true (bad) when it is no drive path
// C: to Z: at all, or a path on a fixed drive that, cut down to the file it names, exists
// neither as a file nor as a folder. Texts that cannot be judged, and paths on other drives,
// are not bad. Never throws.
bool IsBadUninstallPath(const std::string& text);
// The same; `judged` gets the path found missing (empty when the text is bad for being no path).
bool IsBadUninstallPath(const std::string& text, std::string& judged);

}  // namespace tw
