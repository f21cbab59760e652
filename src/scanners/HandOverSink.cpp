#include "scanners/HandOverSink.h"

#include <stdexcept>

namespace tw {

HandOverSink::HandOverSink(UiDispatcher& ui, ScanSink& target, std::function<bool()> current)
    : ui_(ui), target_(target), current_(std::move(current)),
      taken_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

HandOverSink::~HandOverSink() {
    // A worker that ended without flushing may have left its last batch queued.
    if (Busy()) ui_.Withdraw(this);
}

bool HandOverSink::Busy() const { return InterlockedCompareExchange(const_cast<LONG*>(&busy_), 0, 0) != 0; }

void HandOverSink::AddFinding(const Finding& f) {
    collecting_.push_back(Item{false, f, std::string()});
    Offer();
}

void HandOverSink::ShowStatus(const std::string& text) {
    // Only the newest of several status texts in a row would ever be seen.
    if (!collecting_.empty() && collecting_.back().isStatus)
        collecting_.back().status = text;
    else
        collecting_.push_back(Item{true, Finding{}, text});
    Offer();
}

void HandOverSink::Flush() {
    if (!collecting_.empty()) {
        WaitTaken();
        HandOver();
    }
    WaitTaken();
}

void HandOverSink::Offer() {
    if (Busy()) {
        if (collecting_.size() < kMaxBatch) return;
        WaitTaken();
    }
    HandOver();
}

void HandOverSink::WaitTaken() {
    while (Busy()) WaitForSingleObject(taken_.get(), INFINITE);
    if (InterlockedCompareExchange(&failed_, 0, 0)) Fail();
}

void HandOverSink::HandOver() {
    if (InterlockedCompareExchange(&failed_, 0, 0)) Fail();
    inFlight_.swap(collecting_);
    collecting_.clear();
    InterlockedExchange(&busy_, 1);
    if (!ui_.Queue(this)) {
        inFlight_.clear();
        InterlockedExchange(&failed_, 1);
        InterlockedExchange(&busy_, 0);
        Fail();
    }
}

void HandOverSink::Fail() {
    collecting_.clear();
    if (producer_) producer_->Terminate();
    throw std::runtime_error("the window no longer takes results");
}

void HandOverSink::Run() {
    for (const Item& item : inFlight_) {
        if (producer_ && producer_->Terminated()) break;
        if (current_ && !current_()) continue;
        try {
            if (item.isStatus)
                target_.ShowStatus(item.status);
            else
                target_.AddFinding(item.finding);
        } catch (...) {
            // A row the list could not take is lost; it must not unwind into the message loop.
        }
    }
    inFlight_.clear();
    InterlockedExchange(&busy_, 0);
    SetEvent(taken_.get());
}

void HandOverSink::Drop() {
    inFlight_.clear();
    InterlockedExchange(&failed_, 1);
    InterlockedExchange(&busy_, 0);
    SetEvent(taken_.get());
}

}  // namespace tw
