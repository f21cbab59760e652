// Repair with its undo file: every registry deletion recorded first, nothing deleted without a
// record, ignored objects never touched, and the undo through the registry editor giving back
// the same bytes.
#include <doctest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/RecycleBin.h"
#include "platform/Registry.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "repair/Repair.h"
#include "repair/RepairLog.h"
#include "repair/UndoCommand.h"
#include "repair/UndoFile.h"
#include "support/RegistryFixtures.h"
#include "support/Sandbox.h"
#include "support/ScriptedMessages.h"

using namespace tw;
using namespace tw::test;

namespace {

struct FakeView : RepairView {
    int selected = -1;
    std::vector<std::string> statuses;
    int SelectedRow() override { return selected; }
    void RowChanged(int) override {}
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void SetRepairControls(bool, bool) override {}
    void ProcessMessages() override {}
    HWND MainWindow() override { return nullptr; }
};

struct CleanLog {
    CleanLog() { DeleteFileA(RepairLogPath().c_str()); }
    ~CleanLog() { DeleteFileA(RepairLogPath().c_str()); }
};

Finding Row(const std::string& caption, const std::string& location, const std::string& keyName = "",
            bool defaultValue = false) {
    Finding f{caption, location, keyName, "", kImageFresh};
    f.defaultValue = defaultValue;
    return f;
}

struct Progress {
    std::unique_ptr<TForm3> form;
    TForm3& operator()() {
        if (!form) form = std::make_unique<TForm3>(nullptr);
        return *form;
    }
};

// Repairs one row with "repair selected" (OK to the question), then undoes it through the
// registry editor from the file the repair wrote.
void RepairThenUndo(const Finding& row, uint32_t major, const ScratchDir& dir) {
    FindingList list;
    list.Add(row);
    FakeView view;
    view.selected = 0;
    RepairContext context{major};
    context.undoFolder = dir / "Undo\\";
    {
        Messages msgs;
        Repairer(list, view, context, nullptr).FlatButton2Click();
        REQUIRE(list.At(0).Repaired());
    }
    const std::vector<std::string> files = ListUndoFiles(context.undoFolder);
    REQUIRE(files.size() == 1);
    Messages msgs;
    Progress progress;
    REQUIRE(UndoCommand(view, [&]() -> TForm3& { return progress(); }).UndoFrom(files[0]));
}

}  // namespace

