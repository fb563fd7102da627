// Transform stages for the baseline instruction set (SSE2 on x86-64), one point per
// vector; runs on any processor.
#include <immintrin.h>

#include <cstring>

#include "engine/FftKernels.h"

namespace {
#include "engine/FftKernelBody.h"
} // namespace

void FftTransformScalar(float* d, float* scratch, std::int32_t n, const FftTwiddles& tw)
{
    Run<1>(d, scratch, n, tw);
}
