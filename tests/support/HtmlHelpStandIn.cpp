// Stands in for the HTML Help engine's library in tests: it exports the engine's entry point
// and records every call, which the test reads back through StandInCall.
#include <windows.h>

namespace {

struct Call {
    HWND owner;
    char file[520];
    UINT command;
    char topic[260];
};
Call g_calls[32];
int g_count = 0;

void CopyText(char* to, size_t size, const char* from) {
    if (!from) from = "";
    lstrcpynA(to, from, static_cast<int>(size));
}

}  // namespace

extern "C" __declspec(dllexport) HWND WINAPI HtmlHelpA(HWND owner, LPCSTR file, UINT command, DWORD_PTR data) {
    if (g_count < 32) {
        Call& c = g_calls[g_count];
        c.owner = owner;
        CopyText(c.file, sizeof c.file, file);
        c.command = command;
        // Only "display topic" carries a text; other commands' data is not read.
        CopyText(c.topic, sizeof c.topic, command == 0 ? reinterpret_cast<const char*>(data) : "");
    }
    ++g_count;
    return nullptr;
}

extern "C" __declspec(dllexport) int WINAPI StandInCallCount() { return g_count; }

// Copies call i (0-based); false when there is none.
extern "C" __declspec(dllexport) BOOL WINAPI StandInCall(int i, HWND* owner, char* file, UINT* command, char* topic) {
    if (i < 0 || i >= g_count || i >= 32) return FALSE;
    *owner = g_calls[i].owner;
    lstrcpynA(file, g_calls[i].file, 520);
    *command = g_calls[i].command;
    lstrcpynA(topic, g_calls[i].topic, 260);
    return TRUE;
}
