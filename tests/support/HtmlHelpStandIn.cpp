// Stands in for the HTML Help engine's library in tests: its entry point writes each call as a
// line "owner|file|command|topic" to a log that the test reads through StandInLog.
#include <windows.h>

#include <cstdio>
#include <string>

static std::string g_log;

extern "C" __declspec(dllexport) HWND WINAPI HtmlHelpA(HWND owner, LPCSTR file, UINT command, DWORD_PTR data) {
    char line[1024];
    // Only "display topic" (0) carries a text.
    snprintf(line, sizeof line, "%p|%s|%u|%s\n", static_cast<void*>(owner), file ? file : "", command,
             command == 0 && data ? reinterpret_cast<const char*>(data) : "");
    g_log += line;
    return nullptr;
}

extern "C" __declspec(dllexport) const char* WINAPI StandInLog() { return g_log.c_str(); }
