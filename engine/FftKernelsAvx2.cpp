// Transform stages for processors with AVX2, two points per vector.
#include <immintrin.h>

#include <cstring>

#include "engine/FftKernels.h"

namespace {
#include "engine/FftKernelBody.h"
} // namespace

void FftTransformAvx2(float* d, float* scratch, std::int32_t n, const FftTwiddles& tw)
{
    Run<2>(d, scratch, n, tw);
}
