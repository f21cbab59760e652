// The progress window shown while the registry editor exports or imports the registry, or while
// a product's own uninstall runs: a small dialog-framed window without border icons, with a
// picture, one centred line of text and, for a wait the user may end, a button to stop waiting.
// Created on first use, then only shown and hidden for the rest of the run.
#pragma once
#include <windows.h>
#include <memory>
#include <string>

#include "platform/DialogBase.h"
#include "repair/RepairProgress.h"
#include "resource.h"

namespace tw {

class ProgressWindow : public DialogBase {
public:
    // Creates the window hidden, centred on the desktop, owned by `owner` (may be null).
    explicit ProgressWindow(HWND owner);

    // Sets the caption and the line of text, shows the window and paints it at once. With
    // `stoppable` the button "Stop Waiting" shows too, and pressing it (or closing the window) asks to
    // stop waiting.
    void Show(const std::string& caption, const std::string& text, bool stoppable = false);
    void Hide();
    // Whether the user asked to stop waiting since the last stoppable Show.
    bool StopRequested() const { return stopRequested_; }
    HWND StopButton() const { return Item(IDCANCEL); }

private:
    void OnInit() override;
    void OnCommand(int id, int code) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

    bool stoppable_ = false;
    bool stopRequested_ = false;
};

// The progress window of backup, restore and undo, created on first use and then only shown
// and hidden.
class ProgressOnDemand : public RepairProgress {
public:
    // `owner` owns the window once it is made (may be null).
    explicit ProgressOnDemand(HWND owner) : owner_(owner) {}

    void Show(const std::string& caption, const std::string& text) override;
    void Hide() override;
    void ShowStoppable(const std::string& caption, const std::string& text) override;
    bool StopRequested() override { return window_ && window_->StopRequested(); }
    // Null until the first Show.
    ProgressWindow* Window() const { return window_.get(); }

private:
    HWND owner_;
    std::unique_ptr<ProgressWindow> window_;
};

}  // namespace tw
