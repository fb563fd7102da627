// Runs through the real main window: START on the built-in test signal and
// on fed devices, STOP and restart, and the ways a run ends by itself.
#include <QTimer>
#include <cmath>
#include <gtest/gtest.h>

#include "capture/InputBackend.h"
#include "capture/TestSignal.h"
#include "engine/Measurement.h"
#include "support/FakeInput.h"
#include "support/FeedInput.h"
#include "support/RunHarness.h"

namespace {

const QString kToneDevice = "Test signal 1000 Hz, S/N 20 dB";

// The built-in test signals only, so the list does not depend on the machine.
void UseTestSignals()
{
    BackendList list;
    AppendTestSignals(list);
    SetBackendsForTest(list);
}

FeedInput::Generator Tone1000(int silentFrom = -1)
{
    return ToneFeed(12000, [](int) { return 1000.0; }, 20, silentFrom);
}

class RunTest : public ::testing::Test {
protected:
    void TearDown() override { ResetBackends(); }
};

TEST_F(RunTest, ToneOnTheTestSignalReadsItsFrequencyAndSignalToNoise)
{
    UseTestSignals();
    RunHarness h;
    Parlune& w = h.w();
    h.ChooseDevice(kToneDevice);
    h.Apply({});
    std::vector<double> sn2500;
    const int blocks = h.Run(8, [&](int block) {
        sn2500.push_back(SN2500HzDb(w.SN1HzDb));
        EXPECT_TRUE(w.SNResults.Visible()) << "block " << block;
        if (block >= 4) { // the ring holds four blocks of the run
            EXPECT_EQ(w.PeakBin, 683) << "block " << block;
            EXPECT_EQ(w.PeakF.Caption(), "Freq    1000.49Hz") << "block " << block;
        }
    });
    EXPECT_EQ(blocks, 8);
    ASSERT_EQ(sn2500.size(), 8u);
    for (std::size_t i = 0; i < sn2500.size(); ++i)
        EXPECT_NEAR(sn2500[i], 20.0, 0.5) << "block " << i + 1;

    // Parameters as the start derived them, and the panel's texts.
    EXPECT_EQ(NFFT, 8192);
    EXPECT_EQ(w.SigBWBins, 68);
    EXPECT_EQ(w.ShowRes.Caption(), "1.46 Hz bins");
    EXPECT_EQ(w.PeakFTol.Caption(), QString::fromUtf8("\u00B10.73Hz"));
    EXPECT_TRUE(w.SN2k5Hz.Caption().endsWith("   [JT]"));
    EXPECT_TRUE(w.NoiseL.Caption().startsWith("Noise    "));
    EXPECT_FALSE(w.DeviceBox.Visible());
    EXPECT_TRUE(w.CsrLoc.Visible());
    EXPECT_TRUE(w.Timer1.Enabled());
    EXPECT_TRUE(h.messages.isEmpty());
}

TEST_F(RunTest, StopDuringTheWaitGivesOneMoreBlockThenRestart)
{
    UseTestSignals();
    RunHarness h;
    Parlune& w = h.w();
    h.ChooseDevice(kToneDevice);
    h.Apply({});
    bool waiting = false;
    const int blocks = h.Run(0, [&](int block) {
        if (block == 2)
            QTimer::singleShot(150, [&] {
                waiting = w.WaveHdr.dwFlags != 0 && !(w.WaveHdr.dwFlags & WHDR_DONE);
                w.Stopit.Click();
            });
    });
    EXPECT_TRUE(waiting) << "STOP did not come during the capture wait";
    EXPECT_EQ(blocks, 3);
    EXPECT_EQ(w.Start.Caption(), "Restart");
    EXPECT_TRUE(w.Start.Visible());
    EXPECT_FALSE(w.Stopit.Visible());
    EXPECT_EQ(w.Start.Left(), w.Stopit.Left());
    EXPECT_EQ(w.Start.Top(), w.Stopit.Top());
    EXPECT_EQ(w.Start.Width(), w.Stopit.Width());
    EXPECT_EQ(w.Start.Height(), w.Stopit.Height());
    EXPECT_TRUE(w.FFTSize.Enabled());
    EXPECT_TRUE(w.SRate.Enabled());
    EXPECT_TRUE(w.WindType.Enabled());
    EXPECT_FALSE(w.LogToFile.Enabled());
}

TEST_F(RunTest, RestartWithANewSizeRebuildsTheWindowAndStartsFromAnEmptyRing)
{
    UseTestSignals();
    RunHarness h;
    Parlune& w = h.w();
    h.ChooseDevice(kToneDevice);
    h.Apply({});
    EXPECT_EQ(h.Run(2), 2);
    for (int k : {0, 683, 4096, 8192})
        for (int slot : {0, 1, 2, 3, 4})
            EXPECT_EQ(w.SpecHist(k, slot), 0.0f) << "bin " << k << " slot " << slot;

    h.Choose(w.FFTSize, "4096");
    bool quarter = true;
    EXPECT_EQ(h.Run(1, [&](int) {
        // First block after an emptied ring: the mean is a quarter of its power.
        for (int k = w.FMinBin; k <= w.FMaxBin; ++k)
            quarter = quarter && w.AvSpec[k] == w.SpecHist(k, 0) / 4;
    }), 1);
    EXPECT_TRUE(quarter);
    EXPECT_EQ(NFFT, 4096);
    // Blackman-Harris over 4096 points: 1 at the middle, symmetric.
    EXPECT_NEAR(WindFn[2048], 1.0, 1e-6);
    EXPECT_FLOAT_EQ(WindFn[1], WindFn[4095]);
    EXPECT_EQ(w.PeakBin, 341); // 1000 Hz at 2.93 Hz per bin
    EXPECT_FALSE(w.DeviceBox.Visible());
}

TEST_F(RunTest, OpenFailureShowsTheMessageAndStopRecovers)
{
    auto dev = std::make_shared<FakeInput>("Refusing input");
    dev->refuse = WAVERR_BADFORMAT;
    SetBackendsForTest({dev});
    RunHarness h;
    Parlune& w = h.w();
    h.ChooseDevice("Refusing input");
    h.Apply({});
    EXPECT_EQ(h.Run(0), 0);
    EXPECT_EQ(h.messages, QStringList{"Wave input device didn't open!!"});
    EXPECT_EQ(w.hWaveIn, 0u);
    EXPECT_FALSE(w.Start.Visible());
    EXPECT_TRUE(w.Stopit.Visible());
    EXPECT_FALSE(w.FFTSize.Enabled());
    EXPECT_TRUE(w.DeviceBox.Visible());
    EXPECT_FALSE(w.CsrLoc.Visible());

    w.Stopit.Click();
    EXPECT_TRUE(w.Start.Visible());
    EXPECT_EQ(w.Start.Caption(), "Restart");
    EXPECT_TRUE(w.FFTSize.Enabled());
    EXPECT_TRUE(w.SRate.Enabled());
    EXPECT_TRUE(w.WindType.Enabled());
}

TEST_F(RunTest, DigitalSilenceEndsTheRunWhenTheRingHoldsOnlySilentBlocks)
{
    // Four blocks of tone fill the ring, then zeros: the fourth silent block
    // leaves a zero mean and faults in the histogram.
    auto dev = std::make_shared<FeedInput>("Fed input", Tone1000(4));
    SetBackendsForTest({dev});
    RunHarness h;
    Parlune& w = h.w();
    h.ChooseDevice("Fed input");
    h.Apply({});
    double levelBefore = 0;
    const int blocks = h.Run(0, [&](int block) {
        if (block == 4)
            levelBefore = w.InLevelDb;
    });
    EXPECT_EQ(blocks, 7);        // blocks 5 .. 7 were silent and completed
    EXPECT_EQ(dev->buffers, 8);  // the eighth ended the run
    EXPECT_TRUE(h.messages.isEmpty());
    EXPECT_FALSE(w.StopReq);     // it ended without STOP
    EXPECT_TRUE(w.Stopit.Visible());
    EXPECT_GT(levelBefore, 0);
    EXPECT_EQ(w.InLevelDb, levelBefore); // silence leaves the level alone
}

TEST_F(RunTest, SpanNarrowerThanBandAndGuardsShowsTheMessageOnceAndEnds)
{
    auto dev = std::make_shared<FeedInput>("Fed input", Tone1000());
    SetBackendsForTest({dev});
    RunHarness h;
    Parlune& w = h.w();
    h.ChooseDevice("Fed input");
    RunSettings s;
    s.bandwidth = "200";
    h.Apply(s);
    w.FMin.setValue(950);
    w.FMax.setValue(1050);
    EXPECT_EQ(h.Run(0), 0);
    EXPECT_EQ(h.messages, QStringList{"Noise measurement not possible, Signal bandwidth reset"});
    EXPECT_EQ(dev->buffers, 1);
    EXPECT_EQ(w.SigBW.Text(), "100");
    EXPECT_EQ(w.SigBWUD.Value(), 100);
    EXPECT_EQ(w.SigBWBins, 68);
}

TEST_F(RunTest, ClosingTheWindowMidRunEndsTheRun)
{
    auto dev = std::make_shared<FeedInput>("Fed input", Tone1000());
    SetBackendsForTest({dev});
    RunHarness h;
    Parlune& w = h.w();
    h.ChooseDevice("Fed input");
    h.Apply({});
    const int blocks = h.Run(0, [&](int block) {
        if (block == 3)
            w.close();
    });
    EXPECT_EQ(blocks, 3);
    EXPECT_TRUE(w.Closing);
    EXPECT_EQ(dev->buffers, 3);
}

} // namespace
