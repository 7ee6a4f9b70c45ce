// How the log pane takes a job's output: the pane's window procedure inserts what has gathered
// in the output queue, piece by piece on the user-interface thread, with drawing held back, and
// draws itself again whole at most every so often. A full log is renewed first (app/LogRenewal.h).
#ifndef VELQUETH_APP_PANEFEED_H
#define VELQUETH_APP_PANEFEED_H

#include <cstddef>

#include "app/OutputPane.h"

// Subclasses the pane that `output` is attached to and opens its queue. Without memory for its
// state the pane stays as the system made it, and output goes in message by message.
void FeedPane(OutputPane* output);

// Sets the most characters that the fed `pane` keeps before the log is renewed (at first, what
// this process can afford); tests make it small.
void SetLogLimit(HWND pane, size_t chars);

#endif
