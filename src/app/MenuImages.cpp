#include "app/MenuImages.h"

#include <cstring>

#include "platform/HostSystem.h"
#include "resource.h"

namespace tw {

namespace {

// Marks an item whose picture this object draws; the image index rides in the item's data.
const ULONG_PTR kDrawnTag = 0x54570000;  // "TW" in the high word
const ULONG_PTR kTagMask = 0xFFFF0000;

int ImageSize(HIMAGELIST list) {
    int cx = 16, cy = 16;
    if (list) ImageList_GetIconSize(list, &cx, &cy);
    return cx;
}

}  // namespace

const std::vector<MenuImage>& MainMenuImages() {
    static const std::vector<MenuImage> table = {
        {IDM_BACKUP, 4},  {IDM_RESTORE, 5}, {IDM_SCAN, 1}, {IDM_REPAIR, 2},
        {IDM_REPAIRALL, 3}, {IDM_HISTORY, 6}, {IDM_MAIL, 8}, {IDM_HOMEPAGE, 7},
    };
    return table;
}

const std::vector<MenuImage>& PopupMenuImages() {
    static const std::vector<MenuImage> table = {{IDM_POP_REPAIR, 3}, {IDM_POP_ALL, 2}};
    return table;
}

MenuImages::Style MenuImages::StyleForThisSystem() {
    // Wine draws every menu in the classic look whatever version it reports, and blends alpha
    // pictures wrongly on the highlighted item.
    if (RunningUnderWine()) return Style::Drawn;
    return LOBYTE(LOWORD(GetVersion())) >= 6 ? Style::Alpha : Style::Drawn;
}

HBITMAP MenuImages::MakeAlphaBitmap(HIMAGELIST list, int index) {
    const int size = ImageSize(list);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = size;
    bi.bmiHeader.biHeight = -size;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bmp || !bits) return bmp;
    UniqueMemoryDc owned(CreateCompatibleDC(nullptr));
    HDC dc = owned.get();
    HGDIOBJ old = SelectObject(dc, bmp);
    auto* px = static_cast<DWORD*>(bits);
    const size_t count = static_cast<size_t>(size) * static_cast<size_t>(size);
    // Drawn once on black and once on white: a pixel that differs is one the mask leaves
    // transparent. GDI leaves the alpha bytes undefined, so they are set here.
    std::vector<DWORD> onBlack(count);
    RECT all{0, 0, size, size};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    ImageList_Draw(list, index, dc, 0, 0, ILD_TRANSPARENT);
    GdiFlush();
    std::memcpy(onBlack.data(), px, count * sizeof(DWORD));
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ImageList_Draw(list, index, dc, 0, 0, ILD_TRANSPARENT);
    GdiFlush();
    for (size_t i = 0; i < count; ++i) {
        const DWORD black = onBlack[i] & 0x00FFFFFF, white = px[i] & 0x00FFFFFF;
        // Opaque pixels need no premultiplying; transparent ones are all zero.
        px[i] = black == white ? (black | 0xFF000000u) : 0u;
    }
    SelectObject(dc, old);
    return bmp;
}

void MenuImages::Attach(HMENU menu, HIMAGELIST list, const std::vector<MenuImage>& table, Style style) {
    list_ = list;
    if (menu && list) AttachItems(menu, table, style);
}

void MenuImages::AttachItems(HMENU menu, const std::vector<MenuImage>& table, Style style) {
    // The pictures take the check-mark column: the items' texts and shortcuts stay in one
    // column whether an item has a picture or not (no item of these menus is ever checked).
    // Wine keeps that column at the check mark's width and draws the text over a wider
    // picture: there the pictures get a column of their own, which Wine sizes to fit.
    MENUINFO info{};
    info.cbSize = sizeof info;
    info.fMask = MIM_STYLE;
    if (!RunningUnderWine() && GetMenuInfo(menu, &info)) {
        info.dwStyle |= MNS_CHECKORBMP;
        SetMenuInfo(menu, &info);
    }
    const int n = GetMenuItemCount(menu);
    for (int pos = 0; pos < n; ++pos) {
        if (HMENU sub = GetSubMenu(menu, pos)) {
            AttachItems(sub, table, style);
            continue;
        }
        MENUITEMINFOW mi{};
        mi.cbSize = sizeof mi;
        mi.fMask = MIIM_ID;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(pos), TRUE, &mi)) continue;
        for (const MenuImage& m : table) {
            if (m.command != mi.wID) continue;
            MENUITEMINFOW set{};
            set.cbSize = sizeof set;
            set.fMask = MIIM_BITMAP;
            if (style == Style::Alpha) {
                bitmaps_.emplace_back(MakeAlphaBitmap(list_, m.image));
                set.hbmpItem = static_cast<HBITMAP>(bitmaps_.back().get());
            } else {
                set.fMask |= MIIM_DATA;
                set.hbmpItem = HBMMENU_CALLBACK;
                set.dwItemData = kDrawnTag | static_cast<ULONG_PTR>(m.image);
            }
            SetMenuItemInfoW(menu, static_cast<UINT>(pos), TRUE, &set);
        }
    }
}

bool MenuImages::OnMeasureItem(MEASUREITEMSTRUCT* mi) const {
    if (!mi || mi->CtlType != ODT_MENU || (mi->itemData & kTagMask) != kDrawnTag) return false;
    // A little room on either side keeps the picture off the item's text.
    const int size = ImageSize(list_);
    mi->itemWidth = static_cast<UINT>(size + 4);
    mi->itemHeight = static_cast<UINT>(size);
    return true;
}

bool MenuImages::OnDrawItem(const DRAWITEMSTRUCT* di) const {
    if (!di || di->CtlType != ODT_MENU || (di->itemData & kTagMask) != kDrawnTag || !list_) return false;
    const int index = static_cast<int>(di->itemData & ~kTagMask);
    const int size = ImageSize(list_);
    const int x = di->rcItem.left + ((di->rcItem.right - di->rcItem.left) - size) / 2;
    const int y = di->rcItem.top + ((di->rcItem.bottom - di->rcItem.top) - size) / 2;
    if (di->itemState & (ODS_GRAYED | ODS_DISABLED)) {
        // Faded into the menu's colour: the picture stays recognisable, unlike an embossed
        // outline of a picture with soft edges.
        ImageList_DrawEx(list_, index, di->hDC, x, y, 0, 0, CLR_NONE, GetSysColor(COLOR_MENU),
                         ILD_TRANSPARENT | ILD_BLEND50);
    } else {
        ImageList_Draw(list_, index, di->hDC, x, y, ILD_TRANSPARENT);
    }
    return true;
}

}  // namespace tw
