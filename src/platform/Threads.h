// Threads and locks of the win32 thread model (no std::thread here, so that the program
// loads on Windows XP), and the hand-over of work from a worker thread to the UI thread.
#pragma once
#include <windows.h>
#include <functional>

#include "platform/Handle.h"

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
    bool Finished() const { return InterlockedCompareExchange(const_cast<LONG*>(&finished_), 0, 0) != 0; }
    HANDLE Handle() const { return thread_.get(); }
    // Called on the worker thread after Execute has returned (or thrown), as the last thing it
    // does; the default does nothing.
    std::function<void(WorkerThread&)> onFinished;

protected:
    virtual void Execute() = 0;

private:
    static unsigned __stdcall Entry(void* self);
    UniqueKernelHandle thread_;
    LONG terminated_ = 0;
    LONG finished_ = 0;
    bool started_ = false;
};

// Waits for the handles while this thread's windows go on dispatching messages (a worker may be
// blocked in a hand-over to this thread). Returns when all have been signalled.
void WaitPumping(const HANDLE* handles, DWORD count);
// Lets the calling thread's pending messages run once.
void ProcessMessages();

// Runs functions on the thread that created it (the UI thread). Invoke blocks the calling
// thread until the function has run there; Post queues it and returns at once.
class UiDispatcher {
public:
    UiDispatcher();
    ~UiDispatcher();
    UiDispatcher(const UiDispatcher&) = delete;
    UiDispatcher& operator=(const UiDispatcher&) = delete;

    // From any thread; on the owning thread it runs the function directly. Exceptions thrown
    // by the function are passed back to the caller.
    void Invoke(const std::function<void()>& fn);
    // Queues a function for the owning thread; false when the dispatcher is gone.
    bool Post(std::function<void()> fn);
    HWND Window() const { return hwnd_; }

private:
    static LRESULT CALLBACK WndProc(HWND, UINT, WPARAM, LPARAM);
    HWND hwnd_ = nullptr;
    DWORD threadId_ = 0;
};

}  // namespace tw
