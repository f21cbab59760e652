#include <doctest.h>

#include <string>
#include <vector>

#include "app/OpenLocation.h"
#include "platform/Registry.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "platform/WineHost.h"
#include "support/Sandbox.h"

using namespace tw;
using namespace tw::test;

namespace {

const char kEditorKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Regedit";

std::string LastKey() { return GetString(HKEY_CURRENT_USER, kEditorKey, "LastKey"); }

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

TEST_CASE("the last key takes the form the editor itself stored") {
    const std::string key = "HKEY_LOCAL_MACHINE\\Software\\路径\\x";
    const struct {
        const char* current;
        bool wine;
        const char* prefix;
    } rows[] = {
        {"", true, ""},
        {"", false, "我的电脑\\"},
        {"HKEY_CURRENT_USER\\Software", false, ""},
        {"My Computer\\HKEY_CURRENT_USER\\Software", false, "My Computer\\"},
        {"我的电脑", true, ""},  // Wine's editor stores its top label but reads only the bare form
        {"计算机", false, "计算机\\"},
        {"\x95\x5c\\HKEY_USERS", false, "\x95\x5c\\"},  // a label whose second byte is a backslash
    };
    for (const auto& r : rows) {
        CAPTURE(r.current);
        CHECK(RegistryEditorLastKey(key, r.current, r.wine, "我的电脑") == std::string(r.prefix) + key);
    }
}

TEST_CASE("a registry row starts the editor at its key, a disk row the Explorer at its file") {
    RegistrySandbox sb;
    ScratchDir dir;
    ScopedSeams seams;
    std::vector<std::string> started;
    seams->startProgram = [&](const std::string& cmd) {
        started.push_back(cmd);
        return true;
    };
    // The sandbox answers for HKEY_CURRENT_USER too: the editor's key is written there, under
    // Wine in the bare form. A key that is gone: the nearest one above it.
    MakeKey(HKEY_LOCAL_MACHINE, "Software\\Vendor\\App");
    REQUIRE(OpenLocation(Finding{"HKEY_LOCAL_MACHINE", "Software\\Vendor\\App", "Value", "", 0, FindingKind::RegistryValue}));
    CHECK(LastKey() == "HKEY_LOCAL_MACHINE\\Software\\Vendor\\App");
    REQUIRE(OpenLocation(Finding{"HKEY_LOCAL_MACHINE", "Software\\Vendor\\Gone\\Deeper", "", "", 0, FindingKind::RegistryKey}));
    CHECK(LastKey() == "HKEY_LOCAL_MACHINE\\Software\\Vendor");

    const std::string file = dir.File("sub\\old shortcut.lnk"), folder = dir.Dir("Empty Folder");
    REQUIRE(OpenLocation(Finding{"磁盘文件错误", file, "1 Byte", "C:\\gone.exe", 0, FindingKind::File}));
    REQUIRE(OpenLocation(Finding{"磁盘目录错误", folder + "\\", "", "", 0, FindingKind::Folder}));
    REQUIRE(OpenLocation(Finding{"磁盘文件错误", dir / "sub\\deleted.lnk", "", "", 0, FindingKind::File}));  // repaired already
    CHECK_FALSE(OpenLocation(Finding{"磁盘文件错误", dir / "no\\such\\file.lnk", "", "", 0, FindingKind::File}));
    Finding host{"Wine 菜单项错误", UnixPathOfDos(file), "", "", 0, FindingKind::HostFile};  // a file of the Linux host
    REQUIRE(OpenLocation(host));
    CHECK(started == std::vector<std::string>{"regedit.exe", "regedit.exe", "explorer.exe /select,\"" + file + "\"",
                                              "explorer.exe /select,\"" + folder + "\"",
                                              "explorer.exe \"" + dir / "sub" + "\"",
                                              "explorer.exe /select,\"" + file + "\""});
}

TEST_CASE("the real registry editor starts at the key") {
    // Another process, on the real registry of this prefix. The editor stores the key it shows
    // when it closes, so what it stores then tells where it was.
    const std::string saved = LastKey();
    const std::string base = "Software\\TarnwellOpenTest\\" + IntToStr(GetCurrentProcessId());
    const std::string rel = base + "\\Inner Key";
    MakeKey(HKEY_CURRENT_USER, rel);
    PROCESS_INFORMATION pi{};
    {
        ScopedSeams seams;
        seams->startProgram = [&](const std::string& cmd) {
            STARTUPINFOA si{};
            si.cb = sizeof si;
            std::string line = cmd;
            return CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) != 0;
        };
        REQUIRE(OpenInRegistryEditor(Finding{"HKEY_CURRENT_USER", rel, "", "", 0, FindingKind::RegistryKey}));
    }
    WindowSearch search{pi.dwProcessId, nullptr};
    for (int i = 0; i < 200 && !search.found; ++i) {
        Sleep(50);
        EnumWindows(FindTopWindow, reinterpret_cast<LPARAM>(&search));
    }
    REQUIRE(search.found);
    Sleep(500);
    PostMessageA(search.found, WM_CLOSE, 0, 0);
    CHECK(WaitForSingleObject(pi.hProcess, 20000) == WAIT_OBJECT_0);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    CHECK(LastKey() == "HKEY_CURRENT_USER\\" + rel);

    Registry().DeleteKey(base);
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\TarnwellOpenTest");
    SetString(HKEY_CURRENT_USER, kEditorKey, "LastKey", saved);
}
