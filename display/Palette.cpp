#include "display/Palette.h"

#include <cmath>


namespace {
// To nearest, halves to even (the default rounding mode).
int Channel(double v) { return static_cast<int>(std::nearbyint(v)); }
} // namespace

Colour WFCols(double level, unsigned char palette)
{
    if (level > 1)
        level = 0.996;
    if (level < 0 || std::isnan(level))
        level = 0;
    int r = 0, g = 0, b = 0;
    switch (palette) {
    case 0: {
        const int n = Channel(6 * (256 * level));
        const int m = n % 256;
        switch (n / 256) {
        case 0: b = m; break;
        case 1: g = m; b = 255; break;
        case 2: g = 255; b = 255 - m; break;
        case 3: r = m; g = 255; break;
        case 4: r = 255; g = 255 - m; break;
        case 5: r = 255; g = m; b = m; break;
        default: r = g = b = 255; break; // n = 1536: the end of the ramp
        }
        break;
    }
    case 1:
        r = g = b = Channel(255 * level);
        break;
    case 2:
        r = Channel(255 * std::pow(level, 2.5));
        g = Channel(255 * level);
        b = Channel(255 * level * level * level);
        break;
    case 3: {
        const double turn = 6.282; // as the palette was designed, not 2 pi
        r = Channel(127 * std::sin(0.8 * turn * level) + 127);
        g = Channel(127 * std::sin(1.1 * turn * level) + 127);
        b = Channel(127 * std::cos(1.7 * turn * level) + 127);
        break;
    }
    default:
        break;
    }
    return RGB(r, g, b);
}
