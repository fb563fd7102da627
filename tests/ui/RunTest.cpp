// Runs through the real main window: START on the built-in test signal and
// on fed devices, STOP and restart, and the ways a run ends.
#include <numbers>

#include "engine/Measurement.h"
#include "support/FakeInput.h"
#include "support/FeedInput.h"
#include "support/RunHarness.h"

namespace {

struct RunTest : WindowTest {
    static void ExpectStopped(Parlune& w)
    {
        EXPECT_EQ(std::tuple(w.startButton.Caption(), w.startButton.Visible(), w.stopButton.Visible(), w.logToFileCheck.Enabled()),
                  std::tuple(QString("Restart"), true, false, false));
        EXPECT_TRUE(w.fftSizeBox.Enabled() && w.sampleRateBox.Enabled() && w.windowTypeBox.Enabled());
    }
};

// A size the arrays cannot take: START captures nothing, the box turns red,
// the window stays as it was.  At 8192 the span, bandwidth and centre set at
// 1024 points become the run's bins (the centre truncated; the box's own
// rule rounds to 683); the tone's S/N every block, its frequency once the
// ring of four is full.
TEST_F(RunTest, StartTakesOnlyASizeTheArraysCanTakeAndDerivesTheRunFromTheControls)
{
    Parlune& w = Prepare({}, {}, {.fftSize = "1024"});
    w.spanHighBar.DragTo(4800);
    const auto derived = [&] {
        return std::tuple(w.CFBin, w.SigBWBins, w.FMinBin, w.FMaxBin, w.spanHighBar.Max(), w.centreBar.SmallChange(),
                          w.binWidthLabel.Caption().toStdString(), w.periodBox.Text().toStdString());
    };
    const auto before = derived();
    for (const char* text : {"0", "abc", "300000", "524288", "-1024", "1000"}) {
        w.fftSizeBox.UserType(text);
        const int blocks = h->Run(0, {}, 3000);
        EXPECT_EQ(std::tuple(blocks, w.fftSizeBox.BackColor(), w.Input.Handle(), derived()),
                  std::tuple(0, RGB(255, 0, 0), 0u, before)) << text;
        EXPECT_TRUE(w.startButton.Visible() && w.startButton.Enabled() && !w.stopButton.Visible() && w.fftSizeBox.Enabled() &&
                    w.sampleRateBox.Enabled()) << text;
    }
    h->Choose(w.fftSizeBox, "8192");
    EXPECT_EQ(w.fftSizeBox.BackColor(), RGB(255, 255, 255));
    const auto wanted = std::tuple(682, 68, 14, 3277, 5400, 1, std::string("1.46 Hz bins"), std::string("2.7"));
    EXPECT_NE(derived(), wanted);
    EXPECT_EQ(h->Run(8, [&](int block) {
        EXPECT_NEAR(SN2500HzDb(w.SN1HzDb), 20.0, 0.5) << block;
        EXPECT_TRUE(w.resultsFrame.Visible() && (block < 4 || w.peakFrequencyLabel.Caption() == "Freq    1000.49Hz")) << block;
    }), 8);
    EXPECT_EQ(derived(), wanted);
    EXPECT_EQ(std::tuple(w.peakToleranceLabel.Caption(), w.snBinLabel.Caption().right(7), h->messages),
              std::tuple(QString::fromUtf8("\u00B10.73Hz"), QString("(3.0Hz)"), QStringList())); // 2.04 bins of 1.46 Hz
}

// STOP during the capture wait gives one more block.  A restart at 4096
// points starts from an empty ring (its first block's mean is a quarter of
// its power) with the window rebuilt.  Averaging moved from 4 to 2 when block
// 4 is about to write ring column 3: that block still fits, the mean is over
// columns 0 and 1 from then on, and the slot wraps to 0.
TEST_F(RunTest, StopDuringTheWaitThenRestartWithNewSizeAndAveraging)
{
    Parlune& w = Prepare();
    bool waiting = false;
    EXPECT_EQ(h->Run(0, [&](int block) {
        if (block == 2)
            QTimer::singleShot(150, [&] {
                waiting = w.Input.Header().dwFlags != 0 && !(w.Input.Header().dwFlags & WHDR_DONE);
                w.stopButton.Click();
            });
    }), 3);
    EXPECT_TRUE(waiting) << "STOP did not come during the capture wait";
    ExpectStopped(w);
    const auto place = [](CommandButton& b) { return std::vector({b.Left(), b.Top(), b.Width(), b.Height()}); };
    EXPECT_EQ(place(w.startButton), place(w.stopButton));

    h->Choose(w.fftSizeBox, "4096");
    bool quarter = true, twoBlockMean = true;
    EXPECT_EQ(h->Run(6, [&](int block) {
        for (int k = w.FMinBin; k <= w.FMaxBin; ++k)
            if (block == 1)
                quarter = quarter && w.Chain.AvSpec[k] == w.Chain.SpecHist(k, 0) / 4;
            else if (block >= 4)
                twoBlockMean = twoBlockMean && w.Chain.AvSpec[k] == (w.Chain.SpecHist(k, 0) + w.Chain.SpecHist(k, 1)) / 2;
        if (block == 3) {
            ASSERT_EQ(w.Chain.Slot, 3);
            w.averagingBar.DragTo(2);
        }
        EXPECT_TRUE(block < 4 || w.Chain.Slot == block % 2) << block;
    }), 6);
    EXPECT_NEAR(w.Chain.Window[2048], 1.0, 1e-6); // Blackman-Harris rebuilt over 4096 points
    // 1000 Hz at 2.93 Hz per bin.
    EXPECT_EQ(std::tuple(quarter, twoBlockMean, w.PeakBin, w.NAvg, w.periodBox.Text(), h->messages),
              std::tuple(true, true, 341, 2, QString("0.7"), QStringList()));
}

// Every way a run ends but STOP, each on a fresh window over a fed input (or
// one that refuses to open): the blocks that ended normally, the buffers
// delivered, the messages shown, and what the window is left with.
TEST_F(RunTest, WaysARunEnds)
{
    const QString noNoise = "Noise measurement not possible, Signal bandwidth reset";
    auto span = [](int bandwidth, int low, int high) {
        return [=](Parlune& w) { w.bandwidthBar.setValue(bandwidth), w.spanLowBar.setValue(low), w.spanHighBar.setValue(high); };
    };
    auto bandwidth = [](Parlune& w) { return std::tuple(w.bandwidthBox.Text(), w.bandwidthBar.Value()); };
    double levelAt4 = 0;
    QString shownAt1 = "dB";
    constexpr int kRefuses = -2;
    const struct {
        const char* what;
        int silentFrom; // the fed tone's zeros from this buffer on, -1 never; or kRefuses
        std::function<void(Parlune&)> setUp;
        int stopAt; // STOP after this block, 0 never
        std::function<void(Parlune&, int block)> onBlock;
        int blocks, buffers; // buffers -1: not counted
        QStringList messages;
        std::function<void(Parlune&)> check;
    } cases[] = {
        {"a device that does not open", kRefuses, {}, 0, {}, 0, -1, {"Wave input device didn't open!!"}, [](Parlune& w) {
             EXPECT_EQ(w.Input.Handle(), 0u);
             w.stopButton.Click();
             ExpectStopped(w);
         }},
        // Four blocks of tone fill the ring, then zeros: the fourth silent
        // block leaves a zero mean, and the level stays where the tone left it.
        {"digital silence", 4, {}, 0, [&](Parlune& w, int b) { levelAt4 = b == 4 ? w.InLevelDb : levelAt4; }, 7, 8, {},
         [&](Parlune& w) { EXPECT_EQ(std::pair(levelAt4 > 0, w.InLevelDb), std::pair(true, levelAt4)); }},
        {"closing the window", -1, {}, 0, [](Parlune& w, int b) { b == 3 ? void(w.close()) : void(); }, 3, 3, {},
         [](Parlune& w) { EXPECT_TRUE(w.Closing); }},
        // No noise bin at all (950 .. 1050 Hz): the message once, the bandwidth back to 100 Hz.
        {"no room for noise", -1, span(200, 950, 1050), 0, {}, 0, 1, {noNoise},
         [&](Parlune& w) { EXPECT_EQ(bandwidth(w), std::tuple(QString("100"), 100)); }},
        // Noise only above a 150 Hz band (980 .. 1180 Hz: bins 669 .. 806, the
        // band 102 bins, noise above bin 785): the blocks still show results.
        {"noise above the band only", -1, span(150, 980, 1180), 3,
         [&](Parlune& w, int b) { shownAt1 = b == 1 ? w.sn1HzLabel.Caption() : shownAt1; }, 3, 3, {noNoise}, [&](Parlune& w) {
             EXPECT_EQ(std::tuple_cat(bandwidth(w), std::tuple(shownAt1 != "dB", w.SigBWBins, w.PeakBin)),
                       std::tuple(QString("100"), 100, true, 68, 683));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto refusing = std::make_shared<FakeInput>("Fed input");
        refusing->refuse = WAVERR_BADFORMAT;
        auto fed = std::make_shared<FeedInput>(c.silentFrom);
        Parlune& w = Prepare({c.silentFrom == kRefuses ? BackendList::value_type(refusing) : fed});
        if (c.setUp) c.setUp(w);
        const int blocks = h->Run(c.stopAt, [&](int block) { c.onBlock ? c.onBlock(w, block) : void(); });
        EXPECT_EQ(std::tuple(blocks, c.buffers < 0 ? -1 : fed->buffers, h->messages), std::tuple(c.blocks, c.buffers, c.messages));
        c.check(w);
    }
}

// The processing options on one block of an I/Q pair: a strong tone on one
// sideband (bin 683), a weaker one on the other (bin 1024).  As captured, the
// first is shown; swapped, the second; squared, the first at twice its
// frequency.
TEST_F(RunTest, SquareInputAndSidebandSwapOnOneBlock)
{
    constexpr int n = 8192;
    const std::vector<double> noiseI = ToneNoise{.Sigma = 30, .Seed = 1, .Tone = false}.Samples(n),
                              noiseQ = ToneNoise{.Sigma = 30, .Seed = 2, .Tone = false}.Samples(n);
    std::vector<std::int16_t> iq(2 * n);
    for (int i = 0; i < n; ++i) {
        const double a = 2 * std::numbers::pi * 683 * i / n, b = 2 * std::numbers::pi * 1024 * i / n;
        iq[2 * i] = static_cast<std::int16_t>(std::lround(8000 * std::cos(a) + 2000 * std::cos(b) + noiseI[i]));
        iq[2 * i + 1] = static_cast<std::int16_t>(std::lround(8000 * std::sin(a) - 2000 * std::sin(b) + noiseQ[i]));
    }
    for (auto [squared, swapped, peakBin] : {std::tuple(0, 0, 683), std::tuple(1, 0, 1366), std::tuple(0, 1, 1024)}) {
        Parlune& w = Prepare({std::make_shared<FeedInput>(iq)}, "Fed input", {.averaging = 1});
        w.squareInputCheck.setValue(squared);
        w.swapSidebandCheck.setValue(swapped);
        EXPECT_EQ(h->Run(1), 1);
        EXPECT_EQ(w.PeakBin, peakBin) << squared << swapped;
    }
}

} // namespace
