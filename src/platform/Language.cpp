#include "platform/Language.h"

namespace tw {

namespace {

// Read by worker threads (their Findings' captions) while only the UI thread writes it, and
// written only while no scan runs.
volatile LONG g_language = static_cast<LONG>(Language::Chinese);

using GetUiLanguageFn = LANGID(WINAPI*)();

LANGID UserInterfaceLanguage() {
    // Windows 2000 and later tell the interface language; 95/98/Me have only the user's
    // default language, and their kernel lacks the function, so it is looked up.
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto ask = kernel ? reinterpret_cast<GetUiLanguageFn>(GetProcAddress(kernel, "GetUserDefaultUILanguage"))
                            : nullptr;
    return ask ? ask() : GetUserDefaultLangID();
}

const void* ResourceIn(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language, DWORD* size) {
    HRSRC found = FindResourceExW(module, type, name, language);
    if (!found) return nullptr;
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (data && size) *size = SizeofResource(module, found);
    return data;
}

}  // namespace

LANGID LanguageId(Language language) {
    return language == Language::English ? MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)
                                         : MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
}

const char* LanguageCode(Language language) { return language == Language::English ? "en" : "zh"; }

bool LanguageFromCode(const std::string& code, Language& out) {
    if (code == "zh") out = Language::Chinese;
    else if (code == "en") out = Language::English;
    else return false;
    return true;
}

bool CanShowChinese() { return GetACP() == 936; }

Language SystemLanguage() {
    if (!CanShowChinese()) return Language::English;
    return PRIMARYLANGID(UserInterfaceLanguage()) == LANG_CHINESE ? Language::Chinese : Language::English;
}

Language ChooseLanguage(const std::string& storedCode) {
    Language stored;
    if (!LanguageFromCode(storedCode, stored)) return SystemLanguage();
    if (stored == Language::Chinese && !CanShowChinese()) return Language::English;
    return stored;
}

Language CurrentLanguage() { return static_cast<Language>(InterlockedCompareExchange(&g_language, 0, 0)); }

void SetCurrentLanguage(Language language) { InterlockedExchange(&g_language, static_cast<LONG>(language)); }

const void* LanguageResource(LPCWSTR type, LPCWSTR name, DWORD* size) {
    const HMODULE module = GetModuleHandleW(nullptr);
    // LoadString and LoadMenu take the block of the thread's or the system's language, and older
    // systems ignore a language set for the thread: the block is named here.
    if (const void* data = ResourceIn(module, type, name, LanguageId(CurrentLanguage()), size)) return data;
    if (const void* data = ResourceIn(module, type, name, LanguageId(Language::Chinese), size)) return data;
    HRSRC found = FindResourceW(module, name, type);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    if (loaded && size) *size = SizeofResource(module, found);
    return loaded ? LockResource(loaded) : nullptr;
}

HMENU LoadLanguageMenu(int id) {
    const void* data = LanguageResource(reinterpret_cast<LPCWSTR>(RT_MENU), MAKEINTRESOURCEW(id));
    return data ? LoadMenuIndirectW(data) : nullptr;
}

}  // namespace tw
