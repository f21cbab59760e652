// The main window's fixed texts, sizes and tool buttons, shared by the units that build the
// window (MainWindow.cpp, MainWindowControls.cpp).
#pragma once
#include <windows.h>
#include <cstddef>

#include "resource.h"

namespace tw {
namespace window_layout {

// The window class keeps the name that a second copy of Tarnwell and other programs look for
// (they find the running copy's window by it and send it kCloseMessage): never rename it.
inline const wchar_t kMainClass[] = L"TForm1";
inline const wchar_t kPanelClass[] = L"TarnwellPanel";

inline const char kScan[] = "扫描";
inline const char kStop[] = "停止";
inline const char kScanTool[] = "  扫描  ";
inline const char kStopTool[] = "  停止  ";
inline const char kScanHint[] = "扫描系统错误";
inline const char kSelectNone[] = "全否";
inline const char kSelectAll[] = "全选";
// The longest status line shown, in bytes: more than its panel can hold.
inline const size_t kStatusTextLimit = 260;

// Design size of the window and fixed heights of its bands.
inline const int kDesignWidth = 608, kDesignHeight = 465;
// The smallest window the user can drag to; a stored size below it is not restored. At this
// height the report list still shows its header and three rows beneath the checklist panel.
inline const int kMinWidth = 400, kMinHeight = 400;
inline const int kToolBarHeight = 56, kPanelHeight = 167, kButtonPanelWidth = 103;
inline const int kButtonLeft = 8, kButtonWidth = 86, kButtonHeight = 25;
inline const int kButtonTops[4] = {19, 57, 94, 132};
// The status bar's progress bar of a running scan.
inline const int kProgressWidth = 140;

struct ToolButtonDef {
    UINT id;
    int image;
    const char* caption;
    const char* hint;
    bool hidden;
};
inline const ToolButtonDef kToolButtons[] = {
    {IDM_SCAN, 0, kScanTool, kScanHint, false},
    {IDM_REPAIRALL, 1, "全部修复", "修复所有扫描到的错误", true},
    {IDM_REPAIR, 2, "  修复  ", "修复选中的错误", true},
    {0, 0, nullptr, nullptr, false},
    {IDM_BACKUP, 3, "  备份  ", "注册表备份", false},
    {IDM_RESTORE, 4, "  恢复  ", "注册表恢复", false},
    {0, 0, nullptr, nullptr, false},
    {IDM_HISTORY, 5, "历史日志", "修复历史日志", false},
};

}  // namespace window_layout
}  // namespace tw
