#include "app/MainWindow.h"

#include "app/DetailsWindow.h"
#include "app/HtmlHelp.h"
#include "app/MainWindowLayout.h"
#include "app/RepairCommands.h"
#include "platform/DataFolder.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/LoadText.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "platform/UiFont.h"
#include "resource.h"
#include "scan/osinfo/ProgramRecord.h"
#include "strings.h"
#include "wording/ScanWording.h"

namespace tw {

using namespace window_layout;

MainWindow::MainWindow() = default;

MainWindow::~MainWindow() {
    keys_.reset();
    // The driver joins its worker threads before anything they report to goes away.
    driver_.reset();
    repair_.reset();
    if (hwnd_) DestroyWindow(hwnd_);
}

// "Set.ini", "Kivcc.chm" and the key "SOFTWARE\Kiv" are names users' disks, the setup and other
// programs already know: they keep them.
std::string MainWindow::IniPath() const { return DataFolder() + "Set.ini"; }

bool MainWindow::Create(HINSTANCE instance) {
    instance_ = instance;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_COOL_CLASSES};
    InitCommonControlsEx(&icc);

    RegisterClassOnce({kMainClass, LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP)),
                       static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                                     16, 16, LR_SHARED))});
    RegisterClassOnce({kPanelClass, nullptr, nullptr, 0, &MainWindow::PanelProc});

    // Window creation, in order: the program's record in the registry, the scan session (the
    // OS information, the Windows directory, the settings, the ignore list), the checklist.
    try {
        ProgramRecord(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kiv", ProgramPath()).Record();
    } catch (const std::exception&) {
        // A registry that refuses the record does not keep the program from working.
    }
    // The guide in the interface's language, which is Chinese.
    menus_.reset(new MenuCommands(instance, GuideFor(GuideLanguage::Chinese)));
    report_.SetSortRefused([this] { return RepairRunning(); });
    report_.SetPaced([this] { return driver_ && !driver_->Idle(); });
    report_.SetStatusOutput([this](const std::string& text) { SetStatusText(text); });
    // Posted: the details window runs its own loop, which a list notification must not hold.
    report_.SetOpenRow([this](int row) {
        SelectRow(row);
        PostMessageW(hwnd_, WM_COMMAND, IDM_DETAILS, 0);
    });
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
    RepairContext repairContext(session_.context.os);
    repairContext.ignored = &ignored_;
    repairContext.scanAfterRepair = [this](const std::vector<Finding>& repaired) {
        return driver_->ScanAfterRepair(repaired);
    };
    repair_.reset(new RepairCommands(findings_, *this, repairContext));
    repair_->OnRowMark([this](int row, const std::string& mark) { report_.SetRowMark(row, mark); });
    FillChecklist();
    keys_.reset(new ScopedMessageFilter([this](MSG* msg) { return PreTranslate(msg); }));
    return true;
}

void MainWindow::Show() {
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

bool MainWindow::PreTranslate(MSG* msg) {
    // The modeless windows take their dialog keys in the pump itself, before this runs.
    if (!hwnd_ || (msg->hwnd != hwnd_ && !IsChild(hwnd_, msg->hwnd))) return false;
    HACCEL accel = Shortcuts();
    if (accel && TranslateAcceleratorW(hwnd_, accel, msg)) return true;
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_TAB && !(GetKeyState(VK_CONTROL) & 0x8000)) {
        // Tab and Shift+Tab go round the checklist, its buttons and the report list, as in a
        // dialog (the panels take part as control parents).
        const bool back = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
        if (HWND next = GetNextDlgTabItem(hwnd_, GetFocus(), back ? TRUE : FALSE)) SetFocus(next);
        return true;
    }
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_SPACE)) {
        // Enter or Space on a focused command button clicks it.
        HWND focus = GetFocus();
        if (focus && focus != reportList_ && focus != checklist_ && IsChild(hwnd_, focus) &&
            (GetWindowLongW(focus, GWL_STYLE) & 0x0F) <= BS_DEFPUSHBUTTON) {
            wchar_t cls[16] = {};
            GetClassNameW(focus, cls, 16);
            if (lstrcmpiW(cls, L"Button") == 0) {
                SendMessageW(focus, BM_CLICK, 0, 0);
                return true;
            }
        }
    }
    return false;
}

