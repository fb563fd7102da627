// Transform stages for processors with AVX-512F, four points per vector.
#include <immintrin.h>

#include <cstring>

#include "engine/FftKernels.h"

namespace {
#include "engine/FftKernelBody.h"
} // namespace

void FftTransformAvx512(float* d, float* scratch, std::int32_t n, const FftTwiddles& tw)
{
    Run<4>(d, scratch, n, tw);
}
