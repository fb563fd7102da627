// The analysis options on the real window: rate and size typed or chosen,
// read-outs, threshold and peak reference, statistics switch, the lock.
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include "display/HistogramWindow.h"
#include "support/RunHarness.h"

namespace {

class AnalysisOptions : public WindowTest {};

TEST_F(AnalysisOptions, TypedRateSetsTheSpanChosenRateRunsNothing)
{
    // Any typed rate puts the lower limit back to 20; the upper one follows the rate.
    const struct { const char* typed; int fminBefore, fmin, fmax; } cases[] = {
        {"6000", 4000, 20, 5000}, {"11025", 20, 20, 4961}, {"48000", 20, 20, 21600}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        Parlune& w = Load();
        w.spanLowBar.DragTo(c.fminBefore);
        w.sampleRateBox.UserType(c.typed);
        EXPECT_EQ(w.SampleRate, QString(c.typed).toDouble());
        EXPECT_EQ(std::pair(w.spanLowBar.Value(), w.spanHighBar.Value()), std::pair(c.fmin, c.fmax));
    }
    Parlune& w = Load();
    w.sampleRateBox.UserChoose(7); // 48000 from the list: the run start reads the box
    EXPECT_EQ(w.SampleRate, 12000);
    EXPECT_EQ(w.spanHighBar.Value(), 5000);
    // A typed size runs nothing; a chosen one resets the averaging.
    w.averagingBar.DragTo(8);
    w.fftSizeBox.UserType("2048");
    EXPECT_EQ(std::pair(w.NFFT, w.NAvg), std::pair(1024, 8));
    w.fftSizeBox.UserChoose(0);
    EXPECT_EQ(std::pair(w.NFFT, w.NAvg), std::pair(1024, 1));
    EXPECT_EQ(w.periodBox.Text(), "0.1");
    EXPECT_EQ(w.binWidthLabel.Caption(), "46.88 Hz bins"); // the rate box shows the chosen 48000
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
    EXPECT_EQ(w.signalFrame.Caption(), "Signal , Frequency  Span and Noise Measurement range LOCKED ");
    EXPECT_EQ(w.signalFrame.BackColor(), RGB(255, 200, 150));
    EXPECT_EQ(w.signalFrame.widget()->palette().color(QPalette::Window), QColor(255, 200, 150));
    for (Control* c : std::initializer_list<Control*>{&w.signalFrame, &w.centreFrequencyBox, &w.bandwidthBar, &w.spanLowBar, &w.preset5kHzOption, &w.peakToCentreButton,
                                                       &w.averagingBar, &w.statNoiseCheck, &w.squareInputCheck, &w.lockButton})
        EXPECT_FALSE(c->widget()->isEnabled()) << c->Name().toStdString();
    for (Control* c : std::initializer_list<Control*>{&w.sampleRateBox, &w.fftSizeBox, &w.thresholdBar, &w.logFileBox})
        EXPECT_TRUE(c->widget()->isEnabled()) << c->Name().toStdString();
    w.spanLowBar.DragTo(1000);
    EXPECT_EQ(w.spanLowBar.Value(), 20);
}

} // namespace
