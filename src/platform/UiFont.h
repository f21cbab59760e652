// The font of every window of the program: "宋体", 9 point (12 pixels), GB2312 character set.
#pragma once
#include <windows.h>

namespace tw {

// A new font object; the caller owns it (DeleteObject).
HFONT CreateUiFont();

}  // namespace tw
