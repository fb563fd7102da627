// Whole blocks through the measurement chain: tone, interferer, silence and
// the two bandwidth-reset cases.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "engine/BlockChain.h"
#include "engine/Fault.h"
#include "engine/Windows.h"
#include "support/ToneNoise.h"

namespace {

constexpr std::int32_t kN = 8192;

// 12000 Hz, 8192 points, Blackman Harris, span 20 .. 5000 Hz, centre 1000 Hz
// (bin 682, truncated), bandwidth 100 Hz, guard 0.5.
ChainParams Defaults()
{
    ChainParams p;
    p.SampleRate = 12000;
    p.NFFT = kN;
    p.FMinBin = 14;
    p.FMaxBin = 3413;
    p.CFBin = 682;
    p.SigBWBins = 68;
    p.SigBWHz = 100;
    p.GuardFactor = 0.5;
    p.NAvg = 1;
    p.WindENBW = 2.04;
    return p;
}

class BlockChainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        NFFT = kN;
        double enbw = 0;
        SelectWindow(1, enbw);
        ASSERT_EQ(enbw, 2.04);
        StartChain(*s, kN);
    }
    static std::unique_ptr<ChainState> s;
    static void SetUpTestSuite() { s = std::make_unique<ChainState>(); }
    static void TearDownTestSuite() { s.reset(); }
};
std::unique_ptr<ChainState> BlockChainTest::s;

std::vector<std::int16_t> Tone(double snr, std::uint32_t seed = 1)
{
    ToneNoise t;
    t.Snr2500Db = snr;
    t.Seed = seed;
    return t.Stereo16(kN);
}

void AddTone(std::vector<std::int16_t>& frames, double hz, double amplitude)
{
    for (std::size_t i = 0; i < frames.size() / 2; ++i) {
        const double v = frames[2 * i] + amplitude * std::sin(2 * M_PI * hz * static_cast<double>(i) / 12000);
        frames[2 * i] = frames[2 * i + 1] = static_cast<std::int16_t>(std::lround(v));
    }
}

} // namespace

TEST_F(BlockChainTest, ToneInBandGivesResultsAndTracks)
{
    ChainParams p = Defaults();
    p.TrackSig = true;
    p.NAvg = 4;
    const auto frames = Tone(20);
    const BlockResult r = RunBlock(frames.data(), p, *s);
    EXPECT_EQ(r.End, BlockEnd::Measured);
    EXPECT_EQ(r.PeakAt.PeakBin, 683);
    EXPECT_NEAR(r.PeakHz, 1000.488, 1e-3);
    ASSERT_TRUE(r.InBand);
    EXPECT_NEAR(SN2500HzDb(r.SN1HzDb), 20, 1.5); // one block's noise estimate
    EXPECT_NEAR(r.SNBinDb - r.SN1HzDb, 10 * std::log10(68 / (2.04 * 100)), 1e-9); // B / (ENBW x S)
    EXPECT_EQ(p.CFBin, 683);  // moved onto the peak
    EXPECT_EQ(s->Slot, 1);
    EXPECT_GT(r.InMax, 1000);
    EXPECT_NEAR(s->InLevelDb, 20 * std::log10(r.InMax), 1e-6);
}

TEST_F(BlockChainTest, InterfererOutsideTheBandMeansNoResults)
{
    ChainParams p = Defaults();
    auto frames = Tone(20);
    AddTone(frames, 3000, 8000);
    s->SN1HzDb = -7;
    const BlockResult r = RunBlock(frames.data(), p, *s);
    EXPECT_EQ(r.PeakAt.PeakBin, 2048);
    EXPECT_FALSE(r.InBand);
    EXPECT_EQ(r.SN1HzDb, -7);  // kept
    EXPECT_EQ(p.CFBin, 682);

    // Searching only in the band finds the wanted tone.
    p.PeakInSigBand = true;
    const BlockResult in = RunBlock(frames.data(), p, *s);
    EXPECT_EQ(in.PeakAt.PeakBin, 683);
    EXPECT_TRUE(in.InBand);
}

TEST_F(BlockChainTest, BandwidthResets)
{
    const auto frames = Tone(20);
    // Range narrower than band and guards: the run ends, bandwidth 100 Hz.
    ChainParams p = Defaults();
    p.FMinBin = 660;
    p.FMaxBin = 705;
    p.SigBWBins = 40;
    p.SigBWHz = 58.6;
    EXPECT_EQ(RunBlock(frames.data(), p, *s).End, BlockEnd::NoNoise);
    EXPECT_EQ(p.SigBWBins, 68);
    EXPECT_EQ(p.SigBWHz, 100);
    EXPECT_EQ(s->Slot, 0); // the block was not finished

    // Noise beyond the guard but a count below 1: reset, block goes on.
    p = Defaults();
    p.FMinBin = 680;
    p.FMaxBin = 739;
    p.SigBWBins = 40;
    const BlockResult r = RunBlock(frames.data(), p, *s);
    EXPECT_EQ(r.End, BlockEnd::Measured);
    EXPECT_TRUE(r.BandwidthReset);
    EXPECT_EQ(p.SigBWBins, 68);
    EXPECT_GT(r.MeasuredNoisePower, 0);
}

TEST_F(BlockChainTest, SilenceFaultsOnceTheRingHoldsOnlySilence)
{
    ChainParams p = Defaults();
    p.NAvg = 2;
    const auto tone = Tone(20);
    const std::vector<std::int16_t> silence(2 * kN, 0);
    RunBlock(tone.data(), p, *s);
    const double level = s->InLevelDb;
    EXPECT_NO_THROW(RunBlock(silence.data(), p, *s)); // the tone block still in the mean
    EXPECT_EQ(s->InLevelDb, level);
    EXPECT_THROW(RunBlock(silence.data(), p, *s), Fault);
}

TEST_F(BlockChainTest, StatisticalNoiseLiesBelowTheMeasuredMean)
{
    ChainParams p = Defaults();
    p.UseStatNoise = true;
    p.DispThresh = 10;
    const auto frames = Tone(20);
    const BlockResult r = RunBlock(frames.data(), p, *s);
    EXPECT_DOUBLE_EQ(s->StatNoiseDb, r.StatCell / 10.0 + 3);
    EXPECT_NEAR(r.NoiseLevel, s->StatLevel, 1e-9);  // whole dB above the threshold
    // Lower quartile + 3 dB of exponentially spread bin powers: about 2.4 dB
    // under the mean.
    const double measured = 10 * std::log10(r.MeasuredNoisePower) - p.DispThresh;
    EXPECT_GT(measured - r.NoiseLevel, 0.5);
    EXPECT_LT(measured - r.NoiseLevel, 4.5);
}
