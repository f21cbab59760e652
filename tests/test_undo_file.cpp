#include <doctest.h>

#include <string>
#include <vector>

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

// The text without the comment line each record ends with.
std::wstring WithoutMarks(std::wstring text) {
    for (size_t at; (at = text.find(L"\n;Tarnwell record ")) != std::wstring::npos;)
        text.erase(at + 1, text.find(L"\r\n", at) + 2 - (at + 1));
    return text;
}

// The text of a file of the Unicode flavour after its first line, without the blank lines the
// editor adds at the end.
std::wstring Body(const std::string& bytes) {
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    text = text.substr(text.find(L"\r\n"));
    text = WithoutMarks(text);
    while (text.size() >= 2 && text.compare(text.size() - 2, 2, L"\r\n") == 0) text.resize(text.size() - 2);
    return text;
}

}  // namespace

TEST_SUITE("registry editor text") {

TEST_CASE("each kind is written so that the editor stores the same bytes, and reads back") {
    const RegFileFlavor U = RegFileFlavor::Unicode5, A = RegFileFlavor::Ansi4;
    struct Row {
        const char* what;
        RegFileFlavor flavor;
        RegFileValue value;
        const wchar_t* text;  // null: the name cannot be written
    } rows[] = {
        {"quotes and backslashes escaped", U, {false, L"a\"b\\c", false, REG_SZ, Utf16(L"C:\\x \"y\"")},
         L"\"a\\\"b\\\\c\"=\"C:\\\\x \\\"y\\\"\"\r\n"},
        {"the default value", U, {true, L"", false, REG_SZ, Utf16(L"")}, L"@=\"\"\r\n"},
        {"a line break in the data needs hex(1)", U, {false, L"v", false, REG_SZ, Utf16(L"a\r\nb")},
         L"\"v\"=hex(1):61,00,0d,00,0a,00,62,00,00,00\r\n"},
        {"no terminating NUL needs hex(1)", U, {false, L"v", false, REG_SZ, Utf16(L"ab", false)},
         L"\"v\"=hex(1):61,00,62,00\r\n"},
        {"an odd size needs hex(1)", U, {false, L"v", false, REG_SZ, Bytes({0x61, 0, 0})}, L"\"v\"=hex(1):61,00,00\r\n"},
        {"four-byte integer", U, {false, L"n", false, REG_DWORD, Bytes({0x78, 0x56, 0x34, 0x12})},
         L"\"n\"=dword:12345678\r\n"},
        {"an integer of another size", U, {false, L"n", false, REG_DWORD, Bytes({1, 2})}, L"\"n\"=hex(4):01,02\r\n"},
        {"expandable string", U, {false, L"e", false, REG_EXPAND_SZ, Utf16(L"%a%")},
         L"\"e\"=hex(2):25,00,61,00,25,00,00,00\r\n"},
        {"any other kind", U, {false, L"q", false, 0x12345678, Bytes({9})}, L"\"q\"=hex(12345678):09\r\n"},
        {"a value to delete", U, {true, L"", true, REG_NONE, ""}, L"@=-\r\n"},
        {"ANSI: text bytes as stored", A, {false, L"名", false, REG_SZ, "数据\\" + std::string(1, '\0')},
         L"\"名\"=\"数据\\\\\"\r\n"},
        {"ANSI: bytes the code page cannot read need hex(1)", A, {false, L"v", false, REG_SZ, Bytes({0x81, 0})},
         L"\"v\"=hex(1):81,00\r\n"},
        {"a line break in a name", U, {false, L"a\nb", false, REG_SZ, Utf16(L"")}, nullptr},
        {"a NUL in a name", U, {false, std::wstring(L"a\0b", 3), false, REG_SZ, Utf16(L"")}, nullptr},
        {"ANSI: a name outside the code page", A, {false, L"\x0E01", false, REG_SZ, std::string(1, '\0')}, nullptr},
    };
    for (const Row& r : rows) {
        CAPTURE(r.what);
        std::wstring out;
        REQUIRE(FormatRegValue(r.flavor, r.value, out) == (r.text != nullptr));
        if (!r.text) continue;
        CHECK(out == r.text);
        std::string file;
        REQUIRE(EncodeRegFile(r.flavor, RegFileHeader(r.flavor) + L"[HKEY_CURRENT_USER\\x]\r\n" + out, true, file));
        RegFileFlavor flavor;
        std::vector<RegFileKey> keys;
        REQUIRE(ParseRegFile(file, flavor, keys));
        CHECK(flavor == r.flavor);
        const RegFileValue& back = keys.at(0).values.at(0);
        CHECK((back.name == r.value.name && back.isDefault == r.value.isDefault && back.remove == r.value.remove));
        if (!r.value.remove) CHECK((back.type == r.value.type && back.data == r.value.data));
    }
    // For an editor that reads them, line breaks in a name are written as escapes.
    std::wstring out;
    REQUIRE(FormatRegValue(RegFileFlavor::Unicode5, {false, L"a\r\nb", false, REG_SZ, Utf16(L"")}, out, true));
    CHECK(out == L"\"a\\r\\nb\"=\"\"\r\n");
}

}  // TEST_SUITE

