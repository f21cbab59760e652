// The main window: wires the controls to the commands and owns the long-lived objects (the
// Findings, the scan driver, repair). The commands' logic lives in their own units.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <memory>
#include <string>
#include <vector>

#include "app/IgnoreWindow.h"
#include "app/MenuCommands.h"
#include "app/ReportListView.h"
#include "app/RowCommands.h"
#include "platform/ImageListHandle.h"
#include "platform/MessagePump.h"
#include "platform/WindowBase.h"
#include "repair/RepairView.h"
#include "resource.h"
#include "scan/ScanSession.h"
#include "scanners/FindingList.h"
#include "scanners/IgnoreList.h"
#include "scanners/ScanSink.h"

namespace tw {

class RepairCommands;
struct Guide;
enum class Language;

// The guide in the language the program speaks (app/HtmlHelp.h).
Guide GuideOfLanguage();

// The main window's own controls. The commands (menu items, shortcuts, tool buttons) carry the
// resource's IDM_* numbers; the controls are numbered after the last of them.
enum ControlId : UINT {
    ID_SCAN_BUTTON = IDM_DETAILS + 1,  // Scan / Stop
    ID_REPAIR_BUTTON,  // Repair
    ID_REPAIR_ALL_BUTTON,  // Repair All
    ID_EXIT_BUTTON,  // Exit
    ID_SELECTALL,
    ID_CHECKLIST,
    ID_REPORT_LIST,
    ID_STATUS_BAR,
    ID_TOOLBAR,
};

// Lets another program close this one.
constexpr UINT kCloseMessage = WM_USER + 1300;  // 2324

class MainWindow : public WindowBase, public ScanView, public RepairView, public ScanSink {
public:
    MainWindow();
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window (and everything window creation sets up). False when the program
    // must end (no Windows directory, or the window could not be made).
    bool Create(HINSTANCE instance);
    // Shows the window as the settings say.
    void Show();
    // Message-loop filter: the main window's accelerators.
    bool PreTranslate(MSG* msg);

    FindingList& Findings() { return findings_; }
    ScanDriver& Driver() { return *driver_; }
    const OsInfo& OSInfo() const { return session_.os; }
    HWND Checklist() const { return checklist_; }
    HWND ReportList() const { return reportList_; }
    HWND StatusBar() const { return statusBar_; }
    HWND Control(UINT id) const;
    HMENU MainMenu() const { return menus_ ? menus_->MainMenu() : nullptr; }
    HMENU PopupMenu() const { return menus_ ? menus_->PopupMenu() : nullptr; }
    HWND ToolBar() const { return toolBar_; }
    HACCEL Shortcuts() const { return menus_ ? menus_->Shortcuts() : nullptr; }
    HtmlHelp* Help() const { return menus_ ? menus_->Help() : nullptr; }
    bool MultiBoot() const { return driver_ && driver_->MultiBoot(); }
    const WindowSettings& Settings() const { return session_.settings; }
    std::string StatusText() const;
    // Runs a command as if its control had been clicked.
    void Command(UINT id);
    // The select-all button.
    void SelectAllClick();
    // The row commands ("Ignore This Item", "Open...", "Export Report...", the ignore-list window).
    void IgnoreSelected() { rows_.IgnoreSelected(); }
    void OpenSelected() { rows_.OpenSelected(); }
    void ExportReport() { rows_.ExportReport(); }
    void ShowIgnoreWindow() { rows_.ShowIgnoreWindow(); }
    // The details window of the selected row; its buttons act on that row.
    void ShowDetails();
    // The popup's row items follow the selected row: enabled with one, and worded for its kind.
    void UpdateRowItems() { rows_.UpdatePopupItems(PopupMenu(), driver_ && driver_->Idle()); }
    // Null until the ignore list is first shown.
    IgnoreWindow* IgnoreListWindow() const { return rows_.IgnoreListWindow(); }
    const IgnoreList& Ignored() const { return ignored_; }
    // Selects a report-list row (-1: none).
    void SelectRow(int row);
    // The Language menu: the window speaks `language` at once (menus, controls, the small
    // windows; rows already in the report keep the words they were found with) and Set.ini
    // keeps the choice for the next start and the console scanner. Chinese is refused where the
    // code page cannot show it.
    void SwitchLanguage(Language language);

