// parlune-measure's live runs: the several-monitor form refusing what it
// cannot run (every bad config file or metrics address is one line, status
// 2, and nothing opened), gapless capture, and a full disk under one monitor.
#include <gtest/gtest.h>

#include "support/Eventually.h"
#include "support/Http.h"
#include "support/MeasureRun.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iostream>

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
    for (const QString& where : {inUse, QString("192.0.2.1:9464"), QString("9464x"), QString("70000"), QString("[::1]:9464")}) {
        std::ofstream(dir.filePath("m.ini").toStdString()) << ok;
        const Outcome r = Measure({"--config", dir.filePath("m.ini"), "--metrics", where, "--duration", "1"});
        SCOPED_TRACE(where.toStdString() + " -> " + r.err.toStdString());
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.err.startsWith("parlune-measure: --metrics: "));
        EXPECT_EQ(r.err.contains("IPv6 addresses are not supported"), where.startsWith('['));
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

// Pictures in every form of a config run: a section's own alone, with the
// picture of all monitors, and with the comparison panel too.
TEST(LiveRun, EveryPictureIsDrawn)
{
    QTemporaryDir dir;
    const QString own = dir.filePath("a.png"), all = dir.filePath("all.png"), config = dir.filePath("m.ini");
    std::ofstream(config.toStdString()) << "[a]\ninput = Test signal 1000 Hz, S/N 20 dB\nplot = " << own.toStdString()
                                        << "\n[b]\ninput = Test signal drifting, S/N 0 dB\n";
    for (const QStringList& args : {QStringList{}, QStringList{"--plot", all}, QStringList{"--plot", all, "--compare", "a,b"}}) {
        QFile::remove(own), QFile::remove(all);
        const Outcome r = Measure(QStringList{"--config", config, "--duration", "1.5"} + args);
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_FALSE(QImage(own).isNull());
        EXPECT_EQ(QImage(all).isNull(), args.isEmpty());
    }
}

// A stopped process (or a suspended machine) is a gap in the audio, counted
// in the metrics and the summary, and not a lost input.
TEST(LiveRun, AStoppedProcessIsAGapNotALoss)
{
    const QString name = "Test signal 1000 Hz, S/N 20 dB";
    const quint16 port = FreeLoopbackPort();
    const QUrl url(QString("http://127.0.0.1:%1/metrics").arg(port));
    Started p;
    p.start(PARLUNE_MEASURE_BIN, {"--input", name, "--fft-size", "1024", "--summary", "--format", "csv", "--metrics",
                                  QString::number(port)});
    ASSERT_EVENTUALLY(Metric(Get(url), "parlune_blocks_measured_total", name) >= 2, 10000);
    ::kill(static_cast<pid_t>(p.processId()), SIGSTOP);
    QTest::qWait(3000);
    ::kill(static_cast<pid_t>(p.processId()), SIGCONT);
    ASSERT_EVENTUALLY(Metric(Get(url), "parlune_audio_gap_seconds_total", name) > 0, 5000);
    EXPECT_NEAR(Metric(Get(url), "parlune_audio_gap_seconds_total", name), 3, 0.5);
    EXPECT_EQ(Metric(Get(url), "parlune_input_losses_total", name), 0);
    p.terminate();
    const Outcome r = Finish(p, 5000);
    const QRegularExpression gaps(R"(; gaps in the audio (\d+\.\d) s$)");
    const auto m = gaps.match(r.out.trimmed().split('\n').last());
    ASSERT_TRUE(m.hasMatch()) << r.out.right(300).toStdString();
    EXPECT_NEAR(m.captured(1).toDouble(), 3, 0.5);
}

} // namespace

