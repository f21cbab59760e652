#include "app/MenuCommands.h"

#include <windowsx.h>

#include "app/AboutCommands.h"
#include "app/HtmlHelp.h"
#include "platform/Text.h"
#include "resource.h"

namespace tw {

namespace {

// The items that act on the report's rows: usable only once a scan has found some.
struct RowCommand {
    bool popup;
    UINT id;
};
const RowCommand kRowCommands[] = {
    {false, IDM_REPAIR},
    {false, IDM_REPAIRALL},
    {true, IDM_POP_REPAIR},
    {true, IDM_POP_ALL},
};

}  // namespace

MenuCommands::MenuCommands(HINSTANCE instance, const Guide& guide)
    : instance_(instance), help_(new HtmlHelp(guide)) {}

// The main menu goes with its window; the popup's root is ours (popupRoot_).
MenuCommands::~MenuCommands() = default;

void MenuCommands::Load(HWND owner, HIMAGELIST images) {
    owner_ = owner;
    mainMenu_ = LoadMenuW(instance_, MAKEINTRESOURCEW(IDR_MAINMENU));
    SetMenu(owner_, mainMenu_);
    // The popup menu is the first submenu of its resource; the root is kept to free it.
    popupRoot_.reset(LoadMenuW(instance_, MAKEINTRESOURCEW(IDR_POPUPMENU)));
    popupMenu_ = popupRoot_ ? GetSubMenu(popupRoot_.get(), 0) : nullptr;
    // Loaded from the program's resources: the system frees the table with the program.
    accel_ = LoadAcceleratorsW(instance_, MAKEINTRESOURCEW(IDR_SHORTCUTS));
    const MenuImages::Style style = MenuImages::StyleForThisSystem();
    images_.Attach(mainMenu_, images, MainMenuImages(), style);
    images_.Attach(popupMenu_, images, PopupMenuImages(), style);
}

bool MenuCommands::OnMessage(UINT msg, WPARAM wp, LPARAM lp, HWND popupOver) {
    switch (msg) {
        case WM_MEASUREITEM:
            return images_.OnMeasureItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lp));
        case WM_DRAWITEM:
            return images_.OnDrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lp));
        case WM_CONTEXTMENU: {
            if (!popupOver || reinterpret_cast<HWND>(wp) != popupOver) return false;
            POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
            if (pt.x == -1 && pt.y == -1) {
                RECT r;
                GetWindowRect(popupOver, &r);
                pt = {r.left + 10, r.top + 10};
            }
            TrackPopupMenu(popupMenu_, TPM_RIGHTBUTTON, pt.x, pt.y, 0, owner_, nullptr);
            return true;
        }
    }
    return false;
}

void MenuCommands::SetCaption(UINT id, const std::string& text) {
    // Keep the shortcut text that follows the tab.
    wchar_t buf[128] = {};
    GetMenuStringW(mainMenu_, id, buf, 128, MF_BYCOMMAND);
    std::wstring old = buf;
    size_t tab = old.find(L'\t');
    std::wstring caption = AnsiToWide(text) + (tab == std::wstring::npos ? L"" : old.substr(tab));
    MENUITEMINFOW mi{};
    mi.cbSize = sizeof mi;
    mi.fMask = MIIM_STRING;
    mi.dwTypeData = &caption[0];
    SetMenuItemInfoW(mainMenu_, id, FALSE, &mi);
}

void MenuCommands::EnableRowCommands(bool on, bool popupToo) {
    UINT state = MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED);
    for (const RowCommand& c : kRowCommands) {
        if (c.popup && !popupToo) continue;
        EnableMenuItem(c.popup ? popupMenu_ : mainMenu_, c.id, state);
    }
}

bool MenuCommands::Run(UINT id) {
    switch (id) {
        case IDM_HELP:
            if (help_) help_->ShowTopic("Topic_17.htm");
            return true;
        case IDM_MAIL:
            MailToMaker(owner_);
            return true;
        case IDM_HOMEPAGE:
            OpenMakerHomePage(owner_);
            return true;
        case IDM_ABOUT:
            ShowAboutBox(owner_, instance_);
            return true;
        default:
            return false;
    }
}

void MenuCommands::UnloadHelp() { help_.reset(); }

}  // namespace tw
