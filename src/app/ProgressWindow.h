// The progress window shown while the registry editor exports or imports the registry: a small
// dialog-framed window without border icons, with a picture and one centred line of text.
// Created on first use, then only shown and hidden for the rest of the run.
#pragma once
#include <windows.h>
#include <memory>
#include <string>

#include "platform/DialogBase.h"
#include "repair/RepairProgress.h"

namespace tw {

class TForm3 : public DialogBase {
public:
    // Creates the window hidden, centred on the desktop, owned by `owner` (may be null).
    explicit TForm3(HWND owner);

    // Sets the caption and the line of text, shows the window and paints it at once.
    void Show(const std::string& caption, const std::string& text);
    void Hide();

private:
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
};

// The progress window of backup, restore and undo, created on first use and then only shown
// and hidden.
class ProgressOnDemand : public RepairProgress {
public:
    // `owner` owns the window once it is made (may be null).
    explicit ProgressOnDemand(HWND owner) : owner_(owner) {}

    void Show(const std::string& caption, const std::string& text) override;
    void Hide() override;
    // Null until the first Show.
    TForm3* Window() const { return window_.get(); }

private:
    HWND owner_;
    std::unique_ptr<TForm3> window_;
};

}  // namespace tw
