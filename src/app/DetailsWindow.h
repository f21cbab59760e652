// The details of one report row: every field in full, the value's data, why the row was
// reported (the rule and the paths judged missing) and what a repair would do, with buttons to
// repair it, ignore it and open its place. Modal over the main window.
#pragma once
#include <windows.h>
#include <string>

#include "platform/DialogBase.h"
#include "platform/OsFamily.h"
#include "resource.h"
#include "scanners/Finding.h"
#include "scanners/IgnoreList.h"

namespace tw {

// What the user chose in the details window.
enum class DetailsChoice { Close, Repair, Ignore, Open };

// The text the window shows for a row: `mark` is what the last repair left of it (may be
// empty), `plan` what a repair would do now.
std::string DetailsText(const Finding& f, const std::string& mark, const std::string& plan);
// What a repair of the row would do now, as the console's dry run prints it: its outcome and,
// one a line, what would go. Deletes nothing.
std::string RepairPlanText(const Finding& f, const IgnoreList* ignored, OsFamily os);

class DetailsWindow : public DialogBase {
public:
    // Made hidden over `owner`; `canRepair` and `canIgnore` switch their buttons.
    DetailsWindow(HWND owner, const std::string& text, bool canRepair, bool canIgnore);
    // Shows the window with its owner disabled until it closes; what the user chose.
    DetailsChoice Run();

    HWND TextBox() const { return Item(IDC_DETAILS_TEXT); }

private:
    void OnInit() override;
    void OnCommand(int id, int code) override;

    HWND owner_;
    std::string text_;
    bool canRepair_, canIgnore_;
    bool done_ = false;
    DetailsChoice choice_ = DetailsChoice::Close;
};

}  // namespace tw
