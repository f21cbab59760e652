// Owners of COM objects and of the memory COM hands out.
#pragma once
#include <objbase.h>

#include "platform/Handle.h"

namespace tw {

// A COM interface pointer: released, never deleted.
template <typename Interface>
struct ComTraits {
    using type = Interface*;
    static Interface* invalid() noexcept { return nullptr; }
    static void close(Interface* p) noexcept { p->Release(); }
};

template <typename Interface>
using UniqueCom = UniqueHandle<ComTraits<Interface>>;
// Memory the shell hands out through the task allocator (item-ID lists and the like).
template <typename T>
using UniqueCoTaskMem = UniqueHandle<NullableTraits<T*, &CoTaskMemFree>>;

}  // namespace tw