LRESULT MainWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
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
            if (menus_ && menus_->OnMessage(msg, wp, lp, reportList_)) return TRUE;
            break;
        case WM_SETFOCUS:
            // The keyboard starts in the checklist, or where it was when the window was left.
            SetFocus(lastFocus_ && IsWindow(lastFocus_) && IsWindowEnabled(lastFocus_) ? lastFocus_ : checklist_);
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wp) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(hwnd_, focus)) lastFocus_ = focus;
            }
            break;
        case WM_CONTEXTMENU:
            // The row items follow the row the popup is for.
            if (reinterpret_cast<HWND>(wp) == reportList_) {
                UpdateRowItems();
                // From the keyboard (Shift+F10, the menu key): at the focused row.
                if (lp == static_cast<LPARAM>(-1)) lp = report_.KeyboardMenuPoint();
            }
            if (menus_ && menus_->OnMessage(msg, wp, lp, reportList_)) return 0;
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

void MainWindow::OnShow() {
    desktop_ = GetDesktopWindow();
    driver_->Context().desktop = desktop_;
    driver_->SetMultiBoot(DetectMultiBoot("C:\\boot.ini"));
    LayoutChecklistPanel();
}

bool MainWindow::RepairRunning() const { return repair_ && repair_->Busy(); }

