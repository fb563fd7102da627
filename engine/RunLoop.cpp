// The measurement run loop: one captured block after another through
// conversion, transform, averaging and measurement, with the plots, results
// and meters drawn in between.  The arithmetic is the engine's pure block
// chain; this file only orders the steps and wires them to the window.
#include <QCoreApplication>

#include "capture/WaitForBuffer.h"
#include "engine/Averaging.h"
#include "engine/Conversion.h"
#include "engine/Fault.h"
#include "engine/Fft.h"
#include "engine/Histogram.h"
#include "engine/Measurement.h"
#include "engine/NumberText.h"
#include "engine/Results.h"
#include "engine/RunSizes.h"
#include "engine/WholeNumber.h"
#include "ui/Parlune.h"

namespace {

constexpr std::uint32_t kHeaderSize = 32;

// Marks the window as running for the life of one run loop.
struct RunningFlag {
    explicit RunningFlag(bool& f) : f(f) { f = true; }
    ~RunningFlag() { f = false; }
    bool& f;
};

// No noise could be measured: tell the user and put the signal bandwidth back
// to 100 Hz, through its controls as if the user had set it.
void ResetBandwidth(Parlune& w)
{
    MsgBox(&w, kNoNoiseMessage);
    w.SigBWBins = ResetSigBWBins(NFFT, w.SampleRate);
    w.SigBWUD.setValue(100);
    w.SigBW.setText("100");
}

} // namespace

void Parlune::LoopSetUp(LoopState& s)
{
    Spectrum.setScaleHeight(120);
    s.PlotHeight = Spectrum.ScaleHeight();
    DispThresh = static_cast<std::int16_t>(DispThreshold.Value());
    Peaking.setScaleWidth(100);
    s.TraceColour = RGB(100, 100, 150);
    s.NoiseColour = RGB(0, 100, 70);
    s.StatColour = RGB(170, 0, 170);
    s.PeakingColour = RGB(120, 60, 0);
    Label10.setForeColor(s.PeakingColour);
    Peaking.setForeColor(s.PeakingColour);
    PkRefVal.setForeColor(s.PeakingColour);
    CentrePeaking.setForeColor(s.PeakingColour);
    s.Slot = 0;
}

void Parlune::RangeLabels()
{
    ShowMin.setCaption(QString::fromStdString(RangeCaption(FMin.Value())));
    ShowMax.setCaption(QString::fromStdString(RangeCaption(FMax.Value())));
}

