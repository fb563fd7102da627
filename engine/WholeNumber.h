// Storing real values into whole numbers: to nearest, halves to even, with an
// Overflow fault when the result does not fit.
#pragma once
#include <cstdint>

std::int16_t RoundToInt16(double x);
std::int32_t RoundToInt32(double x);
// floor(x) as a 32-bit whole number; Overflow fault when it does not fit.
std::int32_t FloorToInt32(double x);
