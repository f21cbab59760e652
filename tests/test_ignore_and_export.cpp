#include <doctest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/IgnoreWindow.h"
#include "app/ScanDriver.h"
#include "app/ReportExport.h"
#include <commctrl.h>

#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/Threads.h"
#include "scanners/IgnoreList.h"
#include "support/Sandbox.h"

using namespace tw;
using namespace tw::test;

namespace {

std::string ReadAll(const std::string& path) {
    std::string out;
    if (FILE* f = fopen(path.c_str(), "rb")) {
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
        fclose(f);
    }
    return out;
}

void WriteAll(const std::string& path, const std::string& text) {
    FILE* f = fopen(path.c_str(), "wb");
    REQUIRE(f);
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

// Texts that break naive line or field formats: separators, line breaks, escapes, blanks at
// the ends, and double-byte characters whose second byte is "\" or "|".
const std::vector<std::string> kOddTexts = {
    "", "plain", "tab\there", "line\r\nbreak", "lf\nonly", "a=b", "[section]", "; not a comment",
    "100% \\%41", "  blanks around  ", "C:\\路径\\文件.lnk", "\x95\x5c\x81\x7c", "back\\slash\\", "@D_e_f_a_u_l_t",
};

// A view that only collects what a scan shows.
class CollectingView : public ScanView, public CollectingSink {
public:
    bool ScanCaptionIsStart() override { return !scanning; }
    void SetScanCaptions(bool on) override { scanning = on; }
    void ResetScanHints() override {}
    void SetSelectAllEnabled(bool) override {}
    void SetRepairControls(bool) override {}
    void SetStatus(const std::string& text) override { status = text; }
    int ChecklistRowCount() override { return 12; }
    bool IsRowTicked(int row) override { return row == 0 || row == 7; }
    int FindingCount() override { return static_cast<int>(findings.size()); }
    void ClearFindings() override { findings.clear(); }
    ScanSink& Sink() override { return *this; }
    void ProcessMessages() override { tw::ProcessMessages(); }
    bool scanning = false;
    std::string status;
};

// A worker thread that reports the given Findings through its hand-over sink.
class ReportingThread : public WorkerThread {
public:
    ReportingThread(ScanSink& sink, std::vector<Finding> rows) : sink_(sink), rows_(std::move(rows)) {}

protected:
    void Execute() override {
        for (const Finding& f : rows_) sink_.AddFinding(f);
    }

private:
    ScanSink& sink_;
    std::vector<Finding> rows_;
};

}  // namespace

TEST_SUITE("ignore list") {

TEST_CASE("odd texts come back as they went in, in the order they were added") {
    ScratchDir dir;
    const std::string path = dir / "Ignore.ini";
    std::vector<IgnoredObject> added;
    {
        IgnoreList list(path);
        REQUIRE(list.Load());  // no file yet: an empty list
        CHECK(list.Items().empty());
        for (size_t i = 0; i < kOddTexts.size(); ++i) {
            IgnoredObject o{kOddTexts[i], kOddTexts[(i + 3) % kOddTexts.size()], kOddTexts[(i + 7) % kOddTexts.size()]};
            REQUIRE(list.Add(o));
            added.push_back(o);
        }
        REQUIRE(list.Add(added[2]));  // twice is once
        CHECK(list.Items() == added);
    }
    IgnoreList again(path);
    REQUIRE(again.Load());
    CHECK(again.Items() == added);
    for (const IgnoredObject& o : added) CHECK(again.Contains(Finding{o.caption, o.location, o.keyName, "any", 0}));
    // Each of the three texts counts.
    CHECK_FALSE(again.Contains(Finding{added[1].caption, added[1].location, added[1].keyName + "x", "", 0}));
    CHECK_FALSE(again.Contains(Finding{added[1].caption, added[1].location + "x", added[1].keyName, "", 0}));

    REQUIRE(again.Remove({added[0], added[5], IgnoredObject{"never", "added", ""}}));
    IgnoreList third(path);
    REQUIRE(third.Load());
    std::vector<IgnoredObject> left = added;
    left.erase(left.begin() + 5);
    left.erase(left.begin());
    CHECK(third.Items() == left);
    CHECK_FALSE(third.Contains(Finding{added[0].caption, added[0].location, added[0].keyName, "", 0}));
}

TEST_CASE("a damaged line costs that line only; an unwritable file is reported") {
    ScratchDir dir;
    const std::string path = dir / "Ignore.ini";
    WriteAll(path,
             "[Other]\r\n1=HKEY_USERS\tnot\there\r\n"
             "[Ignore]\r\n1=HKEY_CURRENT_USER\tSoftware\\A\t\r\n2=too\tfew\r\n3=bad\t%zz\tescape\r\n"
             "garbage without equals\r\n4=磁盘目录错误\tC:\\x=y\t\n");
    IgnoreList list(path);
    REQUIRE(list.Load());
    CHECK(list.Items() == std::vector<IgnoredObject>{{"HKEY_CURRENT_USER", "Software\\A", ""},
                                                     {"磁盘目录错误", "C:\\x=y", ""}});

    IgnoreList blocked(dir.Dir("IsAFolder"));
    CHECK_FALSE(blocked.Add({"a", "b", "c"}));
}

TEST_CASE("the ignoring sink drops exactly the listed objects and passes everything else") {
    ScratchDir dir;
    IgnoreList list(dir / "Ignore.ini");
    REQUIRE(list.Add({"HKEY_LOCAL_MACHINE", "Software\\Fonts", "Arial"}));
    CollectingSink target;
    IgnoringSink sink(target, &list);
    const Finding kept1{"HKEY_LOCAL_MACHINE", "Software\\Fonts", "Arial Bold", "无效字体", 0};
    const Finding kept2{"HKEY_CURRENT_USER", "Software\\Fonts", "Arial", "", 0};
    sink.AddFinding({"HKEY_LOCAL_MACHINE", "Software\\Fonts", "Arial", "无效字体arial.ttf", 0});
    sink.AddFinding(kept1);
    sink.AddFinding(kept2);
    sink.ShowStatus("s");
    sink.ProcessMessages();
    CHECK(target.findings == std::vector<Finding>{kept1, kept2});
    CHECK(target.statuses == std::vector<std::string>{"s"});
    CHECK(target.pumps == 1);
}

TEST_CASE("a scan reports no ignored object, from the UI thread or from a worker thread") {
    ScratchDir dir;
    IgnoreList list(dir / "Ignore.ini");
    const Finding uiKept{"HKEY_LOCAL_MACHINE", "Software\\Kept", "", "无效软件", 0};
    const Finding uiIgnored{"HKEY_LOCAL_MACHINE", "Software\\Ignored", "", "无效软件", 0};
    const Finding workerKept{"HKEY_CURRENT_USER", "Software\\Run", "kept", "C:\\a.exe", 0};
    const Finding workerIgnored{"HKEY_CURRENT_USER", "Software\\Run", "ignored", "C:\\b.exe", 0};
    REQUIRE(list.Add(IgnoredObject::Of(uiIgnored)));
    REQUIRE(list.Add(IgnoredObject::Of(workerIgnored)));
    ScanCategories c;
    c.softwareKeys = [&](const ScanContext&, ScanSink& sink) {
        sink.AddFinding(uiIgnored);
        sink.AddFinding(uiKept);
    };
    c.hiveThread = [&](const ScanContext&, ScanSink& sink, HKEY) {
        return std::unique_ptr<WorkerThread>(new ReportingThread(sink, {workerIgnored, workerKept}));
    };
    CollectingView view;
    ScanDriver driver(view, ScanContext{}, c);
    driver.SetIgnoreList(&list);
    bool finished = false;
    driver.onScanFinished = [&] { finished = true; };
    driver.ScanCommand();
    const DWORD start = GetTickCount();
    while (!finished && GetTickCount() - start < 10000) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        ProcessMessages();
    }
    REQUIRE(finished);
    CHECK(view.findings == std::vector<Finding>{uiKept, workerKept});
    // The closing count is the count of what was shown.
    CHECK(view.status.rfind("扫描完毕。共检查到：2 ", 0) == 0);
}

}  // TEST_SUITE

