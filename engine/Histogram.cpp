#include "engine/Histogram.h"

#include <algorithm>

#include "engine/Fault.h"
#include "engine/WholeNumber.h"

void ClearHist(std::int32_t* ampHist)
{
    std::fill(ampHist, ampHist + kHistTop + 1, 0);
}

std::int32_t HistCellOfTenths(double tenthsDb)
{
    double v = tenthsDb;
    if (v > kHistUsedTop) v = kHistUsedTop;
    if (v < 0) v = 0;
    return RoundToInt32(v);
}

std::int32_t HistCell(double power)
{
    return HistCellOfTenths(10 * kTenOverLn10 * CheckedLn(power));
}

void FillHist(const float* avSpec, std::int32_t fMinBin, std::int32_t fMaxBin, std::int32_t* ampHist)
{
    for (std::int32_t k = fMinBin; k <= fMaxBin; ++k) ++ampHist[HistCell(avSpec[k])];
}

std::int32_t StatNoiseCell(const std::int32_t* ampHist, std::int32_t fMinBin, std::int32_t fMaxBin)
{
    const std::int32_t target = RoundToInt32((static_cast<double>(fMaxBin) - fMinBin) / 4);
    std::int64_t total = 0;
    for (std::int32_t c = 0; c <= kHistUsedTop; ++c) {
        total += ampHist[c];
        if (total >= target) return c;
    }
    return kHistUsedTop + 1;
}

double StatNoiseDbOfCell(std::int32_t cell) { return cell / 10.0 + 3; }
