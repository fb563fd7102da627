// The program's one transform: in-place complex radix-2 FFT, positive
// exponent, unscaled, on a 1-based interleaved single-precision array.
#pragma once
#include <cstdint>

// Transforms n points held at data[1 .. 2n] (point k: real 2k+1, imaginary
// 2k+2).  data[0] and everything above 2n are left alone.  n must be a power
// of two >= 2.
void DoFFT(float* data, std::int32_t n);
