// The window's own per-block code and the headless chain, fed the same
// blocks, give the same numbers.  parlune-measure prints the chain's numbers
// (MeasureToolTest), so a recording and a live run of it agree.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/BlockChain.h"
#include "engine/LoopState.h"
#include "engine/WholeNumber.h"
#include "engine/Windows.h"
#include "support/RunHarness.h"
#include "support/ToneNoise.h"

TEST(WindowAgreement, SameBlocksGiveTheSameNumbers)
{
    struct Case {
        bool stat, track;
        int avg;
        double cfHz, toneHz;
    };
    const double rate = 12000;
    const int n = 8192, blocks = 6;
    for (const Case c : {Case{false, false, 4, 1000, 1000}, Case{true, true, 2, 1003, 1004.5}}) {
        SCOPED_TRACE(c.stat ? "statistical noise, tracking" : "measured noise");
        RunHarness h;
        Parlune& w = h.w();
        // The run parameters as START derives them from the controls.
        h.Apply({.fftSize = "8192", .bandwidth = "100", .averaging = c.avg});
        w.UseStatNoise.setValue(c.stat);
        w.TrackSig.setValue(c.track);
        w.SampleRate = rate;
        NFFT = n;
        w.FMinBin = HzToBin(20, n, rate);
        w.FMaxBin = HzToBin(5000, n, rate);
        w.NAvg = c.avg;
        w.SigBWBins = HzToBin(100, n, rate);
        w.CFBin = FloorToInt32(c.cfHz / rate * n);
        w.Spectrum.setScaleLeft(20.0 * n / rate);
        w.Spectrum.setScaleWidth(4980.0 * n / rate);
        w.WaterfallSetUp();
        SelectWindow(1, w.WindENBW);
        LoopState s;
        w.LoopSetUp(s);

        ChainParams p{.SampleRate = rate, .NFFT = n, .FMinBin = w.FMinBin, .FMaxBin = w.FMaxBin,
                      .CFBin = w.CFBin, .SigBWBins = w.SigBWBins, .SigBWHz = 100, .GuardFactor = w.GuardFactor,
                      .NAvg = c.avg, .WindENBW = w.WindENBW, .DispThresh = w.DispThresh,
                      .UseStatNoise = c.stat, .TrackSig = c.track};
        ChainState chain;
        StartChain(chain, n);

        const std::vector<std::int16_t> frames =
            ToneNoise{.Rate = rate, .ToneHz = c.toneHz, .Snr2500Db = 15, .Sigma = 1000}.Stereo16(n * blocks);
        for (int b = 0; b < blocks; ++b) {
            SCOPED_TRACE(b);
            const std::int16_t* block = frames.data() + 2 * n * b;
            std::copy(block, block + 2 * n, w.InBuf.data());
            ASSERT_TRUE(w.ProcessBlock(s));
            const BlockResult r = RunBlock(block, p, chain);
            EXPECT_EQ(w.PeakBin, r.PeakAt.PeakBin);
            EXPECT_EQ(w.PeakPower, r.PeakAt.PeakPower);
            EXPECT_EQ(w.NoisePower, r.NoisePower);
            EXPECT_EQ(w.SigPower, r.SigPower);
            EXPECT_EQ(w.SN1HzDb, r.SN1HzDb);
            EXPECT_EQ(w.SNResults.Visible(), r.InBand);
            EXPECT_EQ(w.CFBin, p.CFBin);
            if (r.InBand)
                EXPECT_EQ(w.SNBinDb, r.SNBinDb);
        }
        EXPECT_TRUE(w.SNResults.Visible()); // the tone was measured at all
    }
}
