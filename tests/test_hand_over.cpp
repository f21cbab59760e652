#include <doctest.h>

#include "scan/ScanDriver.h"
#include "scanners/HandOverSink.h"
#include "support/ScanFixtures.h"

using namespace tw;
using namespace tw::test;

namespace {

// Records the Findings it is given and on which thread, and how far the worker was ahead.
class RecordingSink : public ScanSink {
public:
    void AddFinding(const Finding& f) override {
        threads.push_back(GetCurrentThreadId());
        keys.push_back(f.keyName);
        LONG lead = InterlockedCompareExchange(&produced, 0, 0) - static_cast<LONG>(keys.size());
        if (lead > maxLead) maxLead = lead;
        // A slow list now and then: the worker must wait for it rather than run away.
        if (keys.size() % 500 == 0) Sleep(30);
    }
    void ShowStatus(const std::string&) override {}
    void ProcessMessages() override {}

    std::vector<DWORD> threads;
    std::vector<std::string> keys;
    LONG produced = 0;
    LONG maxLead = 0;
};

class CountingThread : public WorkerThread {
public:
    CountingThread(ScanSink& sink, LONG& produced, int count) : sink_(sink), produced_(produced), count_(count) {}

protected:
    void Execute() override {
        for (int i = 0; i < count_ && !Terminated(); ++i) {
            InterlockedIncrement(&produced_);
            sink_.AddFinding(Finding{"HKEY_CURRENT_USER", "k", std::to_string(i), "", 0, FindingKind::RegistryValue});
        }
        sink_.Flush();
    }

private:
    ScanSink& sink_;
    LONG& produced_;
    int count_;
};

LRESULT CALLBACK RefuseWindows(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_CREATEWND) return 1;
    return CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace

TEST_CASE("hand-over: every Finding arrives once, in order, on the UI thread, the worker kept close behind") {
    UiDispatcher ui;
    RecordingSink target;
    HandOverSink handOver(ui, target);
    const int n = 5000;
    CountingThread t(handOver, target.produced, n);
    handOver.SetProducer(&t);
    REQUIRE(t.Start());
    HANDLE h = t.Handle();
    WaitPumping(&h, 1);
    ProcessMessages();
    REQUIRE(target.keys.size() == static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        if (target.keys[static_cast<size_t>(i)] != std::to_string(i)) {
            FAIL("Finding " << i << " arrived as " << target.keys[static_cast<size_t>(i)]);
            break;
        }
    }
    CHECK(std::count(target.threads.begin(), target.threads.end(), GetCurrentThreadId()) == n);
    CHECK(target.maxLead <= static_cast<LONG>(2 * HandOverSink::kMaxBatch + 1));
}

TEST_CASE("hand-over: each Finding arrives whole; of status texts in a row only the newest is shown") {
    struct Log : ScanSink {
        void AddFinding(const Finding& f) override {
            findings.push_back(f);
            events.push_back("F");
        }
        void ShowStatus(const std::string& text) override { events.push_back("S:" + text); }
        void ProcessMessages() override {}
        std::vector<Finding> findings;
        std::vector<std::string> events;
    } target;
    Finding odd{"HKEY_USERS", std::string("S-1\\\xB1\x5C\0tail", 11), std::string("\0", 1),
                std::string(5000, 'd'), kImageSharedDll, FindingKind::RegistryDefaultValue};
    odd.missingPaths = {"C:\\a\xB1\x5C", "", std::string(300, 'p')};
    odd.missingRule = Finding::Missing::NoProgram;
    Finding blank{"", "", "", "", kImageFresh, FindingKind::RegistryKey};
    UiDispatcher ui;
    HandOverSink handOver(ui, target);
    UniqueKernelHandle handed(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    struct Worker : WorkerThread {
        Worker(ScanSink& s, HANDLE e, const Finding& a, const Finding& b) : sink(s), done(e), odd(a), blank(b) {}
        void Execute() override {
            sink.ShowStatus("a");
            sink.ShowStatus("b");
            sink.AddFinding(odd);
            sink.ShowStatus("c");
            sink.AddFinding(blank);
            sink.ShowStatus("d");
            sink.ShowStatus(std::string(300, 'e'));
            SetEvent(done);
            sink.Flush();
        }
        ScanSink& sink;
        HANDLE done;
        const Finding &odd, &blank;
    } worker(handOver, handed.get(), odd, blank);
    handOver.SetProducer(&worker);
    REQUIRE(worker.Start());
    // Everything waits in one batch before the UI thread takes any of it.
    REQUIRE(WaitForSingleObject(handed.get(), 5000) == WAIT_OBJECT_0);
    HANDLE h = worker.Handle();
    WaitPumping(&h, 1);
    CHECK(target.events == std::vector<std::string>{"S:b", "F", "S:c", "F", "S:" + std::string(300, 'e')});
    REQUIRE(target.findings.size() == 2u);
    CHECK(target.findings[0] == odd);
    CHECK(target.findings[0].missingPaths == odd.missingPaths);
    CHECK(target.findings[0].missingRule == odd.missingRule);
    CHECK(target.findings[1] == blank);
    CHECK(target.findings[1].missingPaths.empty());
}

TEST_CASE("without a dispatcher window a hand-over fails and ends the worker; no window code runs on it") {
    HHOOK hook = SetWindowsHookExW(WH_CBT, RefuseWindows, nullptr, GetCurrentThreadId());
    REQUIRE(hook);
    std::unique_ptr<UiDispatcher> ui(new UiDispatcher);
    UnhookWindowsHookEx(hook);
    REQUIRE(ui->Window() == nullptr);

    RecordingSink target;
    HandOverSink handOver(*ui, target);
    FakeThread flood(handOver, "flood", -1, nullptr);  // reports until it is stopped
    handOver.SetProducer(&flood);
    REQUIRE(flood.Start());
    CHECK(WaitForSingleObject(flood.Handle(), 5000) == WAIT_OBJECT_0);
    CHECK(flood.Terminated());
    ProcessMessages();
    CHECK(target.keys.empty());

    // The completion's hand-over refuses too, rather than running the call on the worker.
    struct PostThread : WorkerThread {
        explicit PostThread(UiDispatcher& d) : ui(d) {}
        void Execute() override { refused = !ui.Post([this] { ranOn = GetCurrentThreadId(); }); }
        UiDispatcher& ui;
        DWORD ranOn = 0;
        bool refused = false;
    } caller(*ui);
    REQUIRE(caller.Start());
    WaitForSingleObject(caller.Handle(), 5000);
    CHECK(caller.refused);
    CHECK(caller.ranOn == 0u);
}
