// Palette: the colours that escape sequences name by number. 0-15 are the log's own sixteen, drawn
// for a light background (each keeps its hue and is readable on the window colour); 16-255 are
// the xterm table exactly: the 6x6x6 cube, then the grey ramp.
#ifndef VELQUETH_BASE_PALETTE_H
#define VELQUETH_BASE_PALETTE_H

#include <windows.h>

const unsigned kPaletteSize = 256;

// The colour of `index` (below kPaletteSize).
COLORREF PaletteColour(unsigned index);

#endif
