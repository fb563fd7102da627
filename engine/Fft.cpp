// In-place radix-2 decimation-in-time FFT on a 1-based interleaved float
// array.  Working values are double; every store is rounded to float.
//
// The butterflies of one stage touch disjoint elements, so their order
// within a stage does not change any stored value.  This lets the loops run
// the butterflies of one group (consecutive twiddles) innermost, with the
// twiddles of each stage taken from a table that is filled once by the same
// recurrence (and hence holds the same doubles) as the stage-by-stage form.
// Built with -ffp-contract=off so no multiply-add is fused.
#include "engine/Fft.h"

#include <cmath>

#include "engine/Shared.h"

namespace {

// Stage with span L points (L = mmax / 2) keeps its L twiddles at offset L - 1.
double g_wr[kMaxNFFT];
double g_wi[kMaxNFFT];
bool g_stageReady[20];

const double kTwoPi = 6.28318530717958; // the program's 15-digit constant

void FillStage(std::int32_t span, int stage)
{
    const std::int32_t mmax = 2 * span;
    const double theta = kTwoPi / mmax;
    const double wpr = std::cos(theta);
    const double wpi = std::sin(theta);
    double wr = 1.0, wi = 0.0;
    double* tr = g_wr + (span - 1);
    double* ti = g_wi + (span - 1);
    for (std::int32_t t = 0; t < span; ++t) {
        tr[t] = wr;
        ti[t] = wi;
        const double wtemp = wr;
        wr = wr * wpr - wi * wpi;
        wi = wi * wpr + wtemp * wpi;
    }
    g_stageReady[stage] = true;
}

// Bit-reversal of the low `bits` bits of k.
inline std::uint32_t Reverse(std::uint32_t k, int bits)
{
    k = ((k >> 1) & 0x55555555u) | ((k & 0x55555555u) << 1);
    k = ((k >> 2) & 0x33333333u) | ((k & 0x33333333u) << 2);
    k = ((k >> 4) & 0x0F0F0F0Fu) | ((k & 0x0F0F0F0Fu) << 4);
    k = ((k >> 8) & 0x00FF00FFu) | ((k & 0x00FF00FFu) << 8);
    k = (k >> 16) | (k << 16);
    return k >> (32 - bits);
}

void BitReverse(float* d, std::int32_t n)
{
    int bits = 0;
    while ((std::int32_t{1} << bits) < n)
        ++bits;
    for (std::int32_t k = 1; k < n; ++k) {
        const std::int32_t r = static_cast<std::int32_t>(Reverse(static_cast<std::uint32_t>(k), bits));
        if (r > k) {
            const float re = d[2 * k], im = d[2 * k + 1];
            d[2 * k] = d[2 * r];
            d[2 * k + 1] = d[2 * r + 1];
            d[2 * r] = re;
            d[2 * r + 1] = im;
        }
    }
}

// One stage: groups of 2*span points; in each, point t pairs with t + span.
// The inner loop runs over consecutive points and twiddles, so the compiler
// can vectorise it; its stores keep the stated order per butterfly.
void Stage(float* d, std::int32_t n, std::int32_t span, const double* __restrict wrs, const double* __restrict wis)
{
    for (std::int32_t g = 0; g < n; g += 2 * span) {
        float* __restrict a = d + 2 * g;
        float* __restrict b = a + 2 * span;
        for (std::int32_t t = 0; t < span; ++t) {
            const double wr = wrs[t], wi = wis[t];
            const double br = b[2 * t], bi = b[2 * t + 1];
            const double tempr = wr * br - wi * bi;
            const double tempi = wr * bi + wi * br;
            const double ar = a[2 * t], ai = a[2 * t + 1];
            b[2 * t] = static_cast<float>(ar - tempr);
            b[2 * t + 1] = static_cast<float>(ai - tempi);
            a[2 * t] = static_cast<float>(ar + tempr);
            a[2 * t + 1] = static_cast<float>(ai + tempi);
        }
    }
}

const double* StageWr(std::int32_t span) { return g_wr + (span - 1); }
const double* StageWi(std::int32_t span) { return g_wi + (span - 1); }

// Blocks of up to kLeaf points run all their stages while they sit in the
// first-level cache.
constexpr std::int32_t kLeaf = 1024;

// All stages on the m points at d.  Stages of span < m/2 work inside each
// half, so the halves are finished depth-first (cache-friendly) before the
// last stage joins them; no butterfly reads a value another one of the same
// stage writes, so the stored values do not depend on this order.
void Transform(float* d, std::int32_t m)
{
    if (m <= kLeaf) {
        for (std::int32_t span = 1; span < m; span *= 2)
            Stage(d, m, span, StageWr(span), StageWi(span));
        return;
    }
    const std::int32_t half = m / 2;
    Transform(d, half);
    Transform(d + 2 * half, half);
    Stage(d, m, half, StageWr(half), StageWi(half));
}

} // namespace

void DoFFT(float* data, std::int32_t n)
{
    if (n < 2 || n > kMaxNFFT || (n & (n - 1)) != 0)
        return; // only powers of two up to the largest size are transformed
    float* d = data + 1; // 0-based view: point k at d[2k], d[2k+1]
    int stage = 0;
    for (std::int32_t span = 1; span < n; span *= 2, ++stage)
        if (!g_stageReady[stage])
            FillStage(span, stage);
    BitReverse(d, n);
    Transform(d, n);
}

void DoFFT(float* data)
{
    DoFFT(data, NFFT);
}
