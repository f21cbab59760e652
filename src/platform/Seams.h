// The few things a test cannot set up for real: the button a user clicks in a message box or
// the file a user picks in a file dialog, the type of a drive, where a special folder lies, and
// an outside program started. Everything
// else (registry, files, windows) is real in tests too. By default each seam calls the system.
#pragma once
#include <windows.h>
#include <functional>
#include <string>

#include "platform/FileDialog.h"

namespace tw {

// How a wait for an outside program with a limit ended.
enum class WaitEnd { Ended, NotStarted, TimedOut, Stopped };

struct Seams {
    // Shows a message box (no owner unless given) and returns the button pressed.
    std::function<int(HWND owner, const std::string& text, const std::string& caption, UINT type)> messageBox;
    std::function<UINT(const std::string& root)> driveType;
    std::function<std::string(HWND owner, int csidl)> specialFolder;
    // Starts a command line and waits for it to end while the caller's windows keep painting;
    // returns false when it could not be started, else true with the exit code.
    std::function<bool(const std::string& commandLine, const std::string& directory, DWORD& exitCode)> runAndWait;
    // The same wait with an end: it gives up after limitMs, or as soon as `stop` (asked every few
    // milliseconds, may be empty) says so, and leaves the program running then. exitCode is set
    // only when the program ended.
    std::function<WaitEnd(const std::string& commandLine, DWORD limitMs, const std::function<bool()>& stop,
                          DWORD& exitCode)>
        runAndWaitLimited;
    // Asks the shell to open a document or address (a web page, a "mailto:" link) with the
    // program the user chose for it; failures are the shell's to report.
    std::function<void(HWND owner, const std::string& target)> shellOpen;
    // Starts a command line without waiting for it (the registry editor, the Explorer); false
    // when it could not be started.
    std::function<bool(const std::string& commandLine)> startProgram;
    // The standard open or save dialog: true with the chosen full path, false when cancelled.
    std::function<bool(HWND owner, const FileDialogRequest& request, std::string& path)> fileDialog;
    // What Wine reports as its version, empty on Windows (unset: ntdll's wine_get_version). A
    // test under Wine cannot otherwise see the program as it runs on Windows.
    std::function<std::string()> wineVersion;
    // Whether Wine's HTML engine can show a page, asked only under Wine (unset: the help's own
    // check of the engine's library and of Gecko). Tests run with the engine's library switched
    // off, which a running process cannot switch on.
    std::function<bool()> htmlEngineUsable;
};

// The seams in force; tests replace members through ScopedSeams.
Seams& CurrentSeams();
// The real implementations.
Seams SystemSeams();

// Message box with the product caption "Tarnwell", owned by the window that asks (modal to
// it; null only where no window exists yet). A text longer than a box can show readably is
// shortened in its middle (ShortForDisplay).
int ShowMessage(HWND owner, const std::string& text, UINT type);
// The program's report of an error that ended a command: ErrorSentence of its text, an error icon
// and OK.
void ShowError(HWND owner, const std::string& text);
// An error's text as the program reports it: with a full stop added when its last character
// sorts above ".".
std::string ErrorSentence(const std::string& text);

// The longest text a message box shows, in bytes.
constexpr size_t kMessageTextLimit = 1024;

class ScopedSeams {
public:
    ScopedSeams() : saved_(CurrentSeams()) {}
    ~ScopedSeams() { CurrentSeams() = saved_; }
    ScopedSeams(const ScopedSeams&) = delete;
    ScopedSeams& operator=(const ScopedSeams&) = delete;
    Seams& operator*() { return CurrentSeams(); }
    Seams* operator->() { return &CurrentSeams(); }

private:
    Seams saved_;
};

}  // namespace tw
