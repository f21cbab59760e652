#include "app/IgnoreWindow.h"

#include <commctrl.h>

#include "platform/ListColumns.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "platform/UiFont.h"
#include "resource.h"

namespace tw {

namespace {

const wchar_t kClass[] = L"TarnwellIgnoreWindow";
const int kWidth = 620;
const int kHeight = 360;
const int kButtonWidth = 75;
const int kButtonHeight = 25;
const int kMargin = 8;
const int kRemoveId = 101;
// "关闭" answers Esc as well, through IsDialogMessage's IDCANCEL.
const int kCloseId = IDCANCEL;

}  // namespace

IgnoreWindow::IgnoreWindow(HWND owner, IgnoreList& list) : list_(list) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    HINSTANCE inst = GetModuleHandleW(nullptr);
    HICON icon = static_cast<HICON>(LoadImageW(inst, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_SHARED));
    HICON smallIcon = static_cast<HICON>(LoadImageW(inst, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                                    GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                                    LR_SHARED));
    RegisterClassOnce({kClass, icon, smallIcon});
    font_.reset(CreateUiFont());
    const int x = (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
    if (CreateFor(WS_EX_CONTROLPARENT, kClass, AnsiToWide("忽略列表").c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                  x, y, kWidth, kHeight, owner)) {
        CreateChildren();
        LayOut();
        TakeDialogKeys();
    }
}

IgnoreWindow::~IgnoreWindow() = default;

void IgnoreWindow::CreateChildren() {
    HINSTANCE inst = GetModuleHandleW(nullptr);
    list_view_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                                 WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS, 0, 0, 0, 0,
                                 hwnd_, nullptr, inst, nullptr);
    SendMessageW(list_view_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    AddListColumns(list_view_, {{"项目", 150}, {"位置", 300}, {"键名", 120}});
    remove_ = CreateWindowExW(0, L"BUTTON", AnsiToWide("移除").c_str(),
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, kButtonWidth, kButtonHeight,
                              hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kRemoveId)), inst, nullptr);
    close_ = CreateWindowExW(0, L"BUTTON", AnsiToWide("关闭").c_str(),
                             WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, kButtonWidth, kButtonHeight,
                             hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCloseId)), inst, nullptr);
    const WPARAM font = reinterpret_cast<WPARAM>(font_.get());
    for (HWND w : {list_view_, remove_, close_}) SendMessageW(w, WM_SETFONT, font, FALSE);
}

void IgnoreWindow::LayOut() {
    RECT rc;
    GetClientRect(hwnd_, &rc);
    const int w = rc.right, h = rc.bottom;
    const int bar = kButtonHeight + 2 * kMargin;
    MoveWindow(list_view_, 0, 0, w, h > bar ? h - bar : 0, TRUE);
    const int top = h - kMargin - kButtonHeight;
    MoveWindow(close_, w - kMargin - kButtonWidth, top, kButtonWidth, kButtonHeight, TRUE);
    MoveWindow(remove_, w - 2 * (kMargin + kButtonWidth), top, kButtonWidth, kButtonHeight, TRUE);
}

void IgnoreWindow::Fill() {
    SendMessageW(list_view_, LVM_DELETEALLITEMS, 0, 0);
    int row = 0;
    for (const IgnoredObject& o : list_.Items()) {
        const std::wstring texts[] = {AnsiToWide(o.caption), AnsiToWide(o.location), AnsiToWide(o.keyName)};
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = const_cast<wchar_t*>(texts[0].c_str());
        const int at = static_cast<int>(SendMessageW(list_view_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        for (int sub = 1; sub < 3; ++sub) {
            LVITEMW s{};
            s.iSubItem = sub;
            s.pszText = const_cast<wchar_t*>(texts[sub].c_str());
            SendMessageW(list_view_, LVM_SETITEMTEXTW, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&s));
        }
        ++row;
    }
    UpdateButtons();
}

void IgnoreWindow::UpdateButtons() {
    EnableWindow(remove_, SendMessageW(list_view_, LVM_GETSELECTEDCOUNT, 0, 0) > 0);
}

void IgnoreWindow::Show() {
    if (!hwnd_) return;
    Fill();
    if (IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    SetFocus(list_view_);
}

void IgnoreWindow::RemoveSelected() {
    // The rows show the list in its order, so row i is item i.
    std::vector<IgnoredObject> chosen;
    const std::vector<IgnoredObject>& items = list_.Items();
    for (int i = -1; (i = static_cast<int>(SendMessageW(list_view_, LVM_GETNEXTITEM, static_cast<WPARAM>(i),
                                                         LVNI_SELECTED))) >= 0;)
        if (static_cast<size_t>(i) < items.size()) chosen.push_back(items[static_cast<size_t>(i)]);
    if (chosen.empty()) return;
    const bool saved = list_.Remove(chosen);
    Fill();
    if (!saved)
        ShowMessage(hwnd_, "无法写入忽略列表文件“" + list_.Path() + "”，移除的项目在下次启动后仍将被忽略。",
                    MB_OK | MB_ICONERROR);
}

void IgnoreWindow::Close() {
    if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

LRESULT IgnoreWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_SIZE:
            if (list_view_) LayOut();
            return 0;
        case WM_COMMAND:
            if (LOWORD(wp) == kRemoveId && HIWORD(wp) == BN_CLICKED) {
                RemoveSelected();
                return 0;
            }
            if (LOWORD(wp) == kCloseId) {
                Close();
                return 0;
            }
            return 0;
        case WM_NOTIFY: {
            const NMHDR* n = reinterpret_cast<const NMHDR*>(lp);
            if (n->hwndFrom == list_view_ && n->code == LVN_ITEMCHANGED) UpdateButtons();
            if (n->hwndFrom == list_view_ && n->code == LVN_KEYDOWN &&
                reinterpret_cast<const NMLVKEYDOWN*>(lp)->wVKey == VK_DELETE)
                RemoveSelected();
            return 0;
        }
        case WM_CLOSE:
            Close();
            return 0;
    }
    return WindowBase::OnMessage(msg, wp, lp);
}

}  // namespace tw
