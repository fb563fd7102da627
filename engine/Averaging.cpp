#include "engine/Averaging.h"

#include <cmath>

#include "engine/Fault.h"

void StoreBlockPower(const float* fftBuf, std::int32_t nfft, SpecRing& ring, std::int32_t slot)
{
    CheckedIndex(slot, 0, SpecRing::kSlotTop);
    const std::int32_t bins = nfft / 2;
    if (bins > 0)
        CheckedIndex(bins - 1, 0, ring.BinTop());
    for (std::int32_t k = 0; k < bins; ++k) {
        const double re = fftBuf[2 * k + 1];
        const double im = fftBuf[2 * k + 2];
        ring(k, slot) = static_cast<float>(re * re + im * im);
    }
}

float BinMean(const SpecRing& ring, std::int32_t k, std::int32_t nAvg)
{
    CheckedIndex(k, 0, ring.BinTop());
    if (nAvg == 0)
        throw Fault(Fault::Kind::DivisionByZero, "averaging over no blocks");
    CheckedIndex(nAvg - 1, 0, SpecRing::kSlotTop);
    float sum = 0.0f; // each partial sum is kept in single precision
    for (std::int32_t s = 0; s < nAvg; ++s)
        sum = sum + ring(k, s);
    return sum / static_cast<float>(nAvg);
}

double BinLevel(double power)
{
    return power > 0 ? std::log(power) * kTenOverLn10 : 0.0;
}
