// Repair with its undo file: every registry deletion recorded first, nothing deleted without a
// record, ignored objects never touched, and the undo through the registry editor giving back
// the same bytes.
#include <doctest.h>

#include "app/RepairCommands.h"
#include "app/UndoWindow.h"
#include "platform/RecycleBin.h"
#include "repair/UndoCommand.h"
#include "support/RepairFixtures.h"

using namespace tw;
using namespace tw::test;

namespace {

// Repairs one row with "repair selected" (OK to the question), then undoes it through the
// registry editor from the file the repair wrote (none when the repair found nothing to delete).
void RepairThenUndo(const Finding& row, uint32_t major, const ScratchDir& dir, bool deletes = true) {
    FindingList list;
    list.Add(row);
    FakeView view;
    view.selected = 0;
    RepairContext context{major};
    context.undoFolder = dir / "Undo\\";
    ScriptedRepairUi ui;
    Repairer(list, view, ui, context, nullptr).RepairSelected();
    REQUIRE(list.At(0).Repaired());
    const std::vector<std::string> files = ListUndoFiles(context.undoFolder);
    REQUIRE(files.size() == (deletes ? 1u : 0u));
    if (!deletes) return;
    ProgressOnDemand progress(nullptr);
    REQUIRE(UndoCommand(view, progress, ui).UndoFrom(files[0]));
}

// The registry's own name of a key of the current user ("\\REGISTRY\\User\\<SID>\\...").
std::wstring RealName(const std::wstring& rel) {
    UniqueHKey k;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, rel.c_str(), 0, KEY_READ, k.put()) != ERROR_SUCCESS) return {};
    return KeyRealName(k.get());
}

// The current user's SID: HKEY_CURRENT_USER is also HKEY_USERS\<SID>.
std::string UserSid() {
    const std::wstring real = RealName(L"Software");
    const size_t user = real.find(L"\\User\\");
    REQUIRE(user != std::wstring::npos);
    return WideToAnsi(real.substr(user + 6, real.find(L'\\', user + 6) - user - 6));
}

// A registry link of the current user to a key, and its removal (the link alone, never its target).
void MakeLink(const std::wstring& rel, const std::wstring& target) {
    UniqueHKey k;
    REQUIRE(RegCreateKeyExW(HKEY_CURRENT_USER, rel.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, k.put(), nullptr) == ERROR_SUCCESS);
    REQUIRE(RegSetValueExW(k.get(), L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target.data()),
                           static_cast<DWORD>(target.size() * sizeof(wchar_t))) == ERROR_SUCCESS);
}
void DropLink(const std::wstring& rel) {
    using NtDeleteKeyFn = LONG(WINAPI*)(HANDLE);
    static const NtDeleteKeyFn del =
        reinterpret_cast<NtDeleteKeyFn>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDeleteKey"));
    UniqueHKey k;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, rel.c_str(), REG_OPTION_OPEN_LINK, DELETE, k.put()) == ERROR_SUCCESS) del(k.get());
}

}  // namespace

