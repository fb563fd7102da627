// Window tables, spectrum accumulation, signal and noise measurement, the bin-level histogram, block conversion and
// the result texts, on hand-made spectra and samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "engine/Averaging.h"
#include "engine/Conversion.h"
#include "engine/Fault.h"
#include "engine/Fft.h"
#include "engine/FrequencyPlan.h"
#include "engine/Histogram.h"
#include "engine/Measurement.h"
#include "engine/Results.h"
#include "engine/RunSizes.h"
#include "engine/Windows.h"

namespace {

TEST(Spectrum, WindowValuesAndBandwidthsAt1024)
{
    // Coefficients 0, 256 and 512, each within half a unit of its last given digit (at least a float step near 1).
    const struct { std::int16_t position; double at[3], tol[3], enbw; } rows[] = {
        {0, {0.08, 0.54, 1}, {5e-3, 5e-3, 0}, 1.37},                          // Hamming
        {1, {0.00006, 0.21747, 1}, {5e-6, 5e-6, 0}, 2.04},                    // Blackman Harris
        {2, {0, 0.5, 1}, {0, 0, 0}, 1.5},                                     // Hanning
        {3, {-0.000337, -0.0575664, 1.0000003}, {5e-7, 5e-8, 1.2e-7}, 3.811}, // flat top
        {4, {0.5, 0.5, 0.5}, {0, 0, 0}, 1},                                   // "No Window": exactly 1
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.position);
        const WindowTable w = *MakeWindow(r.position, 1024);
        ASSERT_EQ(w.Coef.size(), 1024u);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(w.Coef[256 * i], r.at[i], r.tol[i]) << 256 * i;
        EXPECT_TRUE(w.Enbw == r.enbw && WindowEnbw(r.position) == r.enbw);
        for (int i = 1; i < 512; i += 37) EXPECT_NEAR(w.Coef[1024 - i], w.Coef[i], 1e-6) << i; // periodic form
    }
    for (std::int16_t pos : {-1, 5}) // no list entry: no window
        EXPECT_EQ(std::pair(MakeWindow(pos, 1024).has_value(), WindowEnbw(pos).has_value()), std::pair(false, false));
}

// Power of a Hann-windowed tone at the centre of bin `bin` into ring slot `slot`.
void StoreTone(SpecRing& ring, std::int32_t n, std::int32_t bin, double amplitude, std::int32_t slot)
{
    const std::vector<float> hann = MakeWindow(2, n)->Coef;
    std::vector<float> buf(2 * static_cast<std::size_t>(n) + 1, 0.0f);
    for (std::int32_t k = 0; k < n; ++k)
        buf[2 * k + 1] = static_cast<float>(std::round(amplitude * std::cos(2 * std::numbers::pi * bin * k / n)) * hann[k]);
    DoFFT(buf.data(), n);
    StoreBlockPower(buf.data(), n, ring, slot);
}

