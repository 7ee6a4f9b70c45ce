// LogStyle: a child's style (base/TextStyle.h) as the rich edit's character format: colour,
// background, bold, italic, underline and strike-out, inverse as the two colours swapped.
#ifndef VELQUETH_APP_LOGSTYLE_H
#define VELQUETH_APP_LOGSTYLE_H

#include <windows.h>

#include "base/TextStyle.h"

// Gives the rich edit's selection (at the end of the log: the next insertion) the style. Every
// attribute is set, so that nothing of the text before it carries over.
void SetSelectionStyle(HWND pane, const TextStyle& style);

// Inserts one chunk of UTF-8 with style marks at the end of the rich edit as rich text streamed in
// whole, from `style` on, `style` left as the marks set it: the same log as one insertion per run,
// at a fraction of the cost. False, with nothing inserted, where the stream would not carry the
// text exactly (a CR or LF outside a CR LF pair, another control character, bytes not UTF-8).
bool InsertStyledChunk(HWND pane, const char* text, TextStyle* style);

#endif
