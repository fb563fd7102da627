// The frequency plan on the real window, driven as a user would: span
// limits and their corrections, presets, centre and bandwidth boxes with
// their spins, the guard band and peak-to-centre.  Every case starts from a
// first start (12000 Hz, 1024 points, span 20 - 5000).
#include <QRadioButton>
#include <QLineEdit>
#include <QTest>
#include <functional>

#include "support/WindowFixture.h"

namespace {

using Action = std::function<void(Parlune&)>;
Action DragFMin(int v) { return [v](Parlune& w) { w.FMin.DragTo(v); }; }
Action DragFMax(int v) { return [v](Parlune& w) { w.FMax.DragTo(v); }; }
Action Pick(OptionButton Parlune::*b) { return [b](Parlune& w) { (w.*b).button()->click(); }; }

struct SpanCase {
    const char* what;
    std::vector<Action> actions;
    int fmin, fmax;
    const char* band;
};

class FrequencyPlan : public WindowTest {};

TEST_F(FrequencyPlan, SpanLimitsPresetsAndCorrections)
{
    const SpanCase cases[] = {
        {"lower limit moved onto the upper", {DragFMin(5000)}, 4000, 5000, " 4000 -  5000"},
        {"upper limit moved onto the lower", {Pick(&Parlune::SSB), DragFMax(300)}, 300, 1300, " 300 -  1300"},
        {"preset whose top is below the lower limit",
         {DragFMin(4000), DragFMax(4500), Pick(&Parlune::CW800)}, 650, 5000, " 650 -  5000"},
        {"wide from a narrow span", {Pick(&Parlune::SSB), Pick(&Parlune::Wide)}, 20, 5000, " 20 -  5000"},
        {"SSB", {Pick(&Parlune::SSB)}, 300, 3000, " 300 -  3000"},
        {"1 kHz narrow stops at 1200", {Pick(&Parlune::WideCW)}, 800, 1200, " 800 -  1200"},
        {"CW 800", {Pick(&Parlune::CW800)}, 650, 950, " 650 -  950"},
        {"lower correction kept on the bar", {Pick(&Parlune::SSB), DragFMax(500), DragFMin(600)}, 20, 500,
         " 20 -  500"},
        {"upper correction kept on the bar", {DragFMax(32700), DragFMin(32000), DragFMax(31000)}, 32000, 32700,
         " 32000 -  32700"},
    };
    for (const SpanCase& c : cases) {
        SCOPED_TRACE(c.what);
        Parlune& w = Load();
        for (const Action& a : c.actions)
            a(w);
        EXPECT_EQ(w.FMin.Value(), c.fmin);
        EXPECT_EQ(w.FMax.Value(), c.fmax);
        EXPECT_EQ(w.FBand.Text(), c.band);
        // Bins and plot scale follow the span at 1024 points, 12000 Hz.
        EXPECT_EQ(w.FMinBin, static_cast<int>(std::floor(0.5 + 1024.0 * c.fmin / 12000)));
        EXPECT_EQ(w.FMaxBin, static_cast<int>(std::floor(0.5 + 1024.0 * c.fmax / 12000)));
        EXPECT_NEAR(w.Spectrum.ScaleLeft(), 1024.0 * c.fmin / 12000, 1e-3);
        EXPECT_NEAR(w.Spectrum.ScaleWidth(), 1024.0 * (c.fmax - c.fmin) / 12000, 1e-9);
    }
}

TEST_F(FrequencyPlan, PeakToCentre)
{
    Parlune& w = Load();
    w.FFTSize.UserChoose(3); // 8192
    w.PeakBin = 683;
    w.CFToPeak.Click();
    EXPECT_EQ(w.CF.Text(), "1000.5");
    EXPECT_EQ(w.CFBin, 683);
    EXPECT_EQ(w.CFUD.Value(), 1000); // the spin does not follow

    // Half a hertz shows without a leading zero: 4096 Hz at 8192 points.
    w.SRate.UserType("4096");
    w.PeakBin = 1;
    w.CFToPeak.Click();
    EXPECT_EQ(w.CF.Text(), ".5");
    EXPECT_EQ(w.CFBin, 1);
}

TEST_F(FrequencyPlan, CentreBoxAndSpin)
{
    Parlune& w = Load();
    w.CF.edit()->clear();
    QTest::keyClicks(w.CF.edit(), "1500"); // through 1, 15, 150 Hz
    EXPECT_EQ(w.CFBin, 128);               // floor(0.5 + 1024 x 1500 / 12000)
    EXPECT_EQ(w.CFUD.Value(), 1000);

    w.CFUD.ArrowClick(true);
    EXPECT_EQ(w.CF.Text(), "1001");
    EXPECT_EQ(w.CFBin, 85);

    for (const char* text : {"", ".", "-", "abc", "1.2.3"}) {
        SCOPED_TRACE(text);
        w.CF.setText("3000");
        ASSERT_EQ(w.CFBin, 256);
        w.CF.setText(text);
        EXPECT_EQ(w.CFBin, 256);
    }
}

TEST_F(FrequencyPlan, BandwidthBoxShowsTheSpin)
{
    Parlune& w = Load();
    QTest::keyClicks(w.SigBW.edit(), "5"); // "2005" typed: the box goes back to the spin
    EXPECT_EQ(w.SigBW.Text(), "200");
    EXPECT_EQ(w.SigBWBins, 17);

    w.SigBWUD.DragTo(500);
    EXPECT_EQ(w.SigBW.Text(), "500");
    EXPECT_EQ(w.SigBWBins, 43); // floor(0.5 + 1024 x 500 / 12000)

    // Less than half a bin still counts as one bin.
    w.SRate.UserType("48000");
    w.SigBWUD.DragTo(1);
    EXPECT_EQ(w.SigBW.Text(), "1");
    EXPECT_EQ(w.SigBWBins, 1);
}

TEST_F(FrequencyPlan, GuardBand)
{
    Parlune& w = Load();
    const struct {
        int gb;
        double factor;
        const char* shown;
    } cases[] = {{0, 0.0, "0"}, {20, 2.0, "400"}, {3, 0.3, "60"}, {5, 0.5, "100"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.gb);
        w.GB.DragTo(c.gb);
        EXPECT_DOUBLE_EQ(w.GuardFactor, c.factor);
        EXPECT_EQ(w.ShowGB.Text(), c.shown);
    }
}

TEST_F(FrequencyPlan, NoUsableRateLeavesTheBinsAlone)
{
    Parlune& w = Load();
    const int fminBin = w.FMinBin, cfBin = w.CFBin;
    w.SRate.UserType("abc"); // reads as rate 0
    EXPECT_EQ(w.SampleRate, 0);
    w.FMin.DragTo(400);
    w.CF.setText("2000");
    EXPECT_EQ(w.FBand.Text(), " 400 -  5000"); // the span itself still moves
    w.SSB.button()->click();
    EXPECT_EQ(w.FBand.Text(), " 300 -  3000");
    EXPECT_EQ(w.FMinBin, fminBin);
    EXPECT_EQ(w.CFBin, cfBin);
    w.DetPeriod.setText("1");
    EXPECT_EQ(w.DetPeriod.Text(), "---");
}

} // namespace
