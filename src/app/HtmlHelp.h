// HtmlHelp: shows pages of the guide through the system's HTML Help engine, which is found
// through its class registration and loaded at run time, never linked: a system without it still
// runs the program, and help then stays silent. Under Wine whose HTML engine cannot show pages
// (the help window would stay blank) the host's web browser shows the guide's pages instead.
#pragma once
#include <windows.h>
#include <string>

#include "platform/Handle.h"

namespace tw {

// The registration of the HTML Help control under HKEY_CLASSES_ROOT; its default value names
// the library that exports the engine's entry point.
extern const char kHtmlHelpServerKey[];

// The languages the guide is written in.
enum class GuideLanguage { Chinese, English };

// One language's guide: the compiled file the help window shows, and the folder of the same
// pages as plain HTML, which a web browser shows.
struct Guide {
    std::string helpFile;     // full path
    std::string pagesFolder;  // full path, with its trailing backslash
};

// The guide of the interface's language beside the program: Kivcc.chm (a name the setup and
// other programs rely on) with help\zh\, or Kivcc-en.chm with help\en\.
Guide GuideFor(GuideLanguage language);

// Where help shows a page.
enum class HelpViewer { HelpWindow, Browser };
// Under Wine whose HTML engine cannot show pages, the host's browser shows the installed page;
// on Windows, under Wine with a working engine, and where the page is not installed, the help
// window.
HelpViewer ChooseHelpViewer(bool underWine, bool htmlEngineUsable, bool pageInstalled);

// Whether Wine's HTML engine can show pages here: its library loads (a launcher may switch it
// off) and Gecko is installed (WineGeckoInstalled). Through the seam htmlEngineUsable.
bool WineHtmlEngineUsable();
// Whether a Gecko for 32-bit programs lies where Wine looks for it: registered under
// HKEY_LOCAL_MACHINE\Software\Wine\MSHTML\<version> ("GeckoPath", what its installer writes),
// installed in the system folder (gecko\<version>\wine_gecko), or unpacked in Wine's shared data
// (gecko\wine-gecko-<version>-x86). Any version counts.
bool WineGeckoInstalled();

class HtmlHelp {
public:
    // The engine's entry point, as the library exports it under "HtmlHelpA".
    using HtmlHelpProc = HWND(WINAPI*)(HWND owner, LPCSTR file, UINT command, DWORD_PTR data);

    // Stores the guide and loads the engine; reports nothing either way.
    explicit HtmlHelp(const Guide& guide);
    // Closes the engine's windows, then unloads it.
    ~HtmlHelp();
    HtmlHelp(const HtmlHelp&) = delete;
    HtmlHelp& operator=(const HtmlHelp&) = delete;

    // Shows a topic ("page.htm" or "page.htm#anchor") where ChooseHelpViewer says: in the
    // engine's window (nothing when the engine is not loaded), or in the host's web browser
    // through Wine's winebrowser, which gets the page without its anchor; where winebrowser
    // cannot start, in the engine's window.
    void ShowTopic(const std::string& topic);

    bool Loaded() const { return entry_ != nullptr; }

private:
    Guide guide_;
    UniqueModule library_;
    HtmlHelpProc entry_ = nullptr;
};

}  // namespace tw
