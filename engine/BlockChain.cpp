#include "engine/BlockChain.h"

#include <algorithm>

#include "engine/Averaging.h"
#include "engine/Conversion.h"
#include "engine/Fault.h"
#include "engine/Fft.h"
#include "engine/FrequencyPlan.h"
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

// Tracking moves the centre through its text, as the window's centre box
// does: the text changes only when it differs, and its rule sets the bin.
void Track(ChainParams& p, std::int32_t peakBin, BlockResult& r)
{
    const std::string text = CentreText(peakBin, p.SampleRate, p.NFFT);
    if (text == p.CFText)
        return;
    p.CFText = text;
    r.Tracked = true;
    r.CFText = text;
    Step([&] { p.CFBin = CentreBinFromText(text, p.NFFT, p.SampleRate); });
}

void Sequence(const std::int16_t* frames, ChainParams& p, ChainState& s, BlockResult& r)
{
    if (s.Window.size() < static_cast<std::size_t>(p.NFFT) || s.Fft.Size() != p.NFFT)
        throw Fault(Fault::Kind::OutOfRange, "the run is not prepared for this FFT size");
    const InputExtremes ext = ConvertBlock(frames, s.Window.data(), p.NFFT, p.Squared, p.Swapped, s.FFTBuf.data());
    r.InMax = LargestSample(ext);
    s.InLevelDb = InputLevelDb(r.InMax, s.InLevelDb);
    r.InLevelDb = s.InLevelDb;
    r.LevelColour = InputLevelColour(r.InMax);
    r.Reached = BlockStage::Converted;

    s.Fft.Transform(s.FFTBuf.data());
    StoreBlockPower(s.FFTBuf.data(), p.NFFT, s.SpecHist, s.Slot);
    r.Slot = s.Slot;
    r.Reached = BlockStage::Stored;

    const PeakRule rule{p.CFBin, p.SigBWBins, p.PeakInSigBand};
    r.PeakAt = BinLoop(s.SpecHist, p.NAvg, p.FMinBin, p.FMaxBin, rule, s.AvSpec.data(), s.Level.data());
    r.Reached = BlockStage::Binned;

    // A silent bin faults here.
    ClearHist(s.AmpHist.data());
    FillHist(s.AvSpec.data(), p.FMinBin, p.FMaxBin, s.AmpHist.data());
    const BandSums sums =
        SumBands(s.AvSpec.data(), p.FMinBin, p.FMaxBin, r.PeakAt.PeakBin, p.SigBWBins, p.GuardFactor);
    if (NoNoise(sums)) {
        ResetBandwidth(p);
        r.End = BlockEnd::NoNoise;
        r.NoisePower = 1;
        return;
    }
    if (p.UseStatNoise) {
        r.StatCell = StatNoiseCell(s.AmpHist.data(), p.FMinBin, p.FMaxBin);
        s.StatNoiseDb = StatNoiseDbOfCell(r.StatCell);
    }
    r.Reached = BlockStage::Counted;

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
    r.LabelStatLevel = s.StatLevel;
    s.StatLevel = StatLevelOf(s.StatNoiseDb, p.DispThresh);
    r.StatLevel = s.StatLevel;
    if (p.UseStatNoise)
        r.NoisePower = StatNoisePower(s.StatLevel, p.DispThresh);
    r.NoiseLevel = LevelAboveThreshold(r.NoisePower, p.DispThresh);
    r.Reached = BlockStage::Measured;

    // The peak's level is shown as text: a peak power of 0 ends the run here.
    LevelAboveThreshold(r.PeakAt.PeakPower, p.DispThresh);
    r.PeakLevel = PeakLevelOf(r.PeakAt.PeakPower, p.DispThresh);
    r.PeakHz = BinToHz(r.PeakAt.PeakBin, p.SampleRate, p.NFFT);
    r.Reached = BlockStage::Peaked;

    r.InBand = PeakInBand(p.CFBin, r.PeakAt.PeakBin, p.SigBWBins);
    if (r.InBand) {
        const SNFigures f = SignalToNoise(r.SigPower, r.NoisePower, p.SigBWHz, p.SigBWBins, p.WindENBW, s.SN1HzDb);
        s.SN1HzDb = f.SN1HzDb;
        r.SNBinDb = f.SNBinDb;
        if (p.TrackSig)
            Track(p, r.PeakAt.PeakBin, r);
    }
    r.SN1HzDb = s.SN1HzDb;
    s.Slot = (s.Slot + 1) % p.NAvg;
    r.Reached = BlockStage::Complete;
}

} // namespace

void PrepareChain(ChainState& s, std::int32_t nfft)
{
    const std::int64_t binTop = nfft / 2;
    if (s.SpecHist.BinTop() != binTop) {
        s.SpecHist.Resize(binTop);
        // Fresh vectors, so a smaller run gives the memory back.
        s.AvSpec = std::vector<float>(static_cast<std::size_t>(binTop + 1));
        s.Level = std::vector<double>(static_cast<std::size_t>(binTop + 1));
        s.FFTBuf = std::vector<float>(2 * static_cast<std::size_t>(nfft) + 1);
    }
    if (s.Fft.Size() != nfft)
        s.Fft = FftPlan(nfft);
    s.Slot = 0;
    s.StatNoiseDb = 0;
    s.StatLevel = 0;
}

void StartChain(ChainState& s, std::int32_t nfft)
{
    PrepareChain(s, nfft);
    s.SpecHist.Resize(s.SpecHist.BinTop());
    std::fill(s.AvSpec.begin(), s.AvSpec.end(), 0.0f);
    s.SN1HzDb = 0;
    s.InLevelDb = 0;
}

void ClearRing(ChainState& s, std::int32_t nAvg)
{
    std::fill(s.AvSpec.begin(), s.AvSpec.end(), 0.0f);
    const std::int64_t top = std::min<std::int64_t>(nAvg, SpecRing::kSlotTop);
    for (std::int64_t k = 0; k <= s.SpecHist.BinTop(); ++k)
        for (std::int64_t slot = 0; slot <= top; ++slot)
            s.SpecHist(k, slot) = 0;
}

BlockResult RunBlock(const std::int16_t* frames, ChainParams& p, ChainState& s)
{
    BlockResult r;
    try {
        Sequence(frames, p, s, r);
    } catch (const Fault& f) {
        r.End = BlockEnd::Fault;
        r.FaultText = f.what();
    }
    return r;
}
