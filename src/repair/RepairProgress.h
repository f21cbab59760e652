// How backup, restore and undo say that the registry editor is at work, and a product's repair
// that it waits for the product's own uninstall: the main window shows its progress window, the
// console front end shows nothing (or a line for the wait).
#pragma once
#include <string>

namespace tw {

class RepairProgress {
public:
    virtual ~RepairProgress() = default;
    // Shows the caption and the one line of text until Hide.
    virtual void Show(const std::string& caption, const std::string& text) = 0;
    virtual void Hide() = 0;
    // As Show, with a way for the user to stop waiting (a button) until Hide.
    virtual void ShowStoppable(const std::string& caption, const std::string& text) { Show(caption, text); }
    // Whether the user asked to stop waiting since ShowStoppable.
    virtual bool StopRequested() { return false; }
};

// Shows nothing.
class QuietProgress : public RepairProgress {
public:
    void Show(const std::string&, const std::string&) override {}
    void Hide() override {}
};

}  // namespace tw
