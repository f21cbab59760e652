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

private:
    bool ok_;
};

}  // namespace tw
