#include "app/AboutCommands.h"

#include <shellapi.h>

#include "platform/LoadText.h"
#include "platform/Seams.h"
#include "platform/Text.h"
#include "resource.h"
#include "strings.h"
#include "version.h"

namespace tw {

const char kMakerMail[] = "mailto:tarnwell@example.com?subject=Tarnwell";
const char kMakerHomePage[] = "http://www.example.org/tarnwell/";

void ShowAboutBox(HWND owner, HINSTANCE instance) {
    ShellAboutW(owner, AnsiToWide("Tarnwell Version " TW_VERSION_STR).c_str(),
                LoadWideText(IDS_ABOUT_MAKER).c_str(),
                LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP)));
}

void MailToMaker(HWND owner) { CurrentSeams().shellOpen(owner, kMakerMail); }

void OpenMakerHomePage(HWND owner) { CurrentSeams().shellOpen(owner, kMakerHomePage); }

}  // namespace tw
