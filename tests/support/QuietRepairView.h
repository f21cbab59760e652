// A repair view with no window: the row is always the first, and nothing is shown.
#pragma once
#include "repair/RepairView.h"

namespace tw::test {

struct QuietRepairView : RepairView {
    int SelectedRow() override { return 0; }
    void RowChanged(int) override {}
    void SetStatus(const std::string&) override {}
    void SetRepairControls(bool, bool) override {}
    void ProcessMessages() override {}
    HWND OwnerWindow() override { return nullptr; }
};

}  // namespace tw::test