// Block power, the ring's mean in single precision and the bin loop.
TEST(Spectrum, BlockPowerRingMeanAndBinLoop)
{
    SpecRing ring(kMaxNFFT / 2);
    StoreTone(ring, 1024, 100, 1000, 0);
    const double expected = std::pow(1000.0 * 1024 / 4, 2); // Hann: (A x NFFT / 4)^2
    EXPECT_NEAR(ring(100, 0), expected, 1e-3 * expected);
    EXPECT_EQ(std::pair(BinMean(ring, 100, 4), BinMean(ring, 100, 1)), std::pair(ring(100, 0) / 4, ring(100, 0)));
    EXPECT_NO_THROW(BinMean(ring, 0, kMaxAvg));
    EXPECT_THROW(BinMean(ring, 0, 65), Fault);

    // re^2 + im^2 in double: 4097^2 + 1 is exact in float, float squares lose the 2. Bins 0 .. n/2 - 1 only; a
    // one-point block stores nothing.
    const float buf[9] = {0, 4097, 1, 3, -4};
    ring(2, 5) = 7;
    StoreBlockPower(buf, 4, ring, 5);
    EXPECT_NO_THROW(StoreBlockPower(buf, 1, ring, 5));
    EXPECT_EQ(std::tuple(ring(0, 5), ring(1, 5), ring(2, 5)), std::tuple(16785410.0f, 25.0f, 7.0f));

    StoreTone(ring, 4096, 333, 500, 0);
    StoreTone(ring, 4096, 333, 1000, 1);
    EXPECT_NEAR(BinLevel(ring(333, 1)) - BinLevel(ring(333, 0)), 6.0206, 2e-3); // 6 dB per doubling

    ring(7, 0) = 1e8f;
    ring(7, 1) = ring(7, 2) = ring(7, 3) = 3; // each lost against 1e8 in float
    ring(7, 4) = 1e9f;                        // beyond NAvg: not read
    EXPECT_EQ(BinMean(ring, 7, 4), 2.5e7f);   // a double sum would give 25000002

    // FMinBin == FMaxBin: only that bin is averaged, searched and levelled; neighbours stay out.
    ring(5, 0) = 8, ring(5, 1) = 4, ring(4, 0) = ring(6, 0) = 100;
    std::vector<float> av(8, -1);
    std::vector<double> level(8, -1);
    const Peak p = BinLoop(ring, 2, 5, 5, {}, av.data(), level.data());
    EXPECT_EQ(std::pair(p.PeakBin, p.PeakPower), std::pair(5, 6.0));
    EXPECT_EQ(av, (std::vector<float>{-1, -1, -1, -1, -1, 6, -1, -1}));
    EXPECT_NEAR(level[5], 10 * std::log10(6.0), 1e-6);
    EXPECT_TRUE(level[4] == -1 && level[6] == -1);
}

// A flat spectrum of power 1 over bins 0 .. top with a few bins set.
std::vector<float> Flat(int top, std::initializer_list<std::pair<int, float>> set = {})
{
    std::vector<float> v(static_cast<std::size_t>(top) + 1, 1.0f);
    for (auto [k, p] : set) v[k] = p;
    return v;
}

TEST(Measurement, PeakSearchAndBandSums)
{
    const auto s = Flat(400, {{120, 9}, {150, 9}, {106, 20}, {95, 5}, {300, 50}});
    const struct { PeakRule rule; int from, to, bin; double power; } cases[] = {
        {{100, 10, false}, 110, 200, 120, 9},  // equal maxima: the lower bin
        {{100, 10, false}, 100, 400, 300, 50}, // interferer wins without the restriction
        {{100, 10, true}, 0, 400, 95, 5},      // 95 .. 105 only
        {{100, 13, true}, 0, 400, 106, 20},    // half width 6.5 reaches 106
        {{100, 10, true}, 200, 250, 0, 0},     // nothing allowed: peak stays 0
    };
    for (const auto& c : cases) {
        Peak p;
        for (int k = c.from; k <= c.to; ++k) PeakStep(p, k, s[k], c.rule);
        EXPECT_EQ(std::pair(p.PeakBin, p.PeakPower), std::pair(c.bin, c.power)) << c.from;
    }
    // An interferer outside the band gives no results.
    EXPECT_EQ(std::vector<bool>({PeakInBand(100, 300, 10), PeakInBand(100, 106, 11), PeakInBand(100, 95, 11)}),
              std::vector<bool>({false, false, true}));

    // Range 100 .. 300, peak 200, B = 10, G = 0.5: noise below 190 and above 210, signal 195 .. 205.
    const auto b = Flat(400, {{200, 50}, {190, 1000}, {210, 1000}, {189, 3}, {211, 3}, {195, 2}, {205, 2}, {194, 7}});
    const BandSums per = PerBin(SumBands(b.data(), 100, 300, 200, 10, 0.5), NoiseBinCount(100, 300, 10, 0.5), 10);
    EXPECT_DOUBLE_EQ(per.NoisePower, (178 + 3 + 3) / 185.0); // 185 = 200 - 15 noise bins
    EXPECT_DOUBLE_EQ(per.SigPower, (8 + 50 + 2 + 2) / 10.0);
    EXPECT_DOUBLE_EQ(SumBands(b.data(), 100, 300, 150, 11, 0).SigPower, 11); // +-5.5 around the peak

    const auto flat = Flat(100);
    // No noise where the range lies inside band and guards; noise beyond the guard, yet a count of 40 - 45.
    EXPECT_EQ(std::vector<bool>({NoNoise(SumBands(flat.data(), 40, 60, 50, 10, 0.5)), NoNoise(SumBands(flat.data(), 40, 61, 50, 10, 0.5)),
                                 NoNoise(SumBands(flat.data(), 0, 40, 0, 30, 0.5)), NoiseCountTooSmall(NoiseBinCount(0, 40, 30, 0.5)),
                                 NoiseCountTooSmall(NoiseBinCount(0, 46, 30, 0.5))}),
              std::vector<bool>({true, false, false, true, false}));
    EXPECT_THROW(ResetSigBWBins(8192, 0), Fault);
}

