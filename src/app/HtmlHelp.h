// HtmlHelp: shows pages of the compiled help file through the system's HTML Help engine, which
// is found through its class registration and loaded at run time, never linked: a system
// without it still runs the program, and help then stays silent.
#pragma once
#include <windows.h>
#include <string>

#include "platform/Handle.h"

namespace tw {

// The registration of the HTML Help control under HKEY_CLASSES_ROOT; its default value names
// the library that exports the engine's entry point.
extern const char kHtmlHelpServerKey[];

class HtmlHelp {
public:
    // The engine's entry point, as the library exports it under "HtmlHelpA".
    using HtmlHelpProc = HWND(WINAPI*)(HWND owner, LPCSTR file, UINT command, DWORD_PTR data);

    // Stores the help file's full path and loads the engine; reports nothing either way.
    explicit HtmlHelp(const std::string& helpFile);
    // Closes the engine's windows, then unloads it.
    ~HtmlHelp();
    HtmlHelp(const HtmlHelp&) = delete;
    HtmlHelp& operator=(const HtmlHelp&) = delete;

    // Shows a page of the help file; does nothing when the engine is not loaded.
    void ShowTopic(const std::string& topic);

    bool Loaded() const { return entry_ != nullptr; }

private:
    std::string helpFile_;
    UniqueModule library_;
    HtmlHelpProc entry_ = nullptr;
};

}  // namespace tw
