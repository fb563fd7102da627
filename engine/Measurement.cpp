#include "engine/Measurement.h"

#include <cmath>

#include "engine/Averaging.h"
#include "engine/Fault.h"
#include "engine/WholeNumber.h"

void PeakStep(Peak& peak, std::int32_t k, double p, const PeakRule& rule)
{
    if (!(p > peak.PeakPower)) return;
    if (rule.InBandOnly) {
        const double half = rule.SigBWBins / 2.0;
        if (k < rule.CFBin - half || k > rule.CFBin + half) return;
    }
    peak.PeakPower = p;
    peak.PeakBin = k;
}

double BinStep(const SpecRing& ring, std::int32_t nAvg, std::int32_t k, const PeakRule& rule, float* avSpec,
               Peak& peak)
{
    const float mean = BinMean(ring, k, nAvg);
    avSpec[k] = mean;
    PeakStep(peak, k, mean, rule);
    return BinLevel(mean);
}

Peak BinLoop(const SpecRing& ring, std::int32_t nAvg, std::int32_t fMinBin, std::int32_t fMaxBin,
             const PeakRule& rule, float* avSpec, double* level)
{
    Peak peak;
    for (std::int32_t k = fMinBin; k <= fMaxBin; ++k) {
        const double l = BinStep(ring, nAvg, k, rule, avSpec, peak);
        if (level) level[k] = l;
    }
    return peak;
}

BandSums SumBands(const float* avSpec, std::int32_t fMinBin, std::int32_t fMaxBin, std::int32_t peakBin,
                  std::int32_t sigBWBins, double guardFactor)
{
    const double c = peakBin;
    const double b = sigBWBins;
    const double guardEdge = (guardFactor + 0.5) * b;
    BandSums s;
    for (std::int32_t k = fMinBin; k <= fMaxBin; ++k) {
        if (k < c - guardEdge || k > c + guardEdge) s.NoisePower += avSpec[k];
        if (k >= c - b / 2 && k <= c + b / 2) s.SigPower += avSpec[k];
    }
    return s;
}

double NoiseBinCount(std::int32_t fMinBin, std::int32_t fMaxBin, std::int32_t sigBWBins, double guardFactor)
{
    return (static_cast<double>(fMaxBin) - fMinBin) - sigBWBins * (guardFactor + 1);
}


BandSums PerBin(const BandSums& sums, double n, std::int32_t sigBWBins)
{
    BandSums r;
    r.NoisePower = CheckedDiv(sums.NoisePower, n);
    r.SigPower = CheckedDiv(sums.SigPower, sigBWBins);
    return r;
}

std::int32_t StatLevelOf(double statNoiseDb, std::int32_t dispThresh)
{
    return statNoiseDb > 0 ? RoundToInt32(statNoiseDb - dispThresh) : 0;
}

double StatNoisePower(std::int32_t statLevel, std::int32_t dispThresh)
{
    return std::pow(10.0, (static_cast<double>(statLevel) + dispThresh) / 10);
}

double PeakLevelOf(double peakPower, std::int32_t dispThresh)
{
    return peakPower > 0 ? BinLevel(peakPower) - dispThresh : 0;
}

bool PeakInBand(std::int32_t cfBin, std::int32_t peakBin, std::int32_t sigBWBins)
{
    return std::abs(static_cast<double>(cfBin) - peakBin) <= sigBWBins / 2.0;
}

SNFigures SignalToNoise(double sigPower, double noisePower, double sigBWHz, std::int32_t sigBWBins,
                        double windENBW, double previousSN1HzDb)
{
    SNFigures f;
    f.SN1HzDb = previousSN1HzDb;
    if (noisePower > 0) f.SN1HzDb = CheckedDb(sigBWHz * sigPower / noisePower);
    f.SNBinDb = CheckedDb(CheckedDiv(sigBWBins * CheckedDiv(sigPower, noisePower), windENBW));
    return f;
}

std::optional<double> CorrectedSN2500HzDb(double sigPower, double noisePower, double sigBWHz)
{
    if (!(noisePower > 0)) return std::nullopt;
    const double ratio = sigBWHz * (sigPower - noisePower) / noisePower;
    if (!(ratio > 0) || !std::isfinite(ratio)) return std::nullopt;
    return SN2500HzDb(10 * std::log10(ratio));
}
