#include "app/MainWindow.h"

#include "app/OpenLocation.h"
#include "app/ReportExport.h"
#include "platform/FileDialog.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "platform/UiFont.h"
#include "repair/RepairCommands.h"
#include "resource.h"
#include "scan/osinfo/WriteFileDesc.h"
#include "version.h"

namespace tw {

namespace {

bool IsDiskRow(const Finding& f) { return f.Kind() == FindingKind::File || f.Kind() == FindingKind::Folder; }

const wchar_t kMainClass[] = L"TForm1";
const wchar_t kPanelClass[] = L"TarnwellPanel";

const char kScan[] = "扫描";
const char kStop[] = "停止";
const char kScanTool[] = "  扫描  ";
const char kStopTool[] = "  停止  ";
const char kScanHint[] = "扫描系统错误";
const char kSelectNone[] = "全否";
const char kSelectAll[] = "全选";
// The longest status line shown, in bytes: more than its panel can hold.
const size_t kStatusTextLimit = 260;

// Design size of the window and fixed heights of its bands.
const int kDesignWidth = 608, kDesignHeight = 465;
// The smallest window the user can drag to; a stored size below it is not restored.
const int kMinWidth = 400, kMinHeight = 320;
const int kToolBarHeight = 56, kPanelHeight = 167, kPanel2Width = 103;
const int kButtonLeft = 8, kButtonWidth = 86, kButtonHeight = 25;
const int kButtonTops[4] = {19, 57, 94, 132};

struct ToolButtonDef {
    UINT id;
    int image;
    const char* caption;
    const char* hint;
    bool hidden;
};
const ToolButtonDef kToolButtons[] = {
    {ID_SCAN, 0, kScanTool, kScanHint, false},                          // ToolButton1
    {ID_REPAIRALL, 1, "全部修复", "修复所有扫描到的错误", true},        // ToolButton8
    {ID_REPAIR, 2, "  修复  ", "修复选中的错误", true},                  // ToolButton2
    {0, 0, nullptr, nullptr, false},
    {ID_BACKUP, 3, "  备份  ", "注册表备份", false},                    // ToolButton4
    {ID_RESTORE, 4, "  恢复  ", "注册表恢复", false},                   // ToolButton7
    {0, 0, nullptr, nullptr, false},
    {ID_HISTORY, 5, "历史日志", "修复历史日志", false},                 // ToolButton9
};

HIMAGELIST LoadStrip(HINSTANCE inst, int id, int size, int count) {
    HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, count + 2, 4);
    HBITMAP bmp = static_cast<HBITMAP>(LoadImageW(inst, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (bmp) {
        ImageList_AddMasked(list, bmp, RGB(255, 0, 255));
        DeleteObject(bmp);
    }
    return list;
}

}  // namespace

TForm1::TForm1() = default;

TForm1::~TForm1() {
    keys_.reset();
    // The driver joins its worker threads before anything they report to goes away.
    driver_.reset();
    repair_.reset();
    if (hwnd_) DestroyWindow(hwnd_);
    if (imageList1_) ImageList_Destroy(imageList1_);
    if (toolImages_) ImageList_Destroy(toolImages_);
    if (toolHotImages_) ImageList_Destroy(toolHotImages_);
}

std::string TForm1::IniPath() const { return ProgramFolder() + "Set.ini"; }

bool TForm1::Create(HINSTANCE instance) {
    instance_ = instance;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_COOL_CLASSES};
    InitCommonControlsEx(&icc);

