// The UI thread's one message pump. The main loop, the pauses of long walks on the UI thread and
// every wait that keeps the window alive (a worker thread ending, an outside program running)
// go through it, so the main window's accelerators and the modeless windows' dialog keys work in
// all of them, and WM_QUIT is treated the same way everywhere.
//
// WM_QUIT: a pump nested inside a command that takes WM_QUIT from the queue posts it again when
// it returns, so that the main loop sees it and ends. A pause returns at once; a wait goes on
// dispatching until what it waits for has happened.
#pragma once
#include <windows.h>
#include <functional>

namespace tw {

// The keyboard translation of the calling thread's windows: returns true when it has handled
// the message (an accelerator, a dialog key). One filter per thread; the main window installs
// its own for its lifetime.
using MessageFilter = std::function<bool(MSG*)>;

class ScopedMessageFilter {
public:
    explicit ScopedMessageFilter(MessageFilter filter);
    ~ScopedMessageFilter();
    ScopedMessageFilter(const ScopedMessageFilter&) = delete;
    ScopedMessageFilter& operator=(const ScopedMessageFilter&) = delete;

private:
    MessageFilter previous_;
    DWORD thread_;
};

// The modeless windows of this thread: every pump gives each its dialog keys (Tab, Enter, Esc)
// while it is visible and the message is for it or one of its controls, before the filter runs.
// A window is added once it exists and removed when it is destroyed (WindowBase does both).
void AddDialogWindow(HWND window);
void RemoveDialogWindow(HWND window);

// Filters, translates and dispatches one message (never WM_QUIT).
void DispatchOne(MSG& msg);

// Lets the calling thread's pending messages run. Returns false when it met WM_QUIT, which it
// has posted again for the outer loop.
bool ProcessMessages();

// The pause of a walk that runs on the UI thread, meant to be called after every entry. Most
// calls cost a clock read: the queue is looked at only every few milliseconds, and the pump runs
// only when something waits there.
void PauseForMessages();

// Waits for the handles while this thread's windows go on dispatching messages (a worker may
// wait for this thread to take its results). Returns when all have been signalled. A WM_QUIT
// met meanwhile is posted again when the wait is over.
void WaitPumping(const HANDLE* handles, DWORD count);

// Dispatches this thread's messages until `done` holds or timeoutMs have passed. `done` is asked
// first, after every batch of messages and at least every few milliseconds, so that it may also
// watch what changes without a message (a thread's end). A wait like WaitPumping: a WM_QUIT met
// meanwhile is posted again when it returns. True when `done` held.
bool RunUntil(const std::function<bool()>& done, DWORD timeoutMs = INFINITE);

// The main loop: runs until WM_QUIT and returns its exit code.
int RunMessageLoop();

}  // namespace tw
