// The main window's menus and the commands of its Help menu: the main menu, the report list's
// popup menu and the shortcut keys come from the program's resources, with the pictures of the
// small image list on their items. A new command needs its resource item, its picture in the
// MenuImages tables and, when it acts on the report's rows, a line in the row-command table of
// MenuCommands.cpp; its handler goes to the window's command switch or to Run here.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <memory>
#include <string>

#include "app/MenuImages.h"
#include "platform/Handle.h"

namespace tw {

class HtmlHelp;
struct Guide;

class MenuCommands {
public:
    // Loads the help engine for the guide (silent when there is none).
    MenuCommands(HINSTANCE instance, const Guide& guide);
    ~MenuCommands();
    MenuCommands(const MenuCommands&) = delete;
    MenuCommands& operator=(const MenuCommands&) = delete;

    // Puts the main menu on the window, loads the popup menu and the shortcut keys, and the
    // pictures of `images` on their items.
    void Load(HWND owner, HIMAGELIST images);

    HMENU MainMenu() const { return mainMenu_; }
    HMENU PopupMenu() const { return popupMenu_; }
    HACCEL Shortcuts() const { return accel_; }
    HtmlHelp* Help() const { return help_.get(); }

    // The window's WM_MEASUREITEM, WM_DRAWITEM and WM_CONTEXTMENU: the popup menu opens over
    // `popupOver` at the mouse, or near its corner when the keyboard asked. False when the
    // message is not the menus'.
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, HWND popupOver);

    // Changes a main-menu item's caption, keeping the shortcut text after the tab.
    void SetCaption(UINT id, const std::string& text);
    // Enables or greys the items that act on the report's rows; the popup's only if asked.
    void EnableRowCommands(bool on, bool popupToo);

    // Runs the Help menu's commands (help, mail, home page, about); false for any other.
    bool Run(UINT id);
    // Closes the help engine's windows and unloads it.
    void UnloadHelp();

private:
    HINSTANCE instance_;
    HWND owner_ = nullptr;
    HMENU mainMenu_ = nullptr, popupMenu_ = nullptr;
    UniqueMenu popupRoot_;
    HACCEL accel_ = nullptr;
    std::unique_ptr<HtmlHelp> help_;
    MenuImages images_;
};

}  // namespace tw