    RegisterClassOnce({kMainClass, LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP)),
                       static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                                     16, 16, LR_SHARED))});
    RegisterClassOnce({kPanelClass, nullptr, nullptr, 0, &TForm1::PanelProc});

    // Window creation, in order: the program's record in the registry, the scan session (the
    // OS information, the Windows directory, the settings, the ignore list), the checklist.
    try {
        TWriteFileDesc(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kiv", ProgramPath()).Record();
    } catch (const std::exception&) {
        // A registry that refuses the record does not keep the program from working.
    }
    menus_.reset(new MenuCommands(instance, ProgramFolder() + "Kivcc.chm"));
    report_.SetSortRefused([this] { return RepairRunning(); });
    report_.SetPaced([this] { return driver_ && !driver_->Idle(); });
    report_.SetStatusOutput([this](const std::string& text) { SetStatusText(text); });
    session_ = OpenScanSession(ignored_, kMinWidth, kMinHeight);
    if (session_.windowsDir.empty()) {
        ShowMessage(nullptr, "错误！Tarnwell无法找到操作系统所在的文件夹。", MB_OK | MB_ICONERROR);
        return false;
    }
    driver_ = MakeScanDriver(*this, session_, ignored_);

    const WindowSettings& settings = session_.settings;
    int width = settings.hasWidth ? settings.width : kDesignWidth;
    int height = settings.hasHeight ? settings.height : kDesignHeight;
    if (!CreateFor(0, kMainClass, L"Tarnwell", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                   CW_USEDEFAULT, width, height, nullptr))
        return false;
    SetWindowTextW(hwnd_, AnsiToWide("Tarnwell").c_str());
    RepairContext repairContext;
    repairContext.majorVersion = session_.os.MajorVersion;
    repairContext.ignored = &ignored_;
    repair_.reset(new RepairCommands(findings_, *this, repairContext));
    FillChecklist();
    keys_.reset(new ScopedMessageFilter([this](MSG* msg) { return PreTranslate(msg); }));
    return true;
}

void TForm1::Show() {
    if (session_.settings.maximized) {
        ShowWindow(hwnd_, SW_SHOWMAXIMIZED);
    } else {
        // Centred on the desktop with the restored size; the saved top gives way to centring.
        RECT r;
        GetWindowRect(hwnd_, &r);
        RECT work;
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        int w = r.right - r.left, h = r.bottom - r.top;
        // A stored size larger than the screen would put the caption and its buttons out of
        // reach: the window keeps to the work area.
        const int workW = work.right - work.left, workH = work.bottom - work.top;
        if (w > workW) w = workW;
        if (h > workH) h = workH;
        SetWindowPos(hwnd_, nullptr, work.left + (workW - w) / 2, work.top + (workH - h) / 2, w, h,
                     SWP_NOZORDER);
        ShowWindow(hwnd_, SW_SHOWNORMAL);
    }
    UpdateWindow(hwnd_);
}

bool TForm1::PreTranslate(MSG* msg) {
    // The modeless windows take their dialog keys in the pump itself, before this runs.
    HACCEL accel = Shortcuts();
    if (hwnd_ && accel && (msg->hwnd == hwnd_ || IsChild(hwnd_, msg->hwnd)))
        return TranslateAcceleratorW(hwnd_, accel, msg) != 0;
    return false;
}

// Panels only hold controls: what their controls report goes to the main window, and the
// checklist panel lays itself out on every resize.
LRESULT CALLBACK TForm1::PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
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
            auto* self = dynamic_cast<TForm1*>(base);
            if (self && hwnd == self->flatPanel1_) self->LayoutChecklistPanel();
            break;
        }
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT TForm1::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_CREATE:
            OnCreate();
            return 0;
        case WM_SHOWWINDOW:
            if (wp && !shown_) {
                shown_ = true;
                OnShow();
            }
            break;
        case WM_SIZE:
            OnSize();
            return 0;
        case WM_GETMINMAXINFO: {
            auto* mmi = reinterpret_cast<MINMAXINFO*>(lp);
            mmi->ptMinTrackSize.x = kMinWidth;
            mmi->ptMinTrackSize.y = kMinHeight;
            return 0;
        }
        case WM_COMMAND:
            if (lp == 0 || HIWORD(wp) == BN_CLICKED) Command(LOWORD(wp));
            return 0;
        case WM_NOTIFY:
            return OnNotify(reinterpret_cast<NMHDR*>(lp));
        case WM_MEASUREITEM:
        case WM_DRAWITEM:
            if (menus_ && menus_->OnMessage(msg, wp, lp, listView2_)) return TRUE;
            break;
        case WM_CONTEXTMENU:
            // The row items follow the row the popup is for.
            if (reinterpret_cast<HWND>(wp) == listView2_) UpdateRowItems();
            if (menus_ && menus_->OnMessage(msg, wp, lp, listView2_)) return 0;
            break;
        case WM_TIMER:
            if (report_.OnTimer(wp)) return 0;
            break;
        case WM_CLOSE:
            OnClose();
            return 0;
        case WM_DESTROY:
            OnDestroy();
            return 0;
        case kCloseMessage:
            // Another program asks us to end: stop the workers, then leave the message loop.
            closing_ = true;
            if (driver_) driver_->Shutdown();
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

