// Window tables and spectrum accumulation: block power, ring mean, bin loop.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include "engine/Averaging.h"
#include "engine/Fault.h"
#include "engine/Fft.h"
#include "engine/Measurement.h"
#include "engine/RunSizes.h"
#include "engine/Windows.h"

namespace {

class Spectrum : public ::testing::Test {
protected:
    // A ring for the largest size, cleared for each test.
    SpecRing& Ring()
    {
        ring_.Resize(kMaxNFFT / 2);
        return ring_;
    }
    SpecRing ring_;
};

TEST_F(Spectrum, WindowValuesAndBandwidthsAt1024)
{
    // Tolerance half a unit of the last given digit (at least a float step near 1).
    const struct { std::int16_t position; double at0, tol0, at256, tol256, at512, tol512, enbw; } rows[] = {
        {0, 0.08, 5e-3, 0.54, 5e-3, 1, 0, 1.37},                          // Hamming
        {1, 0.00006, 5e-6, 0.21747, 5e-6, 1, 0, 2.04},                    // Blackman Harris
        {2, 0, 0, 0.5, 0, 1, 0, 1.5},                                     // Hanning
        {3, -0.000337, 5e-7, -0.0575664, 5e-8, 1.0000003, 1.2e-7, 3.811}, // flat top
        {4, 0.5, 0, 0.5, 0, 0.5, 0, 1},                                   // "No Window": exactly 1
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.position);
        const WindowTable w = *MakeWindow(r.position, 1024);
        ASSERT_EQ(w.Coef.size(), 1024u);
        EXPECT_NEAR(w.Coef[0], r.at0, r.tol0);
        EXPECT_NEAR(w.Coef[256], r.at256, r.tol256);
        EXPECT_NEAR(w.Coef[512], r.at512, r.tol512);
        EXPECT_EQ(w.Enbw, r.enbw);
        EXPECT_EQ(WindowEnbw(r.position), r.enbw);
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

TEST_F(Spectrum, BlockPowerQuarterAfterAClearedRingAnd6dBPerDoubling)
{
    SpecRing& ring = Ring();
    StoreTone(ring, 1024, 100, 1000, 0);
    const double expected = std::pow(1000.0 * 1024 / 4, 2); // Hann: (A x NFFT / 4)^2
    EXPECT_NEAR(ring(100, 0), expected, 1e-3 * expected);
    EXPECT_EQ(std::pair(BinMean(ring, 100, 4), BinMean(ring, 100, 1)), std::pair(ring(100, 0) / 4, ring(100, 0)));
    EXPECT_NO_THROW(BinMean(ring, 0, kMaxAvg));
    EXPECT_THROW(BinMean(ring, 0, 65), Fault);

    // re^2 + im^2 in double: 4097^2 + 1 is exact in float, float squares lose the 2.
    // Bins 0 .. n/2 - 1 only; a one-point block stores nothing.
    const float buf[9] = {0, 4097, 1, 3, -4};
    ring(2, 5) = 7;
    StoreBlockPower(buf, 4, ring, 5);
    EXPECT_NO_THROW(StoreBlockPower(buf, 1, ring, 5));
    EXPECT_EQ(std::tuple(ring(0, 5), ring(1, 5), ring(2, 5)), std::tuple(16785410.0f, 25.0f, 7.0f));

    StoreTone(ring, 4096, 333, 500, 0);
    StoreTone(ring, 4096, 333, 1000, 1);
    EXPECT_NEAR(BinLevel(ring(333, 1)) - BinLevel(ring(333, 0)), 6.0206, 2e-3);
}

TEST_F(Spectrum, SinglePrecisionSumsAndASingleBinLoop)
{
    SpecRing& ring = Ring();
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

} // namespace
