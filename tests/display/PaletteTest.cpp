// The waterfall palettes: the documented colours, the limits on the level,
// the unknown palettes and the very top of palette 0.
#include <gtest/gtest.h>

#include "display/Palette.h"
#include "ui/Parlune.h"

namespace {
struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Rgb& c)
{
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}
Rgb split(Colour c) { return {c & 255, (c >> 8) & 255, (c >> 16) & 255}; }
} // namespace

TEST(Palette, ColoursAtLevelsAndLimits)
{
    const struct {
        double level;
        int palette;
        Rgb expect;
    } cases[] = {
        {0, 0, {0, 0, 0}},         {0.25, 0, {0, 128, 255}},   {0.5, 0, {0, 255, 0}},
        {0.75, 0, {255, 127, 0}},  {0, 1, {0, 0, 0}},          {0.25, 1, {64, 64, 64}},
        {0.5, 1, {128, 128, 128}}, {0.75, 1, {191, 191, 191}}, {0, 2, {0, 0, 0}},
        {0.25, 2, {8, 64, 4}},     {0.5, 2, {45, 128, 32}},    {0.75, 2, {124, 191, 108}},
        {0, 3, {127, 127, 254}},   {0.25, 3, {248, 252, 14}},  {0.5, 3, {202, 88, 202}},
        {0.75, 3, {52, 14, 107}},
        // above 1 counts as 0.996, below 0 as 0
        {2, 1, {254, 254, 254}},   {2, 0, {255, 250, 250}},    {0.996, 0, {255, 250, 250}},
        {-0.5, 3, {127, 127, 254}}, {-1e9, 0, {0, 0, 0}},
        // exactly 1 is not limited; it rounds to the end of the ramp: white
        {1, 0, {255, 255, 255}},   {1535.6 / 1536, 0, {255, 255, 255}}, {1535.4 / 1536, 0, {255, 255, 255}},
        {1534.6 / 1536, 0, {255, 255, 255}}, {1533.6 / 1536, 0, {255, 254, 254}},
        {1, 1, {255, 255, 255}},
        // a level that is not a number counts as 0
        {std::nan(""), 3, {127, 127, 254}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(split(WFCols(c.level, c.palette)), c.expect) << "level " << c.level << " palette " << c.palette;
}

TEST(Palette, OtherPaletteNumbersAreBlackAndTheMemberAgrees)
{
    for (int palette : {4, 5, 100, 255})
        for (double level : {-1.0, 0.0, 0.3, 1.0, 7.0})
            EXPECT_EQ(WFCols(level, palette), 0) << palette << " " << level;
    for (int palette = 0; palette < 6; ++palette)
        for (double level : {0.1, 0.6, 1.5})
            EXPECT_EQ(Parlune::WFCols(level, palette), WFCols(level, palette));
}
