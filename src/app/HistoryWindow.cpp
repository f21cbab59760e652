#include "app/HistoryWindow.h"

#include <commctrl.h>
#include <cstdio>
#include <vector>

#include "platform/UiFont.h"
#include "platform/DataFolder.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "repair/RepairLog.h"
#include "resource.h"

namespace tw {

namespace {

const wchar_t kFormClass[] = L"TarnwellHistoryWindow";
const wchar_t kPanelClass[] = L"TarnwellHistoryPanel";
const int kFormWidth = 544;
const int kFormHeight = 384;
const int kHeaderHeight = 17;
const int kPanel1Height = 40;
const int kPanel2Width = 185;
const int kClearId = 101;
// "退出" answers Esc as well, through IsDialogMessage's IDCANCEL.
const int kExitId = IDCANCEL;

// The log as the memo shows it: the file's bytes in the ANSI code page (or UTF-16 when someone
// saved it so), every line ending made CR LF as the edit control wants it. Empty when unreadable.
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
    std::wstring out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c == L'\r') {
            out += L"\r\n";
            if (i + 1 < text.size() && text[i + 1] == L'\n') ++i;
        } else if (c == L'\n') {
            out += L"\r\n";
        } else if (c != L'\0') {
            out += c;
        }
    }
    return out;
}

}  // namespace

TForm2::TForm2(HWND owner) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    HINSTANCE inst = GetModuleHandleW(nullptr);
    HICON icon = static_cast<HICON>(LoadImageW(inst, MAKEINTRESOURCEW(IDI_HISTORY), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXICON),
                                               GetSystemMetrics(SM_CYICON), LR_SHARED));
    HICON smallIcon = static_cast<HICON>(
        LoadImageW(inst, MAKEINTRESOURCEW(IDI_HISTORY), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                   GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    RegisterClassOnce({kFormClass, icon, smallIcon});
    RegisterClassOnce({kPanelClass, nullptr, nullptr, 0, &TForm2::PanelProc});
    font_.reset(CreateUiFont());

    const int x = (GetSystemMetrics(SM_CXSCREEN) - kFormWidth) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - kFormHeight) / 2;
    if (CreateFor(WS_EX_TOPMOST | WS_EX_CONTROLPARENT, kFormClass,
                  AnsiToWide("历史日志管理").c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, x, y,
                  kFormWidth, kFormHeight, owner)) {
        CreateChildren();
        LayOut();
        TakeDialogKeys();
    }
}

TForm2::~TForm2() {
    if (hwnd_) DestroyWindow(hwnd_);
}

void TForm2::CreateChildren() {
    HINSTANCE inst = GetModuleHandleW(nullptr);
    const WPARAM font = reinterpret_cast<WPARAM>(font_.get());
    header_ = CreateWindowExW(0, WC_HEADERW, L"", WS_CHILD | WS_VISIBLE | HDS_HORZ, 0, 0, 0, 0,
                              hwnd_, nullptr, inst, nullptr);
    SetWindowLongPtrW(header_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    headerDefault_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(header_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TForm2::HeaderProc)));
    memo_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                            WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                                ES_AUTOVSCROLL | ES_NOHIDESEL,
                            0, 0, 0, 0, hwnd_, nullptr, inst, nullptr);
    SendMessageW(memo_, EM_SETLIMITTEXT, 0, 0);
    SetWindowLongPtrW(memo_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    memoDefault_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(memo_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TForm2::MemoProc)));
    panel1_ = CreateWindowExW(WS_EX_CONTROLPARENT, kPanelClass, L"", WS_CHILD | WS_VISIBLE, 0, 0,
                              0, 0, hwnd_, nullptr, inst, nullptr);
    panel2_ = CreateWindowExW(WS_EX_CONTROLPARENT, kPanelClass, L"", WS_CHILD | WS_VISIBLE, 0, 0,
                              kPanel2Width, kPanel1Height, panel1_, nullptr, inst, nullptr);
    clear_ = CreateWindowExW(0, L"BUTTON", AnsiToWide("清空").c_str(),
                             WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 20, 9, 75, 25,
                             panel2_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kClearId)), inst,
                             nullptr);
    exit_ = CreateWindowExW(0, L"BUTTON", AnsiToWide("退出").c_str(),
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 103, 9, 75, 25,
                            panel2_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kExitId)), inst,
                            nullptr);
    for (HWND w : {header_, memo_, clear_, exit_}) SendMessageW(w, WM_SETFONT, font, FALSE);

    // The hint of "清空".
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                               nullptr, inst, nullptr);
    AddHint(tooltip_, panel2_, clear_, "清空历史日志");
    if (tooltip_) SendMessageW(tooltip_, WM_SETFONT, font, FALSE);
}