TEST_SUITE("report export") {

TEST_CASE("fields escape as the console scanner escapes them, and read back") {
    const std::pair<std::string, std::string> rows[] = {
        {"a\tb", "a\\tb"}, {"a\r\nb", "a\\r\\nb"}, {"C:\\x\\", "C:\\\\x\\\\"}, {"\\t", "\\\\t"},
        {"中文 = [x]", "中文 = [x]"}, {"bell\x07", "bell\\x07"}, {"\x95\x5c", "\x95\x5c"},
    };
    for (const auto& r : rows) {
        CAPTURE(r.first);
        CHECK(EscapeReportField(r.first) == r.second);
        std::string back;
        REQUIRE(UnescapeReportField(r.second, back));
        CHECK(back == r.first);
    }
    std::string out;
    CHECK_FALSE(UnescapeReportField("ends in \\", out));
    CHECK_FALSE(UnescapeReportField("unknown \\q", out));
}

TEST_CASE("a saved report reads back with the same rows, one line each") {
    ScratchDir dir;
    std::vector<Finding> rows;
    for (size_t i = 0; i < kOddTexts.size(); ++i)
        rows.push_back(Finding{i % 2 ? "磁盘文件错误" : "HKEY_CURRENT_USER", kOddTexts[i],
                               kOddTexts[(i + 5) % kOddTexts.size()], kOddTexts[(i + 9) % kOddTexts.size()],
                               i % 3 ? kImageRepaired : kImageFresh});
    rows.push_back(Finding{"HKEY_LOCAL_MACHINE", "Software\\Shareddlls", "C:\\a.dll", "", kImageSharedDll});
    const std::string path = dir / "报告.txt";
    REQUIRE(WriteReportFile(path, rows));
    const std::string bytes = ReadAll(path);
    CHECK(bytes.compare(0, 3, "\xEF\xBB\xBF") == 0);
    // The header names the list's columns in UTF-8, and every row is exactly one line.
    CHECK(bytes.compare(3, 12, "\xE9\xA1\xB9\xE7\x9B\xAE\t\xE4\xBD\x8D\xE7\xBD") == 0);
    size_t lines = 0;
    for (char c : bytes) lines += c == '\n';
    CHECK(lines == rows.size() + 1);
    std::vector<Finding> back;
    REQUIRE(ParseReportText(bytes, back));
    CHECK(back == rows);

    CHECK(ReportText({}).size() > 3);
    REQUIRE(ParseReportText(ReportText({}), back));
    CHECK(back.empty());
    CHECK_FALSE(ParseReportText("no header\r\n", back));
    CHECK_FALSE(WriteReportFile(dir.Dir("AFolder"), rows));
}

}  // TEST_SUITE

