#include "support/RegistryFixtures.h"

#include <cstdio>

#include "platform/FileSystem.h"
#include "platform/Seams.h"
#include "platform/Text.h"

namespace tw::test {

namespace {

void MakeWideKey(HKEY root, const std::wstring& path) {
    HKEY k = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) == ERROR_SUCCESS)
        RegCloseKey(k);
}

void Snap(HKEY parent, const std::wstring& rel, const std::wstring& prefix, RegSnapshot& out) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(parent, rel.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return;
    out[prefix + L"\\"] = {0, ""};
    static wchar_t name[16384];
    std::string data(1 << 16, '\0');
    for (DWORD i = 0;; ++i) {
        DWORD nameLen = 16384, dataLen = static_cast<DWORD>(data.size()), type = 0;
        if (RegEnumValueW(k, i, name, &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &dataLen) !=
            ERROR_SUCCESS)
            break;
        out[prefix + L"\\" + std::wstring(name, nameLen)] = {type, data.substr(0, dataLen)};
    }
    for (DWORD i = 0;; ++i) {
        DWORD nameLen = 16384;
        if (RegEnumKeyExW(k, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        const std::wstring sub(name, nameLen);
        Snap(k, sub, prefix + L"\\" + sub, out);
    }
    RegCloseKey(k);
}

}  // namespace

RegSnapshot SnapshotKey(HKEY root, const std::wstring& rel) {
    RegSnapshot s;
    Snap(root, rel, L"", s);
    return s;
}

std::string Utf16(const std::wstring& text, bool withNul) {
    std::string s;
    for (wchar_t c : text) s += static_cast<char>(c & 0xFF), s += static_cast<char>(c >> 8);
    if (withNul) s.append(2, '\0');
    return s;
}

std::string ReadFileBytes(const std::string& path) {
    std::string out;
    ReadWholeFile(path, out);
    return out;
}

void SetWideValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type, const std::string& data) {
    HKEY k = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(k, name.empty() ? nullptr : name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(data.size()));
    RegCloseKey(k);
}

bool DeleteWideTree(HKEY parent, const std::wstring& rel) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(parent, rel.c_str(), 0, KEY_ALL_ACCESS, &k) == ERROR_SUCCESS) {
        wchar_t name[16384];
        for (DWORD len = 16384; RegEnumKeyExW(k, 0, name, &len, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
             len = 16384)
            if (!DeleteWideTree(k, std::wstring(name, len))) break;
        RegCloseKey(k);
    }
    return RegDeleteKeyW(parent, rel.c_str()) == ERROR_SUCCESS;
}

std::wstring PlantEveryKind(HKEY root, const std::wstring& k) {
    std::string bin;
    for (int i = 0; i < 256; ++i) bin += static_cast<char>(i);
    auto bytes = [](std::initializer_list<int> b) {
        std::string s;
        for (int c : b) s += static_cast<char>(c);
        return s;
    };
    const std::wstring odd = k + L"\\[a]b=c \"d\" 名 \x0E01";
    SetWideValue(root, k, L"", REG_SZ, Utf16(L"default"));
    SetWideValue(root, k, L"sz", REG_SZ, Utf16(L"C:\\Program Files\\\"q\" 中文 \x0E01"));
    SetWideValue(root, k, L"crlf", REG_SZ, Utf16(L"a\r\nb"));
    SetWideValue(root, k, L"nul inside", REG_SZ, Utf16(std::wstring(L"a\0b", 3)));
    SetWideValue(root, k, L"empty", REG_SZ, Utf16(L""));
    SetWideValue(root, k, L"unterminated", REG_SZ, Utf16(L"ab", false));
    SetWideValue(root, k, L"zero bytes", REG_SZ, "");
    SetWideValue(root, k, L"expand", REG_EXPAND_SZ, Utf16(L"%TEMP%\\x"));
    SetWideValue(root, k, L"multi", REG_MULTI_SZ, Utf16(std::wstring(L"one\0two\0", 8)));
    SetWideValue(root, k, L"unterminated multi", REG_MULTI_SZ, Utf16(L"ab", false));
    SetWideValue(root, k, L"dword", REG_DWORD, bytes({0xef, 0xbe, 0xad, 0xde}));
    SetWideValue(root, k, L"short dword", REG_DWORD, bytes({1, 2}));
    SetWideValue(root, k, L"qword", REG_QWORD, bytes({1, 2, 3, 4, 5, 6, 7, 8}));
    SetWideValue(root, k, L"big endian", REG_DWORD_BIG_ENDIAN, bytes({0, 0, 0, 1}));
    SetWideValue(root, k, L"binary", REG_BINARY, bin);
    SetWideValue(root, k, L"no data", REG_BINARY, "");
    SetWideValue(root, k, L"none", REG_NONE, bytes({1}));
    SetWideValue(root, k, L"odd kind", 0x1234, bytes({0xaa}));
    SetWideValue(root, odd, L"tab\tname \"q\" \\ [x]", REG_SZ, Utf16(L"v"));
    SetWideValue(root, odd, L"line\r\nbreak", REG_SZ, Utf16(L"v"));
    MakeWideKey(root, odd + L"\\Empty\\Leaf");
    MakeWideKey(root, k + L"\\NoDefault");
    return odd;
}

std::wstring EditorExport(const std::string& file, const std::wstring& key) {
    DeleteFileA(file.c_str());
    DWORD code = 1;
    if (!CurrentSeams().runAndWait("regedit /e \"" + file + "\" \"" + WideToAnsi(key) + "\"", "", code) || code != 0)
        return L"<no export>";
    const std::string bytes = ReadFileBytes(file);
    if (bytes.size() < 2) return L"<empty export>";
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    const size_t eol = text.find(L"\r\n");
    return eol == std::wstring::npos ? text : text.substr(eol);
}

ScratchKey::ScratchKey(const char* tag) {
    rel = std::string("Software\\TarnwellTest\\") + tag + IntToStr(GetCurrentProcessId());
    wrel = AnsiToWide(rel);
    full = L"HKEY_CURRENT_USER\\" + wrel;
    DeleteWideTree(HKEY_CURRENT_USER, wrel);
    MakeWideKey(HKEY_CURRENT_USER, wrel);
}

ScratchKey::~ScratchKey() {
    DeleteWideTree(HKEY_CURRENT_USER, wrel);
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\TarnwellTest");  // only once it is empty
}

}  // namespace tw::test
