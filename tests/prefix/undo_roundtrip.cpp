// Runs in a Wine prefix of its own (tests/undo_scratch_prefix.sh), on its real registry: a scan
// finds planted entries of a removed program, "repair all" without the whole-registry backup
// deletes everything found, and "undo the last repair" through the system's registry editor
// brings every deleted key and value back: the editor's export of the whole registry is the
// same before the repair and after the undo.
#include <doctest.h>

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <string>
#include <vector>

#include "app/MainWindow.h"
#include "platform/FileSystem.h"
#include "platform/LoadText.h"
#include "platform/MessagePump.h"
#include "platform/Registry.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "platform/Threads.h"
#include "repair/UndoFile.h"
#include "scan/Checklist.h"
#include "strings.h"
#include "support/RegistryFixtures.h"
#include "support/Sandbox.h"

using namespace tw;
using namespace tw::test;

namespace {

const char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TwGoneProgram";
const char kFonts[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";
const char kVendor[] = "Software\\TwGoneVendor\\Settings";
// An uninstall entry holding a registry link: repair leaves it whole, as its undo could not make
// the link again.
const char kLinked[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TwGoneLinked";
// A class whose "shell" key the scan names "Shell": undo gives it back in its own letter case.
const char kClass[] = "Software\\Classes\\TwGoneClass";

// The whole registry as the editor exports it: each key's lines by the key's header.
std::map<std::wstring, std::vector<std::wstring>> WholeRegistry(const std::string& file) {
    DWORD code = 1;
    REQUIRE(CurrentSeams().runAndWait("regedit /e \"" + file + "\"", "", code));
    const std::string bytes = ReadFileBytes(file);
    REQUIRE(bytes.size() > 2);
    const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    std::map<std::wstring, std::vector<std::wstring>> keys;
    std::vector<std::wstring>* current = nullptr;
    for (size_t start = 0, end; start < text.size(); start = end + 2) {
        if ((end = text.find(L"\r\n", start)) == std::wstring::npos) end = text.size();
        const std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line[0] == L'[') current = &keys[line];
        else if (current && !line.empty()) current->push_back(line);
    }
    return keys;
}

bool EndsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

TEST_CASE("repair all without the backup, then undo: every deleted key and value is back") {
    SetString(HKEY_LOCAL_MACHINE, kUninstall, "DisplayName", "Tw Gone Program");
    SetString(HKEY_LOCAL_MACHINE, kUninstall, "UninstallString", "C:\\Program Files\\TwGone\\uninst.exe");
    PlantEveryKind(HKEY_LOCAL_MACHINE, AnsiToWide(kUninstall) + L"\\Details");
    SetString(HKEY_LOCAL_MACHINE, kFonts, "Tw Gone (TrueType)", "twgone.ttf");
    SetString(HKEY_CURRENT_USER, kVendor, "LastFile", "C:\\Program Files\\TwGone\\data.twg");
    // The default value is reported twice: under the current user and under HKEY_USERS\<SID>.
    SetString(HKEY_CURRENT_USER, kVendor, "", "C:\\Program Files\\TwGone\\app.exe");
    SetString(HKEY_LOCAL_MACHINE, kLinked, "DisplayName", "Tw Gone Linked");
    SetString(HKEY_LOCAL_MACHINE, kLinked, "UninstallString", "C:\\Program Files\\TwGone\\uninst2.exe");
    SetString(HKEY_LOCAL_MACHINE, "Software\\TwLinkTarget", "kept", "1");
    {
        HKEY target = nullptr, link = nullptr;
        REQUIRE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\TwLinkTarget", 0, KEY_READ, &target) == ERROR_SUCCESS);
        const std::wstring name = KeyRealName(target);
        RegCloseKey(target);
        REQUIRE(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (AnsiToWide(kLinked) + L"\\Link").c_str(), 0, nullptr,
                                REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &link,
                                nullptr) == ERROR_SUCCESS);
        RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(name.data()),
                       static_cast<DWORD>(name.size() * sizeof(wchar_t)));
        RegCloseKey(link);
    }
    SetString(HKEY_LOCAL_MACHINE, kClass, "", "Tw Gone Document");
    SetString(HKEY_LOCAL_MACHINE, kClass, "EditFlags", "0");
    SetString(HKEY_LOCAL_MACHINE, std::string(kClass) + "\\shell\\open\\command", "",
              "\"C:\\Program Files\\TwGone\\app.exe\" \"%1\"");
    std::vector<int> answers = {IDOK, IDOK, IDCANCEL};  // taken from the back: no backup, then OK
    std::vector<std::string> shown;
    ScopedSeams seams;
    seams->messageBox = [&](HWND, const std::string& text, const std::string&, UINT) {
        shown.push_back(text);
        const int a = answers.empty() ? IDOK : answers.back();
        if (!answers.empty()) answers.pop_back();
        return a;
    };
    MainWindow form;
    REQUIRE(form.Create(GetModuleHandleW(nullptr)));
    form.Show();
    // After the window's creation, which records the program's path in the registry.
    const auto before = WholeRegistry(ProgramFolder() + "before.reg");
    HWND list = form.Checklist();
    for (int i = 0; i < ListView_GetItemCount(list); ++i)
        ListView_SetCheckState(list, i, i == kRowUninstall || i == kRowFonts || i == kRowCurrentUser ||
                                            i == kRowAllUsers || i == kRowFileTypes);
    form.Command(IDM_SCAN);
    RunUntil([&] { return form.Driver().Idle() && form.StatusText().rfind("扫描完毕", 0) == 0; }, 300000);
    int planted = 0;
    for (int i = 0; i < form.Findings().Count(); ++i) {
        const Finding& f = form.Findings().At(i);
        planted += (f.location == kUninstall && f.keyName.empty()) + (f.keyName == "Tw Gone (TrueType)") +
                   (f.keyName == "LastFile") + (EndsWith(f.location, kVendor) && f.kind == FindingKind::RegistryDefaultValue) +
                   (f.location == kLinked) + (LowerAscii(f.location) == LowerAscii(std::string(kClass) + "\\Shell"));
    }
    REQUIRE(planted == 8);  // the vendor's two values through both views

