// Real blocks through the waveIn layer from a real PulseAudio server: a WAV
// played into the `cable` sink is captured from `cable_in`.
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <vector>

#include "PulseServer.h"
#include "capture/WaitForBuffer.h"
#include "capture/WaveIn.h"
#include "support/ToneMeasure.h"
#include "ui/Parlune.h"

namespace {

constexpr std::uint32_t kRate = 12000;
constexpr int kFrames = 8192;
constexpr double kBlockS = double(kFrames) / kRate; // 0.683 s
constexpr double kToneAmplitude = 8000;
constexpr double kNoiseSigma = 300;

// A 1000 Hz tone in seeded white noise, 16-bit stereo, both channels equal.
void WriteToneWav(const std::string& path, std::uint32_t rate, double seconds)
{
    const auto frames = static_cast<std::uint32_t>(rate * seconds);
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0, kNoiseSigma);
    std::vector<std::int16_t> data;
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double v = kToneAmplitude * std::sin(2 * M_PI * 1000.0 * i / rate) + noise(rng);
        const auto s = static_cast<std::int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
        data.push_back(s);
        data.push_back(s);
    }
    const std::uint32_t bytes = static_cast<std::uint32_t>(data.size() * 2);
    std::ofstream f(path, std::ios::binary);
    auto u32 = [&](std::uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
    f.write("RIFF", 4);
    u32(36 + bytes);
    f.write("WAVEfmt ", 8);
    u32(16);
    u16(1);        // PCM
    u16(2);        // channels
    u32(rate);
    u32(rate * 4); // bytes per second
    u16(4);        // block align
    u16(16);       // bits
    f.write("data", 4);
    u32(bytes);
    f.write(reinterpret_cast<const char*>(data.data()), bytes);
}

class CaptureE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestPulseServerError().empty()) << "End-to-end capture needs its private PulseAudio server: "
                                                     << TestPulseServerError();
        cableIn = FindDevice("cable_in");
        ASSERT_GE(cableIn, 0) << "cable_in is not among the " << waveInGetNumDevs() << " input devices";
    }
    void TearDown() override
    {
        waveInReset(h);
        waveInClose(h);
        if (player.state() != QProcess::NotRunning) {
            player.kill();
            player.waitForFinished(2000);
        }
    }

    static int FindDevice(const char* name)
    {
        const std::uint32_t n = waveInGetNumDevs();
        for (std::uint32_t id = 0; id < n; ++id) {
            WAVEINCAPSA caps;
            if (waveInGetDevCapsA(id, &caps, sizeof caps) == MMSYSERR_NOERROR &&
                std::string(caps.szPname, strnlen(caps.szPname, 32)) == name)
                return static_cast<int>(id);
        }
        return -1;
    }

    static WAVEFORMATEX Format()
    {
        WAVEFORMATEX f;
        f.wFormatTag = WAVE_FORMAT_PCM;
        f.nChannels = 2;
        f.nSamplesPerSec = kRate;
        f.nAvgBytesPerSec = 4 * kRate;
        f.nBlockAlign = 4;
        f.wBitsPerSample = 16;
        return f;
    }

    void OpenCable()
    {
        const WAVEFORMATEX f = Format();
        ASSERT_EQ(waveInOpen(&h, static_cast<std::uint32_t>(cableIn), &f, 0, 0, 0), MMSYSERR_NOERROR);
        ASSERT_NE(h, 0u);
        ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
    }

    void Play(const std::string& wav)
    {
        player.start("paplay", {"-s", QString::fromStdString(TestPulseServer().Address()), "--device=cable",
                                QString::fromStdString(wav)});
        ASSERT_TRUE(player.waitForStarted(3000)) << "paplay did not start";
    }

    // Captures one block; returns its wall time in seconds.
    double Capture()
    {
        hdr = WAVEHDR{};
        hdr.lpData = reinterpret_cast<char*>(buf.data());
        hdr.dwBufferLength = 4 * kFrames;
        QElapsedTimer clock;
        clock.start();
        waveInPrepareHeader(h, &hdr, 32);
        waveInAddBuffer(h, &hdr, 32);
        WaitForBuffer(hdr, h);
        waveInUnprepareHeader(h, &hdr, 32);
        return clock.nsecsElapsed() / 1e9;
    }

    int cableIn = -1;
    HWAVEIN h = 0;
    WAVEHDR hdr;
    std::vector<std::int16_t> buf = std::vector<std::int16_t>(2 * kFrames);
    QProcess player;
};

