// The analysis options on the real window: rate and size typed or chosen,
// read-outs, threshold and peak reference, statistics switch, the lock.
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include "display/HistogramWindow.h"
#include "support/WindowFixture.h"

namespace {

class AnalysisOptions : public WindowTest {};

TEST_F(AnalysisOptions, TypedRateSetsTheSpanChosenRateRunsNothing)
{
    const struct {
        const char* typed;
        int fminBefore, fmin, fmax;
    } cases[] = {{"6000", 4000, 20, 5000}, {"4000", 300, 20, 5000}, {"11025", 20, 20, 4961}, {"48000", 20, 20, 21600}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        Parlune& w = Load();
        w.FMin.DragTo(c.fminBefore);
        w.SRate.UserType(c.typed);
        EXPECT_EQ(w.SampleRate, QString(c.typed).toDouble());
        EXPECT_EQ(std::pair(w.FMin.Value(), w.FMax.Value()), std::pair(c.fmin, c.fmax));
    }
    Parlune& w = Load();
    w.SRate.UserChoose(7); // 48000 from the list: the run start reads the box
    EXPECT_EQ(w.SampleRate, 12000);
    EXPECT_EQ(w.FMax.Value(), 5000);
    // A typed size runs nothing; a chosen one resets the averaging.
    w.AvScroll.DragTo(8);
    w.FFTSize.UserType("2048");
    EXPECT_EQ(std::pair(NFFT, w.NAvg), std::pair(1024, 8));
    w.FFTSize.UserChoose(0);
    EXPECT_EQ(std::pair(NFFT, w.NAvg), std::pair(1024, 1));
    EXPECT_EQ(w.DetPeriod.Text(), "0.1");
    EXPECT_EQ(w.ShowRes.Caption(), "46.88 Hz bins"); // the rate box shows the chosen 48000
}

TEST_F(AnalysisOptions, BinWidthAndPeriodReadOuts)
{
    const struct {
        const char* rate;
        int sizeIndex, avg;
        const char *res, *period;
    } cases[] = {
        {"12000", 3, 4, "1.46 Hz bins", "2.7"}, {"12000", 0, 1, "11.72 Hz bins", "0.1"},
        {"6000", 8, 1, "0.02 Hz bins", "43.7"}, {"12k", 0, 1, "--- Hz bins", "85.3"}, {"abc", 0, 1, "--- Hz bins", "---"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        Parlune& w = Load();
        w.SRate.UserType(c.rate);
        w.FFTSize.UserChoose(c.sizeIndex);
        w.AvScroll.DragTo(c.avg);
        EXPECT_EQ(w.ShowRes.Caption(), c.res);
        QTest::keyClicks(w.DetPeriod.edit(), "99"); // a read-out: typing is replaced at once
        EXPECT_EQ(w.DetPeriod.Text(), c.period);
    }
}

TEST_F(AnalysisOptions, ThresholdStatisticsAndLock)
{
    Parlune& w = Load();
    w.DispThreshold.DragTo(40);
    w.PeakingRef.DragTo(0);
    EXPECT_EQ(w.PkRefVal.Caption(), "Offset -40dB");
    w.PeakingRef.DragTo(100);
    w.DispThreshold.DragTo(100); // the read-out follows the reference only
    EXPECT_EQ(w.PkRefVal.Caption(), "Offset  60dB");

    for (bool shown : {true, false}) {
        w.UseStatNoise.box()->click();
        EXPECT_EQ(w.monHisto().isVisible(), shown);
    }

    w.Lock.Click();
    EXPECT_EQ(w.Frame1.Caption(), "Signal , Frequency  Span and Noise Measurement range LOCKED ");
    EXPECT_EQ(w.Frame1.BackColor(), RGB(255, 200, 150));
    EXPECT_EQ(w.Frame1.widget()->palette().color(QPalette::Window), QColor(255, 200, 150));
    for (Control* c : std::initializer_list<Control*>{&w.Frame1, &w.CF, &w.SigBWUD, &w.FMin, &w.Wide, &w.CFToPeak,
                                                       &w.AvScroll, &w.UseStatNoise, &w.Squared, &w.Lock})
        EXPECT_FALSE(c->widget()->isEnabled()) << c->Name().toStdString();
    for (Control* c : std::initializer_list<Control*>{&w.SRate, &w.FFTSize, &w.DispThreshold, &w.LogFile})
        EXPECT_TRUE(c->widget()->isEnabled()) << c->Name().toStdString();
    w.FMin.DragTo(1000);
    EXPECT_EQ(w.FMin.Value(), 20);
}

} // namespace
