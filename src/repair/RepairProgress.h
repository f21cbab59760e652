// How backup, restore and undo say that the registry editor is at work: the main window shows
// its progress window, the console front end shows nothing.
#pragma once
#include <string>

namespace tw {

class RepairProgress {
public:
    virtual ~RepairProgress() = default;
    // Shows the caption and the one line of text until Hide.
    virtual void Show(const std::string& caption, const std::string& text) = 0;
    virtual void Hide() = 0;
};

// Shows nothing.
class QuietProgress : public RepairProgress {
public:
    void Show(const std::string&, const std::string&) override {}
    void Hide() override {}
};

}  // namespace tw
