// The main window in the language the program speaks: the texts of its own controls, and the
// switch of the Language menu.
#include "app/MainWindow.h"
#include "app/HtmlHelp.h"
#include "app/MainWindowLayout.h"
#include "app/RepairCommands.h"
#include "platform/LoadText.h"
#include "platform/Text.h"
#include "platform/UiFont.h"
#include "scan/Settings.h"
#include "strings.h"
#include "version.h"

namespace tw {

using namespace window_layout;

namespace {

BOOL CALLBACK SetFontOf(HWND child, LPARAM font) {
    SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
    return TRUE;
}

}  // namespace

Guide GuideOfLanguage() {
    return GuideFor(CurrentLanguage() == Language::English ? GuideLanguage::English : GuideLanguage::Chinese);
}

void MainWindow::WordControls() {
    SetControlText(checklistLabel_, LoadText(IDS_CHECKLIST_LABEL));
    // The select-all button and the scan button say what they do next: they keep their state.
    wchar_t buf[32] = {};
    GetWindowTextW(selectAll_, buf, 32);
    SetControlText(selectAll_, LoadText(IsTextOf(WideToAnsi(buf), IDS_SELECT_ALL) ? IDS_SELECT_ALL : IDS_SELECT_NONE));
    const bool scanning = !ScanCaptionIsStart();
    const unsigned captions[4] = {scanning ? unsigned{IDS_BUTTON_STOP} : unsigned{IDS_BUTTON_SCAN}, IDS_BUTTON_REPAIR,
                                  IDS_BUTTON_REPAIR_ALL, IDS_BUTTON_EXIT};
    const unsigned hints[4] = {IDS_HINT_SCAN, IDS_HINT_REPAIR_ROW, IDS_HINT_REPAIR_ALL, IDS_HINT_EXIT};
    const HWND buttons[4] = {scanButton_, repairButton_, repairAllButton_, exitButton_};
    for (int i = 0; i < 4; ++i) {
        SetControlText(buttons[i], LoadText(captions[i]));
        SetHint(tooltip_, hwnd_, buttons[i], LoadText(hints[i]));
    }
    // The tool buttons are as wide as the longest caption of the language needs, and no narrower
    // than the window's design gives them.
    int widest = 0;
    const HDC dc = GetDC(toolBar_);
    const HGDIOBJ oldFont = SelectObject(dc, font_.get());
    for (const ToolButtonDef& d : kToolButtons) {
        if (!d.caption) continue;
        std::wstring text = LoadWideText(d.id == IDM_SCAN && scanning ? IDS_TOOL_STOP : d.caption);
        SIZE size{};
        if (GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size) && size.cx > widest)
            widest = size.cx;
        TBBUTTONINFOW info{};
        info.cbSize = sizeof info;
        info.dwMask = TBIF_TEXT;
        info.pszText = &text[0];
        SendMessageW(toolBar_, TB_SETBUTTONINFOW, d.id, reinterpret_cast<LPARAM>(&info));
    }
    SelectObject(dc, oldFont);
    ReleaseDC(toolBar_, dc);
    const int width = widest + 6 > kToolButtonWidth ? widest + 6 : kToolButtonWidth;
    if (LOWORD(SendMessageW(toolBar_, TB_GETBUTTONSIZE, 0, 0)) != width) {
        SendMessageW(toolBar_, TB_SETBUTTONSIZE, 0, MAKELPARAM(width, kToolButtonHeight));
        SendMessageW(toolBar_, TB_AUTOSIZE, 0, 0);
    }
    report_.WordColumns();
}

void MainWindow::SwitchLanguage(Language language) {
    if (language == CurrentLanguage() || (language == Language::Chinese && !CanShowChinese())) return;
    SetCurrentLanguage(language);
    session_.settings.language = LanguageCode(language);
    try {
        SaveLanguage(IniPath(), session_.settings.language);
    } catch (const std::exception&) {
        // A settings file that cannot be written keeps the choice for this run only.
    }

    // The font of the language, on every control that had the old one.
    UniqueGdiObject font(CreateUiFont());
    EnumChildWindows(hwnd_, &SetFontOf, reinterpret_cast<LPARAM>(font.get()));
    font_ = std::move(font);

    // The menus as loaded, then in the state the window is in.
    const bool scanning = !ScanCaptionIsStart();
    menus_->Load(hwnd_, smallImages_.get());
    if (scanning) menus_->SetCaption(IDM_SCAN, LoadText(IDS_BUTTON_STOP));
    menus_->EnableRowCommands(IsWindowEnabled(repairAllButton_) != FALSE, true);
    UpdateRowItems();
    DrawMenuBar(hwnd_);
    WordControls();

    // The checklist's rows in the new words, ticks kept.
    const std::vector<ChecklistItem> worded = BuildChecklist(session_.os.Family(), session_.windowsDir);
    for (size_t i = 0; i < session_.checklist.size(); ++i) {
        ChecklistItem& item = session_.checklist[i];
        for (const ChecklistItem& w : worded)
            if (w.row == item.row) item.caption = w.caption, item.note = w.note;
        for (int column = 0; column < 2; ++column) {
            std::wstring text = AnsiToWide(column == 0 ? item.caption : item.note);
            LVITEMW sub{};
            sub.iSubItem = column;
            sub.pszText = &text[0];
            SendMessageW(checklist_, LVM_SETITEMTEXTW, i, reinterpret_cast<LPARAM>(&sub));
        }
    }
    if (driver_->Idle() && findings_.Count() == 0) SetStatus(LoadText(IDS_STATUS_READY, {TW_VERSION_STR}));
    menus_->UseGuide(GuideOfLanguage());
    repair_->RemakeHistory();
    rows_.RemakeIgnoreWindow();
    OnSize();
    InvalidateRect(hwnd_, nullptr, TRUE);
}

}  // namespace tw
