#include "base/Palette.h"

namespace {

// Black, red, green, yellow, blue, magenta, cyan, white, then their bright forms. A terminal's
// white and bright yellow vanish on a white window: these are darker, the four greys kept apart
// from each other and from the control's own black.
const COLORREF kSixteen[16] = {
    RGB(0x38, 0x38, 0x38), RGB(0xB0, 0x00, 0x00), RGB(0x00, 0x70, 0x00), RGB(0x78, 0x60, 0x00),
    RGB(0x00, 0x00, 0xC0), RGB(0x98, 0x00, 0x98), RGB(0x00, 0x78, 0x80), RGB(0x78, 0x78, 0x78),
    RGB(0x58, 0x58, 0x58), RGB(0xE0, 0x20, 0x20), RGB(0x00, 0xA0, 0x00), RGB(0x9C, 0x84, 0x00),
    RGB(0x30, 0x50, 0xFF), RGB(0xD0, 0x20, 0xD0), RGB(0x00, 0x98, 0xA8), RGB(0x92, 0x92, 0x92),
};

const BYTE kCubeLevels[6] = {0, 95, 135, 175, 215, 255};

} // namespace

COLORREF PaletteColour(unsigned index)
{
    if (index < 16)
        return kSixteen[index];
    if (index < 232) {
        unsigned cube = index - 16;
        return RGB(kCubeLevels[cube / 36], kCubeLevels[cube / 6 % 6], kCubeLevels[cube % 6]);
    }
    if (index < kPaletteSize) {
        BYTE grey = static_cast<BYTE>(8 + 10 * (index - 232));
        return RGB(grey, grey, grey);
    }
    return 0;
}
