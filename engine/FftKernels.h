// Internal interface between an FFT plan and its stage kernels: the layout
// of the twiddle tables and one transform per instruction set.
#pragma once
#include <cstdint>

// Twiddles of the stage with span L (pairs of points L apart) start at index
// 2(L-1): wr[2t] = wr[2t+1] = Re w_t, wi[2t] = -Im w_t, wi[2t+1] = Im w_t.
// Laid out so a vector of points multiplies by them with no shuffling.
struct FftTwiddles {
    const double* wr;
    const double* wi;
};

// The whole transform, bit reversal included, of the n points at d (point k
// at d[2k], d[2k+1]), using scratch (2n floats, not overlapping d).  n is a
// power of two >= 4; the twiddles cover it.
void FftTransformScalar(float* d, float* scratch, std::int32_t n, const FftTwiddles& tw);
void FftTransformAvx2(float* d, float* scratch, std::int32_t n, const FftTwiddles& tw);
void FftTransformAvx512(float* d, float* scratch, std::int32_t n, const FftTwiddles& tw);
