#include "platform/ListColumns.h"

#include <commctrl.h>

#include <string>

#include "platform/Text.h"

namespace tw {

void AddListColumns(HWND list, std::initializer_list<ListColumn> columns) {
    int i = 0;
    for (const ListColumn& column : columns) {
        std::wstring text = AnsiToWide(column.caption);
        LVCOLUMNW c{};
        c.mask = LVCF_TEXT | LVCF_WIDTH;
        c.cx = column.width;
        c.pszText = &text[0];
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i++), reinterpret_cast<LPARAM>(&c));
    }
}

void AddListRow(HWND list, std::initializer_list<std::string> texts) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    int column = 0;
    for (const std::string& text : texts) {
        std::wstring wide = AnsiToWide(text);
        item.pszText = &wide[0];
        if (column == 0) {
            item.iItem = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
            if (item.iItem < 0) return;
        } else {
            item.iSubItem = column;
            SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(item.iItem), reinterpret_cast<LPARAM>(&item));
        }
        ++column;
    }
}

}  // namespace tw
