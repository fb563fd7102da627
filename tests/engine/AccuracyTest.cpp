// Accuracy of the S/N in 2500 Hz on tone-in-white-noise recordings whose true
// S/N is known: 12000 Hz, 8192 points, Blackman Harris, bandwidth 50 Hz.
// Measured-noise results must lie within 0.5 dB for 0 .. 40 dB; -10 dB and
// the statistical-noise results are printed as the table of docs/accuracy.md.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>

#include "engine/BlockChain.h"
#include "engine/Windows.h"
#include "support/ToneNoise.h"

namespace {

constexpr std::int32_t kN = 8192;
constexpr int kMeasuredBlocks = 6; // blocks averaged once the ring is full

struct Accuracy {
    double measured = 0; // mean S/N 2500 Hz with the noise bands, dB
    double statistical = 0; // with the histogram's noise level, dB
};

Accuracy MeasureTone(ChainState& s, double snr, std::int32_t nAvg)
{
    NFFT = kN;
    double enbw = 0;
    SelectWindow(1, enbw);
    ChainParams p;
    p.SampleRate = 12000;
    p.NFFT = kN;
    p.FMinBin = 14;      // 20 Hz
    p.FMaxBin = 3413;    // 5000 Hz
    p.CFBin = 682;       // 1000 Hz, truncated
    p.SigBWBins = 34;    // 50 Hz
    p.SigBWHz = 50;
    p.GuardFactor = 0.5;
    p.NAvg = nAvg;
    p.WindENBW = enbw;
    p.UseStatNoise = true;
    StartChain(s, kN);

    ToneNoise t;
    t.Snr2500Db = snr;
    t.Seed = 7 + static_cast<std::uint32_t>(nAvg);
    const auto frames = t.Stereo16(static_cast<std::int64_t>(nAvg + kMeasuredBlocks) * kN);
    Accuracy a;
    for (int b = 0; b < nAvg + kMeasuredBlocks; ++b) {
        const BlockResult r = RunBlock(frames.data() + 2 * static_cast<std::size_t>(kN) * b, p, s);
        if (b < nAvg) continue; // ring still filling
        EXPECT_TRUE(r.InBand) << "snr " << snr << " block " << b;
        const SNFigures measured = SignalToNoise(r.SigPower, r.MeasuredNoisePower, p.SigBWHz, p.SigBWBins,
                                                 p.WindENBW, 0);
        a.measured += SN2500HzDb(measured.SN1HzDb) / kMeasuredBlocks;
        a.statistical += SN2500HzDb(r.SN1HzDb) / kMeasuredBlocks;
    }
    return a;
}

} // namespace

TEST(Accuracy, MeasuredNoiseWithinHalfADecibel)
{
    auto s = std::make_unique<ChainState>();
    const std::int32_t averages[] = {4, 16, 32};
    std::printf("| True S/N | Measured, avg 4 | avg 16 | avg 32 | Statistical, avg 4 | avg 16 | avg 32 |\n");
    std::printf("|---:|---:|---:|---:|---:|---:|---:|\n");
    for (double snr : {-10.0, 0.0, 10.0, 20.0, 30.0, 40.0}) {
        Accuracy a[3];
        for (int i = 0; i < 3; ++i) {
            a[i] = MeasureTone(*s, snr, averages[i]);
            if (snr >= 0) EXPECT_NEAR(a[i].measured, snr, 0.5) << "avg " << averages[i];
        }
        std::printf("| %.0f | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f |\n", snr, a[0].measured, a[1].measured,
                    a[2].measured, a[0].statistical, a[1].statistical, a[2].statistical);
    }
}
