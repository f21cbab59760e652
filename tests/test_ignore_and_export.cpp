#include <doctest.h>

#include <string>
#include <vector>

#include "app/ReportExport.h"
#include "platform/MessagePump.h"
#include "platform/Threads.h"
#include "scan/ScanDriver.h"
#include "scanners/IgnoreList.h"
#include "support/RegistryFixtures.h"
#include "support/Sandbox.h"

using namespace tw;
using namespace tw::test;

namespace {

// Texts that break naive line or field formats: separators, line breaks, escapes, blanks at
// the ends, control characters, and double-byte characters whose second byte is "\" or "|".
const std::vector<std::string> kOddTexts = {
    "", "tab\there", "line\r\nbreak", "a=b", "[section]", "; no comment", "100% \\%41 \\x41", "  blanks  ",
    "C:\\路径\\文件.lnk", "\x95\x5c\x81\x7c", "bell\x07", "@D_e_f_a_u_l_t",
};

// A view that only collects what a scan shows; it ticks the software-key and current-user rows.
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
    bool ConfirmOnMultiBoot(ChecklistRow) override { return false; }
    void ReportEndedEarly(const std::vector<EndedEarly>&) override {}
    bool scanning = false;
    std::string status;
};

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

TEST_CASE("the ignore list keeps odd texts exactly, survives damaged lines and reports a failed write") {
    ScratchDir dir;
    const std::string path = dir / "Ignore.ini";
    std::vector<IgnoredObject> added;
    IgnoreList list(path);
    REQUIRE(list.Load());  // no file yet: an empty list
    for (size_t i = 0; i < kOddTexts.size(); ++i) {
        added.push_back({kOddTexts[i], kOddTexts[(i + 3) % kOddTexts.size()], kOddTexts[(i + 7) % kOddTexts.size()]});
        REQUIRE(list.Add(added.back()));
    }
    REQUIRE(list.Add(added[2]));  // twice is once
    REQUIRE(list.Remove({added[0], IgnoredObject{"never", "added", ""}}));
    added.erase(added.begin());
    IgnoreList again(path);
    REQUIRE(again.Load());
    CHECK(again.Items() == added);
    // Each of the three texts counts.
    CHECK(again.Contains(RegistryValueFinding(added[1].caption, added[1].location, added[1].keyName, "any")));
    CHECK_FALSE(again.Contains(RegistryValueFinding(added[1].caption, added[1].location, added[1].keyName + "x")));

    FILE* f = fopen(path.c_str(), "wb");
    fputs("[Other]\r\n1=HKEY_USERS\tnot\there\r\n[Ignore]\r\n1=HKEY_CURRENT_USER\tSoftware\\A\t\r\n2=too\tfew\r\n"
          "3=bad\t%zz\tescape\r\ngarbage\r\n4=磁盘目录错误\tC:\\x=y\t\n",
          f);
    fclose(f);
    REQUIRE(again.Load());
    CHECK(again.Items() == std::vector<IgnoredObject>{{"HKEY_CURRENT_USER", "Software\\A", ""}, {"磁盘目录错误", "C:\\x=y", ""}});
    CHECK_FALSE(IgnoreList(dir.Dir("IsAFolder")).Add({"a", "b", "c"}));
}

TEST_CASE("a scan reports no ignored object, from the UI thread or from a worker thread") {
    ScratchDir dir;
    IgnoreList list(dir / "Ignore.ini");
    const Finding uiKept{"HKEY_LOCAL_MACHINE", "Software\\Kept", "", "无效软件", 0, FindingKind::RegistryKey};
    const Finding uiIgnored{"HKEY_LOCAL_MACHINE", "Software\\Ignored", "", "无效软件", 0, FindingKind::RegistryKey};
    const Finding workerKept{"HKEY_CURRENT_USER", "Software\\Run", "kept", "C:\\a.exe", 0, FindingKind::RegistryValue};
    const Finding workerIgnored{"HKEY_CURRENT_USER", "Software\\Run", "ignored", "C:\\b.exe", 0, FindingKind::RegistryValue};
    REQUIRE(list.Add(IgnoredObject::Of(uiIgnored)));
    REQUIRE(list.Add(IgnoredObject::Of(workerIgnored)));
    ScanCategories c;
    c.Row(kRowSoftware).step = [&](const ScanContext&, ScanSink& sink) {
        sink.AddFinding(uiIgnored);
        sink.AddFinding(uiKept);
    };
    c.Row(kRowCurrentUser).thread = [&](const ScanContext&, ScanSink& sink) {
        return std::unique_ptr<WorkerThread>(new ReportingThread(sink, {workerIgnored, workerKept}));
    };
    CollectingView view;
    ScanDriver driver(view, ScanContext{}, c);
    driver.SetIgnoreList(&list);
    bool finished = false;
    driver.onScanFinished = [&] { finished = true; };
    driver.ScanCommand();
    REQUIRE(RunUntil([&] { return finished; }, 10000));
    CHECK(view.findings == std::vector<Finding>{uiKept, workerKept});
    CHECK(view.status.rfind("扫描完毕。共检查到：2 ", 0) == 0);  // the count of what was shown
}

TEST_CASE("a saved report has a header, one line a row, and reads back with the same rows") {
    ScratchDir dir;
    std::vector<Finding> rows;
    for (size_t i = 0; i < kOddTexts.size(); ++i) {
        const std::string& keyName = kOddTexts[(i + 5) % kOddTexts.size()];
        const FindingKind kind = i % 2 ? FindingKind::File : keyName.empty() ? FindingKind::RegistryKey : FindingKind::RegistryValue;
        rows.push_back(Finding{i % 2 ? "磁盘文件错误" : "HKEY_CURRENT_USER", kOddTexts[i], keyName,
                               kOddTexts[(i + 9) % kOddTexts.size()], i % 3 ? kImageRepaired : kImageFresh, kind});
    }
    const std::string path = dir / "报告.txt";
    REQUIRE(WriteReportFile(path, rows));
    const std::string bytes = ReadFileBytes(path);
    // UTF-8 with its mark, the list's column captions first.
    CHECK(bytes.compare(0, 15, "\xEF\xBB\xBF\xE9\xA1\xB9\xE7\x9B\xAE\t\xE4\xBD\x8D\xE7\xBD") == 0);
    size_t lines = 0;
    for (char c : bytes) lines += c == '\n';
    CHECK(lines == rows.size() + 1);
    std::vector<Finding> back;
    REQUIRE(ParseReportText(bytes, back));
    CHECK(back == rows);
    CHECK_FALSE(ParseReportText("no header\r\n", back));
    CHECK_FALSE(WriteReportFile(dir.Dir("AFolder"), rows));
}
