// Internal interface between DoFFT and its stage kernels: the twiddle tables,
// one stage runner per instruction set, and the choice among them (tests use
// it to run every path this machine can execute).
#pragma once
#include <cstdint>

// Twiddles of the stage with span L (pairs of points L apart) start at index
// 2(L-1): wr[2t] = wr[2t+1] = Re w_t, wi[2t] = -Im w_t, wi[2t+1] = Im w_t.
// Laid out so a vector of points multiplies by them with no shuffling.
struct FftTwiddles {
    const double* wr;
    const double* wi;
};

// The tables, filled (once) for every stage of an n-point transform.
FftTwiddles FftTables(std::int32_t n);

// The whole transform, bit reversal included, of the n points at d (point k
// at d[2k], d[2k+1]), using scratch (2n floats, not overlapping d).  n is a
// power of two >= 4; the twiddles cover it.
void FftTransformScalar(float* d, float* scratch, std::int32_t n, const FftTwiddles& tw);
void FftTransformAvx2(float* d, float* scratch, std::int32_t n, const FftTwiddles& tw);
void FftTransformAvx512(float* d, float* scratch, std::int32_t n, const FftTwiddles& tw);

enum class FftPath { Scalar, Avx2, Avx512 };

// Whether this processor can run the path.
bool FftPathAvailable(FftPath path);
// The path DoFFT uses from now on; by default the widest available one.
// Returns false, and changes nothing, if the path is not available.
bool SetFftPath(FftPath path);
