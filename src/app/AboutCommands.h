// The small commands of the Help menu that talk about the program and its makers: the about
// box, a mail to the makers and their home page.
#pragma once
#include <windows.h>

namespace tw {

// Where the mail and home-page commands lead.
extern const char kMakerMail[];      // "mailto:" link, with the subject
extern const char kMakerHomePage[];  // web address

// The system's about box, owned by `owner`, with the product's version line, the makers' line
// and the program's icon. Returns when the user closes it.
void ShowAboutBox(HWND owner, HINSTANCE instance);
// Opens the mail program on a new message to the makers; failures are ignored.
void MailToMaker(HWND owner);
// Opens the makers' home page in the browser; failures are ignored.
void OpenMakerHomePage(HWND owner);

}  // namespace tw
