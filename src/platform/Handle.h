// One move-only owner for every kind of Win32 handle; a traits struct per kind says what an
// empty handle is and how to close one. The owners of COM objects and image lists live in
// ComHandle.h and ImageListHandle.h, so that a file owning a key does not read their headers.
#pragma once
#include <windows.h>
#include <cstdio>
#include <utility>

namespace tw {

template <typename Traits>
class UniqueHandle {
public:
    using pointer = typename Traits::type;

    UniqueHandle() noexcept : h_(Traits::invalid()) {}
    explicit UniqueHandle(pointer h) noexcept : h_(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }

    pointer get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != Traits::invalid(); }
    // Closes the handle held now (if any) and takes h.
    void reset(pointer h = Traits::invalid()) noexcept {
        if (h_ != Traits::invalid()) Traits::close(h_);
        h_ = h;
    }
    // Gives up ownership without closing.
    pointer release() noexcept { return std::exchange(h_, Traits::invalid()); }
    // For out-parameters: closes what is held and returns the slot to fill.
    pointer* put() noexcept { reset(); return &h_; }

private:
    pointer h_;
};

// A kind whose empty value is null and that one call closes.
template <typename T, auto Close>
struct NullableTraits {
    using type = T;
    static T invalid() noexcept { return nullptr; }
    static void close(T h) noexcept { Close(h); }
};
struct FindTraits {
    using type = HANDLE;
    static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { FindClose(h); }
};

using UniqueHKey = UniqueHandle<NullableTraits<HKEY, &RegCloseKey>>;
using UniqueFind = UniqueHandle<FindTraits>;
using UniqueKernelHandle = UniqueHandle<NullableTraits<HANDLE, &CloseHandle>>;
using UniqueModule = UniqueHandle<NullableTraits<HMODULE, &FreeLibrary>>;
using UniqueGdiObject = UniqueHandle<NullableTraits<HGDIOBJ, &DeleteObject>>;
using UniqueIcon = UniqueHandle<NullableTraits<HICON, &DestroyIcon>>;
// A menu that no window holds (a window's own menu goes with the window).
using UniqueMenu = UniqueHandle<NullableTraits<HMENU, &DestroyMenu>>;
// A memory device context (CreateCompatibleDC): deleted, not released.
using UniqueMemoryDc = UniqueHandle<NullableTraits<HDC, &DeleteDC>>;
// A file of the C library. Where a write must be known to be whole, close it yourself:
// fclose(file.release()) == 0.
using UniqueFile = UniqueHandle<NullableTraits<FILE*, &fclose>>;

}  // namespace tw
