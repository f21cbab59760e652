// COM for the lifetime of a scope: both entry points open one for the UI thread, and every
// piece that talks to a shell object (the file-type thread, the hive threads, the shortcut walk)
// opens its own.
#pragma once
#include <objbase.h>

namespace tw {

class ComScope {
public:
    ComScope() : ok_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComScope() {
        if (ok_) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    // False when COM could not be started on this thread (an S_FALSE start still counts).
    bool Ok() const { return ok_; }

private:
    bool ok_;
};

}  // namespace tw
