// The columns of a report-style list view, as the program's windows lay them out.
#pragma once
#include <windows.h>
#include <initializer_list>

namespace tw {

struct ListColumn {
    const char* caption;  // in the ANSI code page
    int width;            // in pixels
};

// Appends the columns, in order, to a list view in report mode.
void AddListColumns(HWND list, std::initializer_list<ListColumn> columns);

}  // namespace tw
