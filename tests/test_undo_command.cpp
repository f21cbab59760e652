#include <doctest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/Seams.h"
#include "platform/FileSystem.h"
#include "platform/RecycleBin.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "repair/RepairLog.h"
#include "repair/UndoCommand.h"
#include "repair/UndoFile.h"
#include "support/Sandbox.h"

using namespace tw;
using namespace tw::test;

namespace {

struct FakeView : RepairView {
    std::vector<std::string> statuses;
    int SelectedRow() override { return -1; }
    void RowChanged(int) override {}
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void SetRepairControls(bool, bool) override {}
    void ProcessMessages() override {}
    HWND MainWindow() override { return nullptr; }
};

struct Messages {
    ScopedSeams seams;
    std::deque<int> answers;
    std::vector<std::string> shown;
    explicit Messages(std::initializer_list<int> script = {}) : answers(script) {
        seams->messageBox = [this](HWND, const std::string& text, const std::string&, UINT) {
            shown.push_back(text);
            int a = answers.empty() ? IDOK : answers.front();
            if (!answers.empty()) answers.pop_front();
            return a;
        };
    }
};

// The Undo folder and the log beside the test exe exist only during a test.
struct CleanProgramFolder {
    CleanProgramFolder() { Remove(); }
    ~CleanProgramFolder() { Remove(); }
    static void Remove() {
        DeleteFileA(RepairLogPath().c_str());
        for (const std::string& f : ListUndoFiles()) DeleteFileA(f.c_str());
        RemoveDirectoryA(UndoFolder().c_str());
    }
};

std::vector<std::string> LogRecords() {
    std::vector<std::string> records;
    std::vector<char> buf(65536);
    const std::string path = RepairLogPath();
    DWORD n = GetPrivateProfileSectionNamesA(buf.data(), static_cast<DWORD>(buf.size()), path.c_str());
    for (const char* p = buf.data(); p < buf.data() + n && *p; p += strlen(p) + 1) {
        char action[256] = {}, record[1024] = {};
        GetPrivateProfileStringA(p, "行为", "", action, sizeof action, path.c_str());
        GetPrivateProfileStringA(p, "记录", "", record, sizeof record, path.c_str());
        records.push_back(std::string(action) + ":" + record);
    }
    return records;
}

// A key of the real registry (the editor is another process), with an undo file that records
// it, deleted afterwards as a repair would.
struct RepairedKey {
    std::string rel = "Software\\TarnwellUndoCommandTest\\" + IntToStr(GetCurrentProcessId());
    std::string undoPath;
    RepairedKey() {
        SetString(HKEY_CURRENT_USER, rel + "\\Sub", "名称", "数据");
        SetDword(HKEY_CURRENT_USER, rel, "n", 5);
        UndoFile undo;
        REQUIRE(undo.Open(RegFileFlavor::Unicode5));
        REQUIRE(undo.RecordKey(HKEY_CURRENT_USER, rel));
        undoPath = undo.Path();
        undo.Close();
        REQUIRE(Registry().DeleteKey(rel));
    }
    ~RepairedKey() {
        Registry().DeleteKey(rel);
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\TarnwellUndoCommandTest");
    }
    bool Back() const { return GetString(HKEY_CURRENT_USER, rel + "\\Sub", "名称") == "数据"; }
};

struct Progress {
    std::unique_ptr<TForm3> form;
    TForm3& operator()() {
        if (!form) form = std::make_unique<TForm3>(nullptr);
        return *form;
    }
};

}  // namespace

