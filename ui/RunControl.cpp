// Run control: the device box, START (the controls become the run
// parameters, the input opens), the run loop (wait for a block, run the
// engine on it, show the result, log it, yield) and STOP.
#include <QCoreApplication>

#include "capture/AudioServer.h"
#include "capture/CaptureSession.h"
#include "capture/DeviceList.h"
#include "capture/InputBackend.h"
#include "display/HistogramDraw.h"
#include "display/HistogramWindow.h"
#include "display/Meters.h"
#include "display/SpectrumPlot.h"
#include "display/WaterfallDraw.h"
#include "display/WaterfallWindow.h"
#include "engine/Fault.h"
#include "engine/FrequencyPlan.h"
#include "engine/Measurement.h"
#include "engine/NumberText.h"
#include "engine/Results.h"
#include "engine/RunSizes.h"
#include "engine/WholeNumber.h"
#include "engine/Windows.h"
#include "ui/Parlune.h"

namespace {

// How long start-up waits for the audio server, ms: a live one answers in a
// few; a stopped one must not hold up the window.
constexpr int kServerWaitMs = 300;

double Num(const QString& text) { return LeadingNumber(text.toStdString()); }

// Marks the window as running for the life of one run loop.
struct RunningFlag {
    explicit RunningFlag(bool& f) : f(f) { f = true; }
    ~RunningFlag() { f = false; }
    bool& f;
};

// No noise could be measured: tell the user and put the signal bandwidth back
// to the engine's reset bandwidth, through its controls as if the user had set it.
void ResetBandwidth(Parlune& w)
{
    MsgBox(&w, kNoNoiseMessage);
    w.SigBWBins = ResetSigBWBins(w.NFFT, w.SampleRate);
    w.bandwidthBar.setValue(static_cast<int>(kResetBandwidthHz));
    w.bandwidthBox.setText(QString::number(kResetBandwidthHz));
}

} // namespace

