// The software-key scanner: first-level keys under "Software" that hold nothing.
#pragma once
#include "scanners/ScanContext.h"
#include "scanners/ScanSink.h"

namespace tw {

// Empty first-level keys under the machine's and then the current user's "Software" key; a user
// key is kept when the machine has a key of exactly that name in use.
void ScanEmptySoftwareKeys(const ScanContext& ctx, ScanSink& sink);

}  // namespace tw
