// The font scanner: registered fonts whose file is gone.
#pragma once
#include "scanners/ScanContext.h"
#include "scanners/ScanSink.h"

namespace tw {

// Registered fonts whose file is neither in the fonts folder nor at the registered path (nor,
// under Wine, in a folder Wine loads fonts from).
void ScanFonts(const ScanContext& ctx, ScanSink& sink);

}  // namespace tw
