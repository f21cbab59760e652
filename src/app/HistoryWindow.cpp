#include "app/HistoryWindow.h"

#include <commctrl.h>

#include "platform/DataFolder.h"
#include "platform/FileSystem.h"
#include "platform/LoadText.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "platform/UiFont.h"
#include "repair/RepairLog.h"
#include "strings.h"

namespace tw {

namespace {

WNDPROC g_editProc = nullptr;
WNDPROC g_headerProc = nullptr;

// A line of the log in the language spoken: the log keeps its keys and action names in Chinese
// whatever language wrote it (they are its format), and in English they are shown in English.
// The records stay as stored, in the language they were written in.
std::wstring ShownLogLine(const std::wstring& line) {
    if (CurrentLanguage() == Language::Chinese) return line;
    const size_t equals = line.find(L'=');
    if (equals == std::wstring::npos) return line;
    const std::wstring key = line.substr(0, equals), value = line.substr(equals + 1);
    if (key == AnsiToWide(LogRecordKey())) return LoadWideText(IDS_LOG_KEY_RECORD) + L"=" + value;
    if (key != AnsiToWide(LogActionKey())) return line;
    static const unsigned kNames[] = {IDS_LOG_ACTION_DELETE,     IDS_LOG_ACTION_NOT_REPAIRED, IDS_LOG_ACTION_UNINSTALL,
                                      IDS_LOG_ACTION_REPAIR_ALL, IDS_LOG_ACTION_BACKUP,       IDS_LOG_ACTION_RESTORE,
                                      IDS_LOG_ACTION_UNDO};
    std::wstring shown = value;
    for (size_t i = 0; i < sizeof kNames / sizeof kNames[0]; ++i)
        if (value == AnsiToWide(LogActionName(kLogActions[i]))) shown = LoadWideText(kNames[i]);
    return LoadWideText(IDS_LOG_KEY_ACTION) + L"=" + shown;
}

// The log as the memo shows it: the file's bytes in the ANSI code page (or UTF-16 when someone
// saved it so), every line ending made CR LF as the edit control wants it, each line in the
// words of the language spoken (ShownLogLine). Empty when unreadable.
std::wstring LoadLogText(const std::string& path) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) return {};

    std::wstring text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text.assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    } else {
        text = AnsiToWide(bytes);
    }
    std::wstring out, line;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c == L'\r' || c == L'\n') {
            out += ShownLogLine(line) + L"\r\n";
            line.clear();
            if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
        } else if (c != L'\0') {
            line += c;
        }
    }
    return out + ShownLogLine(line);
}

// The memo shows the arrow, not the text cursor: it is read, never edited.
LRESULT CALLBACK MemoProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SETCURSOR && LOWORD(lp) == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
        return TRUE;
    }
    return CallWindowProcW(g_editProc, hwnd, msg, wp, lp);
}

// A header without sections is left unpainted by some implementations of the control: give it
// the face colour and the etched lower edge of an empty header strip.
LRESULT CALLBACK HeaderProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_ERASEBKGND) {
        RECT rc;
        GetClientRect(hwnd, &rc);
        HDC dc = reinterpret_cast<HDC>(wp);
        FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
        DrawEdge(dc, &rc, EDGE_ETCHED, BF_BOTTOM);
        return TRUE;
    }
    return CallWindowProcW(g_headerProc, hwnd, msg, wp, lp);
}

// Every control of a class has the class's procedure: one saved copy serves all windows.
void Subclass(HWND control, WNDPROC procedure, WNDPROC& saved) {
    const auto previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
    if (!saved) saved = previous;
}

}  // namespace

HistoryWindow::HistoryWindow(HWND owner) { Create(IDD_HISTORY, owner); }