bool Parlune::ProcessBlock(LoopState& s)
{
    CheckRunSizes(NFFT, FMinBin, FMaxBin, NAvg);
    if (s.Slot > SpecRing::kSlotTop)
        throw Fault(Fault::Kind::IndexOutOfBounds, "ring slot out of range");

    // Conversion and input level.
    const InputExtremes ext =
        ConvertBlock(InBuf.data(), WindFn, NFFT, Squared.Value() == 1, SBswap.Value() != 0, FFTBuf.data());
    const std::int32_t largest = LargestSample(ext);
    InLevelDb = InputLevelDb(largest, InLevelDb);
    DrawInputLevel(InputLevelColour(largest));

    // Transform, per-block reset, ring and waterfall line.
    DoFFT(FFTBuf.data(), NFFT);
    NoisePower = 0;
    SigPower = 0;
    PeakPower = 0;
    PeakBin = 0;
    StoreBlockPower(FFTBuf.data(), NFFT, SpecHist, s.Slot);
    WaterfallLine(s.Slot);

    // Plot background, histogram cleared, mean / level / peak of every
    // displayed bin with its trace.
    PlotBackground(s);
    ClearHist(AmpHist.data());
    const PeakRule rule{CFBin, SigBWBins, PeakInSigBand.Value() == 1};
    const Peak peak = BinLoop(SpecHist, NAvg, FMinBin, FMaxBin, rule, AvSpec.data(), s.Level.data());
    PlotTrace(s);
    PeakPower = peak.PeakPower;
    PeakBin = peak.PeakBin;

    // Histogram: a silent bin faults here and ends the run.
    FillHist(AvSpec.data(), FMinBin, FMaxBin, AmpHist.data());
    DrawHistogram();

    // Signal and noise, first half.
    const BandSums sums = SumBands(AvSpec.data(), FMinBin, FMaxBin, PeakBin, SigBWBins, GuardFactor);
    const bool useStat = UseStatNoise.Value() != 0;
    if (NoNoise(sums)) {
        NoisePower = 1;
        ResetBandwidth(*this);
        return false;
    }
    if (useStat) {
        const std::int32_t cell = StatNoiseCell(AmpHist.data(), FMinBin, FMaxBin);
        s.StatNoiseDb = StatNoiseDbOfCell(cell);
        MarkHistogram(cell);
    }
    double n = NoiseBinCount(FMinBin, FMaxBin, SigBWBins, GuardFactor);
    if (NoiseCountTooSmall(n)) {
        ResetBandwidth(*this);
        n = 1;
    }
    const BandSums perBin = PerBin(sums, n, SigBWBins);
    NoisePower = perBin.NoisePower;
    SigPower = perBin.SigPower;

    // Results: noise lines (labels at the previous statistical level), the
    // statistical level and its line, panel and meters, peak marker.
    PlotNoiseLines(s, useStat, s.StatLevel);
    s.StatLevel = StatLevelOf(s.StatNoiseDb, DispThresh);
    if (useStat) {
        NoisePower = StatNoisePower(s.StatLevel, DispThresh);
        PlotStatLine(s);
    }
    NoiseL.setForeColor(useStat ? s.StatColour : s.NoiseColour);
    NoiseL.setCaption(QString::fromStdString(NoiseCaption(LevelAboveThreshold(NoisePower, DispThresh))));
    PeakL.setCaption(QString::fromStdString(PeakCaption(LevelAboveThreshold(PeakPower, DispThresh))));
    if (CentrePeaking.Value()) {
        PeakingRef.setValue(RoundToInt16(CheckedDb(PeakPower)));
        CentrePeaking.setValue(false);
    }
    DrawPeaking(s.PeakingColour);
    PkRefVal.setCaption(QString::fromStdString(OffsetCaption(PeakingRef.Value(), DispThresh)));
    PlotPeakMarker(s, PeakLevelOf(PeakPower, DispThresh));
    PeakF.setCaption(QString::fromStdString(PeakFreqCaption(PeakBin * SampleRate / NFFT)));
    PeakFTol.setCaption(QString::fromStdString(PeakTolCaption(SampleRate, NFFT)));

    if (PeakInBand(CFBin, PeakBin, SigBWBins)) {
        const SNFigures sn =
            SignalToNoise(SigPower, NoisePower, LeadingNumber(SigBW.Text().toStdString()), SigBWBins, WindENBW, SN1HzDb);
        SN1HzDb = sn.SN1HzDb;
        SNBinDb = sn.SNBinDb;
        SNBin.setCaption(QString::fromStdString(SNBinCaption(SNBinDb, WindENBW, SampleRate, NFFT)));
        SN1Hz.setCaption(QString::fromStdString(SN1HzCaption(SN1HzDb)));
        SN2k5Hz.setCaption(QString::fromStdString(SN2500HzCaption(SN1HzDb)));
        SNResults.setEnabled(true);
        SNResults.setVisible(true);
        if (TrackSig.Value() == 1) {
            CFBin = PeakBin;
            CF.setText(QString::fromStdString(TrackedCFText(CFBin, SampleRate, NFFT)));
        }
        if (LogEnabled != 0)
            LogStep();
    } else {
        SNResults.setVisible(false);
    }

    WaterfallScroll();
    if (NAvg == 0)
        throw Fault(Fault::Kind::DivisionByZero, "averaging depth 0");
    s.Slot = (s.Slot + 1) % NAvg;
    return true;
}

void Parlune::RunLoop()
{
    LoopState s;
    const RunningFlag running(Running);
    try {
        LoopSetUp(s);
        for (;;) {
            RangeLabels();

            // Capture: one buffer queued, then sleep in the event loop until
            // it comes back done (STOP's reset also marks it done).  The
            // sizes are checked first: a bad one ends the run as a fault.
            CheckRunSizes(NFFT, FMinBin, FMaxBin, NAvg);
            WaveHdr.lpData = reinterpret_cast<char*>(InBuf.data());
            WaveHdr.dwBufferLength = BlockBytes(NFFT);
            WaveHdr.dwFlags = 0;
            waveInPrepareHeader(hWaveIn, &WaveHdr, kHeaderSize);
            const bool queued = waveInAddBuffer(hWaveIn, &WaveHdr, kHeaderSize) == MMSYSERR_NOERROR;
            if (queued)
                WaitForBuffer(WaveHdr, hWaveIn, [this] { return StopReq || Closing; });
            waveInUnprepareHeader(hWaveIn, &WaveHdr, kHeaderSize);
            if (Closing)
                return;
            if (waveInIsLost(hWaveIn)) {
                ShowInputLost();
                return;
            }
            if (!queued || !(WaveHdr.dwFlags & WHDR_DONE))
                return;

            if (!ProcessBlock(s))
                return;

            if (BlockDoneHook)
                BlockDoneHook();
            QCoreApplication::processEvents();
            if (StopReq) {
                // A STOP during the wait let this last block into the ring
                // STOP had just emptied; empty it again so a restart starts clean.
                ClearRing();
                return;
            }
            if (Closing || hWaveIn == 0)
                return;
        }
    } catch (const Fault&) {
        // A run-time fault ends the run without a message; the input stays
        // open until STOP.
    }
}
