// The frequency plan on the real window, driven as a user would.  Every case
// starts from a first start (12000 Hz, 1024 points, span 20 - 5000).
#include <QRadioButton>
#include <QTest>

#include "support/WindowFixture.h"

namespace {

class FrequencyPlan : public WindowTest {};

TEST_F(FrequencyPlan, SpanLimitsPresetsAndCorrections)
{
    using Act = std::function<void(Parlune&)>;
    auto fmin = [](int v) -> Act { return [v](Parlune& w) { w.FMin.DragTo(v); }; };
    auto fmax = [](int v) -> Act { return [v](Parlune& w) { w.FMax.DragTo(v); }; };
    auto pick = [](OptionButton Parlune::*b) -> Act {
        return [b](Parlune& w) { QTest::mouseClick((w.*b).button(), Qt::LeftButton); };
    };
    const struct {
        std::vector<Act> acts;
        int fmin, fmax;
        const char* band;
    } cases[] = {
        {{fmin(5000)}, 4000, 5000, " 4000 -  5000"}, // lower limit moved onto the upper
        {{pick(&Parlune::SSB), fmax(300)}, 300, 1300, " 300 -  1300"},
        {{fmin(4000), fmax(4500), pick(&Parlune::CW800)}, 650, 5000, " 650 -  5000"}, // preset top below FMin
        {{pick(&Parlune::SSB), pick(&Parlune::Wide)}, 20, 5000, " 20 -  5000"},
        {{fmax(4000), fmin(300), pick(&Parlune::Wide)}, 20, 5000, " 20 -  5000"}, // re-click of the selected preset
        {{pick(&Parlune::WideCW)}, 800, 1200, " 800 -  1200"},
        {{pick(&Parlune::CW800)}, 650, 950, " 650 -  950"},
        {{fmax(32700), fmin(32000), fmax(31000)}, 32000, 32700, " 32000 -  32700"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.band);
        Parlune& w = Load();
        for (const Act& a : c.acts)
            a(w);
        EXPECT_EQ(std::pair(w.FMin.Value(), w.FMax.Value()), std::pair(c.fmin, c.fmax));
        EXPECT_EQ(w.FBand.Text(), c.band);
        EXPECT_EQ(w.FMinBin, static_cast<int>(std::floor(0.5 + 1024.0 * c.fmin / 12000)));
        EXPECT_EQ(w.FMaxBin, static_cast<int>(std::floor(0.5 + 1024.0 * c.fmax / 12000)));
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
    w.SRate.UserType("4096"); // half a hertz, without a leading zero
    w.PeakBin = 1;
    w.CFToPeak.Click();
    EXPECT_EQ(w.CF.Text(), ".5");
}

TEST_F(FrequencyPlan, BandwidthAndGuardBand)
{
    Parlune& w = Load();
    for (auto [gb, factor, shown] : {std::tuple(0, 0.0, "0"), std::tuple(20, 2.0, "400"), std::tuple(3, 0.3, "60")}) {
        w.GB.DragTo(gb); // shown in Hz for the 200 Hz band
        EXPECT_DOUBLE_EQ(w.GuardFactor, factor) << gb;
        EXPECT_EQ(w.ShowGB.Text(), shown) << gb;
    }
    w.SigBWUD.DragTo(500);
    EXPECT_EQ(w.SigBW.Text(), "500");
    EXPECT_EQ(w.SigBWBins, 43);
    w.SRate.UserType("48000");
    w.SigBWUD.DragTo(1); // less than half a bin still counts as one
    EXPECT_EQ(w.SigBWBins, 1);
}

} // namespace
