// Threads and locks of the win32 thread model (no std::thread here, so that the program
// loads on Windows XP), and the hand-over of work from a worker thread to the UI thread.
#pragma once
#include <windows.h>
#include <deque>
#include <functional>
#include <string>

#include "platform/Handle.h"
#include "platform/MessagePump.h"

namespace tw {

class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&cs_); }
    ~CriticalSection() { DeleteCriticalSection(&cs_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    void Enter() { EnterCriticalSection(&cs_); }
    void Leave() { LeaveCriticalSection(&cs_); }

private:
    CRITICAL_SECTION cs_;
};

class Lock {
public:
    explicit Lock(CriticalSection& cs) : cs_(cs) { cs_.Enter(); }
    ~Lock() { cs_.Leave(); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    CriticalSection& cs_;
};

// A thread created suspended: configure it, then Start. Terminate only raises the stop
// request that the body polls. The owner must Join (or wait on Handle) before destroying it.
class WorkerThread {
public:
    WorkerThread();
    virtual ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    bool Start();
    void Terminate() { InterlockedExchange(&terminated_, 1); }
    bool Terminated() const { return InterlockedCompareExchange(const_cast<LONG*>(&terminated_), 0, 0) != 0; }
    HANDLE Handle() const { return thread_.get(); }
    // Called on the worker thread after Execute has returned (or thrown), as the last thing it
    // does; the default does nothing.
    std::function<void(WorkerThread&)> onFinished;
    // Why the work ended before its end (empty when it ran through or was stopped). Written by
    // the worker, read by others only after the thread has ended.
    const std::string& Failure() const { return failure_; }

protected:
    virtual void Execute() = 0;
    void SetFailure(std::string text) { failure_ = std::move(text); }

private:
    static unsigned __stdcall Entry(void* self);
    UniqueKernelHandle thread_;
    LONG terminated_ = 0;
    bool started_ = false;
    std::string failure_;
};

// Runs work on the thread that created it (the UI thread) through a message-only window. A
// dispatcher whose window could not be made runs nothing: work handed to it from another
// thread fails, so that a worker never runs window code itself.
class UiDispatcher {
public:
    // Work a worker thread hands over. For each queued task exactly one of Run (on the owning
    // thread) or Drop (the dispatcher takes no more work; on any thread) is called.
    class Task {
    public:
        virtual void Run() = 0;
        virtual void Drop() = 0;

    protected:
        ~Task() = default;
    };

    UiDispatcher();
    ~UiDispatcher();
    UiDispatcher(const UiDispatcher&) = delete;
    UiDispatcher& operator=(const UiDispatcher&) = delete;

    // Queues a function for the owning thread; false when the dispatcher is gone.
    bool Post(std::function<void()> fn);

    // From any thread: queues a task and returns at once; false when the dispatcher takes no
    // work (no window, or closed), and then nothing is called for the task. Queued tasks run in
    // their order, many at a time, at a pace that leaves the owning thread's input and posted
    // messages their turn however fast tasks arrive.
    bool Queue(Task* task);
    // From any thread: the tasks queued now run at the owning thread's next chance, without the
    // pause that otherwise follows a run (a worker's last hand-over before it ends).
    void Hurry();
    // On the owning thread: takes a task back that has not run yet; false when it was not queued.
    bool Withdraw(Task* task);
    // On the owning thread: drops what is queued and refuses all work from now on.
    void Close();
    HWND Window() const { return hwnd_; }

private:
    static LRESULT CALLBACK WndProc(HWND, UINT, WPARAM, LPARAM);
    void OnWake();
    void RunQueued();
    void DropAll(Task* except);

    HWND hwnd_ = nullptr;
    DWORD threadId_ = 0;
    CriticalSection lock_;
    // Guarded by lock_.
    std::deque<Task*> queue_;
    bool wakePosted_ = false;
    bool hurryPosted_ = false;
    bool closed_ = false;
    // Owning thread only.
    bool ran_ = false;
    DWORD lastRun_ = 0;
    bool timerSet_ = false;
};

}  // namespace tw
