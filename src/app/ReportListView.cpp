#include "app/ReportListView.h"

#include <vector>

#include "platform/ListColumns.h"
#include "platform/LoadText.h"
#include "platform/Text.h"
#include "strings.h"

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
    ListView_SetImageList(list_, images, LVSIL_SMALL);
    ListView_SetBkColor(list_, RGB(255, 255, 255));
    AddListColumns(list_, {{"", 150}, {"", 150}, {"", 60}, {"", 231}});
    WordColumns();
}

void ReportListView::WordColumns() {
    const unsigned captions[] = {IDS_COLUMN_ITEM, IDS_COLUMN_LOCATION, IDS_COLUMN_KEY_NAME, IDS_COLUMN_DESCRIPTION};
    for (int i = 0; i < 4; ++i) {
        std::wstring text = LoadWideText(captions[i]);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT;
        column.pszText = &text[0];
        SendMessageW(list_, LVM_SETCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
        // A caption longer than its column (the key name's, in English) widens it.
        const int need = static_cast<int>(SendMessageW(list_, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str()))) + 16;
        if (ListView_GetColumnWidth(list_, i) < need) ListView_SetColumnWidth(list_, i, need);
    }
}

bool ReportListView::OnNotify(NMHDR* hdr) {
    if (!list_ || hdr->hwndFrom != list_) return false;
    switch (hdr->code) {
        case LVN_GETDISPINFOW: {
            auto* di = reinterpret_cast<NMLVDISPINFOW*>(hdr);
            if (di->item.iItem < 0 || di->item.iItem >= findings_.Count()) return true;
            const Finding& f = findings_.At(di->item.iItem);
            if (di->item.mask & LVIF_TEXT) {
                dispText_ = AnsiToWide(FindingList::ColumnText(f, di->item.iSubItem));
                lstrcpynW(di->item.pszText, dispText_.c_str(), di->item.cchTextMax);
            }
            if (di->item.mask & LVIF_IMAGE) di->item.iImage = f.image;
            return true;
        }
        case LVN_COLUMNCLICK: {
            // A repair that lets messages run works on these rows: they keep their order.
            if (sortRefused_ && sortRefused_()) return true;
            CatchUp();
            auto* nm = reinterpret_cast<NMLISTVIEW*>(hdr);
            int selected = SelectedRow();
            std::vector<int> order = findings_.SortByColumn(nm->iSubItem);
            int newSel = -1;
            for (size_t i = 0; i < order.size(); ++i)
                if (order[i] == selected) newSel = static_cast<int>(i);
            SelectRow(newSel);
            InvalidateRect(list_, nullptr, FALSE);
            return true;
        }
    }
    return false;
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
    shownRows_ = 0;
    statusPending_ = false;
    ListView_SetItemCountEx(list_, 0, 0);
    InvalidateRect(list_, nullptr, TRUE);
}

int ReportListView::SelectedRow() {
    CatchUp();
    return ListView_GetNextItem(list_, -1, LVNI_SELECTED);
}

void ReportListView::SelectRow(int row) {
    CatchUp();
    ListView_SetItemState(list_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (row >= 0) ListView_SetItemState(list_, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

void ReportListView::RowChanged(int row) { ListView_RedrawItems(list_, row, row); }

}  // namespace tw
