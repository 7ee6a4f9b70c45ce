// The log's sixteen colours, held to the rules they were chosen by.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/Palette.h"

namespace {

double Luminance(COLORREF colour)
{
    double sum = 0;
    const double weights[3] = {0.2126, 0.7152, 0.0722};
    const BYTE channels[3] = {GetRValue(colour), GetGValue(colour), GetBValue(colour)};
    for (int i = 0; i < 3; ++i) {
        double c = channels[i] / 255.0;
        sum += weights[i] * (c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
    }
    return sum;
}

double Distance(COLORREF a, COLORREF b)
{
    double r = GetRValue(a) - GetRValue(b), g = GetGValue(a) - GetGValue(b),
           bl = GetBValue(a) - GetBValue(b);
    return std::sqrt(r * r + g * g + bl * bl);
}

} // namespace

TEST(PaletteTest, TheSixteenKeepTheirHueAndAreReadableOnTheWindow)
{
    // The channels that make each hue: those clearly above the rest; greys have none.
    const char* hues[8] = {"", "R", "G", "RG", "B", "RB", "GB", ""};
    const COLORREF window = GetSysColor(COLOR_WINDOW);
    for (unsigned i = 0; i < 16; ++i) {
        SCOPED_TRACE(i);
        COLORREF colour = PaletteColour(i);
        const int channels[3] = {GetRValue(colour), GetGValue(colour), GetBValue(colour)};
        int lowestNamed = 255, highestOther = 0;
        for (int c = 0; c < 3; ++c) {
            bool named = std::strchr(hues[i % 8], "RGB"[c]) != nullptr;
            if (named)
                lowestNamed = std::min(lowestNamed, channels[c]);
            else
                highestOther = std::max(highestOther, channels[c]);
        }
        if (hues[i % 8][0] != '\0')
            EXPECT_GE(lowestNamed - highestOther, 64) << "hue " << hues[i % 8];
        else
            EXPECT_LE(*std::max_element(channels, channels + 3) - *std::min_element(channels, channels + 3), 8);
        double lighter = std::max(Luminance(window), Luminance(colour)) + 0.05;
        double darker = std::min(Luminance(window), Luminance(colour)) + 0.05;
        EXPECT_GE(lighter / darker, 3.0) << "contrast on the window colour";
        EXPECT_GE(Distance(colour, GetSysColor(COLOR_WINDOWTEXT)), 40) << "the automatic colour";
        for (unsigned j = 0; j < i; ++j)
            EXPECT_GE(Distance(colour, PaletteColour(j)), 40) << "colour " << j;
    }
    // The greys in order: black, bright black, white, bright white.
    EXPECT_LT(Luminance(PaletteColour(0)), Luminance(PaletteColour(8)));
    EXPECT_LT(Luminance(PaletteColour(8)), Luminance(PaletteColour(7)));
    EXPECT_LT(Luminance(PaletteColour(7)), Luminance(PaletteColour(15)));
}
