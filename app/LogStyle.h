// LogStyle: a child's style (base/TextStyle.h) as the rich edit's character format: colour,
// background, bold, italic, underline and strike-out, inverse as the two colours swapped.
#ifndef VELQUETH_APP_LOGSTYLE_H
#define VELQUETH_APP_LOGSTYLE_H

#include <windows.h>

#include "base/TextStyle.h"

// Gives the rich edit's selection (at the end of the log: the next insertion) the style. Every
// attribute is set, so that nothing of the text before it carries over.
void SetSelectionStyle(HWND pane, const TextStyle& style);

#endif