TEST(Measurement, HistogramAndStatisticalNoise)
{
    const struct { double tenths; int cell; } cases[] = {{372.5, 372}, {373.5, 374}, {1700, 1600}, {-20, 0}, {0.7, 1}};
    for (auto c : cases) EXPECT_EQ(HistCellOfTenths(c.tenths), c.cell) << c.tenths;
    EXPECT_EQ(HistCell(1e17), 1600); // 170 dB
    EXPECT_THROW(HistCell(0), Fault);

    std::vector<std::int32_t> h(kHistTop + 1, 7);
    ClearHist(h.data());
    const std::vector<float> s{1e3f, 1e3f, 1e5f, 0.0f};
    FillHist(s.data(), 0, 2, h.data());
    EXPECT_EQ(std::tuple(h[300], h[500], std::count(h.begin(), h.end(), 0)), std::tuple(2, 1, std::ptrdiff_t{kHistTop - 1}));
    EXPECT_THROW(FillHist(s.data(), 0, 3, h.data()), Fault); // a zero mean ends the run

    std::fill(h.begin(), h.end(), 0);
    h[100] = 249, h[312] = 1, h[900] = 751; // range of 1000 bins: target 250, reached at cell 312
    const int at312 = StatNoiseCell(h.data(), 0, 1000);
    h[100] = 248;
    EXPECT_EQ(std::pair(at312, StatNoiseCell(h.data(), 0, 1000)), std::pair(312, 900));
    EXPECT_DOUBLE_EQ(StatNoiseDbOfCell(312), 34.2);
    std::fill(h.begin(), h.end(), 0);
    EXPECT_EQ(StatNoiseCell(h.data(), 0, 1000), 1601); // never reached
    h[5] = h[6] = 2; // target half to even: 10 / 4 -> 2, 14 / 4 -> 4; the range's width counts
    EXPECT_EQ(std::tuple(StatNoiseCell(h.data(), 0, 10), StatNoiseCell(h.data(), 0, 14), StatNoiseCell(h.data(), 20, 34)),
              std::tuple(5, 6, 6));
    h[0] = 1;
    EXPECT_EQ(StatNoiseCell(h.data(), 0, 4), 0);

    // Half to even; no statistical level or power (0) gives 0, not a level below the threshold.
    EXPECT_EQ(std::tuple(StatLevelOf(34.5, 0), StatLevelOf(34.2, 40), StatLevelOf(0, 40), PeakLevelOf(0, 40), BinLevel(0)),
              std::tuple(34, -6, 0, 0.0, 0.0));
    EXPECT_DOUBLE_EQ(StatNoisePower(-6, 40), std::pow(10.0, 3.4));
    EXPECT_NEAR(PeakLevelOf(1e5, 40), 10.0, 1e-6);
    EXPECT_NEAR(PeakLevelOf(0.5, 0), -3.0103, 1e-4);
}

