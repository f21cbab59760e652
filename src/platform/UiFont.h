// The font of every window of the program, and the hints (tooltips) of their controls. In
// Chinese SimSun, 9 point (12 pixels), GB2312 character set; in English the dialogs' face.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>

namespace tw {

// A new font object; the caller owns it (DeleteObject).
HFONT CreateUiFont();

// Gives a control its hint in a tooltip window; `owner` is the control's parent.
void AddHint(HWND tooltip, HWND owner, HWND control, const std::string& text);
// Replaces a control's hint.
void SetHint(HWND tooltip, HWND owner, HWND control, const std::string& text);

}  // namespace tw
