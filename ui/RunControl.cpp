// Run control: the device box, START (the controls become the run
// parameters, the input opens), the run loop (wait for a block, run the
// engine on it, show the result, log it, yield) and STOP.
#include <QCoreApplication>

#include "ui/Parlune.h"
#include "capture/DeviceList.h"
#include "capture/WaitForBuffer.h"
#include "display/HistogramDraw.h"
#include "display/HistogramWindow.h"
#include "display/Meters.h"
#include "display/SpectrumPlot.h"
#include "display/WaterfallDraw.h"
#include "display/WaterfallWindow.h"
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
#include "engine/Windows.h"

namespace {
double Num(const QString& text) { return LeadingNumber(text.toStdString()); }
} // namespace

void Parlune::Start_Click()
{
    // One run at a time: a click that arrives while a run is still ending
    // (its last yield) starts nothing.
    if (Running)
        return;
    // A size the working arrays cannot take never reaches the capture: the
    // box turns red until a listed size is chosen, and nothing else changes.
    const std::int32_t size = FFTSizeOfText(FFTSize.Text().toStdString().c_str());
    if (size == 0) {
        FFTSize.setBackColor(RGB(255, 0, 0));
        return;
    }
    Step([&] { SampleRate = Num(SRate.Text()); });
    NFFT = size;
    const double SR = SampleRate;
    const double N = NFFT;

    Step([&] {
        FFTSize.setEnabled(false);
        SRate.setEnabled(false);
        WindType.setEnabled(false);
    });
    Step([&] { Spectrum.Cls(); });
    Step([&] { ShowGB.setText(QString::fromStdString(PlainText(Num(SigBW.Text()) * GuardFactor))); });
    Step([&] { ShowRes.setCaption(QString::fromStdString(FormatPattern(CheckedDiv(Num(SRate.Text()), N), "##0.0# Hz bins"))); });
    Step([&] { FMinBin = FloorToInt32(CheckedDiv(FMin.Value(), SR) * N + 0.5); });
    Step([&] { FMaxBin = FloorToInt32(CheckedDiv(FMax.Value(), SR) * N + 0.5); });
    Step([&] { DeviceBox.setBackColor(RGB(255, 255, 255)); });
    Step([&] { NAvg = AvScroll.Value(); });
    Step([&] {
        if (NAvg > 63)
            NAvg = 63;
    });
    Step([&] { SigBWBins = FloorToInt32(CheckedDiv(Num(SigBW.Text()), SR) * N + 0.5); });
    Step([&] { StopReq = false; });
    Step([&] { Stopit.setVisible(true); });
    // The centre is truncated to a bin here, not rounded.
    Step([&] { CFBin = FloorToInt32(CheckedDiv(WholeTextNumber(CF.Text().toStdString()), SR) * N); });
    // A fault in the test itself (N = 0) takes the first branch.
    bool fineBins = true;
    Step([&] { fineBins = CheckedDiv(SR, N) < 1; });
    Step([&] {
        if (fineBins)
            CFUD.setSmallChange(1);
        else
            CFUD.setSmallChange(RoundToInt16(SR / N));
    });
    Step([&] { DetPeriod.setText(QString::fromStdString(FormatPattern(CheckedDiv(NAvg, SR) * N, "#0.0"))); });
    Step([&] { FMax.setMax(RoundToInt16(SR * 0.45)); });
    Step([&] { Spectrum.setScaleLeft(static_cast<float>(CheckedDiv(FMin.Value(), SR) * N)); });
    Step([&] { Spectrum.setScaleWidth(static_cast<float>(CheckedDiv(FMax.Value() - FMin.Value(), SR) * N)); });
    Step([&] {
        WaterfallSetUp(monWF(), Spectrum.ScaleWidth(), SampleRate, NFFT);
        monHisto().setWidth(monWF().Width());
        monHisto().Histogram.setWidth(RoundToInt32(0.9 * monHisto().Width()));
    });
    Step([&] { SelectWindow(static_cast<std::int16_t>(WindType.ListIndex()), WindENBW); });
    Step([&] { Start.setVisible(false); });

    // Capture format: two channels of 16 bits at the chosen rate.
    Step([&] { WaveFmt.wFormatTag = WAVE_FORMAT_PCM; });
    Step([&] { WaveFmt.nChannels = 2; });
    Step([&] { WaveFmt.nSamplesPerSec = static_cast<std::uint32_t>(RoundToInt32(SR)); });
    Step([&] { WaveFmt.wBitsPerSample = 16; });
    Step([&] { WaveFmt.nBlockAlign = static_cast<std::uint16_t>(WaveFmt.nChannels * WaveFmt.wBitsPerSample / 8); });
    Step([&] { WaveFmt.nAvgBytesPerSec = WaveFmt.nBlockAlign * WaveFmt.nSamplesPerSec; });
    Step([&] { WaveFmt.cbSize = 0; });

    // The list position is the device ID; no selection (-1) is the mapper.
    const int position = DeviceBox.ListIndex();
    Step([&] { waveInOpen(&hWaveIn, static_cast<std::uint32_t>(static_cast<std::int32_t>(position)), &WaveFmt, 0, 0, 0); });
    if (hWaveIn == 0) {
        MsgBox(this, "Wave input device didn't open!!", MsgIcon::Exclamation);
        return;
    }
    // After a choice the box already reads the device's name; writing the
    // same text again would count as typing and lose the list position that
    // a restart reopens.
    Step([&] {
        const QString name = position < 0 ? QString("Default Soundcard") : DeviceBox.List(position);
        if (DeviceBox.Text() != name)
            DeviceBox.setText(name);
        DeviceBox.setVisible(false);
    });
    Step([&] { waveInStart(hWaveIn); });
    Step([&] { Timer1.setEnabled(true); });
    Step([&] { CsrLoc.setVisible(true); });
    Step([&] { LogToFile.setEnabled(true); });
    RunLoop();
}

