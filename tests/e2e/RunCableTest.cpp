// A whole measurement run through the real audio stack: a WAV of a 1000 Hz
// tone at S/N 20 dB (in 2500 Hz) is played into the `cable` sink, and the
// main window measures it from `cable_in` as a user would.
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <fstream>
#include <gtest/gtest.h>

#include "PulseServer.h"
#include "engine/Measurement.h"
#include "support/RunHarness.h"
#include "support/ToneNoise.h"

namespace {

// 16-bit stereo PCM WAV of the given interleaved frames.
void WriteWav(const std::string& path, std::uint32_t rate, const std::vector<std::int16_t>& frames)
{
    const auto bytes = static_cast<std::uint32_t>(frames.size() * 2);
    std::ofstream f(path, std::ios::binary);
    auto u32 = [&](std::uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
    f.write("RIFF", 4);
    u32(36 + bytes);
    f.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(2);
    u32(rate);
    u32(rate * 4);
    u16(4);
    u16(16);
    f.write("data", 4);
    u32(bytes);
    f.write(reinterpret_cast<const char*>(frames.data()), bytes);
}

TEST(RunCableE2E, ToneThroughTheCableReadsItsFrequencyAndSignalToNoise)
{
    ASSERT_TRUE(TestPulseServerError().empty())
        << "The run through cable_in needs its private PulseAudio server: " << TestPulseServerError();
    // Written at the cable's own rate (48000 Hz), so the sound is resampled
    // only once, down to the 12000 Hz of the capture.  Noise of standard
    // deviation 2000 at 48000 Hz has the density of 1000 at 12000 Hz.
    ToneNoise tone;
    tone.Rate = 48000;
    tone.Sigma = 2000;
    tone.Snr2500Db = 20;
    const std::string wav = TestPulseServer().Folder() + "/run-tone.wav";
    WriteWav(wav, 48000, tone.Stereo16(48000 * 14));

    RunHarness h;
    Parlune& w = h.w();
    h.ChooseDevice("cable_in");
    h.Apply({});

    QProcess player;
    player.start("paplay", {"-s", QString::fromStdString(TestPulseServer().Address()), "--device=cable",
                            QString::fromStdString(wav)});
    ASSERT_TRUE(player.waitForStarted(3000)) << "paplay did not start";
    QTest::qWait(1500); // until the sound comes out of the cable: a silent first block would end the run

    std::vector<double> sn2500;
    std::vector<int> peaks;
    const int blocks = h.Run(8, [&](int) {
        sn2500.push_back(SN2500HzDb(w.SN1HzDb));
        peaks.push_back(w.PeakBin);
        EXPECT_TRUE(w.SNResults.Visible());
    });
    player.kill();
    player.waitForFinished(2000);

    EXPECT_EQ(blocks, 8);
    ASSERT_EQ(sn2500.size(), 8u);
    for (std::size_t i = 0; i < sn2500.size(); ++i) {
        EXPECT_NEAR(sn2500[i], 20.0, 0.5) << "block " << i + 1;
        EXPECT_EQ(peaks[i], 683) << "block " << i + 1;
    }
    EXPECT_EQ(w.PeakF.Caption(), "Freq    1000.49Hz");
    EXPECT_EQ(w.Start.Caption(), "Restart");
    EXPECT_TRUE(h.messages.isEmpty());
}

TEST(RunCableE2E, ClosingTheWindowDuringTheCaptureWaitEndsTheRunAndFreesTheInput)
{
    ASSERT_TRUE(TestPulseServerError().empty())
        << "The run through cable_in needs its private PulseAudio server: " << TestPulseServerError();
    RunHarness h;
    Parlune& w = h.w();
    h.ChooseDevice("cable_in");
    h.Apply({});
    const int device = w.DeviceBox.ListIndex();
    QTimer::singleShot(300, [&] { w.close(); }); // inside the first 0.68 s wait
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(h.Run(0), 0);
    EXPECT_LT(clock.elapsed(), 600);
    EXPECT_TRUE(w.Closing);

    // The device was stopped and closed: it opens again at once.
    WAVEFORMATEX f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 2;
    f.nSamplesPerSec = 12000;
    f.nAvgBytesPerSec = 48000;
    f.nBlockAlign = 4;
    f.wBitsPerSample = 16;
    HWAVEIN again = 0;
    EXPECT_EQ(waveInOpen(&again, static_cast<std::uint32_t>(device), &f, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_NE(again, 0u);
    waveInClose(again);
}

} // namespace
