// Command ids of the main window, shared by the resource script and the code. Every user command
// reaches the main window as WM_COMMAND and is told apart by the low word of wParam alone.
#ifndef VELQUETH_RES_COMMANDS_H
#define VELQUETH_RES_COMMANDS_H

#define ID_ABOUT              104
#define ID_EXIT               105
#define ID_RUN_COMMAND_LINE   1025
#define ID_CUT                32772
#define ID_COPY               32773
#define ID_PASTE              32774
#define ID_DELETE             32775
#define ID_SELECT_ALL         32776
#define ID_UNDO               32777
#define ID_RUN_DEFAULT        32778
#define ID_PROPERTIES         32791
#define ID_USER_GUIDE         32793
#define ID_CLEAR_SCREEN       32794
// The log's own commands: its context menu and keys (Ctrl+F, F3, Shift+F3, Ctrl+S).
#define ID_FIND               32800
#define ID_FIND_NEXT          32801
#define ID_FIND_PREVIOUS      32802
#define ID_SAVE_LOG_AS        32803
#define ID_STOP_PROGRAM       32804

#define ID_RUN_SLOT_1         0xE000
#define ID_RUN_SLOT_8         0xE007

// The item that the program adds to the window's system menu. It arrives as WM_SYSCOMMAND, whose
// ids the system wants below 0xF000 with the low four bits clear.
#define IDM_STOP_PROGRAM      0x0100

// Child ids of the main window.
#define IDC_TOOLBAR           500
#define IDC_PANE              109

#endif