// The device box: list position = device ID.
void Parlune::InitDevices()
{
    const std::vector<std::string> names = CaptureDeviceNames();
    for (std::size_t id = 0; id < names.size(); ++id)
        DeviceBox.AddItem(QString::fromLocal8Bit(names[id].data(), static_cast<qsizetype>(names[id].size())),
                          static_cast<int>(id));
}

void Parlune::DeviceBox_Click()
{
    DeviceBox.setBackColor(RGB(255, 255, 255));
    Start.setEnabled(true);
}

// The box comes back red, as before a device was chosen, reading why; START
// waits for a device to be chosen again (the list keeps its positions).
void Parlune::ShowInputLost()
{
    DeviceBox.setText("Input lost");
    DeviceBox.setBackColor(RGB(255, 0, 0));
    DeviceBox.setVisible(true);
    Start.setEnabled(false);
}

void Parlune::Stopit_Click()
{
    waveInReset(hWaveIn);
    waveInClose(hWaveIn);
    ClearRing(Chain, NAvg); // so the next run starts from an empty ring
    StopReq = true;
    Stopit.setVisible(false);
    Start.setCaption("Restart");
    Start.setLeft(Stopit.Left());
    Start.setTop(Stopit.Top());
    Start.setWidth(Stopit.Width());
    Start.setHeight(Stopit.Height());
    Start.setVisible(true);
    FFTSize.setEnabled(true);
    SRate.setEnabled(true);
    WindType.setEnabled(true);
    LogToFile.setEnabled(false);
}

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

PlotFrame Parlune::PlanForPlot() const
{
    return {NFFT, SampleRate, CFBin, SigBWBins, FMinBin, FMaxBin, GuardFactor, DispThresh, FMin.Value(), FMax.Value()};
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
    DrawInputLevel(IPAmplitude, InLevelDb, r.LevelColour);
    if (!reached(BlockStage::Stored))
        return;
    WaterfallLine(monWF(), WFRing, Chain.SpecHist, r.Slot, NFFT);
    if (!reached(BlockStage::Binned))
        return;
    const PlotFrame f = PlanForPlot();
    PlotBackground(Spectrum, f, s);
    PlotTrace(Spectrum, f, s, Chain.Level.data(), PrevLevel);
    PeakPower = r.PeakAt.PeakPower;
    PeakBin = r.PeakAt.PeakBin;
    if (r.End == BlockEnd::NoNoise) {
        DrawHistogram(monHisto().Histogram, Chain.AmpHist.data(), FMinBin, FMaxBin);
        NoisePower = 1;
        ResetBandwidth(*this);
        return;
    }
    if (!reached(BlockStage::Counted))
        return;
    DrawHistogram(monHisto().Histogram, Chain.AmpHist.data(), FMinBin, FMaxBin);
    const bool useStat = UseStatNoise.Value() != 0;
    if (useStat)
        MarkHistogram(monHisto().Histogram, Chain.AmpHist.data(), r.StatCell);
    if (r.BandwidthReset)
        ResetBandwidth(*this);
    if (!reached(BlockStage::Measured))
        return;

    SigPower = r.SigPower;
    PlotNoiseLines(Spectrum, f, s, r.MeasuredNoisePower, useStat, r.LabelStatLevel);
    NoisePower = r.NoisePower;
    if (useStat)
        PlotStatLine(Spectrum, f, s, r.StatLevel);
    NoiseL.setForeColor(useStat ? s.StatColour : s.NoiseColour);
    NoiseL.setCaption(QString::fromStdString(NoiseCaption(r.NoiseLevel)));
    if (!reached(BlockStage::Peaked))
        return;
    PeakL.setCaption(QString::fromStdString(PeakCaption(LevelAboveThreshold(PeakPower, DispThresh))));
    if (CentrePeaking.Value()) {
        PeakingRef.setValue(RoundToInt16(CheckedDb(PeakPower)));
        CentrePeaking.setValue(false);
    }
    DrawPeaking(Peaking, PeakPower, PeakingRef.Value(), s.PeakingColour);
    PkRefVal.setCaption(QString::fromStdString(OffsetCaption(PeakingRef.Value(), DispThresh)));
    PlotPeakMarker(Spectrum, f, s, PeakBin, r.PeakLevel);
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
    WaterfallScroll(monWF(), WFRing);
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
