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

}  // namespace tw
