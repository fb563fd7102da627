// The built-in test signals: calibration against their nominal levels, drift, and real-time delivery through waveIn.
#include <gtest/gtest.h>

#include "capture/TestSignal.h"
#include "support/ToneMeasure.h"
#include "support/WaveBlock.h"

namespace {

constexpr int kBlock = 8192;

TEST(TestSignal, ToneAndNoiseAreWithinAFifthOfADecibelOfNominalOnBothChannels)
{
    std::vector<std::int16_t> frames(2 * kBlock);
    for (const TestSignalKind& kind : kTestSignals)
        for (const std::uint32_t rate : {8000u, 11025u, 12000u, 48000u}) {
            SCOPED_TRACE(std::string(kind.name) + " at " + std::to_string(rate) + " Hz");
            TestSignalGenerator gen(kind, rate);
            const double nominal = 1000 * std::sqrt(10000.0 / rate) * std::pow(10.0, kind.snrDb / 20);
            double a2 = 0, s2 = 0; // mean powers over 8 blocks
            for (int b = 0; b < 8; ++b) {
                gen.Generate(std::int64_t{b} * kBlock, frames.data(), kBlock, 2);
                for (int i = 0; i < kBlock; ++i) ASSERT_EQ(frames[2 * i], frames[2 * i + 1]) << "frame " << i;
                const ToneFit fit = MeasureTone(frames.data(), kBlock, rate);
                a2 += fit.amplitude * fit.amplitude / 8;
                s2 += fit.noiseSigma * fit.noiseSigma / 8;
            }
            EXPECT_NEAR(RatioDb(std::sqrt(a2), nominal), 0, 0.2);
            EXPECT_NEAR(RatioDb(std::sqrt(s2), kTestNoiseSigma), 0, 0.2);
        }
}

TEST(TestSignal, SteadyToneStaysAt1000HzAndDriftingOneSwingsBy20Hz)
{
    const double rate = 12000;
    struct Case { const TestSignalKind& kind; double seconds, expectHz; } cases[] = {
        {kTestSignals[0], 15, 1000}, {kTestSignals[1], 0, 1000}, {kTestSignals[1], 15, 1020},
        {kTestSignals[1], 45, 980},  {kTestSignals[1], 3600 + 15, 1020},
    };
    std::vector<std::int16_t> frames(2 * kBlock);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind.name) + " at " + std::to_string(c.seconds) + " s");
        TestSignalGenerator gen(c.kind, static_cast<std::uint32_t>(rate));
        // The block centred on the moment of interest.
        gen.Generate(std::max<std::int64_t>(std::int64_t(c.seconds * rate) - kBlock / 2, 0), frames.data(), kBlock, 2);
        EXPECT_NEAR(MeasureTone(frames.data(), kBlock, rate).peakHz, c.expectHz, 1.5 * rate / kBlock);
    }
}

// The tone's level through waveIn is checked by the runs on the test signal.
TEST(TestSignal, BlocksThroughWaveInAreNotAheadOfRealTime)
{
    ResetBackends(); // the real list: the audio server's inputs, if any, then the test signals
    const auto first = static_cast<std::uint32_t>(waveInGetNumDevs() - std::size(kTestSignals));
    EXPECT_EQ(waveInFullName(first), kTestSignals[0].name);
    HWAVEIN h = 0;
    const WAVEFORMATEX f = Stereo16();
    ASSERT_EQ(waveInOpen(&h, first, &f, 0, 0, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
    WaveBlock blk;
    for (int block = 0; block < 2; ++block) {
        EXPECT_GE(blk.Capture(h, kBlock / 2), 0.340) << "4096 frames at 12000 Hz take 341 ms";
        EXPECT_EQ(blk.hdr.dwBytesRecorded, blk.hdr.dwBufferLength);
    }
    waveInClose(h);
    ResetBackends();
}

} // namespace