TEST_SUITE("undo file") {

TEST_CASE("files are named by the moment, never reused, and a file without a record goes") {
    RegistrySandbox sb;
    ScratchDir dir;
    const std::string folder = dir / "Undo\\";
    SetString(HKEY_CURRENT_USER, "Software\\K", "v", "x");
    std::vector<std::string> paths;
    {
        UndoFile a, b, c;
        REQUIRE(a.Open(RegFileFlavor::Unicode5, folder));
        REQUIRE(b.Open(RegFileFlavor::Unicode5, folder));
        REQUIRE(c.Open(RegFileFlavor::Ansi4, folder));
        paths = {a.Path(), b.Path(), c.Path()};
        CHECK(ListUndoFiles(folder) == paths);  // opened one after another, listed in that order
        CHECK(ReadFileBytes(c.Path()) == "REGEDIT4\r\n");
        REQUIRE(b.RecordValue(HKEY_CURRENT_USER, "Software\\K", "v"));
        // Nothing there is nothing to record.
        REQUIRE(a.RecordValue(HKEY_CURRENT_USER, "Software\\K", "none"));
        REQUIRE(a.RecordKey(HKEY_CURRENT_USER, "Software\\None"));
    }
    CHECK(ListUndoFiles(folder) == std::vector<std::string>{paths[1]});
    UndoFile blocked;  // a file where the folder should be
    CHECK_FALSE(blocked.Open(RegFileFlavor::Unicode5, dir.File("Blocked") + "\\"));
    CHECK_FALSE(blocked.RecordKey(HKEY_CURRENT_USER, "Software\\K"));
}

TEST_CASE("a key record is what the editor's own export of that key says") {
    ScratchDir dir;
    ScratchKey key("export");
    std::string bin;
    for (int i = 0; i < 300; ++i) bin += static_cast<char>(i * 7);
    const std::wstring k = key.wrel;
    SetWideValue(HKEY_CURRENT_USER, k, L"binary", REG_BINARY, bin);
    SetWideValue(HKEY_CURRENT_USER, k, L"a rather long value name that moves the first wrap", REG_BINARY, bin.substr(0, 90));
    SetWideValue(HKEY_CURRENT_USER, k, L"", REG_SZ, Utf16(L"默认 \"值\" C:\\"));
    SetWideValue(HKEY_CURRENT_USER, k + L"\\Sub\\Deep", L"multi", REG_MULTI_SZ, Utf16(std::wstring(L"one\0two\0", 8)));
    SetWideValue(HKEY_CURRENT_USER, k + L"\\Sub", L"expand", REG_EXPAND_SZ, Utf16(L"%SystemRoot%\\a-long-enough-path.dll"));
    UndoFile undo;
    REQUIRE(undo.Open(RegFileFlavor::Unicode5, dir / "Undo\\"));
    REQUIRE(undo.RecordKey(HKEY_CURRENT_USER, key.rel));
    const std::wstring exported = EditorExport(dir / "export.reg", key.full);
    CHECK(Body(ReadFileBytes(undo.Path())) == Body(std::string("\xFF\xFE") + Utf16(L"x" + exported, false)));
}

TEST_CASE("an undo file holds only what a repair recorded: anything else is refused before the import") {
    RegistrySandbox sb;
    ScratchDir dir;
    SetString(HKEY_CURRENT_USER, "Software\\K\\Sub", "v", "x");
    SetString(HKEY_CURRENT_USER, "Software\\V", "v", "x");
    MakeKey(HKEY_CURRENT_USER, "Software\\D");  // no default value: its record removes the one repair makes
    const std::string folder = dir / "Undo\\";
    std::string written[2];
    for (RegFileFlavor flavor : {RegFileFlavor::Unicode5, RegFileFlavor::Ansi4}) {
        UndoFile undo;
        REQUIRE(undo.Open(flavor, folder));
        REQUIRE(undo.RecordKey(HKEY_CURRENT_USER, "Software\\K"));
        REQUIRE(undo.RecordValue(HKEY_CURRENT_USER, "Software\\V", "v"));
        REQUIRE(undo.RecordDefaultValue(HKEY_CURRENT_USER, "Software\\D"));
        undo.Close();
        written[flavor == RegFileFlavor::Ansi4] = ReadFileBytes(undo.Path());
    }
    // The Unicode file changed as a hand would change it; older files have no marks.
    auto edited = [&](std::wstring (*edit)(std::wstring)) {
        RegFileFlavor flavor;
        std::wstring text;
        DecodeRegFile(written[0], flavor, text);
        std::string bytes;
        REQUIRE(EncodeRegFile(flavor, edit(text), true, bytes));
        return bytes;
    };
    using P = UndoProblem;
    const struct {
        const char* what;
        std::string bytes;
        P::What problem;
    } rows[] = {
        {"as the repair wrote it", written[0], P::None},
        {"REGEDIT4 as the repair wrote it", written[1], P::None},
        {"older, without marks", edited(WithoutMarks), P::None},
        {"a key deleted", edited([](std::wstring t) { return t + L"\r\n[-HKEY_CURRENT_USER\\Software\\Other]\r\n"; }), P::Changed},
        {"a key added", edited([](std::wstring t) { return t + L"\r\n[HKEY_CURRENT_USER\\Software\\Run]\r\n\"x\"=\"y\"\r\n"; }),
         P::Changed},
        {"a recorded value changed",
         edited([](std::wstring t) { return t.replace(t.find(L"\"v\"=\"x\""), 7, L"\"v\"=\"y\""); }), P::Changed},
        {"older: a value deleted",
         edited([](std::wstring t) { return WithoutMarks(t) + L"\r\n[HKEY_CURRENT_USER\\Software\\V]\r\n\"w\"=-\r\n"; }),
         P::DeletesValue},
        {"older: a key deleted",
         edited([](std::wstring t) { return WithoutMarks(t) + L"\r\n[-HKEY_CURRENT_USER\\Software\\V]\r\n"; }), P::DeletesKey},
        {"older: a root no repair records",
         edited([](std::wstring t) { return WithoutMarks(t) + L"\r\n[HKEY_DYN_DATA\\X]\r\n"; }), P::KeyNotRecorded},
        {"older: a root alone",
         edited([](std::wstring t) { return WithoutMarks(t) + L"\r\n[HKEY_CURRENT_USER]\r\n\"x\"=\"y\"\r\n"; }),
         P::KeyNotRecorded},
    };
    auto problem = [&](const std::string& bytes) {
        const std::string path = dir.File("check.reg", bytes);
        UndoRecords records;
        REQUIRE(ReadUndoFile(path, records.flavor, records.keys));
        return UndoFileProblem(path, records).what;
    };
    for (const auto& r : rows) {
        CAPTURE(r.what);
        CHECK(problem(r.bytes) == r.problem);
    }
    // "@=-" takes away only the empty default value a repair leaves, never one set since.
    SetString(HKEY_CURRENT_USER, "Software\\D", "", "");
    CHECK(problem(written[0]) == P::None);
    SetString(HKEY_CURRENT_USER, "Software\\D", "", "set since");
    CHECK(problem(written[0]) == P::DeletesDefault);
    CHECK(problem(edited(WithoutMarks)) == P::DeletesDefault);
}

}  // TEST_SUITE
