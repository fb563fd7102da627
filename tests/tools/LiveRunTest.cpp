// parlune-measure's live runs: the several-monitor form refusing what it
// cannot run (every bad config file or metrics address is one line, status
// 2, and nothing opened), and gapless capture.
#include <gtest/gtest.h>

#include "support/MeasureRun.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>

#include <fstream>

namespace {

TEST(Config, BadFilesAndAddressesAreOneLineAndStartNothing)
{
    QTemporaryDir dir;
    const std::string out = dir.filePath("never.csv").toStdString();
    const std::string ok = "[a]\ninput = Test signal 1000 Hz, S/N 20 dB\noutput = " + out + "\n";
    const struct { std::string file; std::string line; } cases[] = { // the file and its one line after "FILE"
        {ok + "fft-size = 3000\n", ":4: fft-size: must be a power of two, not '3000'"},
        {ok + "average = 64\n", ":4: average: must be a whole number 1 .. 63, not '64'"},
        {ok + "track = maybe\n", ":4: track: must be true or false, not 'maybe'"},
        {ok + "duration = 5\n", ":4: duration: not a key a monitor takes"},
        {ok + "frobnicate = 1\n", ":4: frobnicate: not a key a monitor takes"},
        {ok + "rate = 12000\nrate = 48000\n", ":5: rate: given twice in section [a]"},
        {ok + ok, ":4: section [a] is repeated"},
        {"input = x\n" + ok, ":1: input: a key before the first [section]"},
        {"[a]\nrate = 12000\n", ":1: input: section [a] names no input"},
        {ok + "plot-size = 400x300\n", ":1: section [a]: --plot-size: only with --plot"},
        {"[a]\ninput = nowhere\noutput = " + out + "\n", ":2: input: no capture device is named 'nowhere'"},
        {ok + "[b]\ninput = 97\n", ":5: input: there is no device 97"},
        {"just text\n", ":1: expected key = value"},
        {"# comments only\n", ": no monitor: the file has no [section]"},
    };
    for (const auto& c : cases) {
        const QString path = dir.filePath("m.ini");
        std::ofstream(path.toStdString()) << c.file;
        const Outcome r = Measure({"--config", path, "--duration", "1"});
        SCOPED_TRACE(c.file + " -> " + r.err.toStdString());
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.err.startsWith(QString::fromStdString("parlune-measure: " + path.toStdString() + c.line)));
        EXPECT_EQ(r.err.count('\n'), 1);
        EXPECT_FALSE(QFile::exists(QString::fromStdString(out))) << "an output was opened";
    }

    std::ofstream(dir.filePath("m.ini").toStdString()) << ok;
    for (const auto& [args, line] : {std::pair(QStringList{"--compare", "a,b", "--plot", dir.filePath("p.png")},
                                                std::string("--compare: no monitor is named 'b'")),
                                      std::pair(QStringList{"--compare", "a,a"}, std::string("--compare: only with --plot"))}) {
        const Outcome r = Measure(QStringList{"--config", dir.filePath("m.ini"), "--duration", "1"} + args);
        EXPECT_EQ(std::pair(r.status, r.err.toStdString()), std::pair(2, "parlune-measure: " + line + "\n"));
        EXPECT_FALSE(QFile::exists(QString::fromStdString(out)));
    }

    QTcpServer taken; // a port in use, and addresses that are not this machine's or not addresses
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    const QString inUse = QString("127.0.0.1:%1").arg(taken.serverPort());
    for (const QString& where : {inUse, QString("192.0.2.1:9464"), QString("9464x"), QString("70000")}) {
        std::ofstream(dir.filePath("m.ini").toStdString()) << ok;
        const Outcome r = Measure({"--config", dir.filePath("m.ini"), "--metrics", where, "--duration", "1"});
        SCOPED_TRACE(where.toStdString() + " -> " + r.err.toStdString());
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.err.startsWith("parlune-measure: --metrics: "));
        EXPECT_EQ(r.err.count('\n'), 1);
        EXPECT_FALSE(QFile::exists(QString::fromStdString(out)));
    }
}

} // namespace

namespace {

// A live run keeps buffers queued while it measures, so at 1024 points and
// 48000 Hz (21 ms blocks) it still measures nearly all of the audio; one
// buffer at a time measured well under half of it.
TEST(LiveRun, SmallBlocksMeasureNearlyAllTheAudio)
{
    const Outcome r = Measure({"--input", "Test signal 1000 Hz, S/N 20 dB", "--rate", "48000", "--fft-size", "1024",
                               "--format", "csv", "--duration", "3", "--summary"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QString summary = r.out.trimmed().split('\n').last();
    const QRegularExpression share(R"(; ([0-9.]+)% of the audio measured$)");
    const auto m = share.match(summary);
    ASSERT_TRUE(m.hasMatch()) << summary.toStdString();
    EXPECT_GE(m.captured(1).toDouble(), 95) << summary.toStdString();
}

} // namespace