TEST_SUITE("undo command") {

TEST_CASE("undo of the last repair imports its file through the editor and checks the result") {
    CleanProgramFolder clean;
    RepairedKey key;
    Messages msgs;
    FakeView view;
    Progress progress;
    UndoCommand undo(view, [&]() -> TForm3& { return progress(); });
    REQUIRE(undo.UndoLast());
    CHECK(key.Back());
    CHECK(msgs.shown.size() == 2);
    CHECK(msgs.shown[0].find(key.undoPath.substr(UndoFolder().size())) != std::string::npos);
    CHECK(msgs.shown[1].rfind("撤销完毕。", 0) == 0);
    CHECK(view.statuses == std::vector<std::string>{"撤销修复...", "撤销完毕"});
    CHECK_FALSE(IsWindowVisible(progress.form->Handle()));
    const std::vector<std::string> log = LogRecords();
    REQUIRE(log.size() == 1);
    CHECK(log[0].rfind("撤销修复:", 0) == 0);
    CHECK(log[0].find("恢复成功") != std::string::npos);
}

TEST_CASE("an older file picked in the dialog, Cancel at the question, and nothing to undo") {
    CleanProgramFolder clean;
    FakeView view;
    Progress progress;
    UndoCommand undo(view, [&]() -> TForm3& { return progress(); });
    {
        Messages msgs;
        CHECK_FALSE(undo.UndoLast());
        REQUIRE(msgs.shown.size() == 1);
        CHECK(msgs.shown[0].find(UndoFolder()) != std::string::npos);
    }
    RepairedKey key;
    std::vector<FileDialogRequest> asked;
    std::string answer;
    ScopedSeams dialogSeams;
    dialogSeams->fileDialog = [&](HWND, const FileDialogRequest& r, std::string& path) {
        asked.push_back(r);
        path = answer;
        return !answer.empty();
    };
    {
        Messages msgs;
        CHECK_FALSE(undo.UndoChosen());  // the dialog was cancelled
        CHECK(msgs.shown.empty());
        REQUIRE(asked.size() == 1);
        CHECK(asked[0].folder == UndoFolder());
        CHECK_FALSE(asked[0].save);
    }
    answer = key.undoPath;
    {
        Messages msgs{IDCANCEL};
        CHECK_FALSE(undo.UndoChosen());
        CHECK_FALSE(key.Back());
        CHECK(progress.form == nullptr);
        CHECK(LogRecords().empty());
    }
    Messages msgs;
    CHECK(undo.UndoChosen());
    CHECK(key.Back());
}

TEST_CASE("an editor that does not start or does not import is reported, never taken for success") {
    CleanProgramFolder clean;
    RepairedKey key;
    FakeView view;
    Progress progress;
    UndoCommand undo(view, [&]() -> TForm3& { return progress(); });
    ScopedSeams seams;
    bool starts = false;
    seams->runAndWait = [&](const std::string&, const std::string&, DWORD& code) {
        code = 0;  // an editor that says it worked
        return starts;
    };
    {
        Messages msgs;
        CHECK_FALSE(undo.UndoFrom(key.undoPath));
        CHECK(msgs.shown.back().find("无法启动注册表编辑器") != std::string::npos);
    }
    starts = true;
    {
        Messages msgs;
        CHECK_FALSE(undo.UndoFrom(key.undoPath));
        // The keys and values still missing are named.
        CHECK(msgs.shown.back().find("\r\nHKEY_CURRENT_USER\\" + key.rel + "\\Sub") != std::string::npos);
        CHECK(view.statuses.back() == "撤销失败");
    }
    const std::vector<std::string> log = LogRecords();
    REQUIRE(log.size() == 2);
    CHECK(log[1].find("恢复失败") != std::string::npos);

    Messages msgs;
    CHECK_FALSE(undo.UndoFrom(key.undoPath + ".missing"));
    CHECK(msgs.shown.back().find("无法读取撤销文件") != std::string::npos);
}

}  // TEST_SUITE

TEST_SUITE("recycle bin") {

TEST_CASE("a file and an empty folder go; a folder with content, or the wrong kind, stays") {
    ScratchDir dir;
    const std::string file = dir.File("old.lnk"), empty = dir.Dir("Empty"), full = dir.Dir("Full");
    const std::string inside = dir.File("Full\\keep.txt");
    CHECK_FALSE(RecycleEmptyFolder(full));
    CHECK(FileExists(inside));
    CHECK_FALSE(RecycleFile(empty));
    CHECK_FALSE(RecycleEmptyFolder(file));
    CHECK(RecycleFile(file));
    CHECK_FALSE(FileExists(file));
    CHECK(RecycleEmptyFolder(empty));
    CHECK_FALSE(DirectoryExists(empty));
    CHECK_FALSE(RecycleFile(file));  // gone already
}

}  // TEST_SUITE