namespace {

// A 64 KiB tmpfs at a folder for the life of the object, unmounted at the end.
struct SmallDisk {
    explicit SmallDisk(const QString& at) : path(at.toStdString())
    {
        QDir().mkpath(at);
        mounted = mount("tmpfs", path.c_str(), "tmpfs", 0, "size=64k") == 0;
        why = mounted ? 0 : errno;
    }
    ~SmallDisk()
    {
        if (mounted) umount2(path.c_str(), MNT_DETACH);
    }
    // Fills the disk, then frees this many 4 KiB pages again.
    void Fill(int freePages) const
    {
        const std::string filler = path + "/filler";
        const int fd = open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const std::string page(4096, 'x');
        off_t size = 0;
        for (ssize_t n; (n = write(fd, page.data(), page.size())) > 0;) size += n;
        EXPECT_EQ(ftruncate(fd, size / 4096 * 4096 - freePages * 4096), 0);
        close(fd);
    }
    std::string path;
    bool mounted = false;
    int why = 0;
};

QByteArray Contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

// A full disk under one monitor's rows or picture: that monitor says so in
// one line and writes nothing more, no partial row stays and the old picture
// stays whole; the other monitor goes on to its summary, and the status is 1.
TEST(LiveRun, FullDiskStopsOneMonitorsOutputAndLosesNoGoodData)
{
    QTemporaryDir dir;
    const SmallDisk disk(dir.filePath("full"));
    const QString full = QString::fromStdString(disk.path);
    if (!disk.mounted)
        std::cerr << "no tmpfs (" << std::strerror(disk.why) << "): rows to /dev/full, no picture case\n";
    const QString rows = disk.mounted ? full + "/a.csv" : "/dev/full", png = full + "/a.png";
    const struct {
        const char* what;
        QString file, keys; // a's output that fails, and its keys
        int freePages;
    } cases[] = {
        {"rows", rows, "output = " + rows + "\nrate = 48000\nfft-size = 1024\n", 1},
        {"picture", png, "output = " + dir.filePath("a.csv") + "\nplot = " + png + "\n", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!disk.mounted && c.file == png) continue;
        QFile::remove(dir.filePath("b.csv"));
        QByteArray old; // a picture from before
        if (c.file == png) {
            QImage picture(320, 200, QImage::Format_RGB32);
            picture.fill(Qt::gray);
            picture.save(png);
            old = Contents(png);
        }
        if (disk.mounted) disk.Fill(c.freePages);
        const QString ini = dir.filePath("m.ini");
        std::ofstream(ini.toStdString())
            << "[a]\ninput = Test signal 1000 Hz, S/N 20 dB\nformat = csv\n" << c.keys.toStdString()
            << "[b]\ninput = Test signal 1000 Hz, S/N 20 dB\nformat = csv\nsummary = true\noutput = "
            << dir.filePath("b.csv").toStdString() << "\n";
        const Outcome r = Measure({"--config", ini, "--duration", "3", "--plot", dir.filePath("all.png")});
        SCOPED_TRACE(r.err.toStdString());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.count('\n'), 1);
        EXPECT_TRUE(r.err.startsWith("parlune-measure: a: " + c.file + ": cannot write"));
        EXPECT_TRUE(r.err.contains("No space left on device"));
        const QByteArray b = Contents(dir.filePath("b.csv")); // header, rows, summary
        EXPECT_GT(b.count('\n'), 2);
        EXPECT_TRUE(QString(b).trimmed().section(QChar(10), -1).startsWith("b,summary: ")) << b.right(300).toStdString();
        if (c.file == png) {
            EXPECT_EQ(Contents(png), old) << "the old picture is gone";
            EXPECT_FALSE(QImage(png).isNull());
        } else if (disk.mounted) {
            const QByteArray csv = Contents(rows);
            ASSERT_GT(csv.count('\n'), 10) << "a wrote rows until the disk was full";
            EXPECT_TRUE(csv.endsWith('\n')) << "a partial row: " << csv.right(60).toStdString();
            const qsizetype columns = csv.left(csv.indexOf('\n')).count(',');
            for (const QByteArray& line : csv.trimmed().split('\n'))
                EXPECT_EQ(line.count(','), columns) << line.toStdString();
        }
        QFile::remove(full + "/filler");
    }
}
