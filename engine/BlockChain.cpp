#include "engine/BlockChain.h"

#include "engine/Averaging.h"
#include "engine/Fft.h"
#include "engine/Results.h"
#include "engine/WholeNumber.h"

namespace {

// The bandwidth reset as the window leaves it: the step sets the bins, then
// the bandwidth controls (set to 100 Hz) recompute them, at least 1.
void ResetBandwidth(ChainParams& p)
{
    p.SigBWBins = ResetSigBWBins(p.NFFT, p.SampleRate);
    p.SigBWHz = kResetBandwidthHz;
    std::int32_t bins = HzToBin(kResetBandwidthHz, p.NFFT, p.SampleRate);
    p.SigBWBins = bins < 1 ? 1 : bins;
}

} // namespace

void StartChain(ChainState& s, std::int32_t nfft)
{
    for (std::int64_t k = 0; k <= nfft && k <= SpecRing::kBinTop; ++k)
        for (std::int64_t slot = 0; slot <= SpecRing::kSlotTop; ++slot) s.SpecHist(k, slot) = 0;
    s.Slot = 0;
    s.StatNoiseDb = 0;
    s.StatLevel = 0;
    s.SN1HzDb = 0;
    s.InLevelDb = 0;
}

BlockResult RunBlock(const std::int16_t* frames, ChainParams& p, ChainState& s)
{
    BlockResult r;

    const InputExtremes ext = ConvertBlock(frames, WindFn, p.NFFT, p.Squared, p.Swapped, s.FFTBuf.data());
    r.InMax = LargestSample(ext);
    s.InLevelDb = InputLevelDb(r.InMax, s.InLevelDb);
    r.LevelColour = InputLevelColour(r.InMax);

    DoFFT(s.FFTBuf.data(), p.NFFT);
    StoreBlockPower(s.FFTBuf.data(), p.NFFT, s.SpecHist, s.Slot);

    ClearHist(s.AmpHist.data());
    const PeakRule rule{p.CFBin, p.SigBWBins, p.PeakInSigBand};
    r.PeakAt = BinLoop(s.SpecHist, p.NAvg, p.FMinBin, p.FMaxBin, rule, s.AvSpec.data(), nullptr);
    FillHist(s.AvSpec.data(), p.FMinBin, p.FMaxBin, s.AmpHist.data());

    const BandSums sums =
        SumBands(s.AvSpec.data(), p.FMinBin, p.FMaxBin, r.PeakAt.PeakBin, p.SigBWBins, p.GuardFactor);
    if (NoNoise(sums)) {
        ResetBandwidth(p);
        r.End = BlockEnd::NoNoise;
        r.NoisePower = 1;
        return r;
    }
    if (p.UseStatNoise) {
        r.StatCell = StatNoiseCell(s.AmpHist.data(), p.FMinBin, p.FMaxBin);
        s.StatNoiseDb = StatNoiseDbOfCell(r.StatCell);
    }
    double n = NoiseBinCount(p.FMinBin, p.FMaxBin, p.SigBWBins, p.GuardFactor);
    if (NoiseCountTooSmall(n)) {
        ResetBandwidth(p);
        r.BandwidthReset = true;
        n = 1;
    }
    const BandSums perBin = PerBin(sums, n, p.SigBWBins);
    r.SigPower = perBin.SigPower;
    r.MeasuredNoisePower = perBin.NoisePower;
    r.NoisePower = perBin.NoisePower;

    s.StatLevel = StatLevelOf(s.StatNoiseDb, p.DispThresh);
    if (p.UseStatNoise) r.NoisePower = StatNoisePower(s.StatLevel, p.DispThresh);

    // The panel's noise and peak texts take these logarithms; a peak power
    // of 0 ends the run here as it does in the window.
    r.NoiseLevel = LevelAboveThreshold(r.NoisePower, p.DispThresh);
    LevelAboveThreshold(r.PeakAt.PeakPower, p.DispThresh);
    r.PeakLevel = PeakLevelOf(r.PeakAt.PeakPower, p.DispThresh);
    r.PeakHz = r.PeakAt.PeakBin * p.SampleRate / p.NFFT;

    r.InBand = PeakInBand(p.CFBin, r.PeakAt.PeakBin, p.SigBWBins);
    if (r.InBand) {
        const SNFigures f =
            SignalToNoise(r.SigPower, r.NoisePower, p.SigBWHz, p.SigBWBins, p.WindENBW, s.SN1HzDb);
        s.SN1HzDb = f.SN1HzDb;
        r.SNBinDb = f.SNBinDb;
        if (p.TrackSig) p.CFBin = r.PeakAt.PeakBin;
    }
    r.SN1HzDb = s.SN1HzDb;

    s.Slot = (s.Slot + 1) % p.NAvg;
    return r;
}