    form.Command(IDM_REPAIRALL);
    CHECK_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, kUninstall));
    CHECK_FALSE(ValuePresent(HKEY_LOCAL_MACHINE, kFonts, "Tw Gone (TrueType)"));
    CHECK_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, std::string(kClass) + "\\shell"));
    CHECK(KeyPresent(HKEY_LOCAL_MACHINE, std::string(kLinked) + "\\Link"));
    for (const std::string& s : shown) MESSAGE(AnsiToUtf8(s));
    // The one row left alone is the entry that holds a registry link.
    REQUIRE(!ListUndoFiles().empty());
    CHECK(shown.back().find(LoadText(IDS_ROWS_NOT_RECORDED_LINKS, {1, ListUndoFiles().back(), 1})) != std::string::npos);
    form.Command(IDM_UNDO_LAST);
    // Every row's object is back, so no row stays marked repaired.
    CHECK(form.StatusText() == LoadText(IDS_STATUS_UNDO_ROWS_BACK, {8}));
    for (int i = 0; i < form.Findings().Count(); ++i) CHECK_FALSE(form.Findings().At(i).Repaired());

    const auto after = WholeRegistry(ProgramFolder() + "after.reg");
    int differing = 0;
    for (const auto& k : before) {
        const auto it = after.find(k.first);
        if (it == after.end() || it->second != k.second)
            if (++differing <= 10) MESSAGE(WideToUtf8(k.first) << (it == after.end() ? ": missing" : ": differs"));
    }
    for (const auto& k : after)
        if (!before.count(k.first) && ++differing <= 10) MESSAGE(WideToUtf8(k.first) << ": new");
    CHECK(differing == 0);
}
