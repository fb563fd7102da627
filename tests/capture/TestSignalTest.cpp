// The built-in test signals: calibration (tone amplitude and noise level
// against their nominal values), drift, and real-time delivery through waveIn.
#include <QElapsedTimer>
#include <QTimer>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

#include "capture/InputBackend.h"
#include "capture/TestSignal.h"
#include "capture/WaitForBuffer.h"
#include "capture/WaveIn.h"
#include "support/ToneMeasure.h"

namespace {

constexpr int kBlock = 8192;

struct Measured {
    double amplitude, sigma;
};

// Mean tone power and noise power over `blocks` consecutive blocks.
Measured Measure(TestSignalGenerator& gen, std::int64_t first, int blocks, double rate)
{
    double a2 = 0, s2 = 0;
    std::vector<std::int16_t> frames(2 * kBlock);
    for (int b = 0; b < blocks; ++b) {
        gen.Generate(first + std::int64_t{b} * kBlock, frames.data(), kBlock, 2);
        const ToneFit fit = MeasureTone(Channel(frames.data(), kBlock, 2, 0), rate);
        a2 += fit.amplitude * fit.amplitude;
        s2 += fit.noiseSigma * fit.noiseSigma;
    }
    return {std::sqrt(a2 / blocks), std::sqrt(s2 / blocks)};
}

TEST(TestSignal, ToneAndNoiseMatchTheirNominalLevels)
{
    for (const TestSignalKind& kind : kTestSignals)
        for (const std::uint32_t rate : {8000u, 11025u, 12000u, 48000u}) {
            SCOPED_TRACE(std::string(kind.name) + " at " + std::to_string(rate) + " Hz");
            TestSignalGenerator gen(kind, rate);
            const double nominal = 1000 * std::sqrt(10000.0 / rate) * std::pow(10.0, kind.snrDb / 20);
            EXPECT_NEAR(gen.ToneAmplitude(), nominal, 1e-9 * nominal);
            const Measured m = Measure(gen, 0, 8, rate);
            EXPECT_NEAR(RatioDb(m.amplitude, nominal), 0, 0.2);
            EXPECT_NEAR(RatioDb(m.sigma, kTestNoiseSigma), 0, 0.2);
        }
}

TEST(TestSignal, BothChannelsCarryTheSameSamples)
{
    TestSignalGenerator gen(kTestSignals[1], 12000);
    std::vector<std::int16_t> frames(2 * 4096);
    gen.Generate(0, frames.data(), 4096, 2);
    int differing = 0;
    for (int i = 0; i < 4096; ++i)
        differing += frames[2 * i] != frames[2 * i + 1];
    EXPECT_EQ(differing, 0);
}

TEST(TestSignal, SteadyToneStaysAt1000HzAndDriftingOneSwingsBy20Hz)
{
    const double rate = 12000, bin = rate / kBlock;
    struct Case {
        const TestSignalKind& kind;
        double seconds, expectHz;
    } cases[] = {
        {kTestSignals[0], 0, 1000}, {kTestSignals[0], 15, 1000}, {kTestSignals[1], 0, 1000},
        {kTestSignals[1], 15, 1020}, {kTestSignals[1], 45, 980}, {kTestSignals[1], 3600 + 15, 1020},
    };
    std::vector<std::int16_t> frames(2 * kBlock);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind.name) + " at " + std::to_string(c.seconds) + " s");
        TestSignalGenerator gen(c.kind, static_cast<std::uint32_t>(rate));
        // Centre the block on the moment of interest.
        const auto first = static_cast<std::int64_t>(c.seconds * rate) - kBlock / 2;
        gen.Generate(std::max<std::int64_t>(first, 0), frames.data(), kBlock, 2);
        EXPECT_NEAR(MeasureTone(Channel(frames.data(), kBlock, 2, 0), rate).peakHz, c.expectHz, 1.5 * bin);
        EXPECT_NEAR(gen.FrequencyAt(c.seconds), c.expectHz, 1e-6);
    }
}

class TestSignalDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        BackendList list;
        AppendTestSignals(list);
        SetBackendsForTest(list);
        WAVEFORMATEX f;
        f.wFormatTag = WAVE_FORMAT_PCM;
        f.nChannels = 2;
        f.nSamplesPerSec = 12000;
        f.nAvgBytesPerSec = 48000;
        f.nBlockAlign = 4;
        f.wBitsPerSample = 16;
        ASSERT_EQ(waveInOpen(&h, 0, &f, 0, 0, 0), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
    }
    void TearDown() override
    {
        waveInReset(h);
        waveInClose(h);
        ResetBackends();
    }
    void Queue(int frames)
    {
        buf.assign(2 * static_cast<std::size_t>(frames), 0);
        hdr = WAVEHDR{};
        hdr.lpData = reinterpret_cast<char*>(buf.data());
        hdr.dwBufferLength = static_cast<std::uint32_t>(4 * frames);
        waveInPrepareHeader(h, &hdr, 32);
        waveInAddBuffer(h, &hdr, 32);
    }
    HWAVEIN h = 0;
    std::vector<std::int16_t> buf;
    WAVEHDR hdr;
};

TEST_F(TestSignalDevice, BlocksComeInRealTimeAndCarryTheTone)
{
    for (int block = 0; block < 2; ++block) {
        SCOPED_TRACE(block);
        Queue(kBlock / 2);
        QElapsedTimer clock;
        clock.start();
        WaitForBuffer(hdr, h);
        // Never ahead of real time: 4096 frames at 12000 Hz take 341 ms.
        EXPECT_GE(clock.nsecsElapsed(), 341'000'000 - 1'000'000);
        ASSERT_EQ(hdr.dwBytesRecorded, hdr.dwBufferLength);
        const ToneFit fit = MeasureTone(Channel(buf.data(), kBlock / 2, 2, 1), 12000);
        EXPECT_NEAR(fit.peakHz, 1000, 12000.0 / (kBlock / 2));
        EXPECT_NEAR(RatioDb(fit.amplitude, TestSignalGenerator(kTestSignals[0], 12000).ToneAmplitude()), 0, 1.0);
    }
}

TEST_F(TestSignalDevice, ResetDuringTheWaitReturnsWhatArrivedSoFar)
{
    Queue(kBlock); // 683 ms
    QTimer::singleShot(250, [this] { waveInReset(h); });
    WaitForBuffer(hdr, h);
    EXPECT_TRUE(hdr.dwFlags & WHDR_DONE);
    EXPECT_GT(hdr.dwBytesRecorded, 0u);
    EXPECT_LT(hdr.dwBytesRecorded, hdr.dwBufferLength);
    EXPECT_EQ(hdr.dwBytesRecorded % 4, 0u);
}

} // namespace
