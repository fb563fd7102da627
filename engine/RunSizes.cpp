#include "engine/RunSizes.h"

#include <cmath>

#include "engine/Fault.h"
#include "engine/NumberText.h"

bool IsFFTSize(double n)
{
    if (!(n >= kMinNFFT && n <= kMaxNFFT) || n != std::floor(n))
        return false;
    const auto k = static_cast<std::int32_t>(n);
    return (k & (k - 1)) == 0;
}

std::int32_t FFTSizeOfText(const char* text)
{
    const double n = LeadingNumber(text);
    return IsFFTSize(n) ? static_cast<std::int32_t>(n) : 0;
}

std::uint32_t BlockBytes(std::int32_t nfft)
{
    if (!IsFFTSize(nfft))
        throw Fault(Fault::Kind::OutOfRange, "FFT size is not one of the offered sizes");
    return static_cast<std::uint32_t>(4 * static_cast<std::int64_t>(nfft));
}

void CheckRunSizes(std::int32_t nfft, std::int32_t fMinBin, std::int32_t fMaxBin, std::int32_t nAvg)
{
    BlockBytes(nfft);
    CheckedIndex(fMinBin, 0, nfft / 2);
    CheckedIndex(fMaxBin, 0, nfft / 2);
    CheckedIndex(nAvg, 1, kMaxAvg);
}
