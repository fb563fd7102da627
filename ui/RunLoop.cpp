// The measurement run loop: wait for a block, run the engine on it, show
// the result, log it, yield; until STOP, closing, a lost input or the end of
// the measurement.
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
    PrepareChain(Chain, NFFT);
}

void Parlune::RangeLabels()
{
    ShowMin.setCaption(QString::fromStdString(RangeCaption(FMin.Value())));
    ShowMax.setCaption(QString::fromStdString(RangeCaption(FMax.Value())));
}

ChainParams Parlune::BlockParams() const
{
    ChainParams p;
    p.SampleRate = SampleRate;
    p.NFFT = NFFT;
    p.FMinBin = FMinBin;
    p.FMaxBin = FMaxBin;
    p.CFBin = CFBin;
    p.SigBWBins = SigBWBins;
    p.SigBWHz = LeadingNumber(SigBW.Text().toStdString());
    p.CFText = CF.Text().toStdString();
    p.GuardFactor = GuardFactor;
    p.NAvg = NAvg;
    p.WindENBW = WindENBW;
    p.DispThresh = DispThresh;
    p.Squared = Squared.Value() == 1;
    p.Swapped = SBswap.Value() != 0;
    p.UseStatNoise = UseStatNoise.Value() != 0;
    p.PeakInSigBand = PeakInSigBand.Value() == 1;
    p.TrackSig = TrackSig.Value() == 1;
    return p;
}

bool Parlune::ProcessBlock(LoopState& s)
{
    ChainParams p = BlockParams();
    const BlockResult r = RunBlock(InBuf.data(), p, Chain);
    ShowBlock(s, r);
    return r.End == BlockEnd::Measured;
}

// Everything a block shows, in the order a user sees it appear; each part
// only when the engine got that far.
void Parlune::ShowBlock(LoopState& s, const BlockResult& r)
{
    auto reached = [&](BlockStage stage) { return r.Reached >= stage; };
    NoisePower = SigPower = PeakPower = 0;
    PeakBin = 0;
    if (!reached(BlockStage::Converted))
        return;
    InLevelDb = r.InLevelDb;
    DrawInputLevel(r.LevelColour);
    if (!reached(BlockStage::Stored))
        return;
    WaterfallLine(r.Slot);
    if (!reached(BlockStage::Binned))
        return;
    PlotBackground(s);
    PlotTrace(s);
    PeakPower = r.PeakAt.PeakPower;
    PeakBin = r.PeakAt.PeakBin;
    if (r.End == BlockEnd::NoNoise) {
        DrawHistogram();
        NoisePower = 1;
        ResetBandwidth(*this);
        return;
    }
    if (!reached(BlockStage::Counted))
        return;
    DrawHistogram();
    const bool useStat = UseStatNoise.Value() != 0;
    if (useStat)
        MarkHistogram(r.StatCell);
    if (r.BandwidthReset)
        ResetBandwidth(*this);
    if (!reached(BlockStage::Measured))
        return;

    NoisePower = r.MeasuredNoisePower;
    SigPower = r.SigPower;
    PlotNoiseLines(s, useStat, r.LabelStatLevel);
    NoisePower = r.NoisePower;
    if (useStat)
        PlotStatLine(s, r.StatLevel);
    NoiseL.setForeColor(useStat ? s.StatColour : s.NoiseColour);
    NoiseL.setCaption(QString::fromStdString(NoiseCaption(r.NoiseLevel)));
    if (!reached(BlockStage::Peaked))
        return;
    PeakL.setCaption(QString::fromStdString(PeakCaption(LevelAboveThreshold(PeakPower, DispThresh))));
    if (CentrePeaking.Value()) {
        PeakingRef.setValue(RoundToInt16(CheckedDb(PeakPower)));
        CentrePeaking.setValue(false);
    }
    DrawPeaking(s.PeakingColour);
    PkRefVal.setCaption(QString::fromStdString(OffsetCaption(PeakingRef.Value(), DispThresh)));
    PlotPeakMarker(s, r.PeakLevel);
    PeakF.setCaption(QString::fromStdString(PeakFreqCaption(r.PeakHz)));
    PeakFTol.setCaption(QString::fromStdString(PeakTolCaption(SampleRate, NFFT)));
    if (!reached(BlockStage::Complete))
        return;

    if (r.InBand) {
        SN1HzDb = r.SN1HzDb;
        SNBinDb = r.SNBinDb;
        SNBin.setCaption(QString::fromStdString(SNBinCaption(SNBinDb, WindENBW, SampleRate, NFFT)));
        SN1Hz.setCaption(QString::fromStdString(SN1HzCaption(SN1HzDb)));
        SN2k5Hz.setCaption(QString::fromStdString(SN2500HzCaption(SN1HzDb)));
        SNResults.setEnabled(true);
        SNResults.setVisible(true);
        if (r.Tracked)
            CF.setText(QString::fromStdString(r.CFText)); // its rule moves CFBin onto the peak
        if (LogEnabled != 0)
            LogStep();
    } else {
        SNResults.setVisible(false);
    }
    WaterfallScroll();
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
            if (Chain.SpecHist.BinTop() != NFFT / 2)
                throw Fault(Fault::Kind::OutOfRange, "FFT size changed during the run");
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
                ClearRing(Chain, NAvg);
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
