// Signal and noise measurement and the bin-level histogram on hand-made spectra.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/Fault.h"
#include "engine/Histogram.h"
#include "engine/Measurement.h"

namespace {

// A flat spectrum of power 1 over bins 0 .. top with a few bins set.
std::vector<float> Flat(int top, std::initializer_list<std::pair<int, float>> set = {})
{
    std::vector<float> v(static_cast<std::size_t>(top) + 1, 1.0f);
    for (auto [k, p] : set) v[k] = p;
    return v;
}

Peak SearchAll(const std::vector<float>& s, int from, int to, const PeakRule& rule)
{
    Peak p;
    for (int k = from; k <= to; ++k) PeakStep(p, k, s[k], rule);
    return p;
}

} // namespace

TEST(PeakSearch, StrictInRangeAndOptionallyInBand)
{
    const auto s = Flat(400, {{120, 9}, {150, 9}, {106, 20}, {95, 5}, {300, 50}});
    struct Case {
        PeakRule rule;
        int from, to;
        int bin;
        double power;
    } cases[] = {
        {{100, 10, false}, 110, 200, 120, 9},  // equal maxima: the lower bin
        {{100, 10, false}, 100, 400, 300, 50}, // interferer wins without the restriction
        {{100, 10, true}, 0, 400, 95, 5},      // 95 .. 105 only: 106 and 300 are outside
        {{100, 13, true}, 0, 400, 106, 20},    // half width 6.5 reaches 106
        {{100, 10, true}, 200, 250, 0, 0},     // nothing allowed: peak stays 0
    };
    for (const auto& c : cases) {
        const Peak p = SearchAll(s, c.from, c.to, c.rule);
        EXPECT_EQ(p.PeakBin, c.bin) << "B " << c.rule.SigBWBins << " from " << c.from;
        EXPECT_EQ(p.PeakPower, c.power);
    }
    // All zero: no bin has a positive power.
    const std::vector<float> zero(50, 0.0f);
    EXPECT_EQ(SearchAll(zero, 0, 49, {}).PeakBin, 0);
}

TEST(BandSums, GuardHalfBandwidthTenExcludesTenBinsEachSide)
{
    // Range 100 .. 300, peak 200, B = 10, G = 0.5: noise below 190 and above
    // 210, signal 195 .. 205.
    const auto s = Flat(400, {{200, 50}, {190, 1000}, {210, 1000}, {189, 3}, {211, 3}, {195, 2}, {205, 2}, {194, 7}});
    const BandSums b = SumBands(s.data(), 100, 300, 200, 10, 0.5);
    EXPECT_DOUBLE_EQ(b.NoisePower, 178 + 3 + 3);                 // 180 bins, two of them 3
    EXPECT_DOUBLE_EQ(b.SigPower, 8 + 50 + 2 + 2);                // 11 bins
    EXPECT_DOUBLE_EQ(NoiseBinCount(100, 300, 10, 0.5), 185);     // 200 - 15
    const BandSums per = PerBin(b, 185, 10);
    EXPECT_DOUBLE_EQ(per.NoisePower, 184.0 / 185);
    EXPECT_DOUBLE_EQ(per.SigPower, 6.2);

    // Centred on the peak, not on the centre frequency; odd width 11 -> +-5.5.
    const BandSums odd = SumBands(s.data(), 100, 300, 150, 11, 0);
    EXPECT_DOUBLE_EQ(odd.SigPower, 11);
    EXPECT_DOUBLE_EQ(odd.NoisePower, 201 - 11 + 49 + 1998 + 4 + 2 + 6);
}

TEST(BandSums, NoNoiseAndTooFewNoiseBins)
{
    // Range narrower than band plus guards around the peak.
    const auto s = Flat(100);
    const BandSums narrow = SumBands(s.data(), 40, 60, 50, 10, 0.5);
    EXPECT_TRUE(NoNoise(narrow));
    EXPECT_FALSE(NoNoise(SumBands(s.data(), 40, 61, 50, 10, 0.5)));

    // Noise exists beyond the guard, yet the count is below 1.
    const BandSums edge = SumBands(s.data(), 0, 40, 0, 30, 0.5);
    EXPECT_FALSE(NoNoise(edge));
    EXPECT_TRUE(NoiseCountTooSmall(NoiseBinCount(0, 40, 30, 0.5))); // 40 - 45
    EXPECT_FALSE(NoiseCountTooSmall(NoiseBinCount(0, 46, 30, 0.5)));

    EXPECT_EQ(ResetSigBWBins(8192, 12000), 68);  // 68.27
    EXPECT_EQ(ResetSigBWBins(1024, 48000), 2);   // 2.13
    EXPECT_THROW(ResetSigBWBins(8192, 0), Fault);
}

