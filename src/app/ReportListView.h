// The report list: shows the Findings of the scan (virtual rows read from the Findings list),
// sorts them on a header click keeping the selected row, and catches up with a running scan at
// screen rate so that painting costs the scan next to nothing however fast Findings come.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "scanners/FindingList.h"

namespace tw {

class ReportListView {
public:
    // Answers whether a header-click sort must be refused (a repair works on these rows).
    using Question = std::function<bool()>;
    // Puts a text on the status line.
    using StatusOutput = std::function<void(const std::string&)>;

    explicit ReportListView(FindingList& findings) : findings_(findings) {}
    ReportListView(const ReportListView&) = delete;
    ReportListView& operator=(const ReportListView&) = delete;

    // Takes over a report-style virtual list view: its columns, image list and colours. The
    // owner receives the catch-up timer.
    void Attach(HWND owner, HWND list, HIMAGELIST images);
    HWND Handle() const { return list_; }

    // Sorting is refused while this answers true.
    void SetSortRefused(Question refused) { sortRefused_ = std::move(refused); }
    // While this answers true (a scan runs), new rows and progress texts are paced.
    void SetPaced(Question paced) { paced_ = std::move(paced); }
    void SetStatusOutput(StatusOutput out) { status_ = std::move(out); }
    // A double-click or Enter on a row opens its details.
    void SetOpenRow(std::function<void(int row)> open) { openRow_ = std::move(open); }

    // The owner's WM_NOTIFY and WM_TIMER; false when the message is not the list's.
    bool OnNotify(NMHDR* hdr);
    bool OnTimer(WPARAM id);

    // A Finding of the scan: added to the model, shown now or at the next catch-up.
    void AddFinding(const Finding& f);
    // A progress text of the scan: shown now or at the next catch-up.
    void QueueStatus(const std::string& text);
    // A direct status text: drops a waiting progress text, then shows this one at once.
    void SetStatus(const std::string& text);
    // Brings the row count and a waiting progress text onto the screen now.
    void CatchUp();
    // Empties the model and the list.
    void Clear();
    // The model lost rows (an ignored object's): the list shows it afresh.
    void Reload();

    int SelectedRow();
    // Where a popup opened from the keyboard appears: at the focused row (screen coordinates).
    LPARAM KeyboardMenuPoint();
    // Every selected row, in list order.
    std::vector<int> SelectedRows();
    void SelectRow(int row);
    void RowChanged(int row);
    // What a repair left of the row, shown before its description (empty: nothing). The mark
    // stays with the row through sorts and goes with the next scan.
    void SetRowMark(int row, const std::string& mark);
    const std::string& RowMark(int row) const;
    // The text a column shows for the row: the description carries the row's mark.
    std::string CellText(int row, int column) const;

private:
    bool Deferred();
    void ShowStatusNow(const std::string& text);
    void SortBy(int column);
    void AttachCellTips();
    static LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    // The cell under the mouse at x, y (client coordinates): its tip holds its text when cut.
    void TrackCell(int x, int y);
    void DropCellTip();
    static const wchar_t kSelfProp[];
    void ShowSortArrow();

    FindingList& findings_;
    HWND owner_ = nullptr, list_ = nullptr;
    Question sortRefused_, paced_;
    StatusOutput status_;
    std::function<void(int)> openRow_;
    HWND tip_ = nullptr;
    WNDPROC listProc_ = nullptr;
    int tipRow_ = -1, tipColumn_ = -1;
    std::wstring tipText_;
    std::map<RowId, std::string> marks_;
    int sortColumn_ = -1;
    bool sortAscending_ = false;
    std::wstring dispText_;  // text handed to the list for the row it paints
    int shownRows_ = 0;
    DWORD shownAt_ = 0;
    bool timer_ = false;
    bool statusPending_ = false;
    std::string pendingStatus_;
};

}  // namespace tw