void TForm2::LayOut() {
    RECT rc;
    GetClientRect(hwnd_, &rc);
    const int w = rc.right, h = rc.bottom;
    const int memoHeight = h - kHeaderHeight - kPanel1Height;
    MoveWindow(header_, 0, 0, w, kHeaderHeight, TRUE);
    MoveWindow(memo_, 0, kHeaderHeight, w, memoHeight > 0 ? memoHeight : 0, TRUE);
    MoveWindow(panel1_, 0, h - kPanel1Height, w, kPanel1Height, TRUE);
    MoveWindow(panel2_, w - kPanel2Width, 0, kPanel2Width, kPanel1Height, TRUE);
}

void TForm2::Show() {
    if (!hwnd_) return;
    if (IsWindowVisible(hwnd_)) {
        // Already open: it keeps showing the log as it was when it was opened.
        if (IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
        SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        return;
    }
    FormShow();
    ShowWindow(hwnd_, SW_SHOW);
    SetFocus(panel1_);
}

void TForm2::FormShow() {
    SetWindowTextW(memo_, L"");
    // A missing or unreadable log shows as an empty window, without a message. A log that an
    // older portable use left beside the program comes first: its entries are older.
    std::wstring text;
    std::string where = "日志文件夹：" + DataFolder();
    for (const std::string& path : RepairLogPaths()) {
        text += LoadLogText(path);
        if (path != RepairLogPath()) where += "（以及程序文件夹中以前的日志）";
    }
    SetWindowTextW(memo_, text.c_str());
    // The strip above the log says where it is kept, in one section as wide as any window.
    std::wstring caption = AnsiToWide(where);
    HDITEMW item{};
    item.mask = HDI_TEXT | HDI_WIDTH | HDI_FORMAT;
    item.fmt = HDF_LEFT | HDF_STRING;
    item.cxy = 4000;
    item.pszText = &caption[0];
    if (SendMessageW(header_, HDM_GETITEMCOUNT, 0, 0) > 0)
        SendMessageW(header_, HDM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    else
        SendMessageW(header_, HDM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

void TForm2::Memo1Enter() {
    // The memo never shows a caret: the focus goes to the bottom panel; it still scrolls.
    SetFocus(panel1_);
}

void TForm2::FlatButton1Click() {
    // Clearing is one key press away (Ctrl+C): each cleared log stays beside it as
    // "Repair.log.bak", replacing the one kept at the previous clear. When it cannot be kept,
    // the log is not cleared either.
    bool cleared = false;
    for (const std::string& path : RepairLogPaths())
        if (FileExists(path) &&
            MoveFileExA(path.c_str(), (path + ".bak").c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
            cleared = true;
    if (cleared) FormShow();
}

void TForm2::Button1Click() {
    if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

// The panels only hold the buttons: their commands go up to the window.
LRESULT CALLBACK TForm2::PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND || msg == WM_NOTIFY) return SendMessageW(GetParent(hwnd), msg, wp, lp);
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK TForm2::MemoProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<TForm2*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    WNDPROC base = self ? self->memoDefault_ : DefWindowProcW;
    if (msg == WM_SETCURSOR && LOWORD(lp) == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
        return TRUE;
    }
    return CallWindowProcW(base, hwnd, msg, wp, lp);
}

// A header without sections is left unpainted by some implementations of the control: give it
// the face colour and the etched lower edge of an empty header strip.
LRESULT CALLBACK TForm2::HeaderProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<TForm2*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    WNDPROC base = self ? self->headerDefault_ : DefWindowProcW;
    if (msg == WM_ERASEBKGND) {
        RECT rc;
        GetClientRect(hwnd, &rc);
        HDC dc = reinterpret_cast<HDC>(wp);
        FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
        DrawEdge(dc, &rc, EDGE_ETCHED, BF_BOTTOM);
        return TRUE;
    }
    return CallWindowProcW(base, hwnd, msg, wp, lp);
}

LRESULT TForm2::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    HWND hwnd = hwnd_;
    switch (msg) {
        case WM_SIZE:
            if (memo_) LayOut();
            return 0;
        case WM_COMMAND:
            if (reinterpret_cast<HWND>(lp) == memo_ && memo_ && HIWORD(wp) == EN_SETFOCUS) {
                Memo1Enter();
                return 0;
            }
            if (LOWORD(wp) == kClearId && HIWORD(wp) == BN_CLICKED) {
                FlatButton1Click();
                return 0;
            }
            if (LOWORD(wp) == kExitId) {
                Button1Click();
                return 0;
            }
            return 0;
        case WM_MOUSEWHEEL:
            // The focus sits on the panel; the wheel still scrolls the memo.
            if (memo_) return SendMessageW(memo_, msg, wp, lp);
            break;
        case WM_CLOSE:
            Button1Click();
            return 0;
        case WM_NCDESTROY:
            header_ = memo_ = panel1_ = panel2_ = clear_ = exit_ = tooltip_ = nullptr;
            break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace tw
