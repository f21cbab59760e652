#include "platform/UiFont.h"

namespace tw {

HFONT CreateUiFont() {
    LOGFONTA lf{};
    lf.lfHeight = -12;
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = GB2312_CHARSET;
    lstrcpynA(lf.lfFaceName, "宋体", LF_FACESIZE);
    return CreateFontIndirectA(&lf);
}

}  // namespace tw
