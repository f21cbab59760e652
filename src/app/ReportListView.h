// The report list: shows the Findings of the scan (virtual rows read from the Findings list),
// sorts them on a header click keeping the selected row, and catches up with a running scan at
// screen rate so that painting costs the scan next to nothing however fast Findings come.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <functional>
#include <string>

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
    // Puts the column captions of the language spoken on the list.
    void WordColumns();
    HWND Handle() const { return list_; }

    // Sorting is refused while this answers true.
    void SetSortRefused(Question refused) { sortRefused_ = std::move(refused); }
    // While this answers true (a scan runs), new rows and progress texts are paced.
    void SetPaced(Question paced) { paced_ = std::move(paced); }
    void SetStatusOutput(StatusOutput out) { status_ = std::move(out); }

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
    void SelectRow(int row);
    void RowChanged(int row);

private:
    bool Deferred();
    void ShowStatusNow(const std::string& text);

    FindingList& findings_;
    HWND owner_ = nullptr, list_ = nullptr;
    Question sortRefused_, paced_;
    StatusOutput status_;
    std::wstring dispText_;  // text handed to the list for the row it paints
    int shownRows_ = 0;
    DWORD shownAt_ = 0;
    bool timer_ = false;
    bool statusPending_ = false;
    std::string pendingStatus_;
};

}  // namespace tw
