// Runs in a scratch prefix where the setup installed Tarnwell (tests/setup_prefix.sh, which
// gives the setup's Windows path in TW_SETUP). The uninstall entry is complete and tells the
// version of the programs and of the setup; the Start-menu shortcut leads to the installed
// program, which starts, records itself and keeps its settings per user, not in its folder; a
// setup started meanwhile refuses and changes nothing.
#include <doctest.h>

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/MainWindowLayout.h"
#include "platform/ComScope.h"
#include "platform/FileSystem.h"
#include "platform/ShellLink.h"
#include "platform/Text.h"
#include "support/Sandbox.h"
#include "version.h"

using namespace tw;
using namespace tw::test;

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tarnwell";

// The version block's "FileVersion" of a file.
std::string FileVersion(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    std::string block(size, '\0');
    if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, &block[0])) return "<none>";
    struct Translation {
        WORD language, codePage;
    } * list = nullptr;
    UINT bytes = 0;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&list), &bytes) ||
        bytes < sizeof *list)
        return "<no translation>";
    char query[64];
    snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\FileVersion", list->language, list->codePage);
    char* text = nullptr;
    return VerQueryValueA(block.data(), query, reinterpret_cast<void**>(&text), &bytes) && text ? text : "<no value>";
}

DWORD Dword(const char* name) {
    HKEY k;
    DWORD data = 0, size = sizeof data;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &k) != ERROR_SUCCESS) return 0;
    RegQueryValueExA(k, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size);
    RegCloseKey(k);
    return data;
}

// Exit code of a command line, -1 when it cannot be started or does not end in time.
long Run(const std::string& commandLine) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string cmd = commandLine;
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<long>(code);
}

}  // namespace

TEST_CASE("the installed program: its entry, its shortcut, its data per user; a setup waits for its end") {
    const char* setupPath = getenv("TW_SETUP");
    REQUIRE_MESSAGE(setupPath, "run by tests/setup_prefix.sh");
    const std::string setup = setupPath;

    // The uninstall entry, whole; every version the same.
    const std::string folder = GetString(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation");
    const std::string program = folder + "\\tarnwell.exe", uninstaller = "\"" + folder + "\\uninst.exe\"";
    CHECK(GetString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName") == "Tarnwell");
    CHECK(GetString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion") == TW_VERSION_STR);
    CHECK(GetString(HKEY_LOCAL_MACHINE, kUninstallKey, "Publisher") == "Tarnwell");
    CHECK(GetString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayIcon") == program + ",0");
    CHECK(GetString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString") == uninstaller);
    CHECK(GetString(HKEY_LOCAL_MACHINE, kUninstallKey, "QuietUninstallString") == uninstaller + " /S");
    CHECK(Dword("EstimatedSize") > 1000);  // in KB
    CHECK(Dword("NoModify") == 1);
    CHECK(Dword("NoRepair") == 1);
    for (const std::string& exe : {program, folder + "\\tarnwell-scan.exe", setup}) {
        CAPTURE(exe);
        CHECK(FileVersion(exe) == TW_VERSION_STR);
    }

    // The Start-menu group's program shortcut leads to the installed program.
    ComScope com;
    const std::string link = SpecialFolder(nullptr, CSIDL_COMMON_PROGRAMS) + "\\Tarnwell\\Tarnwell.lnk";
    CHECK(LowerAscii(ShellLinkReader().Target(link)) == LowerAscii(program));

    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string cmd = "\"" + program + "\"";
    REQUIRE(CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi));
    HWND window = nullptr;
    for (int i = 0; i < 300 && !window; ++i, Sleep(100)) window = FindWindowW(window_layout::kMainClass, nullptr);
    REQUIRE(window);

    // While it runs, a setup changes nothing and says why (exit code 2).
    WIN32_FILE_ATTRIBUTE_DATA before{}, after{};
    REQUIRE(ReadPathData(program, before));
    CHECK(Run("\"" + setup + "\" /S") == 2);
    REQUIRE(ReadPathData(program, after));
    CHECK(CompareFileTime(&before.ftLastWriteTime, &after.ftLastWriteTime) == 0);

    // Closed as the user closes it: its settings go to the user's Application Data folder.
    PostMessageW(window, WM_CLOSE, 0, 0);
    CHECK(WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    CHECK(FileExists(SpecialFolder(nullptr, CSIDL_APPDATA) + "\\Tarnwell\\Set.ini"));
    CHECK_FALSE(FileExists(folder + "\\Set.ini"));
    CHECK(LowerAscii(GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kiv", "Tarnwell")) == LowerAscii(program));
}
