#include <doctest.h>

#include <cstdio>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "platform/Registry.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "repair/UndoFile.h"
#include "support/RegistryFixtures.h"
#include "support/Sandbox.h"

using namespace tw;
using namespace tw::test;

namespace {

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int c : b) s += static_cast<char>(c);
    return s;
}

std::wstring UndoText(const std::string& path) {
    const std::string bytes = ReadFileBytes(path);
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    return text.substr(text.find(L"\r\n"));
}

// Strips the blank lines at the end, which the editor adds after the last key.
std::wstring TrimEnd(std::wstring s) {
    while (s.size() >= 2 && s.compare(s.size() - 2, 2, L"\r\n") == 0) s.resize(s.size() - 2);
    return s;
}

RegSnapshot SnapKey(const std::string& rel) { return SnapshotKey(HKEY_CURRENT_USER, AnsiToWide(rel)); }

}  // namespace

TEST_SUITE("registry editor text") {

TEST_CASE("each kind is written so that the editor stores the same bytes") {
    struct Row {
        const char* what;
        RegFileFlavor flavor;
        RegFileValue value;
        const wchar_t* text;
    };
    const RegFileFlavor U = RegFileFlavor::Unicode5, A = RegFileFlavor::Ansi4;
    const Row rows[] = {
        {"quotes and backslashes escaped", U, {false, L"a\"b\\c", false, REG_SZ, Utf16(L"C:\\x \"y\"")},
         L"\"a\\\"b\\\\c\"=\"C:\\\\x \\\"y\\\"\"\r\n"},
        {"the default value", U, {true, L"", false, REG_SZ, Utf16(L"")}, L"@=\"\"\r\n"},
        {"a tab stays as it is", U, {false, L"t\tn", false, REG_SZ, Utf16(L"a\tb")}, L"\"t\tn\"=\"a\tb\"\r\n"},
        {"a line break needs hex(1)", U, {false, L"v", false, REG_SZ, Utf16(L"a\r\nb")},
         L"\"v\"=hex(1):61,00,0d,00,0a,00,62,00,00,00\r\n"},
        {"no terminating NUL needs hex(1)", U, {false, L"v", false, REG_SZ, Utf16(L"ab", false)},
         L"\"v\"=hex(1):61,00,62,00\r\n"},
        {"a NUL inside needs hex(1)", U, {false, L"v", false, REG_SZ, Utf16(std::wstring(L"a\0b", 3))},
         L"\"v\"=hex(1):61,00,00,00,62,00,00,00\r\n"},
        {"an odd size needs hex(1)", U, {false, L"v", false, REG_SZ, Bytes({0x61, 0, 0})}, L"\"v\"=hex(1):61,00,00\r\n"},
        {"empty data of a string", U, {false, L"v", false, REG_SZ, ""}, L"\"v\"=hex(1):\r\n"},
        {"four-byte integer", U, {false, L"n", false, REG_DWORD, Bytes({0x78, 0x56, 0x34, 0x12})},
         L"\"n\"=dword:12345678\r\n"},
        {"an integer of another size", U, {false, L"n", false, REG_DWORD, Bytes({1, 2})}, L"\"n\"=hex(4):01,02\r\n"},
        {"expandable string", U, {false, L"e", false, REG_EXPAND_SZ, Utf16(L"%a%")},
         L"\"e\"=hex(2):25,00,61,00,25,00,00,00\r\n"},
        {"binary", U, {false, L"b", false, REG_BINARY, Bytes({0, 0xff})}, L"\"b\"=hex:00,ff\r\n"},
        {"empty binary", U, {false, L"b", false, REG_BINARY, ""}, L"\"b\"=hex:\r\n"},
        {"any other kind", U, {false, L"q", false, 0x12345678, Bytes({9})}, L"\"q\"=hex(12345678):09\r\n"},
        {"a value to delete", U, {true, L"", true, REG_NONE, ""}, L"@=-\r\n"},
        {"ANSI: text bytes as stored", A, {false, L"名", false, REG_SZ, "数据\\" + std::string(1, '\0')},
         L"\"名\"=\"数据\\\\\"\r\n"},
        {"ANSI: expandable string in ANSI bytes", A, {false, L"e", false, REG_EXPAND_SZ, Bytes({0x25, 0x41, 0x25, 0})},
         L"\"e\"=hex(2):25,41,25,00\r\n"},
        {"ANSI: bytes the code page cannot read need hex(1)", A, {false, L"v", false, REG_SZ, Bytes({0x81, 0})},
         L"\"v\"=hex(1):81,00\r\n"},
    };
    for (const Row& r : rows) {
        CAPTURE(r.what);
        std::wstring out;
        REQUIRE(FormatRegValue(r.flavor, r.value, out));
        CHECK(out == r.text);
        // And the text reads back to the same value.
        std::string file;
        REQUIRE(EncodeRegFile(r.flavor, RegFileHeader(r.flavor) + L"\r\n[HKEY_CURRENT_USER\\x]\r\n" + out, true, file));
        RegFileFlavor flavor;
        std::vector<RegFileKey> keys;
        REQUIRE(ParseRegFile(file, flavor, keys));
        CHECK(flavor == r.flavor);
        REQUIRE(keys.size() == 1);
        REQUIRE(keys[0].values.size() == 1);
        const RegFileValue& back = keys[0].values[0];
        CHECK(back.isDefault == r.value.isDefault);
        CHECK(back.remove == r.value.remove);
        if (!r.value.isDefault) CHECK(back.name == r.value.name);
        if (!r.value.remove) {
            CHECK(back.type == r.value.type);
            CHECK(back.data == r.value.data);
        }
    }
}

TEST_CASE("names the format cannot carry are refused, not mangled") {
    std::wstring out;
    CHECK_FALSE(FormatRegValue(RegFileFlavor::Unicode5, {false, L"a\nb", false, REG_SZ, Utf16(L"")}, out));
    CHECK_FALSE(FormatRegValue(RegFileFlavor::Unicode5, {false, L"a\rb", false, REG_SZ, Utf16(L"")}, out));
    CHECK_FALSE(FormatRegValue(RegFileFlavor::Unicode5, {false, std::wstring(L"a\0b", 3), false, REG_SZ, Utf16(L"")}, out));
    CHECK_FALSE(FormatRegValue(RegFileFlavor::Ansi4, {false, L"\x0E01", false, REG_SZ, std::string(1, '\0')}, out));
    CHECK_FALSE(FormatRegKeyLine(L"HKEY_CURRENT_USER\\a\nb", out));
    CHECK(out.empty());
    // For an editor that reads them, line breaks in a name are written as escapes and read back.
    REQUIRE(FormatRegValue(RegFileFlavor::Unicode5, {false, L"a\r\n\\b", false, REG_SZ, Utf16(L"")}, out, true));
    CHECK(out == L"\"a\\r\\n\\\\b\"=\"\"\r\n");
    std::string file;
    REQUIRE(EncodeRegFile(RegFileFlavor::Unicode5, RegFileHeader(RegFileFlavor::Unicode5) + L"[HKEY_CURRENT_USER\\x]\r\n" + out,
                          true, file));
    RegFileFlavor flavor;
    std::vector<RegFileKey> keys;
    REQUIRE(ParseRegFile(file, flavor, keys));
    CHECK(keys.at(0).values.at(0).name == L"a\r\n\\b");
}

}  // TEST_SUITE

