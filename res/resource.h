// Resource identifiers.
#pragma once
#define IDI_APP 1
#define IDI_PROGRESS 2
#define IDI_HISTORY 3
#define IDB_SMALL 101
#define IDB_TOOLBAR 102
#define IDB_TOOLBAR_HOT 103
