// Where a scanner's results go. Scanners know nothing of windows: the main window, the console
// front end and the tests each provide a sink. All three calls happen on the thread that owns
// the sink (a worker thread reaches it through a HandOverSink).
#pragma once
#include <string>

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

// How a scanner on the UI thread reports: one Finding with the fresh image, then the window's
// pending messages get their turn (Stop, the worker threads' hand-overs).
inline void AddAndPause(ScanSink& sink, const std::string& caption, const std::string& location,
                        const std::string& keyName, const std::string& description) {
    Finding f;
    f.caption = caption;
    f.location = location;
    f.keyName = keyName;
    f.description = description;
    sink.AddFinding(f);
    sink.ProcessMessages();
}

}  // namespace tw
