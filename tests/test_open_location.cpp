#include <doctest.h>

#include <string>
#include <vector>

#include "app/OpenLocation.h"
#include "platform/Registry.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "support/Sandbox.h"

using namespace tw;
using namespace tw::test;

namespace {

const char kEditorKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Regedit";

std::string LastKey() {
    Registry reg;
    reg.SetRootKey(HKEY_CURRENT_USER);
    if (!reg.OpenKeyReadOnly(kEditorKey)) return "<none>";
    return reg.ReadString("LastKey");
}

struct Started {
    ScopedSeams seams;
    std::vector<std::string> lines;
    Started() {
        seams->startProgram = [this](const std::string& cmd) {
            lines.push_back(cmd);
            return true;
        };
    }
};

struct WindowSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindTopWindow(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<WindowSearch*>(p);
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == s->pid && IsWindowVisible(w) && GetWindow(w, GW_OWNER) == nullptr) s->found = w;
    return s->found == nullptr;
}

}  // namespace

TEST_SUITE("open the place") {

TEST_CASE("the last key takes the form the editor itself stored") {
    const std::string key = "HKEY_LOCAL_MACHINE\\Software\\路径\\x";
    struct Row {
        const char* current;
        bool wine;
        const char* expected;
    } rows[] = {
        {"", true, ""},
        {"", false, "我的电脑\\"},
        {"HKEY_CURRENT_USER\\Software", false, ""},
        {"My Computer\\HKEY_CURRENT_USER\\Software", true, "My Computer\\"},
        {"计算机", false, "计算机\\"},
        {"\x95\x5c\\HKEY_USERS", false, "\x95\x5c\\"},  // a label whose second byte is a backslash
    };
    for (const Row& r : rows) {
        CAPTURE(r.current);
        CHECK(RegistryEditorLastKey(key, r.current, r.wine, "我的电脑") == std::string(r.expected) + key);
    }
}

TEST_CASE("a registry row starts the editor at its key, or at the nearest key still there") {
    RegistrySandbox sb;
    Started started;
    MakeKey(HKEY_LOCAL_MACHINE, "Software\\Vendor\\App");
    REQUIRE(OpenLocation(Finding{"HKEY_LOCAL_MACHINE", "Software\\Vendor\\App", "Value", "", 0}));
    CHECK(started.lines == std::vector<std::string>{"regedit.exe"});
    // The sandbox answers for HKEY_CURRENT_USER: the editor's key is written there. Under Wine
    // without a stored key the bare form.
    CHECK(LastKey() == "HKEY_LOCAL_MACHINE\\Software\\Vendor\\App");
    REQUIRE(OpenInRegistryEditor(Finding{"HKEY_LOCAL_MACHINE", "Software\\Vendor\\Gone\\Deeper", "", "", 0}));
    CHECK(LastKey() == "HKEY_LOCAL_MACHINE\\Software\\Vendor");
    REQUIRE(OpenInRegistryEditor(Finding{"unknown caption", "Nothing\\Here", "", "", 0}));
    CHECK(LastKey() == "HKEY_CURRENT_USER");
}

TEST_CASE("a disk row opens its folder with the object selected") {
    ScratchDir dir;
    Started started;
    const std::string file = dir.File("sub\\old shortcut.lnk"), folder = dir.Dir("Empty Folder");
    REQUIRE(OpenLocation(Finding{"磁盘文件错误", file, "1 Byte", "C:\\gone.exe", 0}));
    REQUIRE(OpenLocation(Finding{"磁盘目录错误", folder + "\\", "", "", 0}));
    // Repaired already: the folder that held it.
    REQUIRE(OpenLocation(Finding{"磁盘文件错误", dir / "sub\\deleted.lnk", "", "", 0}));
    CHECK_FALSE(OpenLocation(Finding{"磁盘文件错误", dir / "no\\such\\file.lnk", "", "", 0}));
    CHECK(started.lines == std::vector<std::string>{"explorer.exe /select,\"" + file + "\"",
                                                   "explorer.exe /select,\"" + folder + "\"",
                                                   "explorer.exe \"" + dir / "sub" + "\""});
}

TEST_CASE("the real registry editor starts at the key") {
    // Another process: it reads the real registry of this prefix. The editor stores the key it
    // shows when it closes, so what it stores then tells where it was.
    const std::string saved = LastKey();
    const std::string rel = "Software\\TarnwellOpenTest\\" + IntToStr(GetCurrentProcessId()) + "\\Inner Key";
    MakeKey(HKEY_CURRENT_USER, rel);
    HANDLE process = nullptr;
    DWORD pid = 0;
    {
        ScopedSeams startSeams;
        startSeams->startProgram = [&](const std::string& cmd) {
            STARTUPINFOA si{};
            si.cb = sizeof si;
            PROCESS_INFORMATION pi{};
            std::string line = cmd;
            if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
            CloseHandle(pi.hThread);
            process = pi.hProcess;
            pid = pi.dwProcessId;
            return true;
        };
        REQUIRE(OpenInRegistryEditor(Finding{"HKEY_CURRENT_USER", rel, "", "", 0}));
    }
    REQUIRE(process);
    WindowSearch search{pid, nullptr};
    for (int i = 0; i < 200 && !search.found; ++i) {
        Sleep(50);
        EnumWindows(FindTopWindow, reinterpret_cast<LPARAM>(&search));
    }
    REQUIRE(search.found);
    Sleep(500);
    PostMessageA(search.found, WM_CLOSE, 0, 0);
    CHECK(WaitForSingleObject(process, 20000) == WAIT_OBJECT_0);
    CloseHandle(process);
    CHECK(LastKey() == "HKEY_CURRENT_USER\\" + rel);

    Registry().DeleteKey("Software\\TarnwellOpenTest\\" + IntToStr(GetCurrentProcessId()));
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\TarnwellOpenTest");
    Registry reg;
    if (reg.OpenKey(std::string("\\") + kEditorKey, false) && saved != "<none>") reg.WriteString("LastKey", saved);
}

}  // TEST_SUITE
