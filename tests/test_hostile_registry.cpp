// Hostile registry data planted through the real API: registry links that loop, names the
// ANSI code page cannot hold, keys nested past the length of a full path, key names whose last
// byte is a backslash byte. Every reader of the registry goes through the shared layer, so these
// hold for every scanner.
#include <doctest.h>

#include <algorithm>

#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "scanners/registry/HiveReferences.h"
#include "support/Sandbox.h"

using namespace tw;
using namespace tw::test;

namespace {

Finding Hit(const std::string& location, const std::string& keyName, const std::string& description) {
    return RegistryValueFinding("HKEY_CURRENT_USER", location, keyName, description);
}

void SetStringW(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& data) {
    HKEY k;
    REQUIRE(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) == ERROR_SUCCESS);
    RegSetValueExW(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(k);
}

std::wstring RealNameOf(HKEY root, const std::wstring& path) {
    UniqueHKey k;
    REQUIRE(RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, k.put()) == ERROR_SUCCESS);
    std::wstring name = KeyRealName(k.get());
    REQUIRE_FALSE(name.empty());
    return name;
}

// A registry link at path (below root) that leads to the key path names (below the same root).
void MakeLink(HKEY root, const std::wstring& path, const std::wstring& target) {
    const std::wstring real = RealNameOf(root, target);
    HKEY k;
    REQUIRE(RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &k, nullptr) == ERROR_SUCCESS);
    // The target's full registry name, without a terminating NUL.
    REQUIRE(RegSetValueExW(k, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(real.c_str()),
                           static_cast<DWORD>(real.size() * sizeof(wchar_t))) == ERROR_SUCCESS);
    RegCloseKey(k);
}

// Collects Findings and asks the scanner to stop after a bound, so a walk that would never end
// fails the test instead of hanging it.
class BoundedSink : public CollectingSink {
public:
    explicit BoundedSink(size_t bound) : bound_(bound) {}
    WorkerThread* scanner = nullptr;
    void AddFinding(const Finding& f) override {
        CollectingSink::AddFinding(f);
        if (findings.size() >= bound_ && scanner) scanner->Terminate();
    }

private:
    size_t bound_;
};

std::vector<Finding> ScanCurrentUser() {
    BoundedSink sink(200);
    ScanContext ctx;
    ctx.windowsDir = WindowsDirectory();
    HiveReferenceScan scanner(ctx, sink);
    sink.scanner = &scanner;
    scanner.root = HKEY_CURRENT_USER;
    scanner.ScanHive();
    return sink.findings;
}

}  // namespace

TEST_CASE("registry links: a walk never re-enters its own path, links elsewhere are walked") {
    RegistrySandbox sandbox;
    ScratchDir dir;
    SetString(HKEY_CURRENT_USER, "Software\\X", "V", dir / "gone.exe");
    SetString(HKEY_CURRENT_USER, "Software\\X\\Deep", "W", dir / "gone2.exe");
    SetString(HKEY_CURRENT_USER, "Elsewhere", "E", dir / "gone3.exe");
    MakeLink(HKEY_CURRENT_USER, L"Software\\X\\Deep\\Back", L"Software\\X");  // a loop two levels up
    std::vector<Finding> expected = {
        Hit("Elsewhere", "E", dir / "gone3.exe"),
        Hit("Software\\X", "V", dir / "gone.exe"),
    };

    SUBCASE("two links back to their parent") {
        MakeLink(HKEY_CURRENT_USER, L"Software\\X\\A", L"Software\\X");
        MakeLink(HKEY_CURRENT_USER, L"Software\\X\\B", L"Software\\X");
    }
    SUBCASE("one link to a key outside the path") {
        MakeLink(HKEY_CURRENT_USER, L"Software\\X\\C", L"Elsewhere");
        expected.push_back(Hit("Software\\X\\C", "E", dir / "gone3.exe"));
    }
    expected.push_back(Hit("Software\\X\\Deep", "W", dir / "gone2.exe"));
    std::vector<Finding> got = ScanCurrentUser();
    // Enumeration order of the links among the plain keys is the registry's: compare as sets.
    auto sorted = [](std::vector<Finding> v) {
        std::sort(v.begin(), v.end(), [](const Finding& a, const Finding& b) {
            return a.location + "|" + a.keyName < b.location + "|" + b.keyName;
        });
        return Lines(v);
    };
    CHECK(sorted(got) == sorted(expected));
}

