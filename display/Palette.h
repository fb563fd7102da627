// The waterfall's colour palettes: a level (0 = bottom, 1 = top) and a
// palette number give a colour.
#pragma once
#include "controls/Colour.h"

// Levels above 1 count as 0.996, then levels below 0 (and NaN) as 0.
// Palettes: 0 six-segment ramp black-blue-cyan-green-yellow-red-white (the
// very top, levels that round to the end of the ramp, is white), 1 grey,
// 2 power-law tints, 3 periodic colours; any other number gives black.
Colour WFCols(double level, unsigned char palette);
