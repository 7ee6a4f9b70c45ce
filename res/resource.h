// Resource ids, shared by the resource script and the code.
#ifndef VELQUETH_RES_RESOURCE_H
#define VELQUETH_RES_RESOURCE_H

#include "res/Commands.h"

#define IDS_APP_TITLE         103
#define IDS_WINDOW_CLASS      109
#define IDR_MAINMENU          109
#define IDI_VELQUETH          107
#define IDC_HAND_CURSOR       117
#define IDD_PROPERTIES        133
#define IDB_TOOLBAR           138

#define ICON_APPLICATION_NAME "ApplicationIcon"

// Properties dialog controls: row k (0..7) has path 1000+3k, browse 1001+3k, arguments 1002+3k,
// and the default radio button 1024+k.
#define IDC_PATH_FIRST        1000
#define IDC_BROWSE_FIRST      1001
#define IDC_ARGS_FIRST        1002
#define IDC_DEFAULT_FIRST     1024
#define IDC_DEFAULT_LAST      1031
#define IDC_DISPLAY_PROGRAM   1032

#endif