TEST_SUITE("ignore-list window") {

TEST_CASE("the window lists the ignored objects and takes the selected ones off the list") {
    ScratchDir dir;
    IgnoreList list(dir / "Ignore.ini");
    const IgnoredObject a{"HKEY_CURRENT_USER", "Software\\A", ""}, b{"磁盘文件错误", "C:\\b.lnk", "12 Byte"},
        c{"HKEY_LOCAL_MACHINE", "Software\\C", "v\tx"};
    for (const IgnoredObject& o : {a, b, c}) REQUIRE(list.Add(o));
    IgnoreWindow window(nullptr, list);
    REQUIRE(window.Handle());
    CHECK_FALSE(window.IsVisible());
    window.Show();
    CHECK(window.IsVisible());
    HWND lv = window.ListView();
    REQUIRE(SendMessageW(lv, LVM_GETITEMCOUNT, 0, 0) == 3);
    auto text = [&](int row, int sub) {
        wchar_t buf[256] = {};
        LVITEMW item{};
        item.iSubItem = sub;
        item.pszText = buf;
        item.cchTextMax = 256;
        SendMessageW(lv, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        return WideToAnsi(buf);
    };
    CHECK(text(1, 0) == "磁盘文件错误");
    CHECK(text(1, 2) == "12 Byte");
    CHECK(text(2, 1) == "Software\\C");
    // Nothing chosen: nothing to remove.
    CHECK_FALSE(IsWindowEnabled(window.RemoveButton()));

    auto select = [&](int row) {
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED;
        item.state = LVIS_SELECTED;
        SendMessageW(lv, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    };
    select(0);
    select(2);
    CHECK(IsWindowEnabled(window.RemoveButton()));
    SendMessageW(window.RemoveButton(), BM_CLICK, 0, 0);
    CHECK(list.Items() == std::vector<IgnoredObject>{b});
    CHECK(SendMessageW(lv, LVM_GETITEMCOUNT, 0, 0) == 1);
    IgnoreList reread(dir / "Ignore.ini");
    REQUIRE(reread.Load());
    CHECK(reread.Items() == std::vector<IgnoredObject>{b});

    SendMessageW(window.CloseButton(), BM_CLICK, 0, 0);
    CHECK_FALSE(window.IsVisible());
}

}  // TEST_SUITE