TEST_SUITE("repair with undo") {

TEST_CASE("a repaired key, value or default value comes back byte for byte through its undo") {
    ScratchDir dir;
    ScratchKey key("repairundo");
    CleanProgramFolder clean;
    PlantEveryKind(HKEY_CURRENT_USER, key.wrel + L"\\Found");
    const RegSnapshot before = SnapshotKey(HKEY_CURRENT_USER, key.wrel);
    const std::wstring exportBefore = EditorExport(dir / "export.reg", key.full);
    const std::string found = key.rel + "\\Found";

    SUBCASE("a key with subkeys and values of every kind, Windows 2000 and later") {
        RepairThenUndo(RegistryKeyFinding("HKEY_CURRENT_USER", found), 5, dir);
    }
    SUBCASE("one value") {
        RepairThenUndo(RegistryValueFinding("HKEY_CURRENT_USER", found, "binary"), 5, dir);
    }
    SUBCASE("the emptied default value") {
        RepairThenUndo(RegistryDefaultValueFinding("HKEY_CURRENT_USER", found), 5, dir);
    }
    SUBCASE("a default value that is not there: nothing is made, recorded or deleted") {
        RepairThenUndo(RegistryDefaultValueFinding("HKEY_CURRENT_USER", found + "\\NoDefault"), 5, dir, false);
    }
    SUBCASE("a key the row names in other letter case comes back under its own name") {
        RepairThenUndo(RegistryKeyFinding("HKEY_CURRENT_USER", key.rel + "\\FOUND"), 5, dir);
    }
    SUBCASE("a value of the key a registry link leads to") {
        const std::wstring link = key.wrel + L"\\Link";
        MakeLink(link, RealName(key.wrel + L"\\Found"));
        RepairThenUndo(RegistryValueFinding("HKEY_CURRENT_USER", key.rel + "\\Link", "binary"), 5, dir);
        DropLink(link);
    }
    CHECK(SnapshotKey(HKEY_CURRENT_USER, key.wrel) == before);
    CHECK(EditorExport(dir / "export.reg", key.full) == exportBefore);
}

TEST_CASE("one object repaired through two views, or by several repairs, comes back as before the first") {
    // The current user's key is also HKEY_USERS\<SID>\...: the all-users scan reports it again.
    const std::string sid = UserSid();
    enum What { Default, Key };
    struct Step {
        bool users;  // through HKEY_USERS\<SID>, else HKEY_CURRENT_USER
        What what;
    };
    const struct {
        const char* what;
        bool withDefault;
        std::vector<std::vector<Step>> repairs;  // each one "repair all" of these rows
    } cases[] = {
        {"the emptied default value through both views", true, {{{true, Default}, {false, Default}}}},
        {"the emptied default value, then its key through the other view", true, {{{true, Default}, {false, Key}}}},
        {"a default value the repair creates, then its key through the other view", false,
         {{{true, Default}, {false, Key}}}},
        {"two repairs, undone back to the first", true, {{{true, Default}}, {{false, Key}}}},
    };
    for (const auto& c : cases) {
        const std::string what = c.what;
        CAPTURE(what);
        ScratchDir dir;
        ScratchKey key("views");
        CleanProgramFolder clean;
        const std::string k = key.rel + "\\DefaultKey";
        SetString(HKEY_CURRENT_USER, k + "\\Sub", "w", "y");
        SetString(HKEY_CURRENT_USER, k, "v", "x");
        if (c.withDefault) SetString(HKEY_CURRENT_USER, k, "", "C:\\Gone\\app.exe");
        const RegSnapshot before = SnapshotKey(HKEY_CURRENT_USER, key.wrel);
        const std::wstring exportBefore = EditorExport(dir / "export.reg", key.full);
        RepairContext context{5};
        context.undoFolder = dir / "Undo\\";
        FakeView view;
        for (const std::vector<Step>& repair : c.repairs) {
            FindingList list;
            for (const Step& s : repair) {
                const char* root = s.users ? "HKEY_USERS" : "HKEY_CURRENT_USER";
                const std::string at = (s.users ? sid + "\\" : "") + k;
                list.Add(s.what == Default ? RegistryDefaultValueFinding(root, at) : RegistryKeyFinding(root, at));
            }
            ScriptedRepairUi ui{false, true};
            Repairer(list, view, ui, context, nullptr).RepairAll();
            for (int i = 0; i < list.Count(); ++i) REQUIRE(list.At(i).Repaired());
        }
        const std::vector<std::string> files = ListUndoFiles(context.undoFolder);
        REQUIRE(files.size() == c.repairs.size());
        ScriptedRepairUi ui;
        ProgressOnDemand progress(nullptr);
        CHECK(UndoCommand(view, progress, ui).UndoBackTo(files.front()));
        CHECK(SnapshotKey(HKEY_CURRENT_USER, key.wrel) == before);
        CHECK(EditorExport(dir / "export.reg", key.full) == exportBefore);
    }
}

TEST_CASE("the check after the import names what did not come back exactly") {
    ScratchDir dir;
    ScratchKey key("undocheck");
    CleanProgramFolder clean;
    const std::wstring K = key.full + L"\\Row";
    const struct {
        const char* what;
        const wchar_t* record;  // below the key line
        void (*after)(const std::wstring& rel);  // what else changes the registry once the editor is done
        const char* named;  // below the key
        NotRestored::Why why;
        const char* stored = "";
    } cases[] = {
        {"a value of another kind", L"\"v\"=hex(2):61,00,00,00",
         [](const std::wstring& rel) { SetWideValue(HKEY_CURRENT_USER, rel, L"v", REG_SZ, Utf16(L"a")); }, "\\Row\\v",
         NotRestored::OtherKind},
        {"a value with other bytes", L"\"v\"=\"abc\"",
         [](const std::wstring& rel) { SetWideValue(HKEY_CURRENT_USER, rel, L"v", REG_SZ, Utf16(L"abd")); }, "\\Row\\v",
         NotRestored::OtherData},
        {"a key in other letter case", L"\"v\"=\"abc\"",
         [](const std::wstring& rel) {
             DeleteWideTree(HKEY_CURRENT_USER, rel);
             SetWideValue(HKEY_CURRENT_USER, rel.substr(0, rel.size() - 3) + L"ROW", L"v", REG_SZ, Utf16(L"abc"));
         },
         "\\Row", NotRestored::OtherName, "ROW"},
        {"a registry link that came back as an ordinary key", L"\"SymbolicLinkValue\"=hex(6):5c,00,41,00", nullptr,
         "\\Row", NotRestored::NoLongerLink},
        {"unterminated text the editor ends with a NUL", L"\"v\"=hex(1):61,00,62,00", nullptr, "\\Row\\v",
         NotRestored::OtherData},
        {"REG_SZ data of odd length, which Wine's editor pads", L"\"v\"=hex(1):61,00,00", nullptr, "\\Row\\v",
         NotRestored::OtherData},
        {"a value recorded again through the other view, in a file of older versions", L"@=\"orig\"\r\n\r\n[{users}]\r\n@=\"\"",
         nullptr, "\\Row\\@", NotRestored::OtherData},
    };
    const std::wstring users = L"HKEY_USERS\\" + AnsiToWide(UserSid()) + L"\\" + key.wrel + L"\\Row";
    for (const auto& c : cases) {
        const std::string what = c.what;
        CAPTURE(what);
        DeleteWideTree(HKEY_CURRENT_USER, key.wrel + L"\\Row");
        std::wstring record = c.record;
        if (record.find(L"{users}") != std::wstring::npos) record.replace(record.find(L"{users}"), 7, users);
        const std::string file = dir.File("undo.reg", "\xFF\xFE" + Utf16(L"Windows Registry Editor Version 5.00\r\n\r\n[" + K +
                                                                            L"]\r\n" + record + L"\r\n", false));
        ScopedSeams seams;
        const auto editor = seams->runAndWait;
        seams->runAndWait = [&](const std::string& line, const std::string& folder, DWORD& code) {
            const bool ran = editor(line, folder, code);
            if (c.after) c.after(key.wrel + L"\\Row");
            return ran;
        };
        FakeView view;
        ProgressOnDemand progress(nullptr);
        ScriptedRepairUi ui;
        CHECK_FALSE(UndoCommand(view, progress, ui).UndoFrom(file));
        REQUIRE(ui.heard.back() == "UndoDone");
        bool named = false;
        for (const NotRestored& n : ui.undo.notRestored)
            if (n.path == WideToAnsi(key.full) + c.named) named = n.why == c.why && n.stored == c.stored;
        CHECK(named);
        DropLink(key.wrel + L"\\Row");
    }
}

TEST_CASE("the undo files window counts the files and their room, removes old ones, and picks the repair") {
    ScratchDir dir;
    const std::string folder = dir / "Undo\\";
    const char* names[] = {"2026-01-01_10-00-00.reg", "2026-02-01_10-00-00.reg", "2026-03-01_10-00-00.reg"};
    const int ageDays[] = {40, 10, 0};
    for (int i = 0; i < 3; ++i)
        WrittenAgo(dir.File(std::string("Undo\\") + names[i], std::string(1000 + 1000 * i, 'x')), ageDays[i] * 24ULL * 3600);
    UndoWindow window(nullptr, {folder});
    REQUIRE(window.Files().size() == 3);
    CHECK(window.Files()[0].path == folder + names[2]);  // newest first
    CHECK(window.Summary() == "文件夹“" + folder + "”中有 3 个撤销文件，共 6 KB。");
    const struct {
        const char* days;
        int answer;
        size_t left;
    } removals[] = {{"", IDOK, 3}, {"0", IDOK, 3}, {"30", IDCANCEL, 3}, {"30", IDOK, 2}, {"30", IDOK, 2}};
    for (const auto& r : removals) {
        const std::string days = r.days;
        CAPTURE(days);
        Messages msgs{r.answer};
        window.SetDays(r.days);
        window.RemoveOldClick();
        CHECK(msgs.shown.size() == 1);
        CHECK(ListUndoFiles(folder).size() == r.left);
        CHECK(window.Files().size() == r.left);
    }
    CHECK(window.Summary().find("2 个撤销文件，共 5 KB") != std::string::npos);
    window.Select(1);
    window.UndoClick();
    CHECK(window.Picked() == folder + names[1]);
}

TEST_CASE("a repaired key comes back on the 98 family, whose editor reads REGEDIT4") {
    // The ANSI flavour carries what the code page can: names it cannot are left out here.
    ScratchDir dir;
    ScratchKey key("repairundo98");
    CleanProgramFolder clean;
    const std::string found = key.rel + "\\Found";
    SetString(HKEY_CURRENT_USER, found + "\\子键", "名称", "数据 \"C:\\路径\"");
    SetString(HKEY_CURRENT_USER, found, "expand", "%TEMP%\\中", REG_EXPAND_SZ);
    SetDword(HKEY_CURRENT_USER, found, "n", 7);
    const RegSnapshot before = SnapshotKey(HKEY_CURRENT_USER, key.wrel);
    RepairThenUndo(RegistryKeyFinding("HKEY_CURRENT_USER", found), 4, dir);
    CHECK(SnapshotKey(HKEY_CURRENT_USER, key.wrel) == before);
}

TEST_CASE("an undo file that cannot be written stops the repair before any deletion") {
    RegistrySandbox sb;
    ScratchDir dir;
    CleanProgramFolder clean;
    SetString(HKEY_LOCAL_MACHINE, "Software\\Gone\\Sub", "v", "x");
    SetString(HKEY_LOCAL_MACHINE, "Software\\Fonts", "Gone", "gone.ttf");
    const std::string shortcut = dir.File("old.lnk");
    RepairContext context{5};
    // A file where the folder should be: no undo file can be made there.
    context.undoFolder = dir.File("Undo") + "\\";
    FindingList list;
    list.Add(DiskFileFinding(shortcut, "1 Byte"));
    list.Add(RegistryKeyFinding("HKEY_LOCAL_MACHINE", "Software\\Gone"));
    list.Add(RegistryValueFinding("HKEY_LOCAL_MACHINE", "Software\\Fonts", "Gone"));
    FakeView view;

    SUBCASE("repair selected") {
        view.selected = 1;
        ScriptedRepairUi ui;
        Repairer(list, view, ui, context, nullptr).RepairSelected();
        CHECK(ui.heard == std::vector<std::string>{"ConfirmRow", "UndoFileNotMade"});
        CHECK(ui.text == context.undoFolder);
    }
    SUBCASE("repair all, whose first row is a file the undo file does not cover") {
        ScriptedRepairUi ui{false, true};  // no whole-registry backup; go ahead
        Repairer(list, view, ui, context, nullptr).RepairAll();
        CHECK(ui.heard == std::vector<std::string>{"OfferBackup", "ConfirmRepairAll", "UndoFileNotMade"});
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
    CleanProgramFolder clean;
    // A key name with a line break: the registry editor's format has no way to write it.
    MakeKey(HKEY_CURRENT_USER, "Software\\Odd\\line\nbreak");
    SetString(HKEY_CURRENT_USER, "Software\\Plain", "v", "x");
    RepairContext context{5};
    context.undoFolder = dir / "Undo\\";
    FindingList list;
    list.Add(RegistryKeyFinding("HKEY_CURRENT_USER", "Software\\Odd"));
    list.Add(RegistryValueFinding("HKEY_CURRENT_USER", "Software\\Plain", "v"));
    FakeView view;
    ScriptedRepairUi ui{false, true};
    Repairer(list, view, ui, context, nullptr).RepairAll();
    CHECK(KeyPresent(HKEY_CURRENT_USER, "Software\\Odd\\line\nbreak"));
    CHECK_FALSE(ValuePresent(HKEY_CURRENT_USER, "Software\\Plain", "v"));
    CHECK(ui.heard.back() == "RepairAllDone");
    CHECK(ui.counts.notRecorded == 1);
    // The record of the value that went is in the file.
    RegFileFlavor flavor;
    std::vector<RegFileKey> keys;
    REQUIRE(ReadUndoFile(ListUndoFiles(context.undoFolder).at(0), flavor, keys));
    REQUIRE(keys.size() == 1);
    CHECK(keys[0].values.at(0).name == L"v");
}

TEST_CASE("an undo that is cancelled, cannot start the editor, cannot read its file or is refused changes nothing") {
    ScratchDir dir;
    CleanProgramFolder clean;
    const std::string path = dir.File("undo.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n");
    FakeView view;
    ProgressOnDemand progress(nullptr);
    ScriptedRepairUi ui{false};
    UndoCommand command(view, progress, ui);
    ScopedSeams seams;
    int starts = 0;
    seams->runAndWait = [&](const std::string&, const std::string&, DWORD&) { return ++starts, false; };
    CHECK_FALSE(command.UndoFrom(path));
    CHECK(ui.heard == std::vector<std::string>{"ConfirmUndo"});
    CHECK(starts == 0);
    CHECK_FALSE(command.UndoFrom(path));
    CHECK(ui.heard.back() == "UndoDone");
    CHECK(ui.undo.imported == 0);  // the editor could not start
    CHECK(view.statuses.back() == LoadText(IDS_STATUS_UNDO_FAILED));
    CHECK_FALSE(command.UndoFrom(dir.File("bad.reg", "not a registry file")));
    CHECK(ui.heard.back() == "UndoUnreadable");
    // A deletion no repair recorded: refused before the question, the editor never started.
    const size_t heard = ui.heard.size();
    const int started = starts;
    CHECK_FALSE(command.UndoFrom(dir.File("deletes.reg", "REGEDIT4\r\n\r\n[-HKEY_CURRENT_USER\\Software\\X]\r\n")));
    REQUIRE(ui.heard.size() == heard + 1);
    CHECK(ui.heard.back() == "UndoRefused");
    CHECK(ui.problem.what == UndoProblem::DeletesKey);
    CHECK(starts == started);
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
