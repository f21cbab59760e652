// The columns and rows of a report-style list view, as the program's windows fill them.
#pragma once
#include <windows.h>
#include <initializer_list>
#include <string>

namespace tw {

struct ListColumn {
    std::string caption;  // in the ANSI code page
    int width;            // in pixels
};

// Appends the columns, in order, to a list view in report mode.
void AddListColumns(HWND list, std::initializer_list<ListColumn> columns);
// Appends a row with the texts of its columns, in order (in the ANSI code page).
void AddListRow(HWND list, std::initializer_list<std::string> texts);

}  // namespace tw