TEST_F(CaptureE2E, PlayedToneArrivesAtItsFrequencyAndLevelInRealTimeBlocks)
{
    const std::string wav = TestPulseServer().Folder() + "/tone.wav";
    WriteToneWav(wav, 48000, 12);
    OpenCable();
    Play(wav);

    // Blocks before the player's sound reaches the cable are silent.
    int waited = 0;
    for (; waited < 8; ++waited) {
        Capture();
        ASSERT_TRUE(hdr.dwFlags & WHDR_DONE);
        if (MeasureTone(Channel(buf.data(), kFrames, 2, 0), kRate).amplitude > kToneAmplitude / 4)
            break;
    }
    ASSERT_LT(waited, 8) << "the tone never arrived at cable_in";

    const double bin = double(kRate) / kFrames;
    for (int block = 0; block < 5; ++block) {
        SCOPED_TRACE("block " + std::to_string(block));
        const double seconds = Capture();
        ASSERT_TRUE(hdr.dwFlags & WHDR_DONE);
        EXPECT_EQ(hdr.dwBytesRecorded, 4u * kFrames);
        EXPECT_NEAR(seconds, kBlockS, 0.2 * kBlockS);
        for (int ch = 0; ch < 2; ++ch) {
            const ToneFit fit = MeasureTone(Channel(buf.data(), kFrames, 2, ch), kRate);
            EXPECT_NEAR(fit.peakHz, 1000, bin);
            EXPECT_NEAR(RatioDb(fit.amplitude, kToneAmplitude), 0, 1.0);
        }
    }
}

TEST_F(CaptureE2E, ResetDuringTheWaitEndsItWithTheBufferDone)
{
    OpenCable();
    QTimer::singleShot(200, [this] { waveInReset(h); });
    const double seconds = Capture();
    EXPECT_TRUE(hdr.dwFlags & WHDR_DONE);
    EXPECT_LT(hdr.dwBytesRecorded, 4u * kFrames);
    EXPECT_LT(seconds, 0.8 * kBlockS);
}

TEST_F(CaptureE2E, OpeningAMissingDeviceLeavesTheHandleZero)
{
    const WAVEFORMATEX f = Format();
    const std::uint32_t n = waveInGetNumDevs();
    for (const std::uint32_t id : {n, n + 7, 0xFFFFFFFEu}) {
        SCOPED_TRACE(id);
        HWAVEIN got = 99;
        EXPECT_EQ(waveInOpen(&got, id, &f, 0, 0, 0), MMSYSERR_BADDEVICEID);
        EXPECT_EQ(got, 0u);
    }
    // The server's default input (cable_in) is what WAVE_MAPPER opens.
    ASSERT_EQ(waveInOpen(&h, WAVE_MAPPER, &f, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_NE(h, 0u);
}

TEST_F(CaptureE2E, TheMainWindowListsTheCable)
{
    Parlune w;
    w.InitDevices();
    ASSERT_GT(w.DeviceBox.ListCount(), cableIn);
    EXPECT_EQ(w.DeviceBox.List(cableIn), "cable_in");
}

TEST_F(CaptureE2E, ALostDeviceLeavesTheBufferPendingUntilReset)
{
    OpenCable();
    std::string modules;
    ASSERT_TRUE(TestPulseServer().Pactl("list short modules", &modules));
    std::string index; // of the module that made cable_in
    std::istringstream lines(modules);
    for (std::string line; std::getline(lines, line);)
        if (line.find("\tmodule-remap-source\t") != std::string::npos)
            index = line.substr(0, line.find('\t'));
    ASSERT_FALSE(index.empty()) << modules;
    // The device goes away while a block is being captured; STOP (a reset)
    // is the way out.
    QTimer::singleShot(100, [&] { TestPulseServer().Pactl("unload-module " + index); });
    QTimer::singleShot(1500, [this] { waveInReset(h); });
    const double seconds = Capture();
    EXPECT_TRUE(hdr.dwFlags & WHDR_DONE);
    EXPECT_GT(seconds, 1.2);
    waveInClose(h);
    h = 0;
    // Bring the device back for the tests that follow in this process.
    ASSERT_TRUE(TestPulseServer().Pactl("load-module module-remap-source master=cable.monitor source_name=cable_in "
                                        "source_properties=device.description=cable_in"));
}

} // namespace
