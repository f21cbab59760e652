// The shared-library usage table: entries whose usage count has dropped to 0.
#pragma once
#include "scanners/ScanContext.h"
#include "scanners/ScanSink.h"

namespace tw {

// Reports every value of the machine's shared-DLL table whose count (an integer, or a text
// spelling one) is exactly 0, with the shared-library image. The library file is not looked at.
void ScanSharedDlls(const ScanContext& ctx, ScanSink& sink);

}  // namespace tw