void MainWindow::Command(UINT id) {
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

void MainWindow::RunCommand(UINT id) {
    switch (id) {
        case IDM_SCAN:
        case ID_SCAN_BUTTON:
            driver_->ScanCommand();
            // A close asked for while the command ran its steps is carried out now.
            if (closeAfterScan_ && !driver_->InScanCommand()) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
            break;
        case IDM_REPAIR:
        case ID_REPAIR_BUTTON:
        case IDM_POP_REPAIR:
            // Only on the rows of a finished scan.
            if (repair_ && driver_->Idle()) repair_->RepairSelected(report_.SelectedRows());
            CloseIfAskedDuringRepair();
            break;
        case IDM_REPAIRALL:
        case ID_REPAIR_ALL_BUTTON:
        case IDM_POP_ALL:
            if (repair_ && driver_->Idle()) repair_->RepairAll();
            CloseIfAskedDuringRepair();
            break;
        case IDM_BACKUP:
            if (repair_) repair_->Backup();
            CloseIfAskedDuringRepair();
            break;
        case IDM_RESTORE:
            if (repair_) repair_->Restore();
            CloseIfAskedDuringRepair();
            break;
        case IDM_HISTORY:
            if (repair_) repair_->ShowHistory();
            break;
        case IDM_UNDO_LAST:
            if (repair_ && driver_->Idle()) repair_->UndoLast();
            CloseIfAskedDuringRepair();
            break;
        case IDM_UNDO_PICK:
            if (repair_ && driver_->Idle()) repair_->UndoChosen();
            CloseIfAskedDuringRepair();
            break;
        case IDM_IGNORE_LIST:
            ShowIgnoreWindow();
            break;
        case IDM_EXPORT:
            ExportReport();
            break;
        case IDM_POP_OPEN:
            OpenSelected();
            break;
        case IDM_DETAILS:
            ShowDetails();
            break;
        case IDM_POP_IGNORE:
            // The rows of a finished scan only: a running one still adds to the list.
            if (driver_->Idle()) IgnoreSelected();
            break;
        case IDM_CLEARHISTORY:
            if (repair_) repair_->ClearHistory();
            break;
        case IDM_EXIT:
        case ID_EXIT_BUTTON:
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

void MainWindow::ShowDetails() {
    const int row = report_.SelectedRow();
    if (row < 0 || row >= findings_.Count()) return;
    const Finding f = findings_.At(row);
    const RowId id = findings_.IdAt(row);
    const bool idle = driver_->Idle();
    DetailsWindow details(hwnd_, DetailsText(f, report_.RowMark(row), RepairPlanText(f, &ignored_, session_.context.os)),
                          idle && !f.Repaired(), idle);
    const DetailsChoice choice = details.Run();
    // The buttons act on the row shown, wherever it stands now.
    const int now = findings_.IndexOf(id, row);
    if (choice == DetailsChoice::Close || now < 0) return;
    SelectRow(now);
    switch (choice) {
        case DetailsChoice::Repair: Command(IDM_REPAIR); break;
        case DetailsChoice::Ignore: Command(IDM_POP_IGNORE); break;
        case DetailsChoice::Open: Command(IDM_POP_OPEN); break;
        case DetailsChoice::Close: break;
    }
}

void MainWindow::SelectAllClick() {
    std::string caption = kSelectNone;
    wchar_t buf[32] = {};
    GetWindowTextW(selectAll_, buf, 32);
    bool wasSelectAll = WideToAnsi(buf) == kSelectAll;
    caption = wasSelectAll ? kSelectNone : kSelectAll;
    SetControlText(selectAll_, caption);
    bool tick = caption == kSelectNone;
    int n = ListView_GetItemCount(checklist_);
    for (int i = 0; i < n; ++i) ListView_SetCheckState(checklist_, i, tick);
}

void MainWindow::CloseIfAskedDuringRepair() {
    if (closeAfterRepair_ && !RepairRunning()) {
        closeAfterRepair_ = false;
        PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    }
}

void MainWindow::OnClose() {
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
        SaveTicks();
        SaveWindowPlacement(IniPath(), IsZoomed(hwnd_) != FALSE, r.top, r.bottom - r.top, r.right - r.left);
    } catch (const std::exception& e) {
        ShowError(hwnd_, e.what());
    }
    // Worker threads may be blocked handing a Finding to this window: stop and join them
    // while messages keep flowing, before the window goes.
    if (driver_) driver_->Shutdown();
    DestroyWindow(hwnd_);
}

void MainWindow::OnDestroy() {
    if (driver_) driver_->Shutdown();
    // Unloading the help engine closes its windows first.
    if (menus_) menus_->UnloadHelp();
    PostQuitMessage(0);
}

HWND MainWindow::Control(UINT id) const {
    switch (id) {
        case ID_SCAN_BUTTON: return scanButton_;
        case ID_REPAIR_BUTTON: return repairButton_;
        case ID_REPAIR_ALL_BUTTON: return repairAllButton_;
        case ID_EXIT_BUTTON: return exitButton_;
        case ID_SELECTALL: return selectAll_;
        case ID_CHECKLIST: return checklist_;
        case ID_REPORT_LIST: return reportList_;
        case ID_STATUS_BAR: return statusBar_;
        case ID_TOOLBAR: return toolBar_;
        default: return nullptr;
    }
}

void MainWindow::SetControlText(HWND control, const std::string& text) {
    SetWindowTextW(control, AnsiToWide(text).c_str());
}

// --- ScanView ---

bool MainWindow::ScanCaptionIsStart() {
    wchar_t buf[32] = {};
    GetWindowTextW(scanButton_, buf, 32);
    return WideToAnsi(buf) == kScan;
}

void MainWindow::SetScanCaptions(bool scanning) {
    report_.CatchUp();
    if (scanning && progress_ && !IsWindowVisible(progress_)) {
        // A new scan: the notes lose the last scan's counts, the bar starts empty, and the last
        // scan's closing line goes until the first place of this one shows.
        ResetNotes();
        SetStatusText("");
        SendMessageW(progress_, PBM_SETPOS, 0, 0);
        ShowWindow(progress_, SW_SHOW);
        LayoutStatusBar();
    } else if (!scanning && progress_ && IsWindowVisible(progress_)) {
        ShowWindow(progress_, SW_HIDE);
        LayoutStatusBar();
    }
    SetControlText(scanButton_, scanning ? kStop : kScan);
    std::wstring tool = AnsiToWide(scanning ? kStopTool : kScanTool);
    TBBUTTONINFOW bi{};
    bi.cbSize = sizeof bi;
    bi.dwMask = TBIF_TEXT;
    bi.pszText = &tool[0];
    SendMessageW(toolBar_, TB_SETBUTTONINFOW, IDM_SCAN, reinterpret_cast<LPARAM>(&bi));
    if (menus_) menus_->SetCaption(IDM_SCAN, scanning ? kStop : kScan);
}

void MainWindow::ResetScanHints() { SetHint(tooltip_, hwnd_, scanButton_, kScanHint); }

void MainWindow::SetSelectAllEnabled(bool on) { EnableWindow(selectAll_, on); }

void MainWindow::SetRepairControls(bool on) { SetRepairControls(on, true); }

void MainWindow::SetRepairControls(bool on, bool popupToo) {
    report_.CatchUp();
    if (menus_) menus_->EnableRowCommands(on, popupToo);
    SendMessageW(toolBar_, TB_HIDEBUTTON, IDM_REPAIRALL, MAKELPARAM(!on, 0));
    SendMessageW(toolBar_, TB_HIDEBUTTON, IDM_REPAIR, MAKELPARAM(!on, 0));
    EnableWindow(repairButton_, on);
    EnableWindow(repairAllButton_, on);
    DrawMenuBar(hwnd_);
}

void MainWindow::SetStatus(const std::string& text) {
    report_.SetStatus(text);
}

void MainWindow::SetStatusText(const std::string& text) {
    // A key path or file name of any length: the line shows a readable part of it.
    const std::string shown = ShortForDisplay(text, kStatusTextLimit);
    SendMessageW(statusBar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(AnsiToWide(shown).c_str()));
}

void MainWindow::ShowStatus(const std::string& text) {
    report_.QueueStatus(text);
}

std::string MainWindow::StatusText() const {
    wchar_t buf[1024] = {};
    SendMessageW(statusBar_, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(buf));
    return WideToAnsi(buf);
}

int MainWindow::ChecklistRowCount() { return ListView_GetItemCount(checklist_); }

int MainWindow::ChecklistIndexOf(ChecklistRow row) { return tw::ChecklistIndexOf(session_.checklist, row); }

bool MainWindow::IsRowTicked(int row) { return ListView_GetCheckState(checklist_, row) != 0; }

void MainWindow::ClearFindings() {
    report_.Clear();
}

bool MainWindow::ConfirmOnMultiBoot(ChecklistRow row) {
    return ShowMessage(hwnd_, MultiBootQuestion(row), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void MainWindow::CategoryDone(ChecklistRow row, int found, int done, int total) {
    const int index = ChecklistIndexOf(row);
    if (index >= 0) {
        std::wstring note = AnsiToWide(LoadText(IDS_CATEGORY_COUNT, {found}));
        LVITEMW sub{};
        sub.iSubItem = 1;
        sub.pszText = &note[0];
        SendMessageW(checklist_, LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&sub));
    }
    if (progress_ && total > 0) {
        SendMessageW(progress_, PBM_SETRANGE32, 0, total);
        SendMessageW(progress_, PBM_SETPOS, static_cast<WPARAM>(done), 0);
    }
}

void MainWindow::ReportEndedEarly(const std::vector<EndedEarly>& ended) { ShowError(hwnd_, EndedEarlyText(ended)); }

// Called after every entry of a walk on the UI thread: cheap unless something waits.
void MainWindow::ProcessMessages() { PauseForMessages(); }

void MainWindow::AddFinding(const Finding& f) { report_.AddFinding(f); }

// --- RepairView ---

int MainWindow::SelectedRow() { return report_.SelectedRow(); }

void MainWindow::SelectRow(int row) { report_.SelectRow(row); }

void MainWindow::RowChanged(int row) { report_.RowChanged(row); }

void MainWindow::RowsAdded() { report_.CatchUp(); }

}  // namespace tw
