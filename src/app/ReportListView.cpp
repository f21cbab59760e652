#include "app/ReportListView.h"

#include <vector>

#include "platform/ListColumns.h"
#include "platform/Text.h"

namespace tw {

namespace {

// While a scan runs, new rows and progress texts reach the screen at most this often: the list
// grows visibly, the status line stays live, and painting costs the scan next to nothing.
const DWORD kScreenPaceMs = 250;
const UINT_PTR kScreenTimer = 1;

}  // namespace

void ReportListView::Attach(HWND owner, HWND list, HIMAGELIST images) {
    owner_ = owner;
    list_ = list;
    ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT);
    AttachCellTips();
    ListView_SetImageList(list_, images, LVSIL_SMALL);
    ListView_SetBkColor(list_, RGB(255, 255, 255));
    AddListColumns(list_, {{"项目", 150}, {"位置", 150}, {"键名", 60}, {"说明", 231}});
}

bool ReportListView::OnNotify(NMHDR* hdr) {
    if (!list_ || hdr->hwndFrom != list_) return false;
    switch (hdr->code) {
        case LVN_GETDISPINFOW: {
            auto* di = reinterpret_cast<NMLVDISPINFOW*>(hdr);
            if (di->item.iItem < 0 || di->item.iItem >= findings_.Count()) return true;
            const Finding& f = findings_.At(di->item.iItem);
            if (di->item.mask & LVIF_TEXT) {
                dispText_ = AnsiToWide(CellText(di->item.iItem, di->item.iSubItem));
                lstrcpynW(di->item.pszText, dispText_.c_str(), di->item.cchTextMax);
            }
            if (di->item.mask & LVIF_IMAGE) di->item.iImage = f.image;
            return true;
        }
        case LVN_KEYDOWN: {
            // Ctrl+A selects every row, as in every list that takes more than one.
            auto* key = reinterpret_cast<NMLVKEYDOWN*>(hdr);
            if (key->wVKey == 'A' && (GetKeyState(VK_CONTROL) & 0x8000)) {
                CatchUp();
                ListView_SetItemState(list_, -1, LVIS_SELECTED, LVIS_SELECTED);
            }
            return true;
        }
        case NM_DBLCLK:
        case NM_RETURN: {
            // The row clicked, or the focused one when it is chosen; else the first chosen.
            int row = hdr->code == NM_DBLCLK ? reinterpret_cast<NMITEMACTIVATE*>(hdr)->iItem
                                             : ListView_GetNextItem(list_, -1, LVNI_FOCUSED | LVNI_SELECTED);
            if (row < 0) row = SelectedRow();
            if (row >= 0 && row < findings_.Count() && openRow_) openRow_(row);
            return true;
        }
        case LVN_COLUMNCLICK:
            SortBy(reinterpret_cast<NMLISTVIEW*>(hdr)->iSubItem);
            return true;
    }
    return false;
}

// The cell under the mouse shows its whole text in a tip when its column cuts it. The list is
// subclassed for its mouse moves; the tip follows the mouse over the list by itself.
void ReportListView::AttachCellTips() {
    tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0,
                           0, 0, owner_, nullptr, nullptr, nullptr);
    if (!tip_) return;
    TOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_SUBCLASS;
    ti.hwnd = list_;
    ti.rect = {0, 0, 32767, 32767};
    ti.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    // Long texts wrap instead of running off the screen.
    SendMessageW(tip_, TTM_SETMAXTIPWIDTH, 0, 600);
    SetPropW(list_, kSelfProp, this);
    listProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(list_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ReportListView::ListProc)));
}

LRESULT CALLBACK ReportListView::ListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = static_cast<ReportListView*>(GetPropW(hwnd, kSelfProp));
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    const WNDPROC next = self->listProc_;
    if (msg == WM_MOUSEMOVE) self->TrackCell(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
    // What lies under the mouse changes without a move: the tip goes until the next one.
    if (msg == WM_KEYDOWN || msg == WM_VSCROLL || msg == WM_HSCROLL || msg == WM_MOUSEWHEEL) self->DropCellTip();
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(next));
        RemovePropW(hwnd, kSelfProp);
    }
    return CallWindowProcW(next, hwnd, msg, wp, lp);
}

void ReportListView::DropCellTip() {
    tipRow_ = tipColumn_ = -1;
    tipText_.clear();
    TOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.hwnd = list_;
    ti.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
    SendMessageW(tip_, TTM_POP, 0, 0);
}

