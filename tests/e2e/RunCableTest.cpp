// Whole runs through the real audio stack: the main window measures the
// tone played into `cable` from `cable_in`, as a user would.
#include <QTest>

#include "PulseServer.h"
#include "engine/Measurement.h"
#include "support/RunHarness.h"
#include "support/WaveBlock.h"

namespace {

struct RunCableE2E : CableTest {
    void SetUp() override
    {
        CableTest::SetUp();
        if (HasFatalFailure())
            return;
        h.ChooseDevice("cable_in");
        h.Apply({});
    }
    RunHarness h;
    Parlune& w = h.w();
};

TEST_F(RunCableE2E, ToneThroughTheCableReadsItsFrequencyAndSignalToNoise)
{
    TonePlayer player;
    ASSERT_TRUE(player.waitForStarted(3000)) << "paplay did not start";
    QTest::qWait(1500); // until the sound comes out of the cable: a silent first block would end the run
    const int blocks = h.Run(8, [&](int block) {
        SCOPED_TRACE("block " + std::to_string(block));
        EXPECT_NEAR(SN2500HzDb(w.SN1HzDb), 20.0, 0.5);
        EXPECT_EQ(w.PeakBin, 683);
        EXPECT_TRUE(w.SNResults.Visible());
    });
    EXPECT_EQ(blocks, 8);
    EXPECT_EQ(w.PeakF.Caption(), "Freq    1000.49Hz");
    EXPECT_TRUE(h.messages.isEmpty());
}

TEST_F(RunCableE2E, ClosingTheWindowDuringTheCaptureWaitEndsTheRunAndFreesTheInput)
{
    QTimer::singleShot(300, [&] { w.close(); }); // inside the first 0.68 s wait
    EXPECT_EQ(h.Run(0), 0);
    EXPECT_TRUE(w.Closing);
    EXPECT_LT(w.WaveHdr.dwBytesRecorded, 4u * 8192); // the wait ended before the block was full
    // The device was stopped and closed: it opens again at once.
    const WAVEFORMATEX f = Stereo16();
    HWAVEIN again = 0;
    EXPECT_EQ(waveInOpen(&again, cableIn, &f, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_NE(again, 0u);
    waveInClose(again);
}

} // namespace
