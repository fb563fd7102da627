// The tone played into the private server's `cable` as read from `cable_in`
// by parlune-measure, against the same tone read from its file, and by the
// waveIn layer block by block.  (The window's runs: WindowLiveTest.)
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include "PulseServer.h"
#include "capture/TestSignal.h"
#include "support/MeasureRun.h"
#include "support/ToneMeasure.h"
#include "support/WaveBlock.h"

namespace {

constexpr int kFrames = 8192;
constexpr double kBlockS = kFrames / 12000.0; // 0.683 s

struct CableTone : CableTest {};

TEST_F(CableTone, MeasureAndWaveInReadThePlayedTone)
{
    TonePlayer player(30);
    ASSERT_TRUE(player.waitForStarted(3000)) << "paplay did not start";
    QTest::qWait(1500); // its sound reaches the cable

    // parlune-measure, the cable chosen by its number from --list-inputs (the
    // test signals after the devices), for 6 s.  The tone is steady, so every
    // live block, wherever the gaps between blocks put it, reads what the
    // file's blocks read: the same peak bin (48000 Hz with 32768 points has
    // the bins of 12000 Hz with 8192) and an S/N within their scatter.
    const Outcome list = Measure({"--list-inputs"});
    const QStringList devices = list.out.split('\n', Qt::SkipEmptyParts).filter(QRegularExpression("^\\d"));
    ASSERT_GT(devices.size(), qsizetype(cableIn) + 2) << list.err.toStdString();
    const qsizetype n = devices.size();
    EXPECT_EQ(std::pair(devices[cableIn], devices[n - 2]),
              std::pair(QString("%1\tcable_in").arg(cableIn), QString("%1\t%2").arg(n - 2).arg(kTestSignals[0].shortName)));
    const Outcome live = Measure({"--input", QString::number(cableIn), "--format", "csv", "--duration", "6"});
    ASSERT_EQ(live.status, 0) << live.err.toStdString();
    const Outcome file = Measure({"--format", "csv", "--fft-size", "32768", player.arguments().last()});
    ASSERT_EQ(file.status, 0) << file.err.toStdString();
    const auto fileRows = Rows(file.out), liveRows = Rows(live.out);
    ASSERT_GE(fileRows.size(), 15u);
    ASSERT_GE(liveRows.size(), 5u);
    EXPECT_LE(liveRows.size(), std::size_t(6 / kBlockS));
    double lo = 1e9, hi = -1e9, fileSum = 0, liveSum = 0;
    for (const auto& r : fileRows) {
        ASSERT_EQ(r.at("peak_hz"), fileRows[0].at("peak_hz"));
        const double sn = r.at("sn_2500hz_db").toDouble();
        lo = std::min(lo, sn), hi = std::max(hi, sn), fileSum += sn;
    }
    for (std::size_t b = 0; b < liveRows.size(); ++b) {
        SCOPED_TRACE("live block " + std::to_string(b));
        const auto& r = liveRows[b];
        EXPECT_EQ(std::tuple(r.at("block"), r.at("peak_hz"), r.at("in_band")), std::tuple(QString::number(b), fileRows[0].at("peak_hz"), QString("1")));
        const double sn = r.at("sn_2500hz_db").toDouble();
        EXPECT_TRUE(sn >= lo - 0.3 && sn <= hi + 0.3) << sn << " outside " << lo << " .. " << hi;
        liveSum += sn;
    }
    // The resampling to 12000 Hz may shave a little noise off near 5000 Hz.
    EXPECT_NEAR(liveSum / double(liveRows.size()), fileSum / double(fileRows.size()), 0.3);

    // waveIn: real-time blocks of the tone at its frequency and level on both
    // channels, once a new stream's first audio has come (it may take 2 s);
    // a reset during the wait ends it with the buffer done.
    {
        const WAVEFORMATEX f = Stereo16();
        HWAVEIN h = 0;
        ASSERT_EQ(waveInOpen(&h, cableIn, &f, 0, 0, 0), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
        WaveBlock blk;
        const double a = kCableTone.Amplitude();
        bool arrived = false;
        for (int i = 0; i < 8 && !arrived; ++i)
            arrived = (blk.Capture(h, kFrames), MeasureTone(blk.data.data(), kFrames, 12000).amplitude > a / 4);
        ASSERT_TRUE(arrived) << "the tone never arrived at cable_in";
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
        QTimer::singleShot(200, [h] { waveInReset(h); });
        EXPECT_LT(blk.Capture(h, kFrames), 0.8 * kBlockS);
        EXPECT_TRUE(blk.Done());
        EXPECT_LT(blk.hdr.dwBytesRecorded, 4u * kFrames);
        waveInClose(h);
    }

}

} // namespace
