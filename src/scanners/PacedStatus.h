// The status line of a long walk: the first text goes out at once, later ones at most once per
// interval. A status hand-over per key or per file would cost the walk a round trip to the UI
// thread each time, while the line still shows where the walk is at screen rate.
#pragma once
#include <windows.h>
#include <string>

#include "scanners/ScanSink.h"

namespace tw {

class PacedStatus {
public:
    static constexpr DWORD kDefaultIntervalMs = 50;
    explicit PacedStatus(ScanSink& sink, DWORD intervalMs = kDefaultIntervalMs)
        : sink_(sink), intervalMs_(intervalMs) {}

    // True when it is time for the next text; the caller then builds it and calls Show. Lets a
    // walk skip building a text that would be dropped.
    bool Due() const { return !shown_ || GetTickCount() - last_ >= intervalMs_; }
    void Show(const std::string& text) {
        sink_.ShowStatus(text);
        shown_ = true;
        last_ = GetTickCount();
    }

private:
    ScanSink& sink_;
    DWORD intervalMs_;
    bool shown_ = false;
    DWORD last_ = 0;
};

}  // namespace tw
