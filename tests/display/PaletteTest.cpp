// The waterfall palettes: the documented colours, the limits on the level,
// unknown palettes and the very top of palette 0.
#include <gtest/gtest.h>

#include "display/Palette.h"

TEST(Palette, ColoursAtLevelsAndLimits)
{
    const struct { double level; int palette, r, g, b; } cases[] = {
        {0, 0, 0, 0, 0},         {0.25, 0, 0, 128, 255},   {0.5, 0, 0, 255, 0},      {0.75, 0, 255, 127, 0},
        {0, 1, 0, 0, 0},         {0.25, 1, 64, 64, 64},    {0.5, 1, 128, 128, 128},  {0.75, 1, 191, 191, 191},
        {0, 2, 0, 0, 0},         {0.25, 2, 8, 64, 4},      {0.5, 2, 45, 128, 32},    {0.75, 2, 124, 191, 108},
        {0, 3, 127, 127, 254},   {0.25, 3, 248, 252, 14},  {0.5, 3, 202, 88, 202},   {0.75, 3, 52, 14, 107},
        {2, 1, 254, 254, 254},   {2, 0, 255, 250, 250},    // above 1 counts as 0.996
        {-0.5, 3, 127, 127, 254}, {-1e9, 0, 0, 0, 0},      {std::nan(""), 3, 127, 127, 254}, // as 0
        {0.3, 4, 0, 0, 0},       {1, 255, 0, 0, 0},        {7, 5, 0, 0, 0},           // other palettes: black
        // palette 0's top: exactly 1 is not limited; what rounds to the ramp's end is white
        {1, 0, 255, 255, 255},   {1534.6 / 1536, 0, 255, 255, 255}, {1533.6 / 1536, 0, 255, 254, 254},
    };
    for (const auto& c : cases) {
        const Colour got = WFCols(c.level, c.palette);
        EXPECT_EQ((std::vector{got & 255, (got >> 8) & 255, (got >> 16) & 255}), (std::vector{c.r, c.g, c.b}))
            << "level " << c.level << " palette " << c.palette;
    }
}