void Parlune::Start_Click()
{
    // One run at a time: a click that arrives while a run is still ending
    // (its last yield) starts nothing.
    if (Running)
        return;
    // A size the working arrays cannot take never reaches the capture: the
    // box turns red until a listed size is chosen, and nothing else changes.
    const std::int32_t size = FFTSizeOfText(fftSizeBox.Text().toStdString().c_str());
    if (size == 0) {
        fftSizeBox.setBackColor(RGB(255, 0, 0));
        return;
    }
    fftSizeBox.setBackColor(RGB(255, 255, 255));
    Step([&] { SampleRate = Num(sampleRateBox.Text()); });
    NFFT = size;
    const double SR = SampleRate;

    Step([&] {
        fftSizeBox.setEnabled(false);
        sampleRateBox.setEnabled(false);
        windowTypeBox.setEnabled(false);
    });
    Step([&] { spectrumPlot.Cls(); });
    Step([&] { guardBox.setText(QString::fromStdString(PlainText(Num(bandwidthBox.Text()) * GuardFactor))); });
    Step([&] { binWidthLabel.setCaption(QString::fromStdString(FormatPattern(BinWidthHz(Num(sampleRateBox.Text()), NFFT), "##0.0# Hz bins"))); });
    Step([&] { FMinBin = StartBin(spanLowBar.Value(), SR, NFFT); });
    Step([&] { FMaxBin = StartBin(spanHighBar.Value(), SR, NFFT); });
    Step([&] { deviceBox.setBackColor(RGB(255, 255, 255)); });
    Step([&] { NAvg = averagingBar.Value(); });
    Step([&] {
        if (NAvg > kMaxAvg)
            NAvg = kMaxAvg;
    });
    Step([&] { SigBWBins = StartBin(Num(bandwidthBox.Text()), SR, NFFT); });
    Step([&] { StopReq = false; });
    Step([&] { stopButton.setVisible(true); });
    // The centre is truncated to a bin here, not rounded.
    Step([&] { CFBin = StartCentreBin(WholeTextNumber(centreFrequencyBox.Text().toStdString()), SR, NFFT); });
    // A fault in the test itself (no usable bin width) takes the first branch.
    bool fineBins = true;
    Step([&] { fineBins = BinWidthHz(SR, NFFT) < 1; });
    Step([&] {
        if (fineBins)
            centreBar.setSmallChange(1);
        else
            centreBar.setSmallChange(RoundToInt16(BinWidthHz(SR, NFFT)));
    });
    Step([&] { periodBox.setText(QString::fromStdString(FormatPattern(StartPeriodS(NAvg, SR, NFFT), "#0.0"))); });
    Step([&] { spanHighBar.setMax(RoundToInt16(SR * kTopShareOfRate)); });
    Step([&] { spectrumPlot.setScaleLeft(StartScaleLeft(spanLowBar.Value(), SR, NFFT)); });
    Step([&] { spectrumPlot.setScaleWidth(StartScaleWidth(spanLowBar.Value(), spanHighBar.Value(), SR, NFFT)); });
    Step([&] {
        WaterfallSetUp(monWF(), spectrumPlot.ScaleWidth(), SampleRate, NFFT);
        monHisto().setWidth(monWF().Width());
        monHisto().histogramPicture.setWidth(RoundToInt32(0.9 * monHisto().Width()));
    });
    // No list entry chosen keeps the last run's window.
    Step([&] {
        if (std::optional<WindowTable> t = MakeWindow(static_cast<std::int16_t>(windowTypeBox.ListIndex()), NFFT)) {
            Chain.Window = std::move(t->Coef);
            WindENBW = t->Enbw;
        }
    });
    Step([&] { startButton.setVisible(false); });

    // Capture format: two channels of 16 bits at the chosen rate.
    Step([&] { WaveFmt = Stereo16Format(static_cast<std::uint32_t>(RoundToInt32(SR))); });

    // The list position is the device ID; no selection (-1) is the mapper.
    const int position = deviceBox.ListIndex();
    Step([&] { Input.Open(static_cast<std::uint32_t>(static_cast<std::int32_t>(position)), WaveFmt); });
    if (Input.Handle() == 0) {
        MsgBox(this, "Wave input device didn't open!!", MsgIcon::Exclamation);
        return;
    }
    // After a choice the box already reads the device's name; writing the
    // same text again would count as typing and lose the list position that
    // a restart reopens.
    Step([&] {
        const QString name = position < 0 ? QString("Default Soundcard") : deviceBox.List(position);
        if (deviceBox.Text() != name)
            deviceBox.setText(name);
        deviceBox.setVisible(false);
    });
    Step([&] { Input.Start(); });
    Step([&] { clockTimer.setEnabled(true); });
    Step([&] { cursorLabel.setVisible(true); });
    Step([&] { logToFileCheck.setEnabled(true); });
    RunLoop();
}

// The device box: list position = device ID.  An audio server that does not
// answer at once leaves the test signals alone in the list, and the window
// appears anyway; its devices are added when it answers.
void Parlune::InitDevices()
{
    SetServerWait(kServerWaitMs);
    const std::vector<std::string> names = CaptureDeviceNames();
    for (std::size_t id = 0; id < names.size(); ++id)
        deviceBox.AddItem(QString::fromLocal8Bit(names[id].data(), static_cast<qsizetype>(names[id].size())),
                          static_cast<int>(id));
    if (ServerDidNotAnswer() && !serverWatch_)
        serverWatch_ = std::make_unique<AudioServerWatch>([this] { return RefillDevices(); });
}

bool Parlune::RefillDevices()
{
    if (Running)
        return false; // a run's device keeps its position until it ends
    const QString chosen = deviceBox.ListIndex() >= 0 ? deviceBox.Text() : QString();
    deviceBox.Clear();
    InitDevices();
    for (int i = 0; !chosen.isEmpty() && i < deviceBox.ListCount(); ++i)
        if (deviceBox.List(i) == chosen) {
            deviceBox.setListIndex(i);
            break;
        }
    return !ServerDidNotAnswer();
}

void Parlune::DeviceBox_Click()
{
    deviceBox.setBackColor(RGB(255, 255, 255));
    startButton.setEnabled(true);
}

// The box comes back red, as before a device was chosen, reading why; START
// waits for a device to be chosen again (the list keeps its positions).
void Parlune::ShowInputLost()
{
    deviceBox.setText("Input lost");
    deviceBox.setBackColor(RGB(255, 0, 0));
    deviceBox.setVisible(true);
    startButton.setEnabled(false);
}