void HistoryWindow::OnInit() {
    SetIcons(IDI_HISTORY);
    SetAnchors({{IDC_HISTORY_HEADER, kLeft | kTop | kRight},
                {IDC_HISTORY_MEMO, kAll},
                {IDC_HISTORY_PANEL, kLeft | kRight | kBottom},
                {IDC_HISTORY_CLEAR, kRight | kBottom},
                {IDCANCEL, kRight | kBottom}});
    SetMinimumSize(160, 90);
    Subclass(Item(IDC_HISTORY_HEADER), &HeaderProc, g_headerProc);
    Subclass(Memo(), &MemoProc, g_editProc);
    SendMessageW(Memo(), EM_SETLIMITTEXT, 0, 0);

    // The hint of "Clear".
    HWND tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
    AddHint(tooltip, hwnd_, ClearButton(), LoadText(IDS_HISTORY_CLEAR_HINT));
    if (tooltip) SendMessageW(tooltip, WM_SETFONT, SendMessageW(hwnd_, WM_GETFONT, 0, 0), FALSE);
    TakeDialogKeys();
}

void HistoryWindow::Show() {
    if (!hwnd_) return;
    if (IsWindowVisible(hwnd_)) {
        // Already open: it keeps showing the log as it was when it was opened.
        if (IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
        SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        return;
    }
    Reload();
    ShowWindow(hwnd_, SW_SHOW);
    SetFocus(Panel());
}

void HistoryWindow::Reload() {
    SetWindowTextW(Memo(), L"");
    // A missing or unreadable log shows as an empty window, without a message. A log that an
    // older portable use left beside the program comes first: its entries are older.
    std::wstring text;
    std::string where = LoadText(IDS_HISTORY_FOLDER, {DataFolder()});
    for (const std::string& path : RepairLogPaths()) {
        text += LoadLogText(path);
        if (path != RepairLogPath()) where += LoadText(IDS_HISTORY_OLDER);
    }
    SetWindowTextW(Memo(), text.c_str());
    // The strip above the log says where it is kept, in one section as wide as any window.
    std::wstring caption = AnsiToWide(where);
    HDITEMW item{};
    item.mask = HDI_TEXT | HDI_WIDTH | HDI_FORMAT;
    item.fmt = HDF_LEFT | HDF_STRING;
    item.cxy = 4000;
    item.pszText = &caption[0];
    if (SendMessageW(Item(IDC_HISTORY_HEADER), HDM_GETITEMCOUNT, 0, 0) > 0)
        SendMessageW(Item(IDC_HISTORY_HEADER), HDM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    else
        SendMessageW(Item(IDC_HISTORY_HEADER), HDM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

void HistoryWindow::ParkFocus() {
    // The memo never shows a caret: the focus goes to the bottom panel; it still scrolls.
    SetFocus(Panel());
}

void HistoryWindow::ClearLog() {
    // Clearing is one key press away (Ctrl+C): each cleared log stays beside it as
    // "Repair.log.bak", replacing the one kept at the previous clear. When it cannot be kept,
    // the log is not cleared either. The log is the only record of what repairs deleted: the
    // user is asked first, and the default answer keeps it.
    bool any = false;
    for (const std::string& path : RepairLogPaths()) any = any || FileExists(path);
    if (!any) return;
    // Ctrl+C in the main window clears with this window hidden: the main window owns the box.
    HWND owner = IsWindowVisible(hwnd_) ? hwnd_ : GetWindow(hwnd_, GW_OWNER);
    if (ShowMessage(owner, LoadText(IDS_ASK_CLEAR_HISTORY),
                    MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2) != IDOK)
        return;
    bool cleared = false;
    for (const std::string& path : RepairLogPaths())
        if (FileExists(path) &&
            MoveFileExA(path.c_str(), (path + ".bak").c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
            cleared = true;
    if (cleared) Reload();
}

void HistoryWindow::Hide() {
    if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

void HistoryWindow::OnCommand(int id, int code) {
    if (id == IDC_HISTORY_MEMO && code == EN_SETFOCUS)
        ParkFocus();
    else if (id == IDC_HISTORY_CLEAR && code == BN_CLICKED)
        ClearLog();
    else if (id == IDCANCEL)
        Hide();
}

bool HistoryWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    // The focus sits on the panel; the wheel still scrolls the memo.
    if (msg != WM_MOUSEWHEEL || !Memo()) return false;
    SendMessageW(Memo(), msg, wp, lp);
    return true;
}

}  // namespace tw
