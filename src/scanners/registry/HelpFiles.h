// The help-file scanner: registered help files (WinHelp and HTML Help) that are gone.
#pragma once
#include "scanners/ScanContext.h"
#include "scanners/ScanSink.h"

namespace tw {

// Registered help files (WinHelp and HTML Help) missing from the folder registered for them.
void ScanHelpFiles(const ScanContext& ctx, ScanSink& sink);

}  // namespace tw
