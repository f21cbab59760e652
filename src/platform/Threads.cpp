#include "platform/Threads.h"

#include <process.h>
#include <exception>
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
    InterlockedExchange(&self->finished_, 1);
    if (self->onFinished) {
        try {
            self->onFinished(*self);
        } catch (...) {
        }
    }
    return 0;
}

void ProcessMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void WaitPumping(const HANDLE* handles, DWORD count) {
    std::vector<HANDLE> left(handles, handles + count);
    while (!left.empty()) {
        DWORD n = static_cast<DWORD>(left.size() > MAXIMUM_WAIT_OBJECTS - 1 ? MAXIMUM_WAIT_OBJECTS - 1 : left.size());
        DWORD rc = MsgWaitForMultipleObjects(n, left.data(), FALSE, INFINITE, QS_ALLINPUT | QS_ALLPOSTMESSAGE);
        if (rc >= WAIT_OBJECT_0 && rc < WAIT_OBJECT_0 + n) {
            left.erase(left.begin() + (rc - WAIT_OBJECT_0));
        } else if (rc == WAIT_OBJECT_0 + n) {
            // Sent messages (the workers' hand-overs) are delivered inside PeekMessage.
            MSG msg;
            bool quit = false;
            int quitCode = 0;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    quit = true;
                    quitCode = static_cast<int>(msg.wParam);
                    continue;
                }
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            if (quit) PostQuitMessage(quitCode);
            // A reposted quit would wake us forever: from here on only sent messages matter.
            if (quit) {
                while (!left.empty()) {
                    DWORD m = static_cast<DWORD>(left.size() > MAXIMUM_WAIT_OBJECTS - 1 ? MAXIMUM_WAIT_OBJECTS - 1 : left.size());
                    DWORD r = MsgWaitForMultipleObjects(m, left.data(), FALSE, INFINITE, QS_SENDMESSAGE);
                    if (r >= WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + m) left.erase(left.begin() + (r - WAIT_OBJECT_0));
                    else if (r == WAIT_OBJECT_0 + m) {
                        MSG dummy;
                        PeekMessageA(&dummy, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
                    } else break;
                }
                return;
            }
        } else {
            return;  // a failed wait: nothing sensible left to wait for
        }
    }
}

namespace {

const UINT kInvokeMessage = WM_APP + 1;
const UINT kPostMessage = WM_APP + 2;
const char kDispatcherClass[] = "TarnwellDispatcher";

struct InvokeCall {
    const std::function<void()>* fn;
    std::exception_ptr error;
};

}  // namespace

UiDispatcher::UiDispatcher() : threadId_(GetCurrentThreadId()) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &UiDispatcher::WndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kDispatcherClass;
    RegisterClassA(&wc);  // fails harmlessly when already registered
    hwnd_ = CreateWindowExA(0, kDispatcherClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            wc.hInstance, nullptr);
}

UiDispatcher::~UiDispatcher() {
    if (!hwnd_) return;
    // Run what is still queued: each posted function owns memory.
    MSG msg;
    while (PeekMessageA(&msg, hwnd_, kPostMessage, kPostMessage, PM_REMOVE))
        DispatchMessageA(&msg);
    DestroyWindow(hwnd_);
}

void UiDispatcher::Invoke(const std::function<void()>& fn) {
    if (GetCurrentThreadId() == threadId_ || !hwnd_) {
        fn();
        return;
    }
    InvokeCall call{&fn, nullptr};
    SendMessageA(hwnd_, kInvokeMessage, 0, reinterpret_cast<LPARAM>(&call));
    if (call.error) std::rethrow_exception(call.error);
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

LRESULT CALLBACK UiDispatcher::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kInvokeMessage) {
        auto* call = reinterpret_cast<InvokeCall*>(lp);
        try {
            (*call->fn)();
        } catch (...) {
            call->error = std::current_exception();
        }
        return 0;
    }
    if (msg == kPostMessage) {
        std::unique_ptr<std::function<void()>> fn(reinterpret_cast<std::function<void()>*>(lp));
        try {
            (*fn)();
        } catch (...) {
        }
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace tw
