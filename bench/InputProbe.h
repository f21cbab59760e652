// What the window benchmarks share: a clock in milliseconds and a probe of how long the UI
// thread leaves posted messages waiting while it scans.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "Stopwatch.h"
#include "platform/Handle.h"
#include "platform/MessagePump.h"

inline double NowMs() {
    static Stopwatch clock;
    return clock.Seconds() * 1000.0;
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

