// The log pane's drawing while output floods in: each chunk goes in with drawing held back, and
// the pane is drawn again whole at most every so often.
#ifndef VELQUETH_APP_PANEREDRAW_H
#define VELQUETH_APP_PANEREDRAW_H

#include <windows.h>

// Subclasses the pane so that it takes whole chunks (OutputPane::ChunkMessage). Without memory
// for its state the pane stays as the system made it, and chunks go in message by message.
void BatchRedraws(HWND pane);

#endif
