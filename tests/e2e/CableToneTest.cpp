// parlune-measure on the private PulseAudio server's `cable_in`: digital
// silence, the tone played into `cable` against the same tone read from its
// file, and a vanished server that ends the run with status 4.  The waveIn
// layer under it: tests/capture (its rules) and every live run here; stop
// signals: tests/measure; the window's runs and a server that does not
// answer: WindowLiveTest.
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "PulseServer.h"
#include "capture/TestSignal.h"
#include "support/Eventually.h"
#include "support/MeasureRun.h"

namespace {

constexpr double kBlockS = 8192 / 12000.0; // 0.683 s

using CableTone = CableTest;

TEST_F(CableTone, SilenceIsARowWithoutFiguresAndThePlayedToneReadsAsItsFile)
{
    // Digital silence (nothing plays into the cable yet) is a row without
    // figures, counted in the summary; the watch goes on to its end.
    const Outcome silent = Measure({"--input", "cable_in", "--rate", "48000", "--fft-size", "1024", "--format", "csv",
                                    "--duration", "3", "--summary"});
    ASSERT_EQ(silent.status, 0) << silent.err.toStdString();
    QStringList lines = silent.out.split('\n', Qt::SkipEmptyParts);
    const QString summary = lines.takeLast();
    const auto rows = Rows(lines.join('\n'));
    ASSERT_GE(rows.size(), 2u);
    for (const auto& row : rows)
        EXPECT_EQ(std::tuple(row.at("peak_hz"), row.at("sn_2500hz_db"), row.at("in_band")), std::tuple(QString(), QString(), QString("0")));
    EXPECT_TRUE(summary.startsWith(QString("summary: %1 blocks, none with the peak in the band; %1 not measured "
                                           "(digital silence); ").arg(rows.size()))) << summary.toStdString();

    TonePlayer player(30);
    ASSERT_TRUE(player.waitForStarted(3000)) << "paplay did not start";
    QTest::qWait(1500); // its sound reaches the cable

    // parlune-measure, the cable chosen by its number from --list-inputs (the
    // test signals after the devices), for 6 s on a fresh stream, whose first
    // audio may take 2 s and is no loss.  The tone is steady, so every
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
}

// The server killed mid-run: one line on stderr within three block lengths,
// status 4, and the lines written before it kept.
TEST_F(CableTone, LosingTheAudioServerEndsTheRunWithStatusFour)
{
    PLAY_TONE(player);
    QTemporaryDir dir;
    const QString log = dir.filePath("live.txt");
    QProcess p;
    p.start(PARLUNE_MEASURE_BIN, {"--input", "cable_in", "--output", log, "--interval", "0"});
    ASSERT_EVENTUALLY(ReadFile(log).count("\r\n") >= 2, 10000);
    const qsizetype before = ReadFile(log).count("\r\n");
    QElapsedTimer sinceKill;
    KillPulseServer();
    sinceKill.start();
    const Outcome run = Finish(p, 10000);
    EXPECT_LT(sinceKill.elapsed(), 3000 * kBlockS + 500); // the exit itself takes a moment
    EXPECT_EQ(run.status, 4);
    EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.startsWith("parlune-measure: cable_in: input lost")) << run.err.toStdString();
    EXPECT_GE(ReadFile(log).count("\r\n"), before);
}

} // namespace
