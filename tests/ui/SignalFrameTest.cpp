// The signal frame's rules on the real window, driven as a user would: the
// frequency plan (span, presets, peak to centre, guard, bandwidth) and the
// analysis options (rate and size, read-outs, threshold and peak reference,
// statistics switch, the lock).  Every window starts as a first start does
// (12000 Hz, 1024 points, span 20 - 5000).
#include <QCheckBox>
#include <QRadioButton>
#include <QTest>

#include "display/HistogramWindow.h"
#include "engine/FrequencyPlan.h"
#include "support/RunHarness.h"

namespace {

using FrequencyPlan = WindowTest;

TEST_F(FrequencyPlan, SpanLimitsPresetsAndCorrections)
{
    using Act = std::function<void(Parlune&)>;
    auto fmin = [](int v) -> Act { return [v](Parlune& w) { w.spanLowBar.DragTo(v); }; };
    auto fmax = [](int v) -> Act { return [v](Parlune& w) { w.spanHighBar.DragTo(v); }; };
    auto pick = [](OptionButton Parlune::*b) -> Act {
        return [b](Parlune& w) { QTest::mouseClick((w.*b).button(), Qt::LeftButton); };
    };
    const struct { std::vector<Act> acts; int fmin, fmax; const char* band; } cases[] = {
        {{fmin(5000)}, 4000, 5000, " 4000 -  5000"}, // lower limit moved onto the upper
        {{pick(&Parlune::presetSsbOption), fmax(300)}, 300, 1300, " 300 -  1300"},
        {{fmin(4000), fmax(4500), pick(&Parlune::presetCw800Option)}, 650, 5000, " 650 -  5000"}, // preset top below FMin
        {{pick(&Parlune::presetSsbOption), pick(&Parlune::preset5kHzOption)}, 20, 5000, " 20 -  5000"},
        {{fmax(4000), fmin(300), pick(&Parlune::preset5kHzOption)}, 20, 5000, " 20 -  5000"}, // re-click of the selected preset
        {{pick(&Parlune::presetNarrowOption)}, 800, 1200, " 800 -  1200"},
        {{pick(&Parlune::presetCw800Option)}, 650, 950, " 650 -  950"},
        {{fmax(32700), fmin(32000), fmax(31000)}, 32000, 32700, " 32000 -  32700"},
    };
    for (const auto& c : cases) {
        Parlune& w = Load();
        for (const Act& a : c.acts) a(w);
        EXPECT_EQ(std::tuple(w.spanLowBar.Value(), w.spanHighBar.Value(), w.spanBox.Text(), w.spectrumPlot.ScaleLeft(), w.spectrumPlot.ScaleWidth()),
                  std::tuple(c.fmin, c.fmax, QString(c.band), double(SpanLeftBins(c.fmin, w.NFFT, w.SampleRate)),
                             SpanWidthBins(c.fmin, c.fmax, w.NFFT, w.SampleRate))); // the plot shows the span
    }
}

// One step of each rule; the arithmetic itself: tests/engine/FrequencyPlanTest.
TEST_F(FrequencyPlan, PeakToCentreGuardAndBandwidth)
{
    Parlune& w = Load();
    w.fftSizeBox.UserChoose(3); // 8192
    w.PeakBin = 683;
    w.peakToCentreButton.Click();
    EXPECT_EQ(std::pair(w.centreFrequencyBox.Text(), w.CFBin), std::pair(QString("1000.5"), 683));
    for (auto [gb, factor, shown] : {std::tuple(0, 0.0, "0"), std::tuple(20, 2.0, "400"), std::tuple(3, 0.3, "60")}) {
        w.guardBar.DragTo(gb); // shown in Hz for the 200 Hz band
        EXPECT_EQ(std::pair(w.GuardFactor, w.guardBox.Text()), std::pair(factor, QString(shown))) << gb;
    }
    w.bandwidthBar.DragTo(500);
    EXPECT_EQ(std::pair(w.bandwidthBox.Text(), w.SigBWBins), std::pair(QString("500"), 341));
}

using AnalysisOptions = WindowTest;

// Any typed rate puts the lower limit back to 20; the upper one follows the
// rate.  A rate chosen from the list, or a typed size, runs nothing; a chosen
// size resets the averaging.
TEST_F(AnalysisOptions, TypedRateSetsTheSpanChosenRateRunsNothing)
{
    const struct { const char* typed; int fminBefore, fmin, fmax; } cases[] = {
        {"6000", 4000, 20, 5000}, {"11025", 20, 20, 4961}, {"48000", 20, 20, 21600}};
    for (const auto& c : cases) {
        Parlune& w = Load();
        w.spanLowBar.DragTo(c.fminBefore);
        w.sampleRateBox.UserType(c.typed);
        EXPECT_EQ(std::tuple(w.SampleRate, w.spanLowBar.Value(), w.spanHighBar.Value()),
                  std::tuple(QString(c.typed).toDouble(), c.fmin, c.fmax)) << c.typed;
    }
    Parlune& w = Load();
    w.sampleRateBox.UserChoose(7); // 48000: the run start reads the box
    w.averagingBar.DragTo(8);
    w.fftSizeBox.UserType("2048");
    EXPECT_EQ(std::tuple(w.SampleRate, w.spanHighBar.Value(), w.NFFT, w.NAvg), std::tuple(12000.0, 5000, 1024, 8));
    w.fftSizeBox.UserChoose(0);
    EXPECT_EQ(std::tuple(w.NFFT, w.NAvg, w.periodBox.Text(), w.binWidthLabel.Caption()),
              std::tuple(1024, 1, QString("0.1"), QString("46.88 Hz bins"))); // the rate box shows 48000
}

TEST_F(AnalysisOptions, ThresholdStatisticsAndLock)
{
    Parlune& w = Load();
    w.thresholdBar.DragTo(40);
    w.peakingRefBar.DragTo(0);
    EXPECT_EQ(w.peakingOffsetLabel.Caption(), "Offset -40dB");
    w.peakingRefBar.DragTo(100);
    w.thresholdBar.DragTo(100); // the read-out follows the reference only
    EXPECT_EQ(w.peakingOffsetLabel.Caption(), "Offset  60dB");

    for (bool shown : {true, false}) {
        w.statNoiseCheck.box()->click();
        EXPECT_EQ(w.monHisto().isVisible(), shown);
    }

    w.lockButton.Click();
    EXPECT_EQ(std::tuple(w.signalFrame.Caption(), w.signalFrame.BackColor(), w.signalFrame.widget()->palette().color(QPalette::Window)),
              std::tuple(QString("Signal , Frequency  Span and Noise Measurement range LOCKED "), RGB(255, 200, 150), QColor(255, 200, 150)));
    for (Control* c : std::initializer_list<Control*>{&w.signalFrame, &w.centreFrequencyBox, &w.bandwidthBar, &w.spanLowBar, &w.preset5kHzOption,
                                                       &w.peakToCentreButton, &w.averagingBar, &w.statNoiseCheck, &w.squareInputCheck,
                                                       &w.lockButton, &w.sampleRateBox, &w.fftSizeBox, &w.thresholdBar, &w.logFileBox})
        EXPECT_EQ(c->widget()->isEnabled(), c == &w.sampleRateBox || c == &w.fftSizeBox || c == &w.thresholdBar || c == &w.logFileBox)
            << c->Name().toStdString();
    w.spanLowBar.DragTo(1000);
    EXPECT_EQ(w.spanLowBar.Value(), 20);
}

} // namespace