void Parlune::Stopit_Click()
{
    Input.Close();
    ClearRing(Chain, NAvg); // so the next run starts from an empty ring
    StopReq = true;
    stopButton.setVisible(false);
    startButton.setCaption("Restart");
    startButton.setLeft(stopButton.Left());
    startButton.setTop(stopButton.Top());
    startButton.setWidth(stopButton.Width());
    startButton.setHeight(stopButton.Height());
    startButton.setVisible(true);
    fftSizeBox.setEnabled(true);
    sampleRateBox.setEnabled(true);
    windowTypeBox.setEnabled(true);
    logToFileCheck.setEnabled(false);
}

void Parlune::LoopSetUp(LoopState& s)
{
    spectrumPlot.setScaleHeight(120);
    s.PlotHeight = spectrumPlot.ScaleHeight();
    DispThresh = static_cast<std::int16_t>(thresholdBar.Value());
    peakingMeter.setScaleWidth(100);
    s.TraceColour = RGB(100, 100, 150);
    s.NoiseColour = RGB(0, 100, 70);
    s.StatColour = RGB(170, 0, 170);
    s.PeakingColour = RGB(120, 60, 0);
    peakingMeterLabel.setForeColor(s.PeakingColour);
    peakingMeter.setForeColor(s.PeakingColour);
    peakingOffsetLabel.setForeColor(s.PeakingColour);
    centreTraceOption.setForeColor(s.PeakingColour);
    PrepareChain(Chain, NFFT);
}

void Parlune::RangeLabels()
{
    spanLowLabel.setCaption(QString::fromStdString(RangeCaption(spanLowBar.Value())));
    spanHighLabel.setCaption(QString::fromStdString(RangeCaption(spanHighBar.Value())));
}

