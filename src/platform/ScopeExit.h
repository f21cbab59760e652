// Runs a piece of code when the scope ends, however it ends: for the one-off clean-ups that
// no owner type covers (a flag to reset, a step to leave, a call to undo).
#pragma once
#include <utility>

namespace tw {

template <typename Fn>
class ScopeExit {
public:
    explicit ScopeExit(Fn fn) : fn_(std::move(fn)) {}
    ~ScopeExit() { fn_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    Fn fn_;
};

}  // namespace tw
