#include "platform/Threads.h"

#include <process.h>
#include <exception>
#include <stdexcept>
#include <memory>
#include <vector>

namespace tw {

WorkerThread::WorkerThread() {
    unsigned id = 0;
    thread_.reset(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, &WorkerThread::Entry, this, CREATE_SUSPENDED, &id)));
}

WorkerThread::~WorkerThread() {
    if (!thread_) return;
    if (!started_) {
        // Never started: let it run to an immediate end so the handle can be closed cleanly.
        Terminate();
        ResumeThread(thread_.get());
    }
    WaitForSingleObject(thread_.get(), INFINITE);
}

bool WorkerThread::Start() {
    if (!thread_ || started_) return false;
    started_ = true;
    return ResumeThread(thread_.get()) != static_cast<DWORD>(-1);
}

unsigned __stdcall WorkerThread::Entry(void* p) {
    auto* self = static_cast<WorkerThread*>(p);
    if (!self->Terminated()) {
        try {
            self->Execute();
        } catch (...) {
            // An error ends the run silently; the completion still comes.
        }
    }
    if (self->onFinished) {
        try {
            self->onFinished(*self);
        } catch (...) {
        }
    }
    return 0;
}

namespace {

const UINT kPostMessage = WM_APP + 2;
const UINT kWakeMessage = WM_APP + 3;
const UINT kHurryMessage = WM_APP + 4;
const UINT_PTR kRunTimer = 1;
// After a run of queued tasks, the next one waits at least this long, behind the owning
// thread's input and posted messages (a timer comes after them).
const DWORD kRunGapMs = 100;
const char kDispatcherClass[] = "TarnwellDispatcher";

}  // namespace

UiDispatcher::UiDispatcher() : threadId_(GetCurrentThreadId()) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &UiDispatcher::WndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kDispatcherClass;
    RegisterClassA(&wc);  // fails harmlessly when already registered
    hwnd_ = CreateWindowExA(0, kDispatcherClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            wc.hInstance, nullptr);
    if (hwnd_) SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

UiDispatcher::~UiDispatcher() {
    Close();
    if (!hwnd_) return;
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    // Run what is still posted: each posted function owns memory.
    MSG msg;
    while (PeekMessageA(&msg, hwnd_, kPostMessage, kPostMessage, PM_REMOVE))
        DispatchMessageA(&msg);
    DestroyWindow(hwnd_);
}

bool UiDispatcher::Post(std::function<void()> fn) {
    if (!hwnd_) return false;
    auto* heap = new std::function<void()>(std::move(fn));
    if (!PostMessageA(hwnd_, kPostMessage, 0, reinterpret_cast<LPARAM>(heap))) {
        delete heap;
        return false;
    }
    return true;
}

bool UiDispatcher::Queue(Task* task) {
    bool wake = false;
    {
        Lock l(lock_);
        if (closed_ || !hwnd_) return false;
        queue_.push_back(task);
        if (!wakePosted_) wakePosted_ = wake = true;
    }
    if (wake && !PostMessageA(hwnd_, kWakeMessage, 0, 0)) {
        // The owning thread is gone: nothing queued here will ever run.
        DropAll(task);
        return false;
    }
    return true;
}

void UiDispatcher::Hurry() {
    {
        Lock l(lock_);
        if (closed_ || !hwnd_ || hurryPosted_ || queue_.empty()) return;
        hurryPosted_ = true;
    }
    if (!PostMessageA(hwnd_, kHurryMessage, 0, 0)) {
        Lock l(lock_);
        hurryPosted_ = false;
    }
}

bool UiDispatcher::Withdraw(Task* task) {
    Lock l(lock_);
    for (auto it = queue_.begin(); it != queue_.end(); ++it) {
        if (*it == task) {
            queue_.erase(it);
            return true;
        }
    }
    return false;
}

void UiDispatcher::Close() {
    DropAll(nullptr);
    if (timerSet_ && hwnd_) KillTimer(hwnd_, kRunTimer);
    timerSet_ = false;
}

void UiDispatcher::DropAll(Task* except) {
    std::deque<Task*> dropped;
    {
        Lock l(lock_);
        closed_ = true;
        dropped.swap(queue_);
    }
    for (Task* t : dropped)
        if (t != except) t->Drop();
}

void UiDispatcher::OnWake() {
    if (ran_ && GetTickCount() - lastRun_ < kRunGapMs) {
        // Tasks came right after a run: let the input and posted messages that wait go first.
        if (!timerSet_) timerSet_ = SetTimer(hwnd_, kRunTimer, kRunGapMs, nullptr) != 0;
        if (timerSet_) return;
    }
    RunQueued();
}

void UiDispatcher::RunQueued() {
    std::deque<Task*> batch;
    {
        Lock l(lock_);
        batch.swap(queue_);
    }
    // One pass over what was queued when the run began: workers whose tasks run here queue
    // their next ones at once, and those wait for the next turn.
    for (Task* t : batch) t->Run();
    ran_ = true;
    lastRun_ = GetTickCount();
    Lock l(lock_);
    if (queue_.empty()) {
        wakePosted_ = false;
    } else if (!timerSet_) {
        timerSet_ = SetTimer(hwnd_, kRunTimer, kRunGapMs, nullptr) != 0;
        if (!timerSet_) PostMessageA(hwnd_, kWakeMessage, 0, 0);
    }
}

LRESULT CALLBACK UiDispatcher::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kPostMessage) {
        std::unique_ptr<std::function<void()>> fn(reinterpret_cast<std::function<void()>*>(lp));
        try {
            (*fn)();
        } catch (...) {
        }
        return 0;
    }
    if (msg == kWakeMessage || msg == kHurryMessage || (msg == WM_TIMER && wp == kRunTimer)) {
        auto* self = reinterpret_cast<UiDispatcher*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (!self) return 0;
        if (msg == kHurryMessage) {
            {
                Lock l(self->lock_);
                self->hurryPosted_ = false;
                // Nothing waits: the turn asked for has come already.
                if (self->queue_.empty()) return 0;
            }
            if (self->timerSet_) KillTimer(hwnd, kRunTimer);
            self->timerSet_ = false;
            self->RunQueued();
        } else if (msg == WM_TIMER) {
            KillTimer(hwnd, kRunTimer);
            self->timerSet_ = false;
            self->RunQueued();
        } else {
            self->OnWake();
        }
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace tw
