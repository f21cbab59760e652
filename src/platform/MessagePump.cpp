#include "platform/MessagePump.h"

#include <algorithm>
#include <vector>

namespace tw {

namespace {

MessageFilter g_filter;
DWORD g_filterThread = 0;
// Only the UI thread owns windows: only it adds, removes and reads these.
std::vector<HWND> g_dialogWindows;

// How often a walk's pause looks at the queue at most. Well below what a user notices, well
// above the cost of one look.
const DWORD kPauseLookMs = 5;
DWORD g_lastLook = 0;
bool g_looked = false;
// How long RunUntil waits for a message before it asks its condition again.
const DWORD kRunUntilLookMs = 10;

}  // namespace

ScopedMessageFilter::ScopedMessageFilter(MessageFilter filter)
    : previous_(std::move(g_filter)), thread_(g_filterThread) {
    g_filter = std::move(filter);
    g_filterThread = GetCurrentThreadId();
}

ScopedMessageFilter::~ScopedMessageFilter() {
    g_filter = std::move(previous_);
    g_filterThread = thread_;
}

void AddDialogWindow(HWND window) {
    if (window && std::find(g_dialogWindows.begin(), g_dialogWindows.end(), window) == g_dialogWindows.end())
        g_dialogWindows.push_back(window);
}

void RemoveDialogWindow(HWND window) {
    g_dialogWindows.erase(std::remove(g_dialogWindows.begin(), g_dialogWindows.end(), window), g_dialogWindows.end());
}

namespace {

bool TakenAsDialogKey(MSG& msg) {
    for (HWND w : g_dialogWindows)
        if (IsWindowVisible(w) && (msg.hwnd == w || IsChild(w, msg.hwnd)) && IsDialogMessageW(w, &msg)) return true;
    return false;
}

}  // namespace

void DispatchOne(MSG& msg) {
    if (TakenAsDialogKey(msg)) return;
    if (g_filter && g_filterThread == GetCurrentThreadId() && g_filter(&msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

bool ProcessMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        DispatchOne(msg);
    }
    return true;
}

void PauseForMessages() {
    DWORD now = GetTickCount();
    if (g_looked && now - g_lastLook < kPauseLookMs) return;
    g_looked = true;
    g_lastLook = now;
    // The high word says what is in the queue now: input, posted or sent messages, paint, timers.
    if (HIWORD(GetQueueStatus(QS_ALLINPUT)) == 0) return;
    ProcessMessages();
}

namespace {

// The WM_QUIT a wait takes from the queue, posted again when the wait is over: posted at once,
// it would end the wait's own pumping, and a worker waiting for this thread would never be
// answered.
class HeldQuit {
public:
    HeldQuit() = default;
    HeldQuit(const HeldQuit&) = delete;
    HeldQuit& operator=(const HeldQuit&) = delete;
    ~HeldQuit() {
        if (held_) PostQuitMessage(code_);
    }
    // Dispatches what is queued now, keeping a WM_QUIT back.
    void DispatchQueued() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                held_ = true;
                code_ = static_cast<int>(msg.wParam);
                continue;
            }
            DispatchOne(msg);
        }
    }

private:
    bool held_ = false;
    int code_ = 0;
};

}  // namespace

void WaitPumping(const HANDLE* handles, DWORD count) {
    std::vector<HANDLE> left(handles, handles + count);
    HeldQuit quit;
    while (!left.empty()) {
        DWORD n = static_cast<DWORD>(left.size() > MAXIMUM_WAIT_OBJECTS - 1 ? MAXIMUM_WAIT_OBJECTS - 1 : left.size());
        DWORD rc = MsgWaitForMultipleObjectsEx(n, left.data(), INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (rc < WAIT_OBJECT_0 + n) {
            left.erase(left.begin() + (rc - WAIT_OBJECT_0));
        } else if (rc == WAIT_OBJECT_0 + n) {
            quit.DispatchQueued();
        } else {
            break;  // a failed wait: nothing sensible left to wait for
        }
    }
}

bool RunUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    HeldQuit quit;
    bool held;
    while (!(held = done())) {
        const DWORD waited = GetTickCount() - start;
        if (timeoutMs != INFINITE && waited >= timeoutMs) break;
        const DWORD left = timeoutMs == INFINITE ? INFINITE : timeoutMs - waited;
        MsgWaitForMultipleObjectsEx(0, nullptr, left < kRunUntilLookMs ? left : kRunUntilLookMs, QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
        quit.DispatchQueued();
    }
    return held;
}

int RunMessageLoop() {
    MSG msg;
    BOOL rc;
    while ((rc = GetMessageW(&msg, nullptr, 0, 0)) > 0) DispatchOne(msg);
    return rc == 0 ? static_cast<int>(msg.wParam) : 0;
}

}  // namespace tw
