// Where a scanner's results go. Scanners know nothing of windows: the main window, the console
// front end and the tests each provide a sink. All three calls happen on the thread that owns
// the sink (a worker thread reaches it through a HandOverSink).
#pragma once
#include <stdexcept>
#include <string>

#include "platform/LoadText.h"
#include "scanners/Finding.h"

namespace tw {

class ScanSink {
public:
    virtual ~ScanSink() = default;
    // Appends one Finding (image included) at the end of the report list.
    virtual void AddFinding(const Finding& f) = 0;
    // Replaces the status line.
    virtual void ShowStatus(const std::string& text) = 0;
    // Lets the UI thread's pending messages run (Stop, hand-overs of the worker threads).
    virtual void ProcessMessages() = 0;
    // Delivers whatever the sink still holds back; a scanner on a worker thread calls it as
    // its last act, so that its results are all shown before its completion.
    virtual void Flush() {}
};

// A scanner that cannot go on (a value of the wrong kind where a text must be, a special folder
// the system cannot name): its category ends there, the scan goes on with the next category, and
// the closing report names the category and the text of this error, which says where it ended.
class ScanStepError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// Ends the scanner at `where` (a key or a folder, as the user knows it) with the reason.
[[noreturn]] inline void EndScanAt(const std::string& where, const std::string& reason) {
    throw ScanStepError(LoadText(IDS_ENDED_AT, {where, reason}));
}

// How a scanner on the UI thread reports: one Finding with the fresh image, then the window's
// pending messages get their turn (Stop, the worker threads' hand-overs).
inline void AddAndPause(ScanSink& sink, const Finding& f) {
    sink.AddFinding(f);
    sink.ProcessMessages();
}

}  // namespace tw