TEST(Measurement, SignalToNoiseFiguresFaultsAndCaptions)
{
    // S = 50 Hz, signal 100, noise 1 per bin: 10 log10(5000); bin: 34 x 100 / 2.
    const SNFigures f = SignalToNoise(100, 1, 50, 34, 2, -99);
    EXPECT_TRUE(std::abs(f.SN1HzDb - 36.9897) < 1e-4 && std::abs(f.SNBinDb - 32.3045) < 1e-4) << f.SN1HzDb << " " << f.SNBinDb;
    EXPECT_DOUBLE_EQ(SN2500HzDb(33.98), 0.0);
    EXPECT_THROW(SignalToNoise(0, 1, 50, 34, 2, 0), Fault);  // log of 0
    EXPECT_THROW(SignalToNoise(100, 1, 0, 34, 2, 0), Fault); // bandwidth text reads 0

    // Corrected: 50 x (101 - 1) / 1 = 5000 in 50 Hz; nothing when the band holds no more than noise.
    EXPECT_NEAR(CorrectedSN2500HzDb(101, 1, 50).value_or(-99), 36.9897 - 33.98, 1e-4);
    for (auto [sig, noise] : {std::pair{1.0, 1.0}, {0.5, 1.0}, {100.0, 0.0}, {0.0, 0.0}})
        EXPECT_FALSE(CorrectedSN2500HzDb(sig, noise, 50)) << sig << " / " << noise;

    // Captions with their blanks (the peak frequency, the centre text and the log line: the window's tests).
    const struct { std::string got, want; } captions[] = {
        {NoiseCaption(LevelAboveThreshold(std::pow(10.0, 5.5), 40)), "Noise    15.0dB"}, {PeakCaption(45.26), "Ampl     45.3dB "},
        {OffsetCaption(43, 40), "Offset  3dB"}, {OffsetCaption(35, 40), "Offset -5dB"},
        {SNBinCaption(12.345, 1.5, 12000, 8192), "S/N FFT Bin  12.3dB  (2.2Hz)"},
        {SN1HzCaption(53.98), "    ''     1Hz     54.0dB"}, {SN2500HzCaption(30), "    ''   2500Hz  -4.0dB   [JT]"},
        {RangeCaption(300), " 300Hz"}, {RangeCaption(-40), "-40Hz"}, {ClockText(26 * 3600 + 59), "26:00:59"},
    };
    for (const auto& c : captions) EXPECT_EQ(c.got, c.want);
    EXPECT_THROW(LevelAboveThreshold(0, 0), Fault);
}

TEST(Measurement, ConversionWindowSquareSwapAndExtremes)
{
    const std::int16_t in[6] = {100, -200, -32768, 32767, 3, 0};
    const float w[3] = {0.5f, 1.0f, 0.25f};
    const struct { bool squared, swapped; std::vector<float> out; } cases[] = { // 1-based, index 0 unused
        {false, false, {0, 50, 100, -32768, -32767, 0.75f, -0.0f}},
        {false, true, {0, 50, -100, -32768, 32767, 0.75f, 0}},
        {true, false, {0, 1.25f, -5, 268435.456f, -268419.072f, 0.0005625f, -0.0f}},
        {true, true, {0, 1.25f, 5, 268435.456f, 268419.072f, 0.0005625f, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "squared " << c.squared << " swapped " << c.swapped);
        std::vector<float> buf(8, 123.0f);
        const InputExtremes e = ConvertBlock(in, w, 3, c.squared, c.swapped, buf.data());
        for (int i = 1; i <= 6; ++i) EXPECT_FLOAT_EQ(buf[i], c.out[i]) << i;
        EXPECT_TRUE(buf[0] == 123.0f && buf[7] == 123.0f); // only 1 .. 2n written
        EXPECT_EQ(LargestSample(e), 32768);
    }
    float one[3];
    const float third = 1.0f / 3.0f; // squared input stays in single precision: a*w*a/4000
    ConvertBlock(std::vector<std::int16_t>{12345, 0}.data(), &third, 1, true, true, one);
    EXPECT_EQ(one[1], ((12345.0f * third) * 12345.0f) / 4000.0f);

    EXPECT_TRUE(std::abs(InputLevelDb(32768, 0) - 90.309) < 1e-3 && InputLevelDb(0, 42.5) == 42.5); // silence keeps the level
    EXPECT_EQ(std::vector<int>({InputLevelColour(16001), InputLevelColour(16000), InputLevelColour(8000)}),
              std::vector<int>({255, 255 + 256 * 128, 65536 * 255})); // red, orange, blue
}

} // namespace
