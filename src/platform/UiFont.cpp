#include "platform/UiFont.h"

#include "platform/Text.h"

namespace tw {

HFONT CreateUiFont() {
    LOGFONTA lf{};
    lf.lfHeight = -12;
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = GB2312_CHARSET;
    lstrcpynA(lf.lfFaceName, "宋体", LF_FACESIZE);
    return CreateFontIndirectA(&lf);
}

static void SendTool(UINT message, HWND tooltip, HWND owner, HWND control, const std::string& text) {
    if (!tooltip) return;
    std::wstring w = AnsiToWide(text);
    TTTOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = owner;
    ti.uId = reinterpret_cast<UINT_PTR>(control);
    ti.lpszText = &w[0];
    SendMessageW(tooltip, message, 0, reinterpret_cast<LPARAM>(&ti));
}

void AddHint(HWND tooltip, HWND owner, HWND control, const std::string& text) {
    SendTool(TTM_ADDTOOLW, tooltip, owner, control, text);
}

void SetHint(HWND tooltip, HWND owner, HWND control, const std::string& text) {
    SendTool(TTM_UPDATETIPTEXTW, tooltip, owner, control, text);
}

}  // namespace tw
