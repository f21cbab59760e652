// Resource identifiers.
#pragma once
#define IDI_APP 1
#define IDI_PROGRESS 2
#define IDI_HISTORY 3
#define IDB_SMALL 101
#define IDB_TOOLBAR 102
#define IDB_TOOLBAR_HOT 103

// Menus and the main window's shortcuts.
#define IDR_MAINMENU 201  // MainMenu1
#define IDR_POPUPMENU 202  // PopupMenu1
#define IDR_SHORTCUTS 203

// Commands. Every face of a command (menu item, shortcut, tool button) carries its number.
#define IDM_BACKUP 1001
#define IDM_RESTORE 1002
#define IDM_EXIT 1003
#define IDM_SCAN 1004
#define IDM_REPAIR 1005
#define IDM_REPAIRALL 1006
#define IDM_HISTORY 1007
#define IDM_CLEARHISTORY 1008
#define IDM_HELP 1009
#define IDM_MAIL 1010
#define IDM_HOMEPAGE 1011
#define IDM_ABOUT 1012
#define IDM_POP_REPAIR 1013
#define IDM_POP_ALL 1014
#define IDM_UNDO_LAST 1015
#define IDM_UNDO_PICK 1016
#define IDM_IGNORE_LIST 1017
#define IDM_EXPORT 1018
#define IDM_POP_OPEN 1019
#define IDM_POP_IGNORE 1020
