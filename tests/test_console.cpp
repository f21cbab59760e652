#include <doctest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Handle.h"
#include "platform/LoadText.h"
#include "platform/Registry.h"
#include "platform/ScopeExit.h"
#include "platform/Text.h"
#include "strings.h"
#include "support/Sandbox.h"

using namespace tw;
using namespace tw::test;

namespace {

// Runs the console scanner beside this test with the given arguments; returns what it printed
// on standard output.
std::string RunConsoleScanner(const std::string& args) {
    const std::string exe = ProgramFolder() + "tarnwell-scan.exe";
    REQUIRE(FileExists(exe));
    char tempDir[MAX_PATH] = {}, tempFile[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, tempDir);
    GetTempFileNameA(tempDir, "tws", 0, tempFile);
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE out = CreateFileA(tempFile, GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(out != INVALID_HANDLE_VALUE);
    HANDLE err = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out;
    si.hStdError = err;  // the closing status line
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    std::string cmd = "\"" + exe + "\" " + args;
    const BOOL started = CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(out);
    if (err != INVALID_HANDLE_VALUE) CloseHandle(err);
    REQUIRE(started);
    CHECK(WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    std::string text;
    ReadWholeFile(tempFile, text);
    DeleteFileA(tempFile);
    return text;
}

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> parts(1);
    for (char c : s) {
        if (c == sep)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

}  // namespace

TEST_CASE("tabs and line breaks in names and data forge no field or row of the console output") {
    // The scanner is another process: it sees the prefix's real registry, not a sandbox.
    const std::string parent = "Software\\TarnwellConsoleTest";
    const std::string base = parent + "\\" + IntToStr(GetCurrentProcessId());
    ScopeExit cleanup([&] {
        Registry().DeleteKey(base);
        RegDeleteKeyA(HKEY_CURRENT_USER, parent.c_str());
    });
    const std::string key = base + "\\k1\r\nHKEY_CURRENT_USER\tforged";
    SetString(HKEY_CURRENT_USER, key, "Path", "C:\\twgone-console\\app.exe");
    SetString(HKEY_CURRENT_USER, base, "v\tx", "C:\\twgone-console\\b.exe");

    const std::string out = RunConsoleScanner("--rows 7");
    std::vector<std::string> lines = Split(out, '\n');
    REQUIRE(!lines.empty());
    lines.pop_back();  // the empty rest after the last line break
    std::vector<std::string> ours;
    for (const std::string& line : lines) {
        CAPTURE(line);
        CHECK(Split(line, '\t').size() == 5u);
        if (line.find("TarnwellConsoleTest") != std::string::npos) ours.push_back(line);
    }
    const std::string escapedBase = "Software\\\\TarnwellConsoleTest\\\\" + IntToStr(GetCurrentProcessId());
    CHECK(ours == std::vector<std::string>{
                      "HKEY_CURRENT_USER\t" + escapedBase + "\tv\\tx\tC:\\\\twgone-console\\\\b.exe\t0",
                      "HKEY_CURRENT_USER\t" + escapedBase +
                          "\\\\k1\\r\\nHKEY_CURRENT_USER\\tforged\tPath\tC:\\\\twgone-console\\\\app.exe\t0"});
}

TEST_CASE("under Wine --list-rows shows the Wine row after the directory row; the others keep their numbers") {
    const std::vector<std::string> lines = Split(RunConsoleScanner("--list-rows"), '\n');
    REQUIRE(lines.size() == 14u);  // 13 rows (no sfc.exe in a prefix) and the empty rest
    CHECK(lines[0] == "0\tx\t" + LoadText(IDS_ROW_SOFTWARE));
    CHECK(lines[11] == "11\t \t" + LoadText(IDS_ROW_DISK_DIRS));
    CHECK(lines[12] == "12\tx\t" + LoadText(IDS_ROW_WINE_DESKTOP));
}
