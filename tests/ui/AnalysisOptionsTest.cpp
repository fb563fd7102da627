// The analysis options on the real window: sample rate typed or chosen, FFT
// size chosen or typed, averaging and its read-out, threshold and peak
// reference, the statistics switch and the one-way lock.
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include "support/WindowFixture.h"
#include "display/HistogramWindow.h"

namespace {

class AnalysisOptions : public WindowTest {};

TEST_F(AnalysisOptions, TypedRateSetsTheSpan)
{
    const struct {
        const char* typed;
        int fminBefore;
        double rate;
        int fmin, fmax;
    } cases[] = {
        {"6000", 4000, 6000, 20, 5000}, // 2700 asked, at or below FMin: 5000
        {"4000", 300, 4000, 20, 5000},  // not above 4000: FMax stays
        {"12000", 20, 12000, 20, 5400},
        {"11025", 20, 11025, 20, 4961},
        {"48000", 20, 48000, 20, 21600},
        {"96000", 20, 96000, 20, 5000}, // above 48000: FMax stays
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        Parlune& w = Load();
        w.FMin.DragTo(c.fminBefore);
        w.SRate.UserType(c.typed);
        EXPECT_EQ(w.SampleRate, c.rate);
        EXPECT_EQ(w.FMin.Value(), c.fmin);
        EXPECT_EQ(w.FMax.Value(), c.fmax);
    }
}

TEST_F(AnalysisOptions, ListChoicesAndTyping)
{
    Parlune& w = Load();
    // A rate chosen from the list runs nothing (the run start reads the box).
    w.SRate.UserChoose(7); // 48000
    EXPECT_EQ(w.SRate.Text(), "48000");
    EXPECT_EQ(w.SampleRate, 12000);
    EXPECT_EQ(w.FMax.Value(), 5000);

    // A typed size runs nothing; a chosen one resets the averaging.
    w.AvScroll.DragTo(8);
    EXPECT_EQ(w.NAvg, 8);
    EXPECT_EQ(w.DetPeriod.Text(), "0.7"); // 8 x 1024 / 12000
    w.FFTSize.UserType("2048");
    EXPECT_EQ(NFFT, 1024);
    EXPECT_EQ(w.NAvg, 8);
    w.FFTSize.UserChoose(0); // 1024
    EXPECT_EQ(NFFT, 1024);
    EXPECT_EQ(w.NAvg, 1);
    EXPECT_EQ(w.AvScroll.Value(), 8);
    EXPECT_EQ(w.DetPeriod.Text(), "0.1");
    // The bin width reads the rate box, which shows the chosen 48000.
    EXPECT_EQ(w.ShowRes.Caption(), "46.88 Hz bins");
}

TEST_F(AnalysisOptions, BinWidthAndPeriodReadOuts)
{
    const struct {
        const char* rate;
        int sizeIndex, avg;
        const char* res;
        const char* period;
    } cases[] = {
        {"12000", 3, 4, "1.46 Hz bins", "2.7"},   // 8192 points
        {"12000", 0, 1, "11.72 Hz bins", "0.1"},  // 1024
        {"48000", 8, 1, "0.18 Hz bins", "5.5"},   // 262144
        {"6000", 8, 1, "0.02 Hz bins", "43.7"},
        {"48000", 0, 1, "46.88 Hz bins", "0.0"},
        {"12k", 0, 1, "--- Hz bins", "85.3"},     // rate 12, but no whole number for the width
        {"abc", 0, 1, "--- Hz bins", "---"},      // rate 0: no width, no period
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        Parlune& w = Load();
        w.SRate.UserType(c.rate);
        w.FFTSize.UserChoose(c.sizeIndex);
        w.AvScroll.DragTo(c.avg);
        EXPECT_EQ(w.ShowRes.Caption(), c.res);
        // The period box is a read-out: anything typed is replaced at once.
        QTest::keyClicks(w.DetPeriod.edit(), "99");
        EXPECT_EQ(w.DetPeriod.Text(), c.period);
    }
}

TEST_F(AnalysisOptions, ThresholdAndPeakReference)
{
    Parlune& w = Load();
    w.DispThreshold.DragTo(40);
    EXPECT_EQ(w.DispThresh, 40);
    w.PeakingRef.DragTo(0);
    EXPECT_EQ(w.PkRefVal.Caption(), "Offset -40dB");
    w.PeakingRef.DragTo(100);
    EXPECT_EQ(w.PkRefVal.Caption(), "Offset  60dB");
    // The read-out follows the reference, not the threshold.
    w.DispThreshold.DragTo(100);
    EXPECT_EQ(w.DispThresh, 100);
    EXPECT_EQ(w.PkRefVal.Caption(), "Offset  60dB");
}

TEST_F(AnalysisOptions, StatisticsSwitchShowsTheHistogram)
{
    Parlune& w = Load();
    EXPECT_FALSE(w.monHisto().isVisible());
    w.UseStatNoise.box()->click();
    EXPECT_TRUE(w.monHisto().isVisible());
    w.UseStatNoise.box()->click();
    EXPECT_FALSE(w.monHisto().isVisible());
}

TEST_F(AnalysisOptions, LockIsOneWay)
{
    Parlune& w = Load();
    w.Lock.Click();
    EXPECT_EQ(w.Frame1.Caption(), "Signal , Frequency  Span and Noise Measurement range LOCKED ");
    EXPECT_EQ(w.Frame1.BackColor(), RGB(255, 200, 150));
    Control* inside[] = {&w.CF,     &w.CFUD,      &w.SigBW,     &w.SigBWUD,       &w.GB,      &w.ShowGB,
                         &w.FMin,   &w.FMax,      &w.FBand,     &w.Wide,          &w.SSB,     &w.WideCW,
                         &w.CW800,  &w.CFToPeak,  &w.TrackSig,  &w.AvScroll,      &w.DetPeriod, &w.UseStatNoise,
                         &w.PeakInSigBand, &w.Squared, &w.Lock};
    for (Control* c : inside)
        EXPECT_FALSE(c->widget()->isEnabled()) << c->Name().toStdString();
    Control* outside[] = {&w.SRate, &w.FFTSize, &w.WindType, &w.DeviceBox, &w.DispThreshold, &w.PeakingRef,
                          &w.LogFile, &w.LogInterval};
    for (Control* c : outside)
        EXPECT_TRUE(c->widget()->isEnabled()) << c->Name().toStdString();

    // The user can no longer move the plan; a second click does nothing.
    w.FMin.DragTo(1000);
    EXPECT_EQ(w.FMin.Value(), 20);
    w.Lock.Click();
    EXPECT_EQ(w.Frame1.Caption(), "Signal , Frequency  Span and Noise Measurement range LOCKED ");
    // Settings outside the frame still work and the plan follows them.
    w.SRate.UserType("48000");
    EXPECT_EQ(w.FMax.Value(), 21600);
}

} // namespace
