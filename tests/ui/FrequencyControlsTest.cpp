// The frequency plan on the real window, driven as a user would.  Every case
// starts from a first start (12000 Hz, 1024 points, span 20 - 5000).
#include <QRadioButton>
#include <QTest>

#include "support/RunHarness.h"

namespace {

class FrequencyPlan : public WindowTest {};

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
        SCOPED_TRACE(c.band);
        Parlune& w = Load();
        for (const Act& a : c.acts) a(w);
        EXPECT_EQ(std::pair(w.spanLowBar.Value(), w.spanHighBar.Value()), std::pair(c.fmin, c.fmax));
        EXPECT_EQ(w.spanBox.Text(), c.band);
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

} // namespace
