#include <doctest.h>

#include <string>
#include <vector>

#include "app/ReportListView.h"
#include "platform/Text.h"
#include "support/WindowProbes.h"

using namespace tw;
using namespace tw::test;

namespace {

ReportListView* g_report = nullptr;

// A bare owner window that hands the list's notifications to the report list, as the main
// window does.
LRESULT CALLBACK OwnerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NOTIFY && g_report && g_report->OnNotify(reinterpret_cast<NMHDR*>(lp))) return 0;
    if (msg == WM_TIMER && g_report && g_report->OnTimer(wp)) return 0;
    return DefWindowProcW(hwnd, msg, wp, lp);
}

struct Fixture {
    Fixture() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = OwnerProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"ReportListTestOwner";
        RegisterClassW(&wc);
        owner = CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                wc.hInstance, nullptr);
        list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_OWNERDATA,
                               0, 0, 400, 300, owner, nullptr, wc.hInstance, nullptr);
        report.Attach(owner, list, nullptr);
        report.SetStatusOutput([this](const std::string& t) { shown.push_back(t); });
        g_report = &report;
    }
    ~Fixture() {
        g_report = nullptr;
        DestroyWindow(owner);
    }
    std::string Cell(int row, int column) { return ListItemText(list, row, column); }
    void ClickHeader(int column) {
        NMLISTVIEW nm{};
        nm.hdr.hwndFrom = list;
        nm.hdr.code = LVN_COLUMNCLICK;
        nm.iItem = -1;
        nm.iSubItem = column;
        SendMessageW(owner, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&nm));
    }

    FindingList findings;
    ReportListView report{findings};
    HWND owner = nullptr, list = nullptr;
    std::vector<std::string> shown;
};

Finding F(const std::string& caption, const std::string& location) { return RegistryKeyFinding(caption, location); }

}  // namespace

TEST_CASE("a header click sorts the rows and keeps the selected Finding selected, unless refused") {
    Fixture fx;
    bool refused = false;
    fx.report.SetSortRefused([&] { return refused; });
    for (const char* c : {"b", "c", "a"}) fx.report.AddFinding(F(c, std::string("loc-") + c));
    REQUIRE(ListView_GetItemCount(fx.list) == 3);
    CHECK(fx.Cell(0, 1) == "loc-b");
    fx.report.SelectRow(1);  // "c"

    refused = true;
    fx.ClickHeader(0);
    CHECK(fx.Cell(0, 0) == "b");
    CHECK(fx.report.SelectedRow() == 1);

    refused = false;
    fx.ClickHeader(0);
    int sel = fx.report.SelectedRow();
    REQUIRE(sel >= 0);
    CHECK(fx.Cell(sel, 0) == "c");
    CHECK(fx.Cell(sel, 1) == "loc-c");

    // A row's mark stays with it, before its description; a second click reverses the order.
    fx.report.SetRowMark(sel, "[x] ");
    fx.ClickHeader(0);
    CHECK(fx.Cell(0, 0) == "a");
    sel = fx.report.SelectedRow();
    CHECK(fx.Cell(sel, 0) == "c");
    CHECK(fx.Cell(sel, 3) == "[x] " + fx.findings.At(sel).description);
}

TEST_CASE("during a scan a waiting progress text never follows a later status or a clear") {
    Fixture fx;
    fx.report.SetPaced([] { return true; });
    // A burst as a scan delivers it; whether each piece waits depends on the clock, what the
    // screen ends with must not.
    for (int i = 0; i < 20; ++i) fx.report.AddFinding(F("row", std::to_string(i)));
    fx.report.QueueStatus("walking");
    fx.report.CatchUp();
    CHECK(ListView_GetItemCount(fx.list) == 20);
    REQUIRE_FALSE(fx.shown.empty());
    CHECK(fx.shown.back() == "walking");

    fx.report.QueueStatus("late progress");
    fx.report.SetStatus("scan finished");
    fx.report.CatchUp();
    CHECK(fx.shown.back() == "scan finished");

    fx.report.QueueStatus("stale progress");
    fx.report.Clear();
    const size_t before = fx.shown.size();
    fx.report.CatchUp();
    CHECK(fx.shown.size() == before);
    CHECK(ListView_GetItemCount(fx.list) == 0);
    CHECK(fx.findings.Count() == 0);

    // Outside a scan a row shows at once.
    fx.report.SetPaced([] { return false; });
    fx.report.AddFinding(F("row", "after"));
    CHECK(ListView_GetItemCount(fx.list) == 1);
    CHECK(fx.Cell(0, 1) == "after");
}
