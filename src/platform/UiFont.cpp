#include "platform/UiFont.h"

#include "platform/Language.h"
#include "platform/Text.h"

namespace tw {

HFONT CreateUiFont() {
    LOGFONTW lf{};
    lf.lfWeight = FW_NORMAL;
    if (CurrentLanguage() == Language::Chinese) {
        // The face's own name (SimSun), as the font registers it: the system looks it up by
        // these characters.
        lf.lfHeight = -12;
        lf.lfCharSet = GB2312_CHARSET;
        lstrcpynW(lf.lfFaceName, L"\x5B8B\x4F53", LF_FACESIZE);
    } else {
        // The dialogs' face in English (MS Shell Dlg, 8 point), which every system maps to
        // its own sans-serif; the default character set lets names of other scripts through.
        lf.lfHeight = -11;
        lf.lfCharSet = DEFAULT_CHARSET;
        lstrcpynW(lf.lfFaceName, L"MS Shell Dlg", LF_FACESIZE);
    }
    return CreateFontIndirectW(&lf);
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
