// One move-only owner for every kind of Win32 handle; a traits struct per kind says what an
// empty handle is and how to close one.
#pragma once
#include <windows.h>
#include <commctrl.h>
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

struct HKeyTraits {
    using type = HKEY;
    static HKEY invalid() noexcept { return nullptr; }
    static void close(HKEY h) noexcept { RegCloseKey(h); }
};
struct FindTraits {
    using type = HANDLE;
    static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { FindClose(h); }
};
struct KernelTraits {
    using type = HANDLE;
    static HANDLE invalid() noexcept { return nullptr; }
    static void close(HANDLE h) noexcept { CloseHandle(h); }
};
struct ModuleTraits {
    using type = HMODULE;
    static HMODULE invalid() noexcept { return nullptr; }
    static void close(HMODULE h) noexcept { FreeLibrary(h); }
};
struct GdiTraits {
    using type = HGDIOBJ;
    static HGDIOBJ invalid() noexcept { return nullptr; }
    static void close(HGDIOBJ h) noexcept { DeleteObject(h); }
};

struct ImageListTraits {
    using type = HIMAGELIST;
    static HIMAGELIST invalid() noexcept { return nullptr; }
    static void close(HIMAGELIST h) noexcept { ImageList_Destroy(h); }
};

// A COM interface pointer: released, never deleted.
template <typename Interface>
struct ComTraits {
    using type = Interface*;
    static Interface* invalid() noexcept { return nullptr; }
    static void close(Interface* p) noexcept { p->Release(); }
};

using UniqueHKey = UniqueHandle<HKeyTraits>;
using UniqueFind = UniqueHandle<FindTraits>;
using UniqueKernelHandle = UniqueHandle<KernelTraits>;
using UniqueModule = UniqueHandle<ModuleTraits>;
using UniqueGdiObject = UniqueHandle<GdiTraits>;
using UniqueImageList = UniqueHandle<ImageListTraits>;
template <typename Interface>
using UniqueCom = UniqueHandle<ComTraits<Interface>>;

}  // namespace tw
