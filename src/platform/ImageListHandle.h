// The owner of an image list of the common controls.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "platform/Handle.h"

namespace tw {

using UniqueImageList = UniqueHandle<NullableTraits<HIMAGELIST, &ImageList_Destroy>>;

}  // namespace tw
