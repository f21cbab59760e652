#include "app/HtmlHelp.h"

#include "platform/FileSystem.h"
#include "platform/Registry.h"

namespace tw {

const char kHtmlHelpServerKey[] = "CLSID\\{adb880a6-d8ff-11cf-9377-00aa003b7a11}\\InprocServer32";

namespace {

const UINT kDisplayTopic = 0x0000;  // HH_DISPLAY_TOPIC
const UINT kCloseAll = 0x0012;      // HH_CLOSE_ALL

// The library path the registration names, with environment references ("%SystemRoot%")
// resolved as the system does for an expandable value. Empty when there is none.
std::string RegisteredEngine() {
    try {
        Registry reg;
        reg.SetRootKey(HKEY_CLASSES_ROOT);
        // Reading is all help needs: an ordinary account may not write to the class table.
        if (!reg.OpenKeyReadOnly(kHtmlHelpServerKey)) return {};
        std::string path = reg.ReadString("");
        reg.CloseKey();
        if (path.find('%') != std::string::npos) {
            char buf[MAX_PATH * 2] = {};
            DWORD n = ExpandEnvironmentStringsA(path.c_str(), buf, sizeof buf);
            if (n > 0 && n <= sizeof buf) path = buf;
        }
        return path;
    } catch (const RegistryError&) {
        // A default value of another kind names no library.
        return {};
    }
}

}  // namespace

HtmlHelp::HtmlHelp(const std::string& helpFile) : helpFile_(helpFile) {
    std::string path = RegisteredEngine();
    if (path.empty() || !FileExists(path)) return;
    UniqueModule library(LoadLibraryA(path.c_str()));
    if (!library) return;
    auto entry = reinterpret_cast<HtmlHelpProc>(GetProcAddress(library.get(), "HtmlHelpA"));
    if (!entry) return;
    library_ = std::move(library);
    entry_ = entry;
}

HtmlHelp::~HtmlHelp() {
    // A help window left open would run code of the library after it is unloaded.
    if (entry_) entry_(nullptr, nullptr, kCloseAll, 0);
    entry_ = nullptr;
    library_.reset();
}

void HtmlHelp::ShowTopic(const std::string& topic) {
    if (!entry_) return;
    // The engine reports a missing file or topic in its own window, if at all.
    entry_(nullptr, helpFile_.c_str(), kDisplayTopic, reinterpret_cast<DWORD_PTR>(topic.c_str()));
}

}  // namespace tw