TEST_CASE("names outside the code page are passed over, never read as their look-alikes") {
    RegistrySandbox sandbox;
    ScratchDir dir;
    std::string valid = dir.File("valid.exe");
    // Under code page 936 the ANSI calls read "Runâ" as "Runa", "Þýðing" as "Tyeing", and a name
    // of Thai letters as "Run???".
    SetString(HKEY_CURRENT_USER, "App", "Runa", valid);
    SetStringW(HKEY_CURRENT_USER, L"App", L"Run\u00e2", AnsiToWide(dir / "gone.exe"));
    SetStringW(HKEY_CURRENT_USER, L"App", L"Run\u0e01\u0e02\u0e03", AnsiToWide(dir / "gone.exe"));
    SetStringW(HKEY_CURRENT_USER, L"App\\\u00de\u00fd\u00f0ing", L"K", AnsiToWide(dir / "gone.exe"));
    SetStringW(HKEY_CURRENT_USER, L"App\\\u00de\u00fd\u00f0ing\\Below", L"K", AnsiToWide(dir / "gone.exe"));
    SetString(HKEY_CURRENT_USER, "App\\Tyeing", "K", valid);
    // A path that exists, through a folder whose name the code page cannot hold.
    std::wstring odd = AnsiToWide(dir.Path()) + L"\\x\u00b2";
    REQUIRE(CreateDirectoryW(odd.c_str(), nullptr));
    REQUIRE(CloseHandle(CreateFileW((odd + L"\\app.exe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)));
    SetStringW(HKEY_CURRENT_USER, L"App", L"Path", odd + L"\\app.exe");
    SetString(HKEY_CURRENT_USER, "App", "Stale", dir / "stale.exe");

    SUBCASE("the registry object lists only names it can write exactly") {
        Registry r;
        REQUIRE(r.OpenKeyReadOnly("App"));
        CHECK(r.GetKeyNames() == std::vector<std::string>{"Tyeing"});
        std::vector<std::string> names = r.GetValueNames();
        std::sort(names.begin(), names.end());
        CHECK(names == std::vector<std::string>{"Path", "Runa", "Stale"});
        for (const RegValue& v : r.GetValues()) {
            CAPTURE(v.name);
            CHECK(v.dataExact == (v.name != "Path"));
            if (v.name == "Path") CHECK(v.data.empty());
            if (v.name == "Runa") CHECK(v.data == valid + std::string(1, '\0'));
        }
        std::string text = "unchanged";
        CHECK_FALSE(r.ReadStringExact("Path", text));
        CHECK(text.empty());
        CHECK(r.ReadStringExact("Runa", text));
        CHECK(text == valid);
        CHECK(r.ReadStringExact("Missing", text));
        CHECK(text.empty());
    }
    SUBCASE("the hive scan reports only the stale value it can name") {
        CHECK(Lines(ScanCurrentUser()) == Lines({Hit("App", "Stale", dir / "stale.exe")}));
    }
}

TEST_CASE("keys below the depth a full path can name are scanned") {
    RegistrySandbox sandbox;
    ScratchDir dir;
    // 40 levels of 12 characters: the deepest key's path is about 520 characters long.
    std::string path = "Deep";
    for (int i = 0; i < 40; ++i) path += "\\Level" + std::to_string(100000 + i);
    HKEY parent = nullptr;
    REQUIRE(RegCreateKeyExA(HKEY_CURRENT_USER, "Deep", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &parent, nullptr) ==
            ERROR_SUCCESS);
    for (int i = 0; i < 40; ++i) {
        HKEY child = nullptr;
        REQUIRE(RegCreateKeyExA(parent, ("Level" + std::to_string(100000 + i)).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &child, nullptr) == ERROR_SUCCESS);
        RegCloseKey(parent);
        parent = child;
    }
    std::string gone = dir / "gone.exe";
    RegSetValueExA(parent, "V", 0, REG_SZ, reinterpret_cast<const BYTE*>(gone.c_str()), static_cast<DWORD>(gone.size() + 1));
    RegCloseKey(parent);
    CHECK(Lines(ScanCurrentUser()) == Lines({Hit(path, "V", gone)}));
}

TEST_CASE("key deletion: double-byte names, names outside the code page, links inside the tree") {
    RegistrySandbox sandbox;
    Registry r;
    r.SetRootKey(HKEY_CURRENT_USER);

    SUBCASE("a name whose last byte is the backslash byte") {
        // "乗" is 0x81 0x5C in GBK: its second byte is not a backslash.
        const std::string name = "Parent\\K\x81\x5C";
        MakeKey(HKEY_CURRENT_USER, name + "\\Sub");
        MakeKey(HKEY_CURRENT_USER, "Parent\\Keep");
        for (const std::string& asked : {name, name + "\\", name + "\\\\"}) {
            CAPTURE(asked);
            MakeKey(HKEY_CURRENT_USER, name + "\\Sub");
            CHECK(r.DeleteKey("\\" + asked));
            CHECK_FALSE(KeyPresent(HKEY_CURRENT_USER, name));
            CHECK(KeyPresent(HKEY_CURRENT_USER, "Parent\\Keep"));
        }
    }
    SUBCASE("a subtree holding a name the code page cannot hold goes whole") {
        SetStringW(HKEY_CURRENT_USER, L"T\\Run\u00e2\\Sub", L"v", L"x");
        MakeKey(HKEY_CURRENT_USER, "T\\Plain");
        MakeKey(HKEY_CURRENT_USER, "Runa");
        CHECK(r.DeleteKey("\\T"));
        CHECK_FALSE(KeyPresent(HKEY_CURRENT_USER, "T"));
        CHECK(KeyPresent(HKEY_CURRENT_USER, "Runa"));
    }
    SUBCASE("a link inside the tree is not followed") {
        SetString(HKEY_CURRENT_USER, "Outside\\Child", "v", "keep me");
        MakeKey(HKEY_CURRENT_USER, "T\\Plain");
        MakeLink(HKEY_CURRENT_USER, L"T\\ToOutside", L"Outside");
        CHECK_FALSE(r.DeleteKey("\\T"));
        CHECK(GetString(HKEY_CURRENT_USER, "Outside\\Child", "v") == "keep me");
        CHECK_FALSE(KeyPresent(HKEY_CURRENT_USER, "T\\Plain"));
    }
}

TEST_CASE("a test's registry sandbox leaves no key behind, not even an empty parent") {
    { RegistrySandbox sandbox; }
    // Tests running beside this one may hold sandboxes of their own under the parent, and may
    // be between removing their last one and removing the parent: wait a moment for that.
    bool leftEmpty = true;
    for (int attempt = 0; attempt < 40 && leftEmpty; ++attempt) {
        HKEY parent = nullptr;
        DWORD subKeys = 0;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kSandboxParent, 0, KEY_READ, &parent) != ERROR_SUCCESS) {
            leftEmpty = false;
            break;
        }
        RegQueryInfoKeyA(parent, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr);
        RegCloseKey(parent);
        leftEmpty = subKeys == 0;
        if (leftEmpty) Sleep(50);
    }
    CHECK_FALSE(leftEmpty);
}
