// The two small meters of the results panel: the input level bar (one unit
// per dB, rising from the bottom) and the fine peak-level meter (10 units per
// dB either side of the reference at its middle).
#include "engine/Fault.h"
#include "display/Meters.h"

namespace {
constexpr Colour kWhite = RGB(255, 255, 255);
}

void DrawInputLevel(PictureBox& IPAmplitude, double InLevelDb, Colour c)
{
    const double h = IPAmplitude.ScaleHeight();
    const double w = IPAmplitude.ScaleWidth();
    IPAmplitude.LineBox(0, h, w, h - InLevelDb, c);
    IPAmplitude.LineBox(0, h - InLevelDb, w, 0, kWhite);
}

void DrawPeaking(PictureBox& Peaking, double peakPower, int reference, Colour c)
{
    const double offset = CheckedDb(peakPower) - reference;
    const double x = 10 * offset + Peaking.ScaleWidth() - 50;
    // The outer height is at least the scale height, so both boxes fill it.
    Peaking.LineBox(0, 0, x, Peaking.Height(), c);
    Peaking.LineBox(x, 0, Peaking.ScaleWidth(), Peaking.Height(), kWhite);
}
