#include "scanners/HandOverSink.h"

#include <cstring>
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

void HandOverSink::AddFinding(const Finding& f) {
    {
        Lock l(lock_);
        if (failed_) Fail();
        const std::string* texts[4] = {&f.caption, &f.location, &f.keyName, &f.description};
        Entry e{false, f.missingRule, f.kind, f.image, {}};
        for (int i = 0; i < 4; ++i) {
            e.length[i] = static_cast<uint32_t>(texts[i]->size());
            waiting_.text += *texts[i];
        }
        const size_t before = waiting_.text.size();
        for (const std::string& path : f.missingPaths) {
            waiting_.text += path;
            waiting_.text += '\0';
        }
        e.length[4] = static_cast<uint32_t>(waiting_.text.size() - before);
        waiting_.entries.push_back(e);
    }
    Handed();
}

void HandOverSink::ShowStatus(const std::string& text) {
    {
        Lock l(lock_);
        if (failed_) Fail();
        // Only the newest of several status texts in a row would ever be seen: it takes the place
        // of the one before, whose text ends the buffer.
        if (!waiting_.Empty() && waiting_.entries.back().isStatus) {
            waiting_.text.resize(waiting_.text.size() - waiting_.entries.back().length[0]);
            waiting_.entries.pop_back();
        }
        waiting_.entries.push_back(
            Entry{true, Finding::Missing::Nothing, FindingKind::Unspecified, 0, {static_cast<uint32_t>(text.size()), 0, 0, 0, 0}});
        waiting_.text += text;
    }
    Handed();
}

// After an item was added: asks for a turn of the UI thread unless one is asked for already, and
// holds the worker while a full batch waits.
void HandOverSink::Handed() {
    bool ask = false;
    size_t waiting;
    {
        Lock l(lock_);
        if (!queued_) queued_ = ask = true;
        waiting = waiting_.Size();
    }
    if (ask && !ui_.Queue(this)) {
        {
            Lock l(lock_);
            failed_ = true;
            queued_ = false;
            waiting_.Clear();
        }
        Fail();
    }
    if (waiting >= kMaxBatch) WaitTaken(kMaxBatch);
}

void HandOverSink::Flush() {
    bool queued;
    {
        Lock l(lock_);
        queued = queued_;
    }
    if (queued) ui_.Hurry();
    WaitTaken(0);
}

void HandOverSink::WaitTaken(size_t limit) {
    for (;;) {
        {
            Lock l(lock_);
            if (failed_) Fail();
            if (!queued_ || (limit > 0 && waiting_.Size() < limit)) return;
        }
        WaitForSingleObject(taken_.get(), INFINITE);
    }
}

void HandOverSink::Fail() {
    if (producer_) producer_->Terminate();
    throw std::runtime_error("the window no longer takes results");
}

void HandOverSink::Run() {
    // Should the target let messages run, a turn of this sink that runs inside them takes the
    // waiting items into a batch of its own and leaves the one being delivered here alone.
    Batch nested;
    Batch& taking = deliveringBusy_ ? nested : delivering_;
    {
        Lock l(lock_);
        std::swap(taking, waiting_);
        queued_ = false;
    }
    SetEvent(taken_.get());
    const bool outer = &taking == &delivering_;
    if (outer) deliveringBusy_ = true;
    Deliver(taking);
    taking.Clear();
    if (outer) deliveringBusy_ = false;
}

void HandOverSink::Deliver(const Batch& batch) {
    size_t at = 0;
    for (const Entry& e : batch.entries) {
        if (producer_ && producer_->Terminated()) break;
        const char* text = batch.text.data() + at;
        if (e.isStatus) {
            at += e.length[0];
            if (current_ && !current_()) continue;
            try {
                target_.ShowStatus(std::string(text, e.length[0]));
            } catch (...) {
            }
            continue;
        }
        std::string* fields[4] = {&scratch_.caption, &scratch_.location, &scratch_.keyName, &scratch_.description};
        for (int i = 0; i < 4; ++i) {
            fields[i]->assign(batch.text.data() + at, e.length[i]);
            at += e.length[i];
        }
        scratch_.missingPaths.clear();
        for (const char *p = batch.text.data() + at, *end = p + e.length[4]; p < end;) {
            const size_t n = strlen(p);
            scratch_.missingPaths.emplace_back(p, n);
            p += n + 1;
        }
        at += e.length[4];
        if (current_ && !current_()) continue;
        scratch_.image = e.image;
        scratch_.kind = e.kind;
        scratch_.missingRule = e.missingRule;
        try {
            target_.AddFinding(scratch_);
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
        waiting_.Clear();
    }
    SetEvent(taken_.get());
}

}  // namespace tw