TEST_SUITE("undo file") {

TEST_CASE("files are named by the moment, never reused, and a file without a record goes") {
    ScratchDir dir;
    const std::string folder = dir / "Undo\\";
    std::vector<std::string> paths;
    {
        UndoFile a, b, c;
        REQUIRE(a.Open(RegFileFlavor::Unicode5, folder));
        REQUIRE(b.Open(RegFileFlavor::Unicode5, folder));
        REQUIRE(c.Open(RegFileFlavor::Ansi4, folder));
        paths = {a.Path(), b.Path(), c.Path()};
        CHECK(a.Path() != b.Path());
        CHECK(ReadFileBytes(a.Path()) == Utf16(L"Windows Registry Editor Version 5.00\r\n", false).insert(0, "\xFF\xFE"));
        CHECK(ReadFileBytes(c.Path()) == "REGEDIT4\r\n");
        // Opened one after another, listed in that order.
        CHECK(ListUndoFiles(folder) == paths);
        RegistrySandbox sb;
        SetString(HKEY_CURRENT_USER, "Software\\K", "v", "x");
        REQUIRE(b.RecordValue(HKEY_CURRENT_USER, "Software\\K", "v"));
        // Nothing there is nothing to record.
        REQUIRE(a.RecordValue(HKEY_CURRENT_USER, "Software\\K", "none"));
        REQUIRE(a.RecordKey(HKEY_CURRENT_USER, "Software\\None"));
        CHECK(a.RecordCount() == 0);
    }
    CHECK(ListUndoFiles(folder) == std::vector<std::string>{paths[1]});

    // A folder that cannot be made: no file, and the caller learns it.
    const std::string blocked = dir.File("Blocked");
    UndoFile d;
    CHECK_FALSE(d.Open(RegFileFlavor::Unicode5, blocked + "\\"));
    CHECK_FALSE(d.IsOpen());
    CHECK_FALSE(d.RecordKey(HKEY_CURRENT_USER, "Software\\K"));
}

TEST_CASE("a key record is what the editor's own export of that key says") {
    ScratchDir dir;
    ScratchKey key("export");
    const std::wstring k = key.wrel;
    std::string longBinary;
    for (int i = 0; i < 300; ++i) longBinary += static_cast<char>(i * 7);
    SetWideValue(HKEY_CURRENT_USER, k, L"binary", REG_BINARY, longBinary);
    SetWideValue(HKEY_CURRENT_USER, k, L"a rather long value name that moves the first wrap", REG_BINARY, longBinary.substr(0, 90));
    SetWideValue(HKEY_CURRENT_USER, k, L"", REG_SZ, Utf16(L"默认 \"值\" C:\\"));
    SetWideValue(HKEY_CURRENT_USER, k, L"名称", REG_DWORD, Bytes({1, 0, 0, 0}));
    SetWideValue(HKEY_CURRENT_USER, k + L"\\Sub\\Deep", L"multi", REG_MULTI_SZ, Utf16(std::wstring(L"one\0two\0", 8)));
    SetWideValue(HKEY_CURRENT_USER, k + L"\\Sub", L"expand", REG_EXPAND_SZ, Utf16(L"%SystemRoot%\\system32\\a-long-enough-path.dll"));

    UndoFile undo;
    REQUIRE(undo.Open(RegFileFlavor::Unicode5, dir / "Undo\\"));
    REQUIRE(undo.RecordKey(HKEY_CURRENT_USER, key.rel));
    CHECK(TrimEnd(UndoText(undo.Path())) == TrimEnd(EditorExport(dir / "export.reg", key.full)));
}

TEST_CASE("the editor's import of a record gives back the same bytes") {
    ScratchDir dir;
    ScratchKey key("roundtrip");
    const std::wstring k = key.wrel;
    PlantEveryKind(HKEY_CURRENT_USER, k);

    const RegSnapshot before = SnapKey(key.rel);
    const std::wstring exportBefore = EditorExport(dir / "export.reg", key.full);
    REQUIRE(before.size() > 18);

    SUBCASE("a key with its subtree") {
        UndoFile undo;
        REQUIRE(undo.Open(RegFileFlavor::Unicode5, dir / "Undo\\"));
        undo.AllowLineBreakEscapes(true);  // the editor here is Wine's
        REQUIRE(undo.RecordKey(HKEY_CURRENT_USER, key.rel));
        const std::string path = undo.Path();
        undo.Close();
        REQUIRE(DeleteWideTree(HKEY_CURRENT_USER, k));
        RegFileFlavor flavor;
        std::vector<RegFileKey> keys;
        REQUIRE(ReadUndoFile(path, flavor, keys));
        CHECK(MissingAfterUndo(flavor, keys).size() == keys.size());  // every key is reported missing
        REQUIRE(RunRegistryEditor("/s \"" + path + "\""));
        CHECK(MissingAfterUndo(flavor, keys).empty());
        CHECK(SnapKey(key.rel) == before);
        CHECK(EditorExport(dir / "export.reg", key.full) == exportBefore);
    }
    SUBCASE("one value of each kind, deleted one by one") {
        UndoFile undo;
        REQUIRE(undo.Open(RegFileFlavor::Unicode5, dir / "Undo\\"));
        undo.AllowLineBreakEscapes(true);  // the editor here is Wine's
        for (const wchar_t* name : {L"sz", L"crlf", L"nul inside", L"empty", L"unterminated", L"zero bytes", L"unterminated multi", L"expand", L"multi", L"dword",
                                    L"short dword", L"qword", L"big endian", L"binary", L"no data", L"none",
                                    L"odd kind"}) {
            REQUIRE(undo.RecordValue(HKEY_CURRENT_USER, key.rel, WideToAnsi(name)));
            REQUIRE(DeleteWideValue(HKEY_CURRENT_USER, k, name));
        }
        const std::string path = undo.Path();
        undo.Close();
        REQUIRE(RunRegistryEditor("/s \"" + path + "\""));
        CHECK(SnapKey(key.rel) == before);
        CHECK(EditorExport(dir / "export.reg", key.full) == exportBefore);
    }
    SUBCASE("the emptied default value, and a default value the repair creates") {
        UndoFile undo;
        REQUIRE(undo.Open(RegFileFlavor::Unicode5, dir / "Undo\\"));
        undo.AllowLineBreakEscapes(true);  // the editor here is Wine's
        const std::string sub = key.rel + "\\NoDefault";
        REQUIRE(undo.RecordDefaultValue(HKEY_CURRENT_USER, key.rel));
        REQUIRE(undo.RecordDefaultValue(HKEY_CURRENT_USER, sub));
        SetString(HKEY_CURRENT_USER, key.rel, "", "");
        SetString(HKEY_CURRENT_USER, sub, "", "");
        REQUIRE(SnapKey(key.rel) != before);
        const std::string path = undo.Path();
        undo.Close();
        REQUIRE(RunRegistryEditor("/s \"" + path + "\""));
        CHECK(SnapKey(key.rel) == before);
    }
}

TEST_CASE("the ANSI flavour round trip through the editor") {
    ScratchDir dir;
    ScratchKey key("ansi");
    SetString(HKEY_CURRENT_USER, key.rel + "\\子键", "名称", "数据 \"C:\\路径\"");
    SetString(HKEY_CURRENT_USER, key.rel + "\\子键", "", "默认");
    SetString(HKEY_CURRENT_USER, key.rel + "\\子键", "expand", "%TEMP%\\中", REG_EXPAND_SZ);
    SetDword(HKEY_CURRENT_USER, key.rel, "n", 7);
    SetBinary(HKEY_CURRENT_USER, key.rel, "b", std::string("\0\x01\xff", 3));
    const RegSnapshot before = SnapKey(key.rel);

    UndoFile undo;
    REQUIRE(undo.Open(RegFileFlavor::Ansi4, dir / "Undo\\"));
    REQUIRE(undo.RecordKey(HKEY_CURRENT_USER, key.rel));
    const std::string path = undo.Path();
    undo.Close();
    CHECK(ReadFileBytes(path).find("[HKEY_CURRENT_USER\\" + key.rel + "\\子键]\r\n") != std::string::npos);
    REQUIRE(Registry().DeleteKey(key.rel));
    REQUIRE(RunRegistryEditor("/s \"" + path + "\""));
    CHECK(SnapKey(key.rel) == before);
}

}  // TEST_SUITE
