// The two small meters of the results panel: the input level bar (one unit
// per dB, rising from the bottom) and the fine peak-level meter (10 units per
// dB either side of the reference at its middle).
#pragma once
#include "display/PictureBox.h"

void DrawInputLevel(PictureBox& meter, double inLevelDb, Colour c);
// Faults (logarithm) when peakPower is not positive.
void DrawPeaking(PictureBox& meter, double peakPower, int referenceDb, Colour c);