TEST_SUITE("repair with undo") {

TEST_CASE("a repaired key, value or default value comes back byte for byte through its undo") {
    ScratchDir dir;
    ScratchKey key("repairundo");
    CleanLog log;
    PlantEveryKind(HKEY_CURRENT_USER, key.wrel + L"\\Found");
    const RegSnapshot before = SnapshotKey(HKEY_CURRENT_USER, key.wrel);
    const std::wstring exportBefore = EditorExport(dir / "export.reg", key.full);
    const std::string found = key.rel + "\\Found";

    SUBCASE("a key with subkeys and values of every kind, Windows 2000 and later") {
        RepairThenUndo(Row("HKEY_CURRENT_USER", found), 5, dir);
    }
    SUBCASE("one value") {
        RepairThenUndo(Row("HKEY_CURRENT_USER", found, "binary"), 5, dir);
    }
    SUBCASE("the emptied default value") {
        RepairThenUndo(Row("HKEY_CURRENT_USER", found, "@D_e_f_a_u_l_t", true), 5, dir);
    }
    SUBCASE("a default value the repair creates is taken away again") {
        RepairThenUndo(Row("HKEY_CURRENT_USER", found + "\\NoDefault", "@D_e_f_a_u_l_t", true), 5, dir);
    }
    CHECK(SnapshotKey(HKEY_CURRENT_USER, key.wrel) == before);
    CHECK(EditorExport(dir / "export.reg", key.full) == exportBefore);
}

TEST_CASE("a repaired key comes back on the 98 family, whose editor reads REGEDIT4") {
    // The ANSI flavour carries what the code page can: names it cannot are left out here.
    ScratchDir dir;
    ScratchKey key("repairundo98");
    CleanLog log;
    const std::string found = key.rel + "\\Found";
    SetString(HKEY_CURRENT_USER, found + "\\子键", "名称", "数据 \"C:\\路径\"");
    SetString(HKEY_CURRENT_USER, found, "expand", "%TEMP%\\中", REG_EXPAND_SZ);
    SetDword(HKEY_CURRENT_USER, found, "n", 7);
    const RegSnapshot before = SnapshotKey(HKEY_CURRENT_USER, key.wrel);
    RepairThenUndo(Row("HKEY_CURRENT_USER", found), 4, dir);
    CHECK(SnapshotKey(HKEY_CURRENT_USER, key.wrel) == before);
}

TEST_CASE("an undo file that cannot be written stops the repair before any deletion") {
    RegistrySandbox sb;
    ScratchDir dir;
    CleanLog log;
    SetString(HKEY_LOCAL_MACHINE, "Software\\Gone\\Sub", "v", "x");
    SetString(HKEY_LOCAL_MACHINE, "Software\\Fonts", "Gone", "gone.ttf");
    const std::string shortcut = dir.File("old.lnk");
    RepairContext context{5};
    // A file where the folder should be: no undo file can be made there.
    context.undoFolder = dir.File("Undo") + "\\";
    FindingList list;
    list.Add(Row("磁盘文件错误", shortcut, "1 Byte"));
    list.Add(Row("HKEY_LOCAL_MACHINE", "Software\\Gone"));
    list.Add(Row("HKEY_LOCAL_MACHINE", "Software\\Fonts", "Gone"));
    FakeView view;

    SUBCASE("repair selected") {
        view.selected = 1;
        Messages msgs;
        Repairer(list, view, context, nullptr).FlatButton2Click();
        REQUIRE(msgs.shown.size() == 2);
        CHECK(msgs.shown[1].find(context.undoFolder) != std::string::npos);
    }
    SUBCASE("repair all, whose first row is a file the undo file does not cover") {
        Messages msgs{IDCANCEL, IDOK};  // no whole-registry backup; go ahead
        Repairer(list, view, context, nullptr).FlatButton3Click();
        REQUIRE(msgs.shown.size() == 3);
        CHECK(msgs.shown[2].find("没有删除任何内容") != std::string::npos);
        CHECK(FileExists(shortcut));
    }
    CHECK(KeyPresent(HKEY_LOCAL_MACHINE, "Software\\Gone\\Sub"));
    CHECK(ValuePresent(HKEY_LOCAL_MACHINE, "Software\\Fonts", "Gone"));
    for (int i = 0; i < list.Count(); ++i) CHECK_FALSE(list.At(i).Repaired());
    CHECK_FALSE(FileExists(RepairLogPath()));
    CHECK(view.statuses.empty());
}

TEST_CASE("what cannot be recorded is not deleted; the rest of a repair all goes on") {
    RegistrySandbox sb;
    ScratchDir dir;
    CleanLog log;
    // A key name with a line break: the registry editor's format has no way to write it.
    MakeKey(HKEY_CURRENT_USER, "Software\\Odd\\line\nbreak");
    SetString(HKEY_CURRENT_USER, "Software\\Plain", "v", "x");
    RepairContext context{5};
    context.undoFolder = dir / "Undo\\";
    FindingList list;
    list.Add(Row("HKEY_CURRENT_USER", "Software\\Odd"));
    list.Add(Row("HKEY_CURRENT_USER", "Software\\Plain", "v"));
    FakeView view;
    Messages msgs{IDCANCEL, IDOK};
    Repairer(list, view, context, nullptr).FlatButton3Click();
    CHECK(KeyPresent(HKEY_CURRENT_USER, "Software\\Odd\\line\nbreak"));
    CHECK_FALSE(ValuePresent(HKEY_CURRENT_USER, "Software\\Plain", "v"));
    REQUIRE(msgs.shown.size() == 3);
    CHECK(msgs.shown[2].rfind("1 个错误没有修复", 0) == 0);
    // The record of the value that went is in the file.
    RegFileFlavor flavor;
    std::vector<RegFileKey> keys;
    REQUIRE(ReadUndoFile(ListUndoFiles(context.undoFolder).at(0), flavor, keys));
    REQUIRE(keys.size() == 1);
    CHECK(keys[0].values.at(0).name == L"v");
}

TEST_CASE("an undo that is cancelled, cannot start the editor, or cannot read its file changes nothing") {
    ScratchDir dir;
    CleanLog log;
    const std::string path = dir.File("undo.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n");
    FakeView view;
    Progress progress;
    UndoCommand command(view, [&]() -> TForm3& { return progress(); });
    ScopedSeams seams;
    int starts = 0;
    seams->runAndWait = [&](const std::string&, const std::string&, DWORD&) { return ++starts, false; };
    {
        Messages msgs{IDCANCEL};
        CHECK_FALSE(command.UndoFrom(path));
        CHECK(starts == 0);
    }
    Messages msgs;
    CHECK_FALSE(command.UndoFrom(path));
    CHECK(msgs.shown.back().find("无法启动注册表编辑器") != std::string::npos);
    CHECK(view.statuses.back() == "撤销失败");
    CHECK_FALSE(command.UndoFrom(dir.File("bad.reg", "not a registry file")));
    CHECK(msgs.shown.back().find("无法读取撤销文件") != std::string::npos);
}

TEST_CASE("a shortcut and an empty folder go to the Recycle Bin; a folder with content stays") {
    ScratchDir dir;
    const std::string file = dir.File("old.lnk"), empty = dir.Dir("Empty"), full = dir.Dir("Full");
    const std::string inside = dir.File("Full\\keep.txt");
    CHECK_FALSE(RecycleEmptyFolder(full));
    CHECK(FileExists(inside));
    CHECK_FALSE(RecycleFile(empty));
    CHECK(RecycleFile(file));
    CHECK_FALSE(FileExists(file));
    CHECK(RecycleEmptyFolder(empty));
    CHECK_FALSE(DirectoryExists(empty));
}

}  // TEST_SUITE
