// Scanners of the Start menu's records and of the context-menu handlers: start-menu ordering
// records of program groups that are gone, and handlers whose class is not registered. Both run
// on the UI thread.
#pragma once
#include <string>

#include "scanners/ScanContext.h"
#include "scanners/ScanSink.h"

namespace tw {

// Adds one Finding for a whole key with the default image, then lets pending messages run.
void AddWholeKeyRow(ScanSink& sink, const std::string& item, const std::string& location,
                const std::string& description);

// Reports the current user's start-menu ordering records whose program group matches no
// folder of the Programs folder(s) for the system's major version (exact letter case).
void ScanStartMenuOrder(const ScanContext& ctx, ScanSink& sink);

// Reports the machine's context-menu handlers of one file class ("*", "Directory", "Drive",
// "Folder") whose class identifier has no key in the machine's class table. A handler whose
// default value is not text ends the scanner with a ScanStepError naming the handler.
void ScanContextMenuHandlers(const ScanContext& ctx, ScanSink& sink, const std::string& className);

}  // namespace tw
