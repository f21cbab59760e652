#include "app/IgnoreWindow.h"

#include <commctrl.h>

#include "platform/ListColumns.h"
#include "platform/Seams.h"
#include "platform/LoadText.h"
#include "platform/Text.h"

namespace tw {

IgnoreWindow::IgnoreWindow(HWND owner, IgnoreList& list) : list_(list) { Create(IDD_IGNORE, owner); }

void IgnoreWindow::OnInit() {
    SetIcons(IDI_APP);
    SetAnchors({{IDC_IGNORE_LIST, kAll}, {IDC_IGNORE_REMOVE, kRight | kBottom}, {IDCANCEL, kRight | kBottom}});
    SetMinimumSize(200, 100);
    SendMessageW(ListView(), LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    AddListColumns(ListView(), {{LoadText(IDS_IGNORE_COLUMN_ITEM), 150},
                                {LoadText(IDS_IGNORE_COLUMN_PLACE), 300},
                                {LoadText(IDS_IGNORE_COLUMN_NAME), 120}});
    TakeDialogKeys();
}

void IgnoreWindow::Fill() {
    SendMessageW(ListView(), LVM_DELETEALLITEMS, 0, 0);
    for (const IgnoredObject& o : list_.Items()) AddListRow(ListView(), {o.caption, o.location, o.keyName});
    UpdateButtons();
}

void IgnoreWindow::UpdateButtons() {
    EnableWindow(RemoveButton(), SendMessageW(ListView(), LVM_GETSELECTEDCOUNT, 0, 0) > 0);
}

void IgnoreWindow::Show() {
    if (!hwnd_) return;
    Fill();
    if (IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    SetFocus(ListView());
}

void IgnoreWindow::RemoveSelected() {
    // The rows show the list in its order, so row i is item i.
    std::vector<IgnoredObject> chosen;
    const std::vector<IgnoredObject>& items = list_.Items();
    for (int i = -1; (i = static_cast<int>(SendMessageW(ListView(), LVM_GETNEXTITEM, static_cast<WPARAM>(i),
                                                         LVNI_SELECTED))) >= 0;)
        if (static_cast<size_t>(i) < items.size()) chosen.push_back(items[static_cast<size_t>(i)]);
    if (chosen.empty()) return;
    const bool saved = list_.Remove(chosen);
    Fill();
    if (!saved)
        ShowMessage(hwnd_, "无法写入忽略列表文件“" + list_.Path() + "”，移除的项目在下次启动后仍将被忽略。",
                    MB_OK | MB_ICONERROR);
}

void IgnoreWindow::Close() {
    if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

void IgnoreWindow::OnCommand(int id, int code) {
    if (id == IDC_IGNORE_REMOVE && code == BN_CLICKED)
        RemoveSelected();
    else if (id == IDCANCEL)
        Close();
}

void IgnoreWindow::OnNotify(const NMHDR& n) {
    if (n.hwndFrom != ListView()) return;
    if (n.code == LVN_ITEMCHANGED) UpdateButtons();
    if (n.code == LVN_KEYDOWN && reinterpret_cast<const NMLVKEYDOWN&>(n).wVKey == VK_DELETE) RemoveSelected();
}

}  // namespace tw
