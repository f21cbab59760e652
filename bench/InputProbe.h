// What the window benchmarks share: a clock in milliseconds and a probe of how long the UI
// thread leaves posted messages waiting while it scans.
#pragma once
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>

#include "Stopwatch.h"
#include "platform/Handle.h"
#include "platform/MessagePump.h"

inline double NowMs() {
    static Stopwatch clock;
    return clock.Seconds() * 1000.0;
}

// The host's scheduler statistics of one task under Wine (/proc/<task>/schedstat): how long it
// has run and how long it was ready to run but waited for a processor, in milliseconds. On a
// machine busy with other work a message can wait for a processor rather than for the program;
// this tells the two apart. Wine's server opens the file (so "self" would be the server), and
// the figures are written afresh at every read from the start of the same handle. Zero where
// there is no such file (or no task is named).
class SchedStat {
public:
    explicit SchedStat(const std::string& task) {
        if (task.empty()) return;
        HANDLE raw = CreateFileA(("Z:\\proc\\" + task + "\\schedstat").c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        file_.reset(raw == INVALID_HANDLE_VALUE ? nullptr : raw);
    }
    bool Valid() const { return static_cast<bool>(file_); }
    bool Read(double& runMs, double& queuedMs) {
        runMs = queuedMs = 0;
        if (!file_) return false;
        char buf[128];
        DWORD n = 0;
        OVERLAPPED at{};  // from the start
        if (!ReadFile(file_.get(), buf, sizeof buf - 1, &n, &at)) return false;
        buf[n] = '\0';
        unsigned long long run = 0, queued = 0;
        if (sscanf(buf, "%llu %llu", &run, &queued) != 2) return false;
        runMs = run / 1e6;
        queuedMs = queued / 1e6;
        return true;
    }

private:
    tw::UniqueKernelHandle file_;
};

// The host's number of this process under Wine ("" when it cannot be told): the process in /proc
// whose command line is this program's file. Its first thread, the one that runs main(), is the
// host's task of the same number.
inline std::string HostProcessNumber() {
    char module[MAX_PATH];
    const DWORD len = GetModuleFileNameA(nullptr, module, sizeof module);
    if (len < 3 || len >= sizeof module || (module[0] != 'Z' && module[0] != 'z') || module[1] != ':') return {};
    std::string unixPath(module + 2, len - 2);
    for (char& c : unixPath)
        if (c == '\\') c = '/';
    std::string found;
    WIN32_FIND_DATAA fd;
    tw::UniqueFind find(FindFirstFileA("Z:\\proc\\*", &fd));
    if (!find) return {};
    do {
        if (fd.cFileName[0] < '0' || fd.cFileName[0] > '9') continue;
        HANDLE raw = CreateFileA((std::string("Z:\\proc\\") + fd.cFileName + "\\cmdline").c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        tw::UniqueKernelHandle file(raw == INVALID_HANDLE_VALUE ? nullptr : raw);
        char cmd[1024];
        DWORD n = 0;
        if (!file || !ReadFile(file.get(), cmd, sizeof cmd - 1, &n, nullptr)) continue;
        cmd[n] = '\0';  // the first argument ends at its own NUL
        if (unixPath != cmd) continue;
        if (!found.empty()) return {};  // two copies of this program: cannot tell which
        found = fd.cFileName;
    } while (FindNextFileA(find.get(), &fd));
    return found;
}

// A message-only window of the UI thread; a thread of its own posts to it every 20 ms, and each
// answer tells how long the message waited.
class InputProbe {
public:
    InputProbe() {
        WNDCLASSA wc{};
        wc.lpfnWndProc = &InputProbe::Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TwBenchInputProbe";
        RegisterClassA(&wc);
        hwnd_ = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~InputProbe() { DestroyWindow(hwnd_); }
    void Start() {
        worst_ = 0;
        late_ = 0;
        answers_ = 0;
        worstWhere_.clear();
        stop_ = 0;
        thread_.reset(CreateThread(nullptr, 0, &InputProbe::Ticker, this, 0, nullptr));
    }
    void Stop() {
        InterlockedExchange(&stop_, 1);
        WaitForSingleObject(thread_.get(), INFINITE);
        thread_.reset();
        tw::ProcessMessages();
    }
    double worst_ = 0;
    int late_ = 0;      // answers after more than 100 ms
    int answers_ = 0;
    // Run on the UI thread at every answer; told the wait. Says what the window showed then.
    std::function<std::string(double)> onAnswer;
    std::string worstWhere_;

private:
    static DWORD WINAPI Ticker(void* p) {
        auto* self = static_cast<InputProbe*>(p);
        while (!InterlockedCompareExchange(&self->stop_, 0, 0)) {
            PostMessageA(self->hwnd_, WM_APP, 0, static_cast<LPARAM>(NowMs() * 10.0));
            Sleep(20);
        }
        return 0;
    }
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
        if (m == WM_APP) {
            auto* self = reinterpret_cast<InputProbe*>(GetWindowLongPtrA(h, GWLP_USERDATA));
            const double waited = NowMs() - static_cast<double>(l) / 10.0;
            if (self) {
                ++self->answers_;
                const std::string where = self->onAnswer ? self->onAnswer(waited) : std::string();
                if (waited > self->worst_) {
                    self->worst_ = waited;
                    self->worstWhere_ = where;
                }
                if (waited > 100) ++self->late_;
            }
            return 0;
        }
        return DefWindowProcA(h, m, w, l);
    }
    HWND hwnd_ = nullptr;
    tw::UniqueKernelHandle thread_;
    LONG stop_ = 0;
};