void ReportListView::TrackCell(int x, int y) {
    LVHITTESTINFO hit{};
    hit.pt = {x, y};
    const int row = static_cast<int>(SendMessageW(list_, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (row == tipRow_ && hit.iSubItem == tipColumn_) return;
    tipRow_ = row;
    tipColumn_ = hit.iSubItem;
    std::wstring text;
    if (row >= 0 && row < findings_.Count()) {
        std::wstring cell = AnsiToWide(CellText(row, hit.iSubItem));
        const int need = static_cast<int>(SendMessageW(list_, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(cell.c_str())));
        // The first column's icon and the cells' margins.
        const int room = ListView_GetColumnWidth(list_, hit.iSubItem) - (hit.iSubItem == 0 ? 30 : 12);
        if (need > room) text.swap(cell);
    }
    tipText_ = text;
    TOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.hwnd = list_;
    ti.lpszText = &tipText_[0];
    SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
    if (tipText_.empty()) SendMessageW(tip_, TTM_POP, 0, 0);
}

const wchar_t ReportListView::kSelfProp[] = L"TarnwellReportList";

void ReportListView::SortBy(int column) {
    // A repair that lets messages run works on these rows: they keep their order.
    if (sortRefused_ && sortRefused_()) return;
    CatchUp();
    // The first click sorts descending, a second on the same column reverses.
    sortAscending_ = column == sortColumn_ && !sortAscending_;
    sortColumn_ = column;
    const std::vector<int> selected = SelectedRows();
    const int focused = ListView_GetNextItem(list_, -1, LVNI_FOCUSED);
    std::vector<int> order = findings_.SortByColumn(column, sortAscending_);
    // The selection follows its rows.
    std::vector<int> where(order.size());
    for (size_t i = 0; i < order.size(); ++i) where[static_cast<size_t>(order[i])] = static_cast<int>(i);
    ListView_SetItemState(list_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    for (int old : selected)
        if (old >= 0 && static_cast<size_t>(old) < where.size())
            ListView_SetItemState(list_, where[static_cast<size_t>(old)], LVIS_SELECTED, LVIS_SELECTED);
    if (focused >= 0 && static_cast<size_t>(focused) < where.size())
        ListView_SetItemState(list_, where[static_cast<size_t>(focused)], LVIS_FOCUSED, LVIS_FOCUSED);
    ShowSortArrow();
    InvalidateRect(list_, nullptr, FALSE);
}

void ReportListView::ShowSortArrow() {
    HWND header = ListView_GetHeader(list_);
    const int n = header ? Header_GetItemCount(header) : 0;
    for (int i = 0; i < n; ++i) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        if (!SendMessageW(header, HDM_GETITEMW, i, reinterpret_cast<LPARAM>(&item))) continue;
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (i == sortColumn_) item.fmt |= sortAscending_ ? HDF_SORTUP : HDF_SORTDOWN;
        SendMessageW(header, HDM_SETITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
}

std::string ReportListView::CellText(int row, int column) const {
    const std::string& text = FindingList::ColumnText(findings_.At(row), column);
    return column == 3 ? RowMark(row) + text : text;
}

void ReportListView::SetRowMark(int row, const std::string& mark) {
    if (row < 0 || row >= findings_.Count()) return;
    if (mark.empty())
        marks_.erase(findings_.IdAt(row));
    else
        marks_[findings_.IdAt(row)] = mark;
    RowChanged(row);
}

const std::string& ReportListView::RowMark(int row) const {
    static const std::string none;
    if (marks_.empty() || row < 0 || row >= findings_.Count()) return none;
    auto it = marks_.find(findings_.IdAt(row));
    return it == marks_.end() ? none : it->second;
}

bool ReportListView::OnTimer(WPARAM id) {
    if (id != kScreenTimer) return false;
    CatchUp();
    return true;
}

void ReportListView::AddFinding(const Finding& f) {
    findings_.Add(f);
    if (!Deferred()) CatchUp();
}

void ReportListView::QueueStatus(const std::string& text) {
    pendingStatus_ = text;
    statusPending_ = true;
    if (!Deferred()) CatchUp();
}

void ReportListView::SetStatus(const std::string& text) {
    // A progress text still waiting for the screen must not follow this one.
    statusPending_ = false;
    CatchUp();
    ShowStatusNow(text);
}

void ReportListView::ShowStatusNow(const std::string& text) {
    if (status_) status_(text);
}

// Outside a scan everything shows at once; during one the screen catches up on a timer (a
// repaint per row would cost the scan more than finding the row).
bool ReportListView::Deferred() {
    if (!paced_ || !paced_() || GetTickCount() - shownAt_ >= kScreenPaceMs) return false;
    if (!timer_) timer_ = SetTimer(owner_, kScreenTimer, kScreenPaceMs, nullptr) != 0;
    return timer_;
}

void ReportListView::CatchUp() {
    if (timer_) {
        KillTimer(owner_, kScreenTimer);
        timer_ = false;
    }
    shownAt_ = GetTickCount();
    int n = findings_.Count();
    if (n != shownRows_) {
        shownRows_ = n;
        ListView_SetItemCountEx(list_, n, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    }
    if (statusPending_) {
        statusPending_ = false;
        ShowStatusNow(pendingStatus_);
    }
}

void ReportListView::Reload() {
    shownRows_ = findings_.Count();
    ListView_SetItemCountEx(list_, shownRows_, 0);
    InvalidateRect(list_, nullptr, TRUE);
}

void ReportListView::Clear() {
    findings_.Clear();
    marks_.clear();
    shownRows_ = 0;
    statusPending_ = false;
    ListView_SetItemCountEx(list_, 0, 0);
    InvalidateRect(list_, nullptr, TRUE);
}

int ReportListView::SelectedRow() {
    CatchUp();
    return ListView_GetNextItem(list_, -1, LVNI_SELECTED);
}

LPARAM ReportListView::KeyboardMenuPoint() {
    RECT r{};
    const int row = ListView_GetNextItem(list_, -1, LVNI_FOCUSED);
    if (row < 0 || !ListView_GetItemRect(list_, row, &r, LVIR_LABEL)) GetClientRect(list_, &r);
    POINT pt{r.left + 10, r.bottom};
    ClientToScreen(list_, &pt);
    return MAKELPARAM(pt.x, pt.y);
}

std::vector<int> ReportListView::SelectedRows() {
    CatchUp();
    std::vector<int> rows;
    for (int i = ListView_GetNextItem(list_, -1, LVNI_SELECTED); i >= 0; i = ListView_GetNextItem(list_, i, LVNI_SELECTED))
        rows.push_back(i);
    return rows;
}

void ReportListView::SelectRow(int row) {
    CatchUp();
    ListView_SetItemState(list_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (row >= 0) ListView_SetItemState(list_, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

void ReportListView::RowChanged(int row) { ListView_RedrawItems(list_, row, row); }

}  // namespace tw
