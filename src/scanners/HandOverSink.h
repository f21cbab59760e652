// The sink a worker thread writes to: each call is handed to the UI thread and the worker
// waits until it has run there, so the report list and the status line are only ever touched
// by the UI thread.
#pragma once
#include "platform/Threads.h"
#include "scanners/ScanSink.h"

namespace tw {

class HandOverSink : public ScanSink {
public:
    HandOverSink(UiDispatcher& ui, ScanSink& target) : ui_(ui), target_(target) {}
    void AddFinding(const Finding& f) override {
        ui_.Invoke([&] { target_.AddFinding(f); });
    }
    void ShowStatus(const std::string& text) override {
        ui_.Invoke([&] { target_.ShowStatus(text); });
    }
    // The worker has no messages of its own to run.
    void ProcessMessages() override {}

private:
    UiDispatcher& ui_;
    ScanSink& target_;
};

}  // namespace tw
