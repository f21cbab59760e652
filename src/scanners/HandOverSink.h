// The sink a worker thread writes to: each call is handed to the UI thread and the worker
// waits until it has run there, so the report list and the status line are only ever touched
// by the UI thread. An optional filter, asked on the UI thread, drops results that no longer
// belong to the scan shown (a stopped scan's thread may still be ending).
#pragma once
#include <functional>

#include "platform/Threads.h"
#include "scanners/ScanSink.h"

namespace tw {

class HandOverSink : public ScanSink {
public:
    HandOverSink(UiDispatcher& ui, ScanSink& target, std::function<bool()> current = nullptr)
        : ui_(ui), target_(target), current_(std::move(current)) {}
    void AddFinding(const Finding& f) override {
        ui_.Invoke([&] {
            if (!current_ || current_()) target_.AddFinding(f);
        });
    }
    void ShowStatus(const std::string& text) override {
        ui_.Invoke([&] {
            if (!current_ || current_()) target_.ShowStatus(text);
        });
    }
    // The worker has no messages of its own to run.
    void ProcessMessages() override {}

private:
    UiDispatcher& ui_;
    ScanSink& target_;
    std::function<bool()> current_;
};

}  // namespace tw
