// The progress state of a window's taskbar button (ITaskbarList3), where the system has one.
#ifndef VELQUETH_BASE_TASKBARPROGRESS_H
#define VELQUETH_BASE_TASKBARPROGRESS_H

#include <windows.h>

// Sets the button's progress state (TBPF_NOPROGRESS, TBPF_INDETERMINATE, ...); TBPF_ERROR fills
// the bar. Where the taskbar interface is missing (older Windows, some Wine set-ups) nothing
// happens and nothing is said.
// User-interface thread only: the interface is made there once and kept for the process's life.
void SetTaskbarProgress(HWND window, int state);

#endif