void TForm1::OnCreate() {
    font_.reset(CreateUiFont());
    imageList1_ = LoadStrip(instance_, IDB_SMALL, 16, 22);
    toolImages_ = LoadStrip(instance_, IDB_TOOLBAR, 32, 6);
    toolHotImages_ = LoadStrip(instance_, IDB_TOOLBAR_HOT, 32, 6);
    menus_->Load(hwnd_, imageList1_);
    CreateToolBar();
    CreateControls();
}

void TForm1::CreateToolBar() {
    toolBar1_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, L"",
                                WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NORESIZE |
                                    CCS_NODIVIDER | CCS_NOPARENTALIGN,
                                0, 0, 0, kToolBarHeight, hwnd_, reinterpret_cast<HMENU>(ID_TOOLBAR1),
                                instance_, nullptr);
    SendMessageW(toolBar1_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(toolBar1_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    SendMessageW(toolBar1_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(toolImages_));
    SendMessageW(toolBar1_, TB_SETHOTIMAGELIST, 0, reinterpret_cast<LPARAM>(toolHotImages_));
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
    SendMessageW(toolBar1_, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    SendMessageW(toolBar1_, TB_SETBUTTONSIZE, 0, MAKELPARAM(55, 51));
    SendMessageW(toolBar1_, TB_AUTOSIZE, 0, 0);
}

void TForm1::CreateControls() {
    auto child = [this](HWND parent, const wchar_t* cls, const std::string& text, DWORD style, int x, int y,
                        int w, int h, UINT id, DWORD ex = 0) {
        HWND c = CreateWindowExW(ex, cls, AnsiToWide(text).c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w, h,
                                 parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), instance_, nullptr);
        SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
        return c;
    };
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0,
                               hwnd_, nullptr, instance_, nullptr);

    flatPanel1_ = child(hwnd_, kPanelClass, "", WS_CLIPCHILDREN, 0, kToolBarHeight, kDesignWidth, kPanelHeight, 0);
    label1_ = child(flatPanel1_, L"STATIC", "请选择Tarnwell要检查的项目", SS_LEFT, 10, 4, 300, 14, 0);
    chkListView_ = child(flatPanel1_, WC_LISTVIEWW, "",
                         LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP,
                         10, 21, 400, 136, ID_CHKLISTVIEW, WS_EX_CLIENTEDGE);
    ListView_SetExtendedListViewStyle(chkListView_, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    ListView_SetImageList(chkListView_, imageList1_, LVSIL_SMALL);
    LVCOLUMNW col{};
    col.mask = LVCF_WIDTH;
    col.cx = 300;
    ListView_InsertColumn(chkListView_, 0, &col);
    col.cx = 150;
    ListView_InsertColumn(chkListView_, 1, &col);
    selectAll_ = child(flatPanel1_, L"BUTTON", kSelectNone, BS_PUSHBUTTON | WS_TABSTOP, 400, 1, 65, 18, ID_SELECTALL);
    panel2_ = child(flatPanel1_, kPanelClass, "", WS_CLIPCHILDREN, kDesignWidth - kPanel2Width, 0, kPanel2Width,
                    kPanelHeight, 0);
    const char* captions[4] = {kScan, "修复", "全部修复", "退出"};
    HWND* buttons[4] = {&flatButton1_, &flatButton2_, &flatButton3_, &flatButton4_};
    for (int i = 0; i < 4; ++i)
        *buttons[i] = child(panel2_, L"BUTTON", captions[i], BS_PUSHBUTTON | WS_TABSTOP, kButtonLeft,
                            kButtonTops[i], kButtonWidth, kButtonHeight, ID_FLATBUTTON1 + static_cast<UINT>(i));
    EnableWindow(flatButton2_, FALSE);
    EnableWindow(flatButton3_, FALSE);
    AddHint(tooltip_, hwnd_, flatButton1_, kScanHint);
    AddHint(tooltip_, hwnd_, flatButton2_, "修复选中的错误条目");
    AddHint(tooltip_, hwnd_, flatButton3_, "修复所有扫描到的错误");
    AddHint(tooltip_, hwnd_, flatButton4_, "退出Tarnwell");

    listView2_ = child(hwnd_, WC_LISTVIEWW, "",
                       LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_OWNERDATA | WS_TABSTOP, 0,
                       kToolBarHeight + kPanelHeight, kDesignWidth, 200, ID_LISTVIEW2, WS_EX_CLIENTEDGE);
    report_.Attach(hwnd_, listView2_, imageList1_);

    statusBar1_ = child(hwnd_, STATUSCLASSNAMEW, "", SBARS_SIZEGRIP, 0, 0, 0, 19, ID_STATUSBAR1);
    int parts[1] = {400};
    SendMessageW(statusBar1_, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));
    SetStatus("Tarnwell " TW_VERSION_STR " - 请选择要检查的项目，然后单击“扫描”。");
}

