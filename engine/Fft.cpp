// In-place radix-2 decimation-in-time FFT on a 1-based interleaved float
// array.  Working values are double; every store is rounded to float.
//
// The butterflies of one stage touch disjoint elements, so their order
// within a stage does not change any stored value.  The stage kernels
// (FftKernels*.cpp) use this to run many butterflies side by side in vector
// registers, with the twiddles of each stage taken from a table filled once
// by the same recurrence (and hence holding the same doubles) as the
// stage-by-stage form.  The widest kernel this processor runs is chosen at
// run time.  Built with -ffp-contract=off so no multiply-add is fused.
#include "engine/Fft.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/FftKernels.h"
#include "engine/RunSizes.h"

namespace {

const double kTwoPi = 6.28318530717958; // the program's 15-digit constant

// Stage with span L keeps its L twiddles, as (wr, wr) and (-wi, wi) pairs,
// from index 2(L - 1).
void FillStage(double* wr, double* wi, std::int32_t span)
{
    const std::int32_t mmax = 2 * span;
    const double theta = kTwoPi / mmax;
    const double wpr = std::cos(theta);
    const double wpi = std::sin(theta);
    double r = 1.0, i = 0.0;
    double* tr = wr + 2 * (span - 1);
    double* ti = wi + 2 * (span - 1);
    for (std::int32_t t = 0; t < span; ++t) {
        tr[2 * t] = tr[2 * t + 1] = r;
        ti[2 * t] = -i;
        ti[2 * t + 1] = i;
        const double wtemp = r;
        r = r * wpr - i * wpi;
        i = i * wpr + wtemp * wpi;
    }
}

constexpr std::size_t kLine = 64 / sizeof(float); // floats per cache line

} // namespace

bool FftPathAvailable(FftPath path)
{
    switch (path) {
    case FftPath::Avx512:
        return __builtin_cpu_supports("avx512f");
    case FftPath::Avx2:
        return __builtin_cpu_supports("avx2");
    case FftPath::Scalar:
        return true;
    }
    return false;
}

FftPath WidestFftPath()
{
    if (FftPathAvailable(FftPath::Avx512))
        return FftPath::Avx512;
    if (FftPathAvailable(FftPath::Avx2))
        return FftPath::Avx2;
    return FftPath::Scalar;
}

FftPlan::FftPlan(std::int32_t n, FftPath path) : path_(path)
{
    if (n < 2 || n > kMaxNFFT || (n & (n - 1)) != 0)
        return; // only powers of two up to the largest size are transformed
    n_ = n;
    // The last stage ends at 2n - 3; the slack covers a whole vector.
    wr_.resize(2 * static_cast<std::size_t>(n) + 16);
    wi_.resize(2 * static_cast<std::size_t>(n) + 16);
    for (std::int32_t span = 1; span < n; span *= 2)
        FillStage(wr_.data(), wi_.data(), span);
    scratch_.resize(2 * static_cast<std::size_t>(n) + kLine);
}

void FftPlan::Transform(float* data)
{
    const std::int32_t n = n_;
    if (n == 0)
        return;
    float* d = data + 1; // 0-based view: point k at d[2k], d[2k+1]
    const FftTwiddles tw{wr_.data(), wi_.data()};
    if (n == 2) { // one butterfly, twiddle 1 + 0i
        const double br = d[2], bi = d[3];
        const double tempr = 1.0 * br - 0.0 * bi, tempi = 1.0 * bi + 0.0 * br;
        const double ar = d[0], ai = d[1];
        d[2] = static_cast<float>(ar - tempr);
        d[3] = static_cast<float>(ai - tempi);
        d[0] = static_cast<float>(ar + tempr);
        d[1] = static_cast<float>(ai + tempi);
        return;
    }
    // The bit reversal goes through the scratch, so the transform runs in
    // place.  Aligned to a cache line, so the stages run there never
    // straddle one.
    float* const scratch =
        scratch_.data() + (kLine - reinterpret_cast<std::uintptr_t>(scratch_.data()) / sizeof(float) % kLine) % kLine;
    switch (path_) {
    case FftPath::Avx512:
        FftTransformAvx512(d, scratch, n, tw);
        break;
    case FftPath::Avx2:
        FftTransformAvx2(d, scratch, n, tw);
        break;
    case FftPath::Scalar:
        FftTransformScalar(d, scratch, n, tw);
        break;
    }
}

FftTwiddles FftPlan::Twiddles() const { return {wr_.data(), wi_.data()}; }

void DoFFT(float* data, std::int32_t n)
{
    FftPlan plan(n);
    plan.Transform(data);
}
