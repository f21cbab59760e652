// The language the program speaks: Simplified Chinese or English (United States). Each has its
// own block of every text, menu and dialog in the resource file; LoadText, LoadLanguageMenu and
// LanguageResource take them from the block of the current language.
#pragma once
#include <windows.h>

#include <string>

namespace tw {

enum class Language { Chinese, English };

// The block of the resource file a language's texts stand in.
LANGID LanguageId(Language language);
// The code the settings file and the console's --lang store: "zh" or "en".
const char* LanguageCode(Language language);
// The language of a stored code; false for any other text (an empty one included).
bool LanguageFromCode(const std::string& code, Language& out);

// Whether the system's ANSI code page can show Chinese (936): the program's texts are bytes of
// that code page, and on any other one every Chinese caption would come out garbled.
bool CanShowChinese();
// What the system asks for: English when the code page cannot show Chinese; otherwise Chinese
// when the user's interface language is Chinese (GetUserDefaultUILanguage where the system has
// it, the user's default language on 95/98/Me), English for every other language.
Language SystemLanguage();
// The language of a stored choice ("zh", "en"), or the system's when there is none, when it is
// unknown, or when it is Chinese on a code page that cannot show Chinese.
Language ChooseLanguage(const std::string& storedCode);

// The language the program speaks now: Chinese until told otherwise. Front ends set it once at
// start (and the window again when the user switches); worker threads only read it.
Language CurrentLanguage();
void SetCurrentLanguage(Language language);

// The data of resource `name` of `type` in the current language's block; the Chinese block when
// the current one lacks it, then whatever block holds it. Null when the program has none; the
// data lives as long as the program.
const void* LanguageResource(LPCWSTR type, LPCWSTR name, DWORD* size = nullptr);
// A menu resource in the current language (the caller owns it); null when there is none.
HMENU LoadLanguageMenu(int id);

}  // namespace tw
