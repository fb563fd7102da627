// parlune-measure on live inputs of the private PulseAudio server: a stop
// signal ends a run cleanly, runs back to back, digital silence, and a
// vanished server that ends the run with status 4.  (The cable's tone
// against its file: CableToneTest; a server that does not answer:
// WindowLiveTest.)
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <map>

#include "PulseServer.h"
#include "support/Eventually.h"
#include "capture/TestSignal.h"
#include "support/MeasureRun.h"

namespace {

constexpr double kBlockS = 8192 / 12000.0;

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct MeasureLive : CableTest {
    QTemporaryDir dir;
    QString log = dir.filePath("live.txt");
};

// The test signal logged every block (interval 0) until SIGHUP (SIGINT and
// SIGTERM: tests/measure and UnattendedWatchTest):
// status 0, the file keeps what it held, every line is whole and ends CR LF,
// "hh:mm:ss, Hz, dB, dB, dB" with the time of day and the signal's tone, the
// summary comes last and counts them.  (The picture after a stop signal:
// LiveRun.ASecondStopSignalWaitsForTheWriting.)
TEST_F(MeasureLive, StopSignalEndsTheRunWithACompleteFile)
{
    const QRegularExpression shape(R"(^(\d\d:\d\d:\d\d), (\d+\.\d+), (-?\d+\.\d+), (-?\d+\.\d+), (-?\d+\.\d+)$)");
    {
        QFile f(log);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("earlier\r\n");
    }
    const QTime before = QTime::currentTime();
    QProcess p;
    p.start(PARLUNE_MEASURE_BIN,
            {"--input", kTestSignals[0].shortName, "--output", log, "--interval", "0", "--summary"});
    ASSERT_EVENTUALLY(ReadAll(log).count("\r\n") >= 3, 10000);
    ::kill(static_cast<pid_t>(p.processId()), SIGHUP);
    const Outcome run = Finish(p, 5000);
    EXPECT_EQ(std::tuple(run.status, run.out + run.err), std::tuple(0, QString())) << run.err.toStdString();
    const QString text = QString::fromLatin1(ReadAll(log));
    EXPECT_EQ(text.count('\n'), text.count("\r\n"));
    QStringList lines = text.split("\r\n");
    ASSERT_EQ(lines.takeLast(), ""); // the last line ended too
    ASSERT_GE(lines.size(), 4);     // earlier, two blocks at least, the summary
    EXPECT_EQ(lines.takeFirst(), "earlier");
    const QString summary = lines.takeLast();
    EXPECT_TRUE(summary.startsWith(QString("summary: %1 blocks, %1").arg(lines.size()))) << summary.toStdString();
    for (const QString& l : lines) {
        SCOPED_TRACE(l.toStdString());
        const auto m = shape.match(l);
        ASSERT_TRUE(m.hasMatch());
        EXPECT_LE(std::abs(QTime::fromString(m.captured(1), "hh:mm:ss").secsTo(before)), 10); // not midnight-safe
        EXPECT_NEAR(m.captured(2).toDouble(), 1000, 12000.0 / 8192);
        EXPECT_NEAR(m.captured(5).toDouble() - 10 * std::log10(2500.0), 20, 1.0);
    }
}

// A new PulseAudio stream takes 1 to 2 s to deliver its first audio (on the
// private server 1.6 to 1.9 s each time, past the 1 s a silent stream gets);
// that is not a lost input.  Runs back to back, each with a fresh stream, all
// measure.
TEST_F(MeasureLive, BackToBackRunsAllMeasure)
{
    TonePlayer player(20);
    ASSERT_TRUE(player.waitForStarted(3000));
    for (int run = 0; const char* size : {"1024", "1024", "8192", "8192"}) {
        SCOPED_TRACE("run " + std::to_string(run++) + ", " + size + " points");
        const Outcome r = Measure({"--input", "cable_in", "--rate", "48000", "--fft-size", size, "--format", "csv",
                                   "--duration", "2.5"});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_GE(Rows(r.out).size(), 1u);
    }
}

// Digital silence (nothing plays into the cable) is a row without figures,
// counted in the summary; the watch goes on to its end.
TEST_F(MeasureLive, DigitalSilenceIsARowWithoutFiguresAndTheWatchGoesOn)
{
    const Outcome r = Measure({"--input", "cable_in", "--rate", "48000", "--fft-size", "1024", "--format", "csv",
                               "--duration", "3", "--summary"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    const QString summary = lines.takeLast();
    const auto rows = Rows(lines.join('\n'));
    ASSERT_GE(rows.size(), 2u);
    for (const auto& row : rows) {
        EXPECT_EQ(std::tuple(row.at("peak_hz"), row.at("sn_2500hz_db"), row.at("in_band")),
                  std::tuple(QString(), QString(), QString("0")));
    }
    EXPECT_TRUE(summary.startsWith(QString("summary: %1 blocks, none with the peak in the band; %1 not measured "
                                           "(digital silence); ").arg(rows.size()))) << summary.toStdString();
}

// The server killed mid-run: one line on stderr within three block lengths,
// status 4, and the lines written before it kept.
TEST_F(MeasureLive, LosingTheAudioServerEndsTheRunWithStatusFour)
{
    PLAY_TONE(player);
    QProcess p;
    p.start(PARLUNE_MEASURE_BIN, {"--input", "cable_in", "--output", log, "--interval", "0"});
    ASSERT_EVENTUALLY(ReadAll(log).count("\r\n") >= 2, 10000);
    const qsizetype before = ReadAll(log).count("\r\n");
    QElapsedTimer sinceKill;
    KillPulseServer();
    sinceKill.start();
    const Outcome run = Finish(p, 10000);
    EXPECT_LT(sinceKill.elapsed(), 3000 * kBlockS + 500); // the exit itself takes a moment
    EXPECT_EQ(run.status, 4);
    EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.startsWith("parlune-measure: cable_in: input lost")) << run.err.toStdString();
    EXPECT_GE(ReadAll(log).count("\r\n"), before);
}

} // namespace
