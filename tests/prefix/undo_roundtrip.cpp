// Runs in a Wine prefix of its own (tests/undo_scratch_prefix.sh), on its real registry: a scan
// finds planted entries of removed programs, "repair all" without the whole-registry backup
// deletes everything found, and "undo the last repair" through the system's registry editor
// brings every deleted key and value back: the editor's export of the whole registry is the
// same before the repair and after the undo.
#include <doctest.h>

#include <windows.h>
#include <commctrl.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/Checklist.h"
#include "app/MainWindow.h"
#include "platform/FileSystem.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "repair/UndoFile.h"
#include "support/RegistryFixtures.h"
#include "support/Sandbox.h"

using namespace tw;
using namespace tw::test;

namespace {

const char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TwGoneProgram";
const char kFonts[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";

template <typename Cond>
bool PumpUntil(Cond cond, DWORD ms) {
    const DWORD start = GetTickCount();
    while (!cond()) {
        if (GetTickCount() - start > ms) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

// The whole registry as the editor exports it: each key's section, by the key's path.
std::map<std::wstring, std::vector<std::wstring>> WholeRegistry(const std::string& file) {
    DeleteFileA(file.c_str());
    DWORD code = 1;
    REQUIRE(CurrentSeams().runAndWait("regedit /e \"" + file + "\"", "", code));
    const std::string bytes = ReadFileBytes(file);
    REQUIRE(bytes.size() > 2);
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    std::map<std::wstring, std::vector<std::wstring>> sections;
    std::vector<std::wstring>* current = nullptr;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring line = text.substr(start, end - start);
        start = end + 2;
        if (!line.empty() && line[0] == L'[') current = &sections[line];
        else if (current && !line.empty()) current->push_back(line);
    }
    return sections;
}

}  // namespace

TEST_CASE("repair all without the backup, then undo: every deleted key and value is back") {
    // Entries a removed program left behind, with values of every kind below them.
    SetString(HKEY_LOCAL_MACHINE, kUninstall, "DisplayName", "Tw Gone Program");
    SetString(HKEY_LOCAL_MACHINE, kUninstall, "UninstallString", "C:\\Program Files\\TwGone\\uninst.exe");
    PlantEveryKind(HKEY_LOCAL_MACHINE, AnsiToWide(kUninstall) + L"\\Details");
    SetString(HKEY_LOCAL_MACHINE, kFonts, "Tw Gone (TrueType)", "twgone.ttf");
    SetString(HKEY_CURRENT_USER, "Software\\TwGoneVendor\\Settings", "LastFile", "C:\\Program Files\\TwGone\\data.twg");
    SetString(HKEY_CURRENT_USER, "Software\\TwGoneVendor\\Settings", "", "C:\\Program Files\\TwGone\\app.exe");

    DeleteFileA((ProgramFolder() + "Set.ini").c_str());
    std::deque<int> answers = {IDCANCEL, IDOK};  // no whole-registry backup; repair everything
    std::vector<std::string> shown;
    ScopedSeams seams;
    seams->messageBox = [&](HWND, const std::string& text, const std::string&, UINT) {
        shown.push_back(text);
        int a = answers.empty() ? IDOK : answers.front();
        if (!answers.empty()) answers.pop_front();
        return a;
    };
    TForm1 form;
    REQUIRE(form.Create(GetModuleHandleW(nullptr)));
    form.Show();
    // After the window's creation, which records the program's path in the registry.
    const auto before = WholeRegistry(ProgramFolder() + "before.reg");
    HWND list = form.Checklist();
    for (int i = 0; i < ListView_GetItemCount(list); ++i)
        ListView_SetCheckState(list, i, i == kRowUninstall || i == kRowFonts || i == kRowCurrentUser);
    form.Command(ID_SCAN);
    REQUIRE(PumpUntil([&] { return form.Driver().Idle() && form.StatusText().rfind("扫描完毕", 0) == 0; }, 300000));
    bool uninstall = false, font = false, value = false, defaultValue = false;
    for (int i = 0; i < form.Findings().Count(); ++i) {
        const Finding& f = form.Findings().At(i);
        uninstall = uninstall || (f.location == kUninstall && f.keyName.empty());
        font = font || f.keyName == "Tw Gone (TrueType)";
        value = value || f.keyName == "LastFile";
        defaultValue = defaultValue || (f.location == "Software\\TwGoneVendor\\Settings" && f.defaultValue);
    }
    CHECK(uninstall);
    CHECK(font);
    CHECK(value);
    CHECK(defaultValue);
    MESSAGE(form.Findings().Count() << " findings repaired");

    form.Command(ID_REPAIRALL);
    CHECK_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, kUninstall));
    CHECK_FALSE(ValuePresent(HKEY_LOCAL_MACHINE, kFonts, "Tw Gone (TrueType)"));
    CHECK(GetString(HKEY_CURRENT_USER, "Software\\TwGoneVendor\\Settings", "") == "");
    REQUIRE(ListUndoFiles().size() == 1);

    shown.clear();
    form.Command(ID_UNDO_LAST);
    REQUIRE(shown.size() == 2);
    CHECK(shown[1].rfind("撤销完毕。", 0) == 0);
    CHECK(form.StatusText() == "撤销完毕");

    const auto after = WholeRegistry(ProgramFolder() + "after.reg");
    size_t differing = 0;
    auto report = [&](const std::wstring& key, const char* what) {
        if (++differing <= 10) MESSAGE(WideToUtf8(key) << ": " << what);
    };
    for (const auto& k : before) {
        auto it = after.find(k.first);
        if (it == after.end()) report(k.first, "missing after the undo");
        else if (it->second != k.second) report(k.first, "values differ");
    }
    for (const auto& k : after)
        if (!before.count(k.first)) report(k.first, "not there before the repair");
    CHECK(differing == 0);
}