TEST(Histogram, CellsClampAndRoundHalfToEven)
{
    struct {
        double tenths;
        int cell;
    } cases[] = {{372.5, 372}, {373.5, 374}, {372.4999, 372}, {1700, 1600}, {1600.4, 1600}, {-20, 0}, {0.5, 0}, {1.5, 2}};
    for (auto c : cases) EXPECT_EQ(HistCellOfTenths(c.tenths), c.cell) << c.tenths;

    EXPECT_EQ(HistCell(1e17), 1600);             // 170 dB
    EXPECT_EQ(HistCell(1e-3), 0);                // -30 dB
    EXPECT_EQ(HistCell(std::pow(10.0, 3.725) * 1.0000001), 373); // just over 37.25 dB
    EXPECT_THROW(HistCell(0), Fault);

    std::vector<std::int32_t> h(kHistTop + 1, 7);
    ClearHist(h.data());
    EXPECT_EQ(std::count(h.begin(), h.end(), 0), kHistTop + 1);

    const std::vector<float> s{1e3f, 1e3f, 1e5f, 0.0f};
    FillHist(s.data(), 0, 2, h.data());
    EXPECT_EQ(h[300], 2);
    EXPECT_EQ(h[500], 1);
    EXPECT_THROW(FillHist(s.data(), 0, 3, h.data()), Fault); // a silent bin ends the run
}

TEST(Histogram, StatisticalCellIsTheLowerQuartile)
{
    std::vector<std::int32_t> h(kHistTop + 1, 0);
    // Range of 1000 bins: target 250, reached at cell 312.
    h[100] = 249;
    h[312] = 1;
    h[900] = 751;
    EXPECT_EQ(StatNoiseCell(h.data(), 0, 1000), 312);
    EXPECT_DOUBLE_EQ(StatNoiseDbOfCell(312), 34.2);
    // One count fewer: the total first reaches 250 at cell 900.
    h[100] = 248;
    EXPECT_EQ(StatNoiseCell(h.data(), 0, 1000), 900);
    // Never reached.
    std::vector<std::int32_t> empty(kHistTop + 1, 0);
    EXPECT_EQ(StatNoiseCell(empty.data(), 0, 1000), 1601);
    // Target rounded half to even: 10/4 = 2.5 -> 2, 14/4 = 3.5 -> 4.
    empty[5] = 2;
    empty[6] = 2;
    EXPECT_EQ(StatNoiseCell(empty.data(), 0, 10), 5);
    EXPECT_EQ(StatNoiseCell(empty.data(), 0, 14), 6);
    // Target 0 (one-bin range): the first cell.
    EXPECT_EQ(StatNoiseCell(empty.data(), 7, 8), 0);
}

TEST(NoiseLevels, StatisticalAndPeakLevels)
{
    EXPECT_EQ(StatLevelOf(34.5, 0), 34);  // half to even
    EXPECT_EQ(StatLevelOf(35.5, 0), 36);
    EXPECT_EQ(StatLevelOf(34.2, 40), -6);
    EXPECT_EQ(StatLevelOf(0, 40), 0);
    EXPECT_DOUBLE_EQ(StatNoisePower(-6, 40), std::pow(10.0, 3.4));
    EXPECT_NEAR(PeakLevelOf(1e5, 40), 10.0, 1e-6);
    EXPECT_EQ(PeakLevelOf(0, 40), 0);

    EXPECT_TRUE(PeakInBand(100, 105, 10));
    EXPECT_TRUE(PeakInBand(100, 95, 11));
    EXPECT_FALSE(PeakInBand(100, 106, 11));
    EXPECT_FALSE(PeakInBand(100, 94, 11));
}

TEST(SignalToNoise, FiguresAndFaults)
{
    // S = 50 Hz, signal 100, noise 1 per bin: 10 log10(5000); bin: 34 x 100 / 2.
    const SNFigures f = SignalToNoise(100, 1, 50, 34, 2, -99);
    EXPECT_NEAR(f.SN1HzDb, 36.9897, 1e-4);
    EXPECT_NEAR(f.SNBinDb, 32.3045, 1e-4);
    EXPECT_NEAR(SN2500HzDb(f.SN1HzDb), 3.0097, 1e-4);
    EXPECT_DOUBLE_EQ(SN2500HzDb(33.98), 0.0);
    EXPECT_THROW(SignalToNoise(0, 1, 50, 34, 2, 0), Fault);   // log of 0
    EXPECT_THROW(SignalToNoise(100, 1, 0, 34, 2, 0), Fault);  // bandwidth text reads 0
}