PlotFrame Parlune::PlanForPlot() const
{
    return {NFFT, SampleRate, CFBin, SigBWBins, FMinBin, FMaxBin, GuardFactor, DispThresh, spanLowBar.Value(), spanHighBar.Value()};
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
    p.SigBWHz = LeadingNumber(bandwidthBox.Text().toStdString());
    p.CFText = centreFrequencyBox.Text().toStdString();
    p.GuardFactor = GuardFactor;
    p.NAvg = NAvg;
    p.WindENBW = WindENBW;
    p.DispThresh = DispThresh;
    p.Squared = squareInputCheck.Value() == 1;
    p.Swapped = swapSidebandCheck.Value() != 0;
    p.UseStatNoise = statNoiseCheck.Value() != 0;
    p.PeakInSigBand = peakInBandCheck.Value() == 1;
    p.TrackSig = trackCheck.Value() == 1;
    return p;
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
    DrawInputLevel(inputLevelMeter, InLevelDb, r.LevelColour);
    if (!reached(BlockStage::Stored))
        return;
    WaterfallLine(monWF(), WFRing, Chain.SpecHist, r.Slot, NFFT);
    if (!reached(BlockStage::Binned))
        return;
    const PlotFrame f = PlanForPlot();
    PlotBackground(spectrumPlot, f, s, PlotBack);
    PlotTrace(spectrumPlot, f, s, Chain.Level.data(), PrevLevel);
    PeakPower = r.PeakAt.PeakPower;
    PeakBin = r.PeakAt.PeakBin;
    if (r.End == BlockEnd::NoNoise) {
        DrawHistogram(monHisto().histogramPicture, Chain.AmpHist.data(), FMinBin, FMaxBin);
        NoisePower = 1;
        ResetBandwidth(*this);
        return;
    }
    if (!reached(BlockStage::Counted))
        return;
    DrawHistogram(monHisto().histogramPicture, Chain.AmpHist.data(), FMinBin, FMaxBin);
    const bool useStat = statNoiseCheck.Value() != 0;
    if (useStat)
        MarkHistogram(monHisto().histogramPicture, Chain.AmpHist.data(), r.StatCell);
    if (r.BandwidthReset)
        ResetBandwidth(*this);
    if (!reached(BlockStage::Measured))
        return;

    SigPower = r.SigPower;
    PlotNoiseLines(spectrumPlot, f, s, r.MeasuredNoisePower, useStat, r.LabelStatLevel);
    NoisePower = r.NoisePower;
    if (useStat)
        PlotStatLine(spectrumPlot, f, s, r.StatLevel);
    noiseLevelLabel.setForeColor(useStat ? s.StatColour : s.NoiseColour);
    noiseLevelLabel.setCaption(QString::fromStdString(NoiseCaption(r.NoiseLevel)));
    if (!reached(BlockStage::Peaked))
        return;
    peakLevelLabel.setCaption(QString::fromStdString(PeakCaption(r.PeakLevel)));
    if (centreTraceOption.Value()) {
        peakingRefBar.setValue(RoundToInt16(CheckedDb(PeakPower)));
        centreTraceOption.setValue(false);
    }
    DrawPeaking(peakingMeter, PeakPower, peakingRefBar.Value(), s.PeakingColour);
    peakingOffsetLabel.setCaption(QString::fromStdString(OffsetCaption(peakingRefBar.Value(), DispThresh)));
    PlotPeakMarker(spectrumPlot, f, s, PeakBin, r.PeakLevel);
    peakFrequencyLabel.setCaption(QString::fromStdString(PeakFreqCaption(r.PeakHz)));
    peakToleranceLabel.setCaption(QString::fromStdString(PeakTolCaption(SampleRate, NFFT)));
    if (!reached(BlockStage::Complete))
        return;

    if (r.InBand) {
        SN1HzDb = r.SN1HzDb;
        SNBinDb = r.SNBinDb;
        snBinLabel.setCaption(QString::fromStdString(SNBinCaption(SNBinDb, WindENBW, SampleRate, NFFT)));
        sn1HzLabel.setCaption(QString::fromStdString(SN1HzCaption(SN1HzDb)));
        sn2500HzLabel.setCaption(QString::fromStdString(SN2500HzCaption(SN1HzDb)));
        resultsFrame.setEnabled(true);
        resultsFrame.setVisible(true);
        if (r.Tracked)
            centreFrequencyBox.setText(QString::fromStdString(r.CFText)); // its rule moves CFBin onto the peak
    } else {
        resultsFrame.setVisible(false);
    }
    WaterfallScroll(monWF(), WFRing);
}

bool Parlune::CaptureBlock()
{
    // The sizes first: a bad one ends the run as a fault before a buffer is queued.
    CheckRunSizes(NFFT, FMinBin, FMaxBin, NAvg);
    if (Chain.SpecHist.BinTop() != NFFT / 2)
        throw Fault(Fault::Kind::OutOfRange, "FFT size changed during the run");
    // One buffer queued, then sleep in the event loop until it comes back
    // done (STOP's reset also marks it done: that last block is shown), the
    // input is lost, or closing.
    const CaptureEnd end = Input.Capture(InBuf.data(), BlockBytes(NFFT), [this] { return StopReq || Closing; });
    if (Closing)
        return false;
    if (end == CaptureEnd::Lost) {
        ShowInputLost();
        return false;
    }
    return end == CaptureEnd::Done;
}

bool Parlune::YieldAfterBlock()
{
    if (BlockDoneHook)
        BlockDoneHook();
    QCoreApplication::processEvents();
    if (StopReq) {
        // A STOP during the wait let this last block into the ring STOP had
        // just emptied; empty it again so a restart starts clean.
        ClearRing(Chain, NAvg);
        return false;
    }
    return !Closing && Input.Handle() != 0;
}

void Parlune::RunLoop()
{
    LoopState s;
    const RunningFlag running(Running);
    try {
        LoopSetUp(s);
        for (;;) {
            RangeLabels();
            if (!CaptureBlock())
                return;
            ChainParams p = BlockParams();
            const BlockResult r = RunBlock(InBuf.data(), p, Chain);
            ShowBlock(s, r);
            LogBlock(r);
            if (r.End != BlockEnd::Measured || !YieldAfterBlock())
                return;
        }
    } catch (const Fault&) {
        // A run-time fault ends the run without a message; the input stays
        // open until STOP.
    }
}
