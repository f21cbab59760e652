// Resource identifiers.
#pragma once
#define IDI_APP 1
#define IDI_PROGRESS 2
#define IDI_HISTORY 3
#define IDB_SMALL 101
#define IDB_TOOLBAR 102
#define IDB_TOOLBAR_HOT 103

// Menus and the main window's shortcuts.
#define IDR_MAINMENU 201
#define IDR_POPUPMENU 202
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
#define IDM_DETAILS 1021

// The small windows' templates and their controls.
#define IDD_HISTORY 301
#define IDD_IGNORE 302
#define IDD_UNDO 303
#define IDD_PROGRESS 304
#define IDD_DETAILS 305

#define IDC_HISTORY_HEADER 1101
#define IDC_HISTORY_MEMO 1102
#define IDC_HISTORY_PANEL 1103
#define IDC_HISTORY_CLEAR 1104
#define IDC_IGNORE_LIST 1111
#define IDC_IGNORE_REMOVE 1112
#define IDC_UNDO_SUMMARY 1121
#define IDC_UNDO_LIST 1122
#define IDC_UNDO_HINT 1123
#define IDC_UNDO_DAYS 1124
#define IDC_UNDO_DAYS_LABEL 1127
#define IDC_UNDO_DAYS_UNIT 1128
#define IDC_UNDO_REMOVE 1125
#define IDC_UNDO_BROWSE 1126
#define IDC_PROGRESS_TEXT 1131
#define IDC_DETAILS_TEXT 1141
#define IDC_DETAILS_REPAIR 1142
#define IDC_DETAILS_IGNORE 1143
#define IDC_DETAILS_OPEN 1144

// The string table's ids.
#include "strings.h"