    // ScanView
    bool ScanCaptionIsStart() override;
    void SetScanCaptions(bool scanning) override;
    void ResetScanHints() override;
    void SetSelectAllEnabled(bool on) override;
    void SetRepairControls(bool on) override;
    void SetStatus(const std::string& text) override;
    int ChecklistRowCount() override;
    int ChecklistIndexOf(ChecklistRow row) override;
    bool IsRowTicked(int row) override;
    int FindingCount() override { return findings_.Count(); }
    void ClearFindings() override;
    ScanSink& Sink() override { return *this; }
    void ProcessMessages() override;
    // The owner of the questions, the history and the progress window (ScanView and RepairView).
    HWND OwnerWindow() override { return hwnd_; }
    bool ConfirmOnMultiBoot(ChecklistRow row) override;
    void ReportEndedEarly(const std::vector<EndedEarly>& ended) override;
    void CategoryDone(ChecklistRow row, int found, int done, int total) override;

    // RepairView
    int SelectedRow() override;
    void RowChanged(int row) override;
    void RowsAdded() override;
    void SetRepairControls(bool on, bool popupToo) override;

    // ScanSink: Findings and status texts of the scan, on the UI thread.
    void AddFinding(const Finding& f) override;
    void ShowStatus(const std::string& text) override;

private:
    static LRESULT CALLBACK PanelProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void RunCommand(UINT id);
    void OnCreate();
    void OnShow();
    void OnClose();
    void OnDestroy();
    void OnSize();
    LRESULT OnNotify(NMHDR* hdr);
    void LayoutChecklistPanel();
    void CreateControls();
    void CreateToolBar();
    void FillChecklist();
    // Puts the texts of the language spoken on the window's own controls.
    void WordControls();
    // The ticks of the checklist as the last run left them (Set.ini), and their saving.
    void RestoreTicks();
    void SaveTicks();
    void SetControlText(HWND control, const std::string& text);
    // The checklist's note column as the table has it (before a scan's counts), and the
    // status bar's parts with the progress bar in the second.
    void ResetNotes();
    void LayoutStatusBar();
    std::string IniPath() const;
    void SetStatusText(const std::string& text);
    // True while a repair, backup or restore runs: the list and the commands stay as they are.
    bool RepairRunning() const;
    // Carries out a close that arrived while a repair ran.
    void CloseIfAskedDuringRepair();

    HINSTANCE instance_ = nullptr;
    HWND toolBar_ = nullptr, checklistPanel_ = nullptr, buttonPanel_ = nullptr, checklistLabel_ = nullptr;
    HWND checklist_ = nullptr, selectAll_ = nullptr, reportList_ = nullptr, statusBar_ = nullptr;
    HWND scanButton_ = nullptr, repairButton_ = nullptr, repairAllButton_ = nullptr, exitButton_ = nullptr;
    HWND tooltip_ = nullptr;
    HWND progress_ = nullptr;  // in the status bar: the categories of the running scan done
    UniqueImageList smallImages_, toolImages_, toolHotImages_;
    UniqueGdiObject font_;

    ScanSession session_;
    HWND desktop_ = nullptr;
    // The objects no scan reports and no repair touches; loaded at creation. Declared before
    // everything that reads it, so that it outlives them.
    IgnoreList ignored_;
    FindingList findings_;
    std::unique_ptr<ScanDriver> driver_;
    std::unique_ptr<RepairCommands> repair_;
    std::unique_ptr<MenuCommands> menus_;
    ReportListView report_{findings_};
    RowCommands rows_{findings_, report_, ignored_, *this};
    bool closing_ = false;
    bool closeAfterScan_ = false;
    bool closeAfterRepair_ = false;
    bool shown_ = false;
    HWND lastFocus_ = nullptr;  // the control with the keyboard when the window was left
    std::unique_ptr<ScopedMessageFilter> keys_;  // the accelerators in every pump
};

}  // namespace tw
