// The sink a worker thread writes to: its Findings and status texts are handed to the UI
// thread, which alone touches the report list and the status line. They travel in small
// batches that keep their order: at each of its turns the UI thread takes everything the
// worker has handed over since the last one, so a Finding is shown at the next turn, a worker
// never waits while the UI thread keeps up, never runs more than one full batch ahead of it
// when it does not, and a flood of Findings costs the UI thread one short turn per batch
// instead of one per Finding.
//
// An optional filter, asked on the UI thread, drops results that no longer belong to the scan
// shown (a stopped scan's thread may still be ending). Once the producing worker has been asked
// to stop, nothing more of it is delivered, as if it had waited at each Finding.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Handle.h"
#include "platform/Threads.h"
#include "scanners/ScanSink.h"

namespace tw {

class HandOverSink : public ScanSink, private UiDispatcher::Task {
public:
    // The most a worker collects while its previous batch waits for the UI thread.
    static constexpr size_t kMaxBatch = 512;

    HandOverSink(UiDispatcher& ui, ScanSink& target, std::function<bool()> current = nullptr);
    // On the owning (UI) thread, after the worker has ended.
    ~HandOverSink() override;
    HandOverSink(const HandOverSink&) = delete;
    HandOverSink& operator=(const HandOverSink&) = delete;

    // The worker that writes here: a failed hand-over asks it to stop, and whatever it hands
    // over after a stop request is not delivered. Set before the worker starts.
    void SetProducer(WorkerThread* producer) { producer_ = producer; }

    // Worker thread. They throw when the UI thread can take nothing any more (no dispatcher
    // window, or the window is closing); the producer has then been asked to stop.
    void AddFinding(const Finding& f) override;
    void ShowStatus(const std::string& text) override;
    // The worker has no messages of its own to run.
    void ProcessMessages() override {}
    // Hands over the rest and waits until the UI thread has taken it; the UI thread is asked to
    // take it at once rather than after its usual pause between turns.
    void Flush() override;

private:
    // What waits for the UI thread: the texts of its items, one after the other, in one buffer
    // that is reused from batch to batch. No memory of the worker's passes to the UI thread, and
    // a steady flood of Findings allocates nothing on either side.
    struct Entry {
        bool isStatus;
        Finding::Missing missingRule;
        FindingKind kind;
        int image;
        // The four texts, then the missing paths, each ended by a NUL (no path holds one); a
        // status has only the first.
        uint32_t length[5];
    };
    struct Batch {
        std::string text;
        std::vector<Entry> entries;
        bool Empty() const { return entries.empty(); }
        size_t Size() const { return entries.size(); }
        void Clear() {
            text.clear();
            entries.clear();
        }
    };

    void Run() override;
    void Drop() override;
    // After an item was added: asks for a turn of the UI thread, holds the worker on a full batch.
    void Handed();
    void Deliver(const Batch& batch);
    // Waits until fewer than `limit` items wait for the UI thread (0: until all are taken).
    void WaitTaken(size_t limit);
    [[noreturn]] void Fail();

    UiDispatcher& ui_;
    ScanSink& target_;
    std::function<bool()> current_;
    WorkerThread* producer_ = nullptr;
    UniqueKernelHandle taken_;  // auto-reset: the UI thread took the waiting items
    CriticalSection lock_;
    // Guarded by lock_.
    Batch waiting_;              // handed over, not yet taken
    bool queued_ = false;        // a turn of the UI thread is asked for
    bool failed_ = false;
    // UI thread only: the batch being delivered, kept for its memory.
    Batch delivering_;
    bool deliveringBusy_ = false;
    Finding scratch_;
};

}  // namespace tw
