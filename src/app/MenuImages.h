// The pictures of the menu items, taken from the small image list. Two ways to put them on a
// menu, because no single one looks right everywhere:
// - Alpha: each item gets a 32-bit premultiplied-alpha bitmap. Systems with menu themes draw it
//   blended and keep the themed look; older systems ignore the alpha and show black corners.
// - Drawn: each item asks its window to draw the picture (HBMMENU_CALLBACK), which the window
//   does with the image list's own mask. Right on the classic look of every system; systems
//   with menu themes fall back to the classic look for such a menu, so it is for those without.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <vector>

#include "platform/Handle.h"

namespace tw {

// Image of the small image list shown beside a command's menu item.
struct MenuImage {
    UINT command;
    int image;
};

class MenuImages {
public:
    enum class Style { Alpha, Drawn };
    // Alpha where the system themes its menus (major version 6 and later, not Wine), else Drawn.
    static Style StyleForThisSystem();

    MenuImages() = default;
    MenuImages(const MenuImages&) = delete;
    MenuImages& operator=(const MenuImages&) = delete;

    // Puts the images on the items of a menu and its submenus that the table names. The image
    // list must live as long as the menu is shown; the bitmaps made here live as long as this.
    void Attach(HMENU menu, HIMAGELIST list, const std::vector<MenuImage>& table, Style style);
    // The window's answers for Drawn items; false when the message is not about one of them.
    bool OnMeasureItem(MEASUREITEMSTRUCT* mi) const;
    bool OnDrawItem(const DRAWITEMSTRUCT* di) const;

    // A premultiplied 32-bit top-down picture of one image: transparent where the image list's
    // mask is, opaque elsewhere. The caller owns it.
    static HBITMAP MakeAlphaBitmap(HIMAGELIST list, int index);

private:
    void AttachItems(HMENU menu, const std::vector<MenuImage>& table, Style style);

    HIMAGELIST list_ = nullptr;
    std::vector<UniqueGdiObject> bitmaps_;
};

// The images of the main menu and the report list's popup menu.
const std::vector<MenuImage>& MainMenuImages();
const std::vector<MenuImage>& PopupMenuImages();

}  // namespace tw
