// parlune-measure on live inputs of the private PulseAudio server: the cable
// agrees with the same tone read from its file, a test signal gives well-formed
// lines, SIGTERM ends a run cleanly, and a vanished server ends it with status 4.
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QImage>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <map>
#include <optional>

#include "PulseServer.h"
#include "capture/TestSignal.h"

namespace {

constexpr double kBlockS = 8192 / 12000.0;

struct Outcome { int status = -1; QString out, err; };

Outcome Finish(QProcess& p, int ms = 60000)
{
    EXPECT_TRUE(p.waitForFinished(ms)) << "parlune-measure did not finish";
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

Outcome Measure(const QStringList& args)
{
    QProcess p;
    p.start(PARLUNE_MEASURE_BIN, args);
    return Finish(p);
}

// CSV rows by column name, header dropped.
std::vector<std::map<QString, QString>> Rows(const QString& csv)
{
    QStringList lines = csv.split('\n', Qt::SkipEmptyParts);
    std::vector<std::map<QString, QString>> rows;
    if (lines.isEmpty()) return rows;
    const QStringList head = lines.takeFirst().split(',');
    for (const QString& l : lines) {
        const QStringList f = l.split(',');
        std::map<QString, QString>& row = rows.emplace_back();
        for (qsizetype i = 0; i < head.size() && i < f.size(); ++i) row[head[i]] = f[i];
    }
    return rows;
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct MeasureLive : CableTest {
    QTemporaryDir dir;
    QString log = dir.filePath("live.txt");
};

// The played tone is steady, so every live block, wherever the gaps between
// blocks put it, must read what the file's blocks read: the same peak bin
// (48000 Hz with 32768 points has the bins of 12000 Hz with 8192) and an S/N
// within the file's block-to-block scatter.  The blocks cannot be paired one
// to one: the audio between live blocks is dropped.
TEST_F(MeasureLive, CableReadsThePlayedFileBlockForBlock)
{
    PLAY_TONE(player);
    const Outcome live = Measure({"--input", "cable_in", "--format", "csv", "--duration", "5"});
    ASSERT_EQ(live.status, 0) << live.err.toStdString();
    const Outcome file = Measure({"--format", "csv", "--fft-size", "32768", player.arguments().last()});
    ASSERT_EQ(file.status, 0) << file.err.toStdString();

    const auto fileRows = Rows(file.out), liveRows = Rows(live.out);
    ASSERT_GE(fileRows.size(), 15u);
    ASSERT_GE(liveRows.size(), 5u);
    double lo = 1e9, hi = -1e9, fileSum = 0, liveSum = 0;
    for (const auto& r : fileRows) {
        ASSERT_EQ(r.at("peak_hz"), fileRows[0].at("peak_hz"));
        const double sn = r.at("sn_2500hz_db").toDouble();
        lo = std::min(lo, sn), hi = std::max(hi, sn), fileSum += sn;
    }
    for (std::size_t b = 0; b < liveRows.size(); ++b) {
        SCOPED_TRACE("live block " + std::to_string(b));
        const auto& r = liveRows[b];
        EXPECT_EQ(r.at("block"), QString::number(b));
        EXPECT_EQ(r.at("peak_hz"), fileRows[0].at("peak_hz"));
        EXPECT_EQ(r.at("in_band"), "1");
        const double sn = r.at("sn_2500hz_db").toDouble();
        EXPECT_GE(sn, lo - 0.3);
        EXPECT_LE(sn, hi + 0.3);
        liveSum += sn;
    }
    // The resampling to 12000 Hz may shave a little noise off near 5000 Hz.
    EXPECT_NEAR(liveSum / double(liveRows.size()), fileSum / double(fileRows.size()), 0.3);
}

// The test signal by its number from --list-inputs, for a few seconds: one
// log line per block (interval 0), each "hh:mm:ss, Hz, dB, dB, dB" with the
// time of day and ending CR LF, then the summary.
TEST_F(MeasureLive, TestSignalGivesTimeOfDayLinesForItsDuration)
{
    const Outcome list = Measure({"--list-inputs"});
    ASSERT_EQ(list.status, 0) << list.err.toStdString();
    const QStringList devices = list.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_GT(devices.size(), qsizetype(cableIn) + 2);
    EXPECT_EQ(devices[cableIn], QString::number(cableIn) + "\tcable_in");
    const qsizetype n = devices.size();
    EXPECT_EQ(devices[n - 2], QString::number(n - 2) + "\t" + kTestSignals[0].shortName);

    const QTime before = QTime::currentTime();
    const Outcome run = Measure({"--input", QString::number(n - 2), "--duration", "3", "--interval", "0", "--summary"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.err, "");
    QStringList lines = run.out.split("\r\n");
    ASSERT_EQ(lines.takeLast(), ""); // the last line ended too
    ASSERT_TRUE(lines.last().startsWith("summary: ")) << lines.last().toStdString();
    const int blocks = int(lines.size()) - 1;
    EXPECT_GE(blocks, 3);
    EXPECT_LE(blocks, int(3 / kBlockS));
    EXPECT_TRUE(lines.last().startsWith("summary: " + QString::number(blocks) + " blocks, " + QString::number(blocks)));
    const QRegularExpression shape(R"(^(\d\d:\d\d:\d\d), (\d+\.\d+), (-?\d+\.\d+), (-?\d+\.\d+), (-?\d+\.\d+)$)");
    for (int i = 0; i < blocks; ++i) {
        SCOPED_TRACE(lines[i].toStdString());
        const auto m = shape.match(lines[i]);
        ASSERT_TRUE(m.hasMatch());
        EXPECT_LE(std::abs(QTime::fromString(m.captured(1), "hh:mm:ss").secsTo(before)), 10); // not midnight-safe
        EXPECT_NEAR(m.captured(2).toDouble(), 1000, 12000.0 / 8192);
        EXPECT_NEAR(m.captured(5).toDouble() - 10 * std::log10(2500.0), 20, 1.0);
    }
}

// SIGTERM or SIGHUP: the run ends with status 0, the file keeps what it
// held, every line is whole, the summary comes last and the picture is drawn.
TEST_F(MeasureLive, StopSignalsEndTheRunWithACompleteFileAndPicture)
{
    for (const int sig : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        const QString png = dir.filePath(QString("sn%1.png").arg(sig));
        {
            QFile f(log);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("earlier\r\n");
        }
        QProcess p;
        p.start(PARLUNE_MEASURE_BIN,
                {"--input", kTestSignals[0].shortName, "--output", log, "--interval", "0", "--summary", "--plot", png});
        QTRY_VERIFY_WITH_TIMEOUT(ReadAll(log).count("\r\n") >= 3, 10000);
        ::kill(static_cast<pid_t>(p.processId()), sig);
        const Outcome run = Finish(p, 5000);
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_EQ(run.out + run.err, "");
        const QByteArray text = ReadAll(log);
        ASSERT_TRUE(text.startsWith("earlier\r\n"));
        EXPECT_EQ(text.count('\n'), text.count("\r\n"));
        QList<QByteArray> lines = text.split('\n');
        ASSERT_EQ(lines.takeLast(), ""); // the last line ended too
        EXPECT_GE(lines.size(), 4); // earlier, two blocks at least, the summary
        EXPECT_TRUE(lines.last().startsWith("summary: ")) << lines.last().toStdString();
        EXPECT_FALSE(QImage(png).isNull());
    }
}

// A new PulseAudio stream takes 1 to 2 s to deliver its first audio; that is
// not a lost input.  Runs back to back, each with a fresh stream, all measure.
TEST_F(MeasureLive, BackToBackRunsAllMeasure)
{
    std::optional<TonePlayer> player; // the 14 s tone, renewed every four runs
    for (const char* size : {"1024", "8192"}) {
        for (int run = 0; run < 20; ++run) {
            SCOPED_TRACE(std::string(size) + " points, run " + std::to_string(run));
            if (run % 4 == 0) player.emplace();
            ASSERT_TRUE(player->waitForStarted(3000));
            const Outcome r = Measure({"--input", "cable_in", "--rate", "48000", "--fft-size", size, "--format", "csv",
                                       "--duration", "2.5"});
            ASSERT_EQ(r.status, 0) << r.err.toStdString();
            EXPECT_GE(Rows(r.out).size(), 1u);
        }
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

// A server that accepts connections but never answers: listing and opening
// give up within 5 s with one line each, and the test signals still measure.
TEST_F(MeasureLive, FrozenServerIsGivenUpOnAndTheTestSignalsStillWork)
{
    FrozenPulseServer frozen;
    ASSERT_TRUE(frozen.frozen);
    QElapsedTimer clock;
    clock.start();
    const Outcome list = Measure({"--list-inputs"});
    EXPECT_LT(clock.elapsed(), 7000);
    EXPECT_EQ(list.status, 1);
    EXPECT_EQ(list.out, QString("0\t%1\n1\t%2\n").arg(kTestSignals[0].shortName, kTestSignals[1].shortName));
    EXPECT_EQ(list.err, "parlune-measure: the audio server did not answer within 5 s (stopped?); only the test signals are listed\n");
    clock.restart();
    const Outcome cable = Measure({"--input", "cable_in", "--duration", "1"});
    EXPECT_LT(clock.elapsed(), 7000);
    EXPECT_EQ(std::pair(cable.status, cable.err.count('\n')), std::pair(1, qsizetype(1))) << cable.err.toStdString();
    const Outcome signal = Measure({"--input", kTestSignals[0].shortName, "--duration", "1.5", "--format", "csv"});
    EXPECT_EQ(signal.status, 0) << signal.err.toStdString();
    EXPECT_GE(Rows(signal.out).size(), 1u);
}

// The server killed mid-run: one line on stderr within three block lengths,
// status 4, and the lines written before it kept.
TEST_F(MeasureLive, LosingTheAudioServerEndsTheRunWithStatusFour)
{
    PLAY_TONE(player);
    QProcess p;
    p.start(PARLUNE_MEASURE_BIN, {"--input", "cable_in", "--output", log, "--interval", "0"});
    QTRY_VERIFY_WITH_TIMEOUT(ReadAll(log).count("\r\n") >= 2, 10000);
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
