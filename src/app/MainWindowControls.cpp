// The main window's controls: made at window creation, laid out on every resize.
#include "app/MainWindow.h"
#include "app/MainWindowLayout.h"
#include <algorithm>
#include <cstdlib>

#include "platform/IniFile.h"
#include "platform/Text.h"
#include "platform/UiFont.h"
#include "version.h"

namespace tw {

using namespace window_layout;

namespace {

std::vector<int> SplitNumbers(const std::string& text) {
    std::vector<int> numbers;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        const std::string part = text.substr(start, end - start);
        if (!part.empty() && part.find_first_not_of("0123456789") == std::string::npos && part.size() < 4)
            numbers.push_back(std::atoi(part.c_str()));
        start = end + 1;
    }
    return numbers;
}

UniqueImageList LoadStrip(HINSTANCE inst, int id, int size, int count) {
    UniqueImageList list(ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, count + 2, 4));
    // The list keeps its own copy of the pictures: the strip goes at once.
    UniqueGdiObject bmp(LoadImageW(inst, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (bmp) ImageList_AddMasked(list.get(), static_cast<HBITMAP>(bmp.get()), RGB(255, 0, 255));
    return list;
}

}  // namespace

// Panels only hold controls: what their controls report goes to the main window, and the
// checklist panel lays itself out on every resize.
LRESULT CALLBACK MainWindow::PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return SendMessageW(GetAncestor(hwnd, GA_ROOT), msg, wp, lp);
        case WM_SETCURSOR:
            // The select-all button shows the hand, as a link-like action.
            if (GetDlgCtrlID(reinterpret_cast<HWND>(wp)) == static_cast<int>(ID_SELECTALL)) {
                SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
                return TRUE;
            }
            break;
        case WM_SIZE: {
            // The main window's object is stored as its window base.
            auto* base = reinterpret_cast<WindowBase*>(GetWindowLongPtrW(GetAncestor(hwnd, GA_ROOT), GWLP_USERDATA));
            auto* self = dynamic_cast<MainWindow*>(base);
            if (self && hwnd == self->checklistPanel_) self->LayoutChecklistPanel();
            break;
        }
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void MainWindow::OnCreate() {
    font_.reset(CreateUiFont());
    smallImages_ = LoadStrip(instance_, IDB_SMALL, 16, 22);
    toolImages_ = LoadStrip(instance_, IDB_TOOLBAR, 32, 6);
    toolHotImages_ = LoadStrip(instance_, IDB_TOOLBAR_HOT, 32, 6);
    menus_->Load(hwnd_, smallImages_.get());
    CreateToolBar();
    CreateControls();
}

void MainWindow::CreateToolBar() {
    toolBar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, L"",
                                WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NORESIZE |
                                    CCS_NODIVIDER | CCS_NOPARENTALIGN,
                                0, 0, 0, kToolBarHeight, hwnd_, reinterpret_cast<HMENU>(ID_TOOLBAR),
                                instance_, nullptr);
    SendMessageW(toolBar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(toolBar_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    SendMessageW(toolBar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(toolImages_.get()));
    SendMessageW(toolBar_, TB_SETHOTIMAGELIST, 0, reinterpret_cast<LPARAM>(toolHotImages_.get()));
    std::vector<std::wstring> texts;
    for (const ToolButtonDef& d : kToolButtons) texts.push_back(d.caption ? AnsiToWide(d.caption) : L"");
    std::vector<TBBUTTON> buttons;
    for (size_t i = 0; i < sizeof kToolButtons / sizeof kToolButtons[0]; ++i) {
        const ToolButtonDef& d = kToolButtons[i];
        TBBUTTON b{};
        if (!d.caption) {
            b.fsStyle = BTNS_SEP;
            b.iBitmap = 6;
        } else {
            b.iBitmap = d.image;
            b.idCommand = static_cast<int>(d.id);
            b.fsState = static_cast<BYTE>(TBSTATE_ENABLED | (d.hidden ? TBSTATE_HIDDEN : 0));
            b.fsStyle = BTNS_BUTTON;
            b.iString = reinterpret_cast<INT_PTR>(texts[i].c_str());
        }
        buttons.push_back(b);
    }
    SendMessageW(toolBar_, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    SendMessageW(toolBar_, TB_SETBUTTONSIZE, 0, MAKELPARAM(55, 51));
    SendMessageW(toolBar_, TB_AUTOSIZE, 0, 0);
}

void MainWindow::CreateControls() {
    auto child = [this](HWND parent, const wchar_t* cls, const std::string& text, DWORD style, int x, int y,
                        int w, int h, UINT id, DWORD ex = 0) {
        HWND c = CreateWindowExW(ex, cls, AnsiToWide(text).c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w, h,
                                 parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), instance_, nullptr);
        SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
        return c;
    };
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0,
                               hwnd_, nullptr, instance_, nullptr);

    // The panels are control parents: Tab reaches the controls on them.
    checklistPanel_ = child(hwnd_, kPanelClass, "", WS_CLIPCHILDREN, 0, kToolBarHeight, kDesignWidth, kPanelHeight, 0,
                            WS_EX_CONTROLPARENT);
    checklistLabel_ = child(checklistPanel_, L"STATIC", "请选择Tarnwell要检查的项目", SS_LEFT, 10, 4, 300, 14, 0);
    checklist_ = child(checklistPanel_, WC_LISTVIEWW, "",
                         LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP,
                         10, 21, 400, 136, ID_CHECKLIST, WS_EX_CLIENTEDGE);
    ListView_SetExtendedListViewStyle(checklist_, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    ListView_SetImageList(checklist_, smallImages_.get(), LVSIL_SMALL);
    LVCOLUMNW col{};
    col.mask = LVCF_WIDTH;
    col.cx = 300;
    ListView_InsertColumn(checklist_, 0, &col);
    col.cx = 150;
    ListView_InsertColumn(checklist_, 1, &col);
    selectAll_ = child(checklistPanel_, L"BUTTON", kSelectNone, BS_PUSHBUTTON | WS_TABSTOP, 400, 1, 65, 18, ID_SELECTALL);
    buttonPanel_ = child(checklistPanel_, kPanelClass, "", WS_CLIPCHILDREN, kDesignWidth - kButtonPanelWidth, 0, kButtonPanelWidth,
                    kPanelHeight, 0, WS_EX_CONTROLPARENT);
    const char* captions[4] = {kScan, "修复", "全部修复", "退出"};
    HWND* buttons[4] = {&scanButton_, &repairButton_, &repairAllButton_, &exitButton_};
    for (int i = 0; i < 4; ++i)
        *buttons[i] = child(buttonPanel_, L"BUTTON", captions[i], BS_PUSHBUTTON | WS_TABSTOP, kButtonLeft,
                            kButtonTops[i], kButtonWidth, kButtonHeight, ID_SCAN_BUTTON + static_cast<UINT>(i));
    EnableWindow(repairButton_, FALSE);
    EnableWindow(repairAllButton_, FALSE);
    AddHint(tooltip_, hwnd_, scanButton_, kScanHint);
    AddHint(tooltip_, hwnd_, repairButton_, "修复选中的错误条目");
    AddHint(tooltip_, hwnd_, repairAllButton_, "修复所有扫描到的错误");
    AddHint(tooltip_, hwnd_, exitButton_, "退出Tarnwell");

    reportList_ = child(hwnd_, WC_LISTVIEWW, "",
                       LVS_REPORT | LVS_SHOWSELALWAYS | LVS_OWNERDATA | WS_TABSTOP, 0,
                       kToolBarHeight + kPanelHeight, kDesignWidth, 200, ID_REPORT_LIST, WS_EX_CLIENTEDGE);
    report_.Attach(hwnd_, reportList_, smallImages_.get());

    statusBar_ = child(hwnd_, STATUSCLASSNAMEW, "", SBARS_SIZEGRIP, 0, 0, 0, 19, ID_STATUS_BAR);
    // Shown while a scan runs, in the status bar's second part.
    progress_ = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | PBS_SMOOTH, 0, 0, 0, 0, statusBar_, nullptr,
                                instance_, nullptr);
    LayoutStatusBar();
    SetStatus("Tarnwell " TW_VERSION_STR " - 请选择要检查的项目，然后单击“扫描”。");
}

void MainWindow::LayoutStatusBar() {
    RECT bar;
    GetClientRect(statusBar_, &bar);
    // While a scan runs the text takes what the progress bar and the size grip leave; else the
    // whole bar.
    const bool scanning = progress_ && IsWindowVisible(progress_);
    const int grip = IsZoomed(hwnd_) ? 0 : GetSystemMetrics(SM_CXVSCROLL);
    int parts[2] = {bar.right - kProgressWidth - grip, -1};
    if (parts[0] < 0) parts[0] = 0;
    if (!scanning) parts[0] = -1;
    SendMessageW(statusBar_, SB_SETPARTS, scanning ? 2 : 1, reinterpret_cast<LPARAM>(parts));
    if (!scanning) return;
    RECT part{};
    SendMessageW(statusBar_, SB_GETRECT, 1, reinterpret_cast<LPARAM>(&part));
    MoveWindow(progress_, part.left + 2, part.top + 2, kProgressWidth - 4, part.bottom - part.top - 4, TRUE);
}

void MainWindow::ResetNotes() {
    const std::vector<ChecklistItem>& rows = session_.checklist;
    for (size_t i = 0; i < rows.size(); ++i) {
        std::wstring note = AnsiToWide(rows[i].note);
        LVITEMW sub{};
        sub.iSubItem = 1;
        sub.pszText = &note[0];
        SendMessageW(checklist_, LVM_SETITEMTEXTW, i, reinterpret_cast<LPARAM>(&sub));
    }
}

void MainWindow::FillChecklist() {
    const std::vector<ChecklistItem>& rows = session_.checklist;
    ListView_DeleteAllItems(checklist_);
    for (size_t i = 0; i < rows.size(); ++i) {
        std::wstring caption = AnsiToWide(rows[i].caption);
        std::wstring note = AnsiToWide(rows[i].note);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = static_cast<int>(i);
        item.pszText = &caption[0];
        item.iImage = rows[i].image;
        SendMessageW(checklist_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        LVITEMW sub{};
        sub.iSubItem = 1;
        sub.pszText = &note[0];
        SendMessageW(checklist_, LVM_SETITEMTEXTW, i, reinterpret_cast<LPARAM>(&sub));
        ListView_SetCheckState(checklist_, static_cast<int>(i), rows[i].ticked);
    }
    RestoreTicks();
}

// The ticks are kept by category number: "Ticked" and "Unticked" list them. A category in
// neither (one this system did not show, or new in this version) keeps its own default.
void MainWindow::RestoreTicks() {
    const IniFile ini(IniPath());
    const std::vector<int> on = SplitNumbers(ini.ReadString("Tarnwell", "Ticked", ""));
    const std::vector<int> off = SplitNumbers(ini.ReadString("Tarnwell", "Unticked", ""));
    const std::vector<ChecklistItem>& rows = session_.checklist;
    for (size_t i = 0; i < rows.size(); ++i) {
        const int row = rows[i].row;
        const bool tick = std::find(on.begin(), on.end(), row) != on.end();
        if (tick || std::find(off.begin(), off.end(), row) != off.end()) {
            ListView_SetCheckState(checklist_, static_cast<int>(i), tick);
        }
    }
}

void MainWindow::SaveTicks() {
    std::string on, off;
    const std::vector<ChecklistItem>& rows = session_.checklist;
    for (size_t i = 0; i < rows.size(); ++i) {
        std::string& list = IsRowTicked(static_cast<int>(i)) ? on : off;
        if (!list.empty()) list += ',';
        list += IntToStr(rows[i].row);
    }
    IniFile ini(IniPath());
    ini.WriteString("Tarnwell", "Ticked", on);
    ini.WriteString("Tarnwell", "Unticked", off);
}

void MainWindow::OnSize() {
    if (!toolBar_) return;
    RECT rc;
    GetClientRect(hwnd_, &rc);
    int w = rc.right, h = rc.bottom;
    MoveWindow(toolBar_, 0, 0, w, kToolBarHeight, TRUE);
    SendMessageW(statusBar_, WM_SIZE, 0, 0);
    LayoutStatusBar();
    // The bar repaints only what it gains: its size grip would stay painted where the corner was.
    InvalidateRect(statusBar_, nullptr, TRUE);
    RECT sr;
    GetWindowRect(statusBar_, &sr);
    int sbh = sr.bottom - sr.top;
    // Panel2 first: the checklist panel lays itself out against it when it is resized.
    MoveWindow(buttonPanel_, w - kButtonPanelWidth, 0, kButtonPanelWidth, kPanelHeight, TRUE);
    MoveWindow(checklistPanel_, 0, kToolBarHeight, w, kPanelHeight, TRUE);
    int listTop = kToolBarHeight + kPanelHeight;
    int listH = h - listTop - sbh;
    MoveWindow(reportList_, 0, listTop, w, listH > 0 ? listH : 0, TRUE);
    // The location column takes whatever the other three leave.
    int loc = w - 150 - 60 - 231 - GetSystemMetrics(SM_CXVSCROLL) - 4;
    ListView_SetColumnWidth(reportList_, 1, loc > 80 ? loc : 80);
}

void MainWindow::LayoutChecklistPanel() {
    if (!buttonPanel_) return;
    RECT p2;
    GetWindowRect(buttonPanel_, &p2);
    MapWindowPoints(nullptr, checklistPanel_, reinterpret_cast<POINT*>(&p2), 2);
    RECT lb;
    GetWindowRect(checklistLabel_, &lb);
    MapWindowPoints(nullptr, checklistPanel_, reinterpret_cast<POINT*>(&lb), 2);
    int left = lb.left;
    int width = p2.left - left - 2;
    int top = kButtonTops[0] + 2;
    int height = kButtonTops[3] + kButtonHeight - kButtonTops[0] - 2;
    MoveWindow(checklist_, left, top, width > 0 ? width : 0, height, TRUE);
    RECT sa;
    GetWindowRect(selectAll_, &sa);
    MapWindowPoints(nullptr, checklistPanel_, reinterpret_cast<POINT*>(&sa), 2);
    MoveWindow(selectAll_, p2.left - (sa.right - sa.left) - 2, sa.top, sa.right - sa.left, sa.bottom - sa.top, TRUE);
    // The caption column fills the checklist beside the 150-pixel note column.
    int first = width - 150 - GetSystemMetrics(SM_CXVSCROLL) - 4;
    ListView_SetColumnWidth(checklist_, 0, first > 60 ? first : 60);
}

LRESULT MainWindow::OnNotify(NMHDR* hdr) {
    if (report_.OnNotify(hdr)) return 0;
    if (hdr->code == TTN_GETDISPINFOW && hdr->hwndFrom != tooltip_) {
        auto* tt = reinterpret_cast<NMTTDISPINFOW*>(hdr);
        static std::wstring tip;
        tip.clear();
        for (const ToolButtonDef& d : kToolButtons)
            if (d.caption && d.id == hdr->idFrom)
                tip = AnsiToWide(d.hint);
        tt->lpszText = &tip[0];
        return 0;
    }
    return 0;
}

}  // namespace tw
