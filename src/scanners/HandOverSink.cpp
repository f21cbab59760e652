#include "scanners/HandOverSink.h"

#include <stdexcept>

namespace tw {

HandOverSink::HandOverSink(UiDispatcher& ui, ScanSink& target, std::function<bool()> current)
    : ui_(ui), target_(target), current_(std::move(current)),
      taken_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

HandOverSink::~HandOverSink() {
    // A worker that ended without flushing may have left a turn asked for: what it handed over
    // is delivered now rather than lost.
    bool queued;
    {
        Lock l(lock_);
        queued = queued_;
    }
    if (queued && ui_.Withdraw(this)) Run();
}

void HandOverSink::AddFinding(const Finding& f) { Put(Item{false, f, std::string()}); }

void HandOverSink::ShowStatus(const std::string& text) { Put(Item{true, Finding{}, text}); }

void HandOverSink::Put(Item item) {
    bool ask = false;
    size_t waiting;
    {
        Lock l(lock_);
        if (failed_) Fail();
        // Only the newest of several status texts in a row would ever be seen.
        if (item.isStatus && !waiting_.empty() && waiting_.back().isStatus)
            waiting_.back().status = std::move(item.status);
        else
            waiting_.push_back(std::move(item));
        if (!queued_) queued_ = ask = true;
        waiting = waiting_.size();
    }
    if (ask && !ui_.Queue(this)) {
        {
            Lock l(lock_);
            failed_ = true;
            queued_ = false;
            waiting_.clear();
        }
        Fail();
    }
    if (waiting >= kMaxBatch) WaitTaken(kMaxBatch);
}

void HandOverSink::Flush() { WaitTaken(0); }

void HandOverSink::WaitTaken(size_t limit) {
    for (;;) {
        {
            Lock l(lock_);
            if (failed_) Fail();
            if (!queued_ || (limit > 0 && waiting_.size() < limit)) return;
        }
        WaitForSingleObject(taken_.get(), INFINITE);
    }
}

void HandOverSink::Fail() {
    if (producer_) producer_->Terminate();
    throw std::runtime_error("the window no longer takes results");
}

void HandOverSink::Run() {
    // Taken into a local list: should the target let messages run, a turn of this sink that
    // runs inside them must not touch the list being delivered here.
    std::vector<Item> taking;
    {
        Lock l(lock_);
        taking.swap(waiting_);
        waiting_.reserve(taking.capacity());
        queued_ = false;
    }
    SetEvent(taken_.get());
    for (const Item& item : taking) {
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
}

void HandOverSink::Drop() {
    {
        Lock l(lock_);
        failed_ = true;
        queued_ = false;
        waiting_.clear();
    }
    SetEvent(taken_.get());
}

}  // namespace tw
