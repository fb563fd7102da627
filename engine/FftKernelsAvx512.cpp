// Transform stages for processors with AVX-512F, four points per vector.
#include <immintrin.h>

#include <cstring>

#include "engine/FftKernels.h"

// GCC 12's own 512-bit conversion intrinsics start from an undefined
// register, which its optimiser reports as possibly uninitialised.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace {
#include "engine/FftKernelBody.h"
} // namespace

void FftTransformAvx512(float* d, float* scratch, std::int32_t n, const FftTwiddles& tw)
{
    Run<4>(d, scratch, n, tw);
}