void TForm1::FillChecklist() {
    const std::vector<ChecklistItem>& rows = session_.checklist;
    ListView_DeleteAllItems(chkListView_);
    for (size_t i = 0; i < rows.size(); ++i) {
        std::wstring caption = AnsiToWide(rows[i].caption);
        std::wstring note = AnsiToWide(rows[i].note);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = static_cast<int>(i);
        item.pszText = &caption[0];
        item.iImage = rows[i].image;
        SendMessageW(chkListView_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        LVITEMW sub{};
        sub.iSubItem = 1;
        sub.pszText = &note[0];
        SendMessageW(chkListView_, LVM_SETITEMTEXTW, i, reinterpret_cast<LPARAM>(&sub));
        ListView_SetCheckState(chkListView_, static_cast<int>(i), rows[i].ticked);
    }
}

void TForm1::OnShow() {
    desktop_ = GetDesktopWindow();
    driver_->Context().desktop = desktop_;
    driver_->SetMultiBoot(DetectMultiBoot("C:\\boot.ini"));
    LayoutChecklistPanel();
}

void TForm1::OnSize() {
    if (!toolBar1_) return;
    RECT rc;
    GetClientRect(hwnd_, &rc);
    int w = rc.right, h = rc.bottom;
    MoveWindow(toolBar1_, 0, 0, w, kToolBarHeight, TRUE);
    SendMessageW(statusBar1_, WM_SIZE, 0, 0);
    RECT sr;
    GetWindowRect(statusBar1_, &sr);
    int sbh = sr.bottom - sr.top;
    // Panel2 first: the checklist panel lays itself out against it when it is resized.
    MoveWindow(panel2_, w - kPanel2Width, 0, kPanel2Width, kPanelHeight, TRUE);
    MoveWindow(flatPanel1_, 0, kToolBarHeight, w, kPanelHeight, TRUE);
    int listTop = kToolBarHeight + kPanelHeight;
    int listH = h - listTop - sbh;
    MoveWindow(listView2_, 0, listTop, w, listH > 0 ? listH : 0, TRUE);
    // The location column takes whatever the other three leave.
    int loc = w - 150 - 60 - 231 - GetSystemMetrics(SM_CXVSCROLL) - 4;
    ListView_SetColumnWidth(listView2_, 1, loc > 80 ? loc : 80);
}

void TForm1::LayoutChecklistPanel() {
    if (!panel2_) return;
    RECT p2;
    GetWindowRect(panel2_, &p2);
    MapWindowPoints(nullptr, flatPanel1_, reinterpret_cast<POINT*>(&p2), 2);
    RECT lb;
    GetWindowRect(label1_, &lb);
    MapWindowPoints(nullptr, flatPanel1_, reinterpret_cast<POINT*>(&lb), 2);
    int left = lb.left;
    int width = p2.left - left - 2;
    int top = kButtonTops[0] + 2;
    int height = kButtonTops[3] + kButtonHeight - kButtonTops[0] - 2;
    MoveWindow(chkListView_, left, top, width > 0 ? width : 0, height, TRUE);
    RECT sa;
    GetWindowRect(selectAll_, &sa);
    MapWindowPoints(nullptr, flatPanel1_, reinterpret_cast<POINT*>(&sa), 2);
    MoveWindow(selectAll_, p2.left - (sa.right - sa.left) - 2, sa.top, sa.right - sa.left, sa.bottom - sa.top, TRUE);
    // The caption column fills the checklist beside the 150-pixel note column.
    int first = width - 150 - GetSystemMetrics(SM_CXVSCROLL) - 4;
    ListView_SetColumnWidth(chkListView_, 0, first > 60 ? first : 60);
}

LRESULT TForm1::OnNotify(NMHDR* hdr) {
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

bool TForm1::RepairRunning() const { return repair_ && repair_->Busy(); }

void TForm1::Command(UINT id) {
    if (closing_) return;
    // The window is disabled while a repair, backup or restore runs; a command that still
    // arrives then (posted, or from the messages a long deletion lets run) is refused, since
    // a scan, a sort, a clear or a second repair would change what the repair works on.
    if (RepairRunning()) return;
    // An error that ends a command is reported here; it must never unwind through the
    // system's window procedure calls.
    try {
        RunCommand(id);
    } catch (const std::exception& e) {
        ShowError(hwnd_, e.what());
    }
}

void TForm1::RunCommand(UINT id) {
    switch (id) {
        case ID_SCAN:
        case ID_FLATBUTTON1:
            driver_->ScanCommand();
            // A close asked for while the command ran its steps is carried out now.
            if (closeAfterScan_ && !driver_->InScanCommand()) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
            break;
        case ID_REPAIR:
        case ID_FLATBUTTON2:
        case ID_POP_REPAIR:
            // Only on the rows of a finished scan.
            if (repair_ && driver_->Idle()) repair_->RepairSelected();
            CloseIfAskedDuringRepair();
            break;
        case ID_REPAIRALL:
        case ID_FLATBUTTON3:
        case ID_POP_ALL:
            if (repair_ && driver_->Idle()) repair_->RepairAll();
            CloseIfAskedDuringRepair();
            break;
        case ID_BACKUP:
            if (repair_) repair_->Backup();
            CloseIfAskedDuringRepair();
            break;
        case ID_RESTORE:
            if (repair_) repair_->Restore();
            CloseIfAskedDuringRepair();
            break;
        case ID_HISTORY:
            if (repair_) repair_->ShowHistory();
            break;
        case ID_UNDO_LAST:
            if (repair_ && driver_->Idle()) repair_->UndoLast();
            CloseIfAskedDuringRepair();
            break;
        case ID_UNDO_PICK:
            if (repair_ && driver_->Idle()) repair_->UndoChosen();
            CloseIfAskedDuringRepair();
            break;
        case ID_IGNORE_LIST:
            ShowIgnoreWindow();
            break;
        case ID_EXPORT:
            ExportReport();
            break;
        case ID_POP_OPEN:
            OpenSelected();
            break;
        case ID_POP_IGNORE:
            // The rows of a finished scan only: a running one still adds to the list.
            if (driver_->Idle()) IgnoreSelected();
            break;
        case ID_CLEARHISTORY:
            if (repair_) repair_->ClearHistory();
            break;
        case ID_EXIT:
        case ID_FLATBUTTON4:
            PostMessageW(hwnd_, WM_CLOSE, 0, 0);
            break;
        case ID_SELECTALL:
            SelectAllClick();
            break;
        default:
            // The Help menu's commands.
            if (menus_) menus_->Run(id);
            break;
    }
}

void TForm1::SelectAllClick() {
    std::string caption = kSelectNone;
    wchar_t buf[32] = {};
    GetWindowTextW(selectAll_, buf, 32);
    bool wasSelectAll = WideToAnsi(buf) == kSelectAll;
    caption = wasSelectAll ? kSelectNone : kSelectAll;
    SetControlText(selectAll_, caption);
    bool tick = caption == kSelectNone;
    int n = ListView_GetItemCount(chkListView_);
    for (int i = 0; i < n; ++i) ListView_SetCheckState(chkListView_, i, tick);
}

void TForm1::IgnoreSelected() {
    const int row = SelectedRow();
    if (row < 0 || row >= findings_.Count()) return;
    const IgnoredObject object = IgnoredObject::Of(findings_.At(row));
    const bool saved = ignored_.Add(object);
    // Every row naming the object goes, not only the one clicked: the list shows no ignored
    // object and repair meets none.
    findings_.RemoveWhere([&object](const Finding& f) { return IgnoredObject::Of(f) == object; });
    report_.Reload();
    const int rows = findings_.Count();
    SelectRow(rows == 0 ? -1 : (row < rows ? row : rows - 1));
    if (findings_.UnrepairedCount() == 0) SetRepairControls(false);
    if (ignoreWindow_ && ignoreWindow_->IsVisible()) ignoreWindow_->Show();
    if (!saved)
        ShowMessage(hwnd_, "无法写入忽略列表文件“" + ignored_.Path() + "”，此项只在本次运行中被忽略。",
                    MB_OK | MB_ICONERROR);
}

void TForm1::OpenSelected() {
    const int row = SelectedRow();
    if (row < 0 || row >= findings_.Count()) return;
    const Finding f = findings_.At(row);
    if (!OpenLocation(f))
        ShowMessage(hwnd_, "无法打开“" + f.location + "”：它所在的位置已不存在，或者无法启动" +
                               (IsDiskRow(f) ? "资源管理器。" : "注册表编辑器。"),
                    MB_OK | MB_ICONERROR);
}

void TForm1::ExportReport() {
    FileDialogRequest request;
    request.save = true;
    request.title = "导出报告";
    request.fileName = "Tarnwell报告.txt";
    request.filters = {{"文本文件 (*.txt)", "*.txt"}, {"所有文件 (*.*)", "*.*"}};
    request.extension = "txt";
    std::string path;
    if (!AskForFile(hwnd_, request, path)) return;
    report_.CatchUp();
    std::vector<Finding> rows;
    rows.reserve(static_cast<size_t>(findings_.Count()));
    for (int i = 0; i < findings_.Count(); ++i) rows.push_back(findings_.At(i));
    if (!WriteReportFile(path, rows))
        ShowMessage(hwnd_, "导出失败！无法写入文件“" + path + "”。", MB_OK | MB_ICONERROR);
}

void TForm1::ShowIgnoreWindow() {
    if (!ignoreWindow_) ignoreWindow_.reset(new IgnoreWindow(hwnd_, ignored_));
    ignoreWindow_->Show();
}

void TForm1::UpdateRowItems() {
    HMENU popup = PopupMenu();
    if (!popup) return;
    const int row = SelectedRow();
    const bool has = row >= 0 && row < findings_.Count();
    std::wstring caption = AnsiToWide(has && IsDiskRow(findings_.At(row)) ? "打开所在文件夹(&O)"
                                                                                       : "在注册表编辑器中打开(&O)");
    MENUITEMINFOW mi{};
    mi.cbSize = sizeof mi;
    mi.fMask = MIIM_STRING;
    mi.dwTypeData = &caption[0];
    SetMenuItemInfoW(popup, ID_POP_OPEN, FALSE, &mi);
    EnableMenuItem(popup, ID_POP_OPEN, MF_BYCOMMAND | (has ? MF_ENABLED : MF_GRAYED));
    EnableMenuItem(popup, ID_POP_IGNORE, MF_BYCOMMAND | (has && driver_ && driver_->Idle() ? MF_ENABLED : MF_GRAYED));
}

void TForm1::CloseIfAskedDuringRepair() {
    if (closeAfterRepair_ && !RepairRunning()) {
        closeAfterRepair_ = false;
        PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    }
}

void TForm1::OnClose() {
    if (RepairRunning()) {
        // The repair's deletion is further up this call stack: close once it has returned.
        closeAfterRepair_ = true;
        return;
    }
    if (driver_ && driver_->InScanCommand()) {
        // The Scan command is still running its steps further up this very call stack:
        // stop the scan and close once the command has returned.
        closeAfterScan_ = true;
        if (!ScanCaptionIsStart()) driver_->ScanCommand();
        return;
    }
    closing_ = true;
    // Save the placement; a refused write is reported and the window still closes.
    try {
        WINDOWPLACEMENT wp{};
        wp.length = sizeof wp;
        GetWindowPlacement(hwnd_, &wp);
        RECT r;
        GetWindowRect(hwnd_, &r);
        SaveWindowPlacement(IniPath(), IsZoomed(hwnd_) != FALSE, r.top, r.bottom - r.top, r.right - r.left);
    } catch (const std::exception& e) {
        ShowError(hwnd_, e.what());
    }
    // Worker threads may be blocked handing a Finding to this window: stop and join them
    // while messages keep flowing, before the window goes.
    if (driver_) driver_->Shutdown();
    DestroyWindow(hwnd_);
}

void TForm1::OnDestroy() {
    if (driver_) driver_->Shutdown();
    // Unloading the help engine closes its windows first.
    if (menus_) menus_->UnloadHelp();
    PostQuitMessage(0);
}

HWND TForm1::Control(UINT id) const {
    switch (id) {
        case ID_FLATBUTTON1: return flatButton1_;
        case ID_FLATBUTTON2: return flatButton2_;
        case ID_FLATBUTTON3: return flatButton3_;
        case ID_FLATBUTTON4: return flatButton4_;
        case ID_SELECTALL: return selectAll_;
        case ID_CHKLISTVIEW: return chkListView_;
        case ID_LISTVIEW2: return listView2_;
        case ID_STATUSBAR1: return statusBar1_;
        case ID_TOOLBAR1: return toolBar1_;
        default: return nullptr;
    }
}

void TForm1::SetControlText(HWND control, const std::string& text) {
    SetWindowTextW(control, AnsiToWide(text).c_str());
}

// --- ScanView ---

bool TForm1::ScanCaptionIsStart() {
    wchar_t buf[32] = {};
    GetWindowTextW(flatButton1_, buf, 32);
    return WideToAnsi(buf) == kScan;
}

void TForm1::SetScanCaptions(bool scanning) {
    report_.CatchUp();
    SetControlText(flatButton1_, scanning ? kStop : kScan);
    std::wstring tool = AnsiToWide(scanning ? kStopTool : kScanTool);
    TBBUTTONINFOW bi{};
    bi.cbSize = sizeof bi;
    bi.dwMask = TBIF_TEXT;
    bi.pszText = &tool[0];
    SendMessageW(toolBar1_, TB_SETBUTTONINFOW, ID_SCAN, reinterpret_cast<LPARAM>(&bi));
    if (menus_) menus_->SetCaption(ID_SCAN, scanning ? kStop : kScan);
}

void TForm1::ResetScanHints() { SetHint(tooltip_, hwnd_, flatButton1_, kScanHint); }

void TForm1::SetSelectAllEnabled(bool on) { EnableWindow(selectAll_, on); }

void TForm1::SetRepairControls(bool on) { SetRepairControls(on, true); }

void TForm1::SetRepairControls(bool on, bool popupToo) {
    report_.CatchUp();
    if (menus_) menus_->EnableRowCommands(on, popupToo);
    SendMessageW(toolBar1_, TB_HIDEBUTTON, ID_REPAIRALL, MAKELPARAM(!on, 0));
    SendMessageW(toolBar1_, TB_HIDEBUTTON, ID_REPAIR, MAKELPARAM(!on, 0));
    EnableWindow(flatButton2_, on);
    EnableWindow(flatButton3_, on);
    DrawMenuBar(hwnd_);
}

void TForm1::SetStatus(const std::string& text) {
    report_.SetStatus(text);
}

void TForm1::SetStatusText(const std::string& text) {
    // A key path or file name of any length: the line shows a readable part of it.
    const std::string shown = ShortForDisplay(text, kStatusTextLimit);
    SendMessageW(statusBar1_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(AnsiToWide(shown).c_str()));
}

void TForm1::ShowStatus(const std::string& text) {
    report_.QueueStatus(text);
}

std::string TForm1::StatusText() const {
    wchar_t buf[1024] = {};
    SendMessageW(statusBar1_, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(buf));
    return WideToAnsi(buf);
}

int TForm1::ChecklistRowCount() { return ListView_GetItemCount(chkListView_); }

int TForm1::ChecklistIndexOf(ChecklistRow row) { return tw::ChecklistIndexOf(session_.checklist, row); }

bool TForm1::IsRowTicked(int row) { return ListView_GetCheckState(chkListView_, row) != 0; }

void TForm1::ClearFindings() {
    report_.Clear();
}

// Called after every entry of a walk on the UI thread: cheap unless something waits.
void TForm1::ProcessMessages() { PauseForMessages(); }

void TForm1::AddFinding(const Finding& f) { report_.AddFinding(f); }

// --- RepairView ---

int TForm1::SelectedRow() { return report_.SelectedRow(); }

void TForm1::SelectRow(int row) { report_.SelectRow(row); }

void TForm1::RowChanged(int row) { report_.RowChanged(row); }

}  // namespace tw
