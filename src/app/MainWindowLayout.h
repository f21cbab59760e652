// The main window's fixed texts, sizes and tool buttons, shared by the units that build the
// window (MainWindow.cpp, MainWindowControls.cpp).
#pragma once
#include <windows.h>
#include <cstddef>

#include "resource.h"
#include "strings.h"

namespace tw {
namespace window_layout {

// The window class keeps the name that a second copy of Tarnwell and other programs look for
// (they find the running copy's window by it and send it kCloseMessage): never rename it.
inline const wchar_t kMainClass[] = L"TForm1";
inline const wchar_t kPanelClass[] = L"TarnwellPanel";

// The longest status line shown, in bytes: more than its panel can hold.
inline const size_t kStatusTextLimit = 260;

// Design size of the window and fixed heights of its bands.
inline const int kDesignWidth = 608, kDesignHeight = 465;
// The smallest window the user can drag to; a stored size below it is not restored. At this
// height the report list still shows its header and three rows beneath the checklist panel.
inline const int kMinWidth = 400, kMinHeight = 400;
inline const int kToolBarHeight = 56, kPanelHeight = 167, kButtonPanelWidth = 103;
// The tool buttons' smallest size; a longer caption widens them all.
inline const int kToolButtonWidth = 55, kToolButtonHeight = 51;
inline const int kButtonLeft = 8, kButtonWidth = 86, kButtonHeight = 25;
inline const int kButtonTops[4] = {19, 57, 94, 132};
// The status bar's progress bar of a running scan.
inline const int kProgressWidth = 140;

// A tool button: its command, picture, and the string ids of its caption and hint (a caption of
// 0 is a separator).
struct ToolButtonDef {
    UINT id;
    int image;
    unsigned caption;
    unsigned hint;
    bool hidden;
};
inline const ToolButtonDef kToolButtons[] = {
    {IDM_SCAN, 0, IDS_TOOL_SCAN, IDS_HINT_SCAN, false},
    {IDM_REPAIRALL, 1, IDS_TOOL_REPAIR_ALL, IDS_HINT_REPAIR_ALL, true},
    {IDM_REPAIR, 2, IDS_TOOL_REPAIR, IDS_HINT_REPAIR, true},
    {0, 0, 0, 0, false},
    {IDM_BACKUP, 3, IDS_TOOL_BACKUP, IDS_HINT_BACKUP, false},
    {IDM_RESTORE, 4, IDS_TOOL_RESTORE, IDS_HINT_RESTORE, false},
    {0, 0, 0, 0, false},
    {IDM_HISTORY, 5, IDS_TOOL_HISTORY, IDS_HINT_HISTORY, false},
};

}  // namespace window_layout
}  // namespace tw
