#include <cmath>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include "engine/Averaging.h"
#include "engine/Fault.h"
#include "engine/Fft.h"
#include "engine/Shared.h"
#include "engine/Windows.h"

namespace {

// One ring for the whole suite: it is large (bins 0 .. 262144 by 64 slots).
SpecRing& Ring()
{
    static SpecRing ring;
    return ring;
}

void ClearSlots(std::int32_t bins)
{
    for (std::int32_t k = 0; k < bins; ++k)
        for (std::int32_t s = 0; s <= SpecRing::kSlotTop; ++s)
            Ring()(k, s) = 0;
}

// A Hann-windowed tone at the centre of bin `bin`, transformed.
std::vector<float> ToneSpectrum(std::int32_t n, std::int32_t bin, double amplitude)
{
    NFFT = n;
    WinHanning();
    std::vector<float> buf(2 * static_cast<std::size_t>(n) + 1);
    for (std::int32_t k = 0; k < n; ++k) {
        const double s = amplitude * std::cos(2 * std::numbers::pi * bin * k / n);
        buf[2 * k + 1] = static_cast<float>(std::round(s) * WindFn[k]);
        buf[2 * k + 2] = 0;
    }
    DoFFT(buf.data(), n);
    NFFT = 0;
    return buf;
}

TEST(Averaging, RingFillsFromAClearedStart)
{
    const std::int32_t n = 1024, bin = 100;
    ClearSlots(n / 2);
    std::vector<float> blockPower;
    for (std::int32_t slot = 0; slot < 4; ++slot) {
        const auto spec = ToneSpectrum(n, bin, 1000.0 * (slot + 1));
        StoreBlockPower(spec.data(), n, Ring(), slot);
        blockPower.push_back(Ring()(bin, slot));
        if (slot == 0) {
            EXPECT_FLOAT_EQ(BinMean(Ring(), bin, 4), blockPower[0] / 4);
        }
    }
    EXPECT_FLOAT_EQ(BinMean(Ring(), bin, 4),
                    (blockPower[0] + blockPower[1] + blockPower[2] + blockPower[3]) / 4);
    EXPECT_FLOAT_EQ(BinMean(Ring(), bin, 1), blockPower[0]);
    // The tone's bin power is (amplitude x NFFT / 4)^2 for a Hann window.
    EXPECT_NEAR(blockPower[0], std::pow(1000.0 * n / 4, 2), 1e-3 * std::pow(1000.0 * n / 4, 2));
}

TEST(Averaging, DoubledAmplitudeRaisesTheLevelBy6dB)
{
    const std::int32_t n = 4096, bin = 333;
    ClearSlots(n / 2);
    StoreBlockPower(ToneSpectrum(n, bin, 500).data(), n, Ring(), 0);
    StoreBlockPower(ToneSpectrum(n, bin, 1000).data(), n, Ring(), 1);
    const double rise = BinLevel(Ring()(bin, 1)) - BinLevel(Ring()(bin, 0));
    EXPECT_NEAR(rise, 20 * std::log10(2.0), 2e-3);
}

TEST(Averaging, PowerIsSquaredInDoublePrecision)
{
    std::vector<float> buf(2 * 4 + 1, 0);
    buf[1] = 4097; // 4097^2 + 1^2 = 16785410, exact in float; float squaring gives 16785408
    buf[2] = 1;
    buf[3] = 3;
    buf[4] = -4;
    StoreBlockPower(buf.data(), 4, Ring(), 5);
    EXPECT_EQ(Ring()(0, 5), 16785410.0f);
    EXPECT_EQ(Ring()(1, 5), 25.0f);
}

TEST(Averaging, MeanReadsOneBinWithSinglePrecisionSums)
{
    const std::int32_t k = 7;
    ClearSlots(16);
    Ring()(k, 0) = 1e8f;
    Ring()(k, 1) = Ring()(k, 2) = Ring()(k, 3) = 3; // each lost against 1e8 in float
    for (std::int32_t s = 0; s < 4; ++s)
        Ring()(k - 1, s) = Ring()(k + 1, s) = 5e9f; // neighbours must not leak in
    Ring()(k, 4) = 1e9f;                            // beyond NAvg: not read
    EXPECT_EQ(BinMean(Ring(), k, 4), 2.5e7f);       // a double sum would give 25000002
    EXPECT_EQ(BinMean(Ring(), k, 1), 1e8f);
}

TEST(Averaging, LevelsAndBadArguments)
{
    EXPECT_NEAR(BinLevel(100), 20, 1e-8);
    EXPECT_NEAR(BinLevel(1e-3), -30, 1e-8);
    EXPECT_EQ(BinLevel(0), 0);
    EXPECT_EQ(BinLevel(-5), 0);
    EXPECT_EQ(BinLevel(std::nan("")), 0);

    EXPECT_THROW(BinMean(Ring(), 0, 0), Fault);
    EXPECT_THROW(BinMean(Ring(), 0, 65), Fault);
    EXPECT_THROW(BinMean(Ring(), 262145, 1), Fault);
    std::vector<float> buf(9, 0);
    EXPECT_THROW(StoreBlockPower(buf.data(), 4, Ring(), 64), Fault);
    EXPECT_THROW(StoreBlockPower(buf.data(), 4, Ring(), -1), Fault);
}

} // namespace
