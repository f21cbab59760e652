// The small machine-wide scanners of the UI thread: empty program keys, help files and fonts
// that are gone, and uninstall entries of removed programs.
#pragma once
#include <string>

#include "scanners/ScanContext.h"
#include "scanners/ScanSink.h"

namespace tw {

// Empty first-level keys under the machine's and then the current user's "Software" key; a user
// key is kept when the machine has a key of exactly that name in use.
void ChkSoftwareErr(const ScanContext& ctx, ScanSink& sink);
// Registered help files (WinHelp and HTML Help) missing from the folder registered for them.
void ChkHelpErr(const ScanContext& ctx, ScanSink& sink);
// Registered fonts whose file is neither in the fonts folder nor at the registered path.
void ChkFontErr(const ScanContext& ctx, ScanSink& sink);
// Uninstall entries that are empty, hold one unusable value, or whose uninstall program exists
// nowhere. A display name that is not text ends the scanner with a RegistryError for the
// caller to show.
void ChkUninstallErr(const ScanContext& ctx, ScanSink& sink);

// The single value of an uninstall entry, judged as a path: true (bad) when it is no drive path
// C: to Z: at all, or a path on a fixed drive that, cut down to the file it names, exists
// neither as a file nor as a folder. Texts that cannot be judged, and paths on other drives,
// are not bad. Never throws.
bool IsBadUninstallPath(const std::string& text);
// The same; `judged` gets the path found missing (empty when the text is bad for being no path).
bool IsBadUninstallPath(const std::string& text, std::string& judged);

}  // namespace tw
