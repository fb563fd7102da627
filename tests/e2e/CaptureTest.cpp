// Real blocks through the waveIn layer from the private PulseAudio server: a
// WAV played into the `cable` sink is captured from `cable_in`.
#include <QTimer>

#include "PulseServer.h"
#include "capture/TestSignal.h"
#include "support/ToneMeasure.h"
#include "support/WaveBlock.h"
#include "ui/Parlune.h"

namespace {

constexpr int kFrames = 8192;
constexpr double kBlockS = kFrames / 12000.0; // 0.683 s

class CaptureE2E : public CableTest {
protected:
    void OpenCable()
    {
        const WAVEFORMATEX f = Stereo16();
        ASSERT_EQ(waveInOpen(&h, cableIn, &f, 0, 0, 0), MMSYSERR_NOERROR);
        ASSERT_NE(h, 0u);
        ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
    }
    void TearDown() override { waveInClose(h); }
    HWAVEIN h = 0;
    WaveBlock blk;
};

TEST_F(CaptureE2E, PlayedToneArrivesAtItsFrequencyAndLevelInRealTimeBlocks)
{
    OpenCable();
    TonePlayer player;
    ASSERT_TRUE(player.waitForStarted(3000)) << "paplay did not start";
    const double a = kCableTone.Amplitude();
    // Blocks before the player's sound reaches the cable are silent.
    int waited = 0;
    for (; waited < 8; ++waited) {
        blk.Capture(h, kFrames);
        if (MeasureTone(blk.data.data(), kFrames, 12000).amplitude > a / 4)
            break;
    }
    ASSERT_LT(waited, 8) << "the tone never arrived at cable_in";

    for (int block = 0; block < 5; ++block) {
        SCOPED_TRACE("block " + std::to_string(block));
        EXPECT_NEAR(blk.Capture(h, kFrames), kBlockS, 0.2 * kBlockS);
        ASSERT_EQ(blk.hdr.dwBytesRecorded, 4u * kFrames);
        for (int ch = 0; ch < 2; ++ch) {
            const ToneFit fit = MeasureTone(blk.data.data(), kFrames, 12000, ch);
            EXPECT_NEAR(fit.peakHz, 1000, 12000.0 / kFrames);
            EXPECT_NEAR(RatioDb(fit.amplitude, a), 0, 1.0);
        }
    }
}

TEST_F(CaptureE2E, ResetDuringTheWaitEndsItWithTheBufferDone)
{
    OpenCable();
    QTimer::singleShot(200, [this] { waveInReset(h); });
    EXPECT_LT(blk.Capture(h, kFrames), 0.8 * kBlockS);
    EXPECT_TRUE(blk.Done());
    EXPECT_LT(blk.hdr.dwBytesRecorded, 4u * kFrames);
}

TEST_F(CaptureE2E, OpeningAMissingDeviceLeavesTheHandleZero)
{
    const WAVEFORMATEX f = Stereo16();
    const std::uint32_t n = waveInGetNumDevs();
    for (const std::uint32_t id : {n, n + 7, 0xFFFFFFFEu}) {
        SCOPED_TRACE(id);
        HWAVEIN got = 99;
        EXPECT_EQ(waveInOpen(&got, id, &f, 0, 0, 0), MMSYSERR_BADDEVICEID);
        EXPECT_EQ(got, 0u);
    }
}

TEST_F(CaptureE2E, TheMainWindowListsTheCableBeforeTheTestSignals)
{
    Parlune w;
    w.InitDevices();
    const int n = w.DeviceBox.ListCount();
    ASSERT_GT(n, int(cableIn) + 2);
    EXPECT_EQ(w.DeviceBox.List(int(cableIn)), "cable_in");
    EXPECT_EQ(w.DeviceBox.List(n - 2), kTestSignals[0].shortName);
    EXPECT_EQ(w.DeviceBox.List(n - 1), kTestSignals[1].shortName);
}

} // namespace
