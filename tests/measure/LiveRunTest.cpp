// parlune-measure's live runs: shared outputs, gapless capture, pictures,
// stop signals and a full disk under one monitor.
#include <gtest/gtest.h>

#include "support/Eventually.h"
#include "support/Http.h"
#include "support/MeasureRun.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QDir>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTime>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <set>
#include <thread>

namespace {

// In the config form every line says whose it is: monitors writing to one
// place, however it is spelled, share one CSV header, a name with a comma
// is quoted, a log line starts with the name.  A '#' or ';' after a blank
// starts a comment; quoted, or without a blank before it, it is part of the
// value.  Every picture is drawn: a section's own, all monitors' and the
// comparison.  A log file keeps what it held; a live line has the time of day.
TEST(Config, SharedOutputsSayWhoseRowsTheyAre)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("x"));
    const QString ini = dir.filePath("m.ini"), hashed = dir.filePath("a #1.csv"), plain = dir.filePath("d#2.csv"),
                  log = dir.filePath("log.txt"), fresh = dir.filePath("new.csv"), own = dir.filePath("a.png"), all = dir.filePath("all.png");
    QString config = "[a] # the first\ninput = " + kSignal + "   # the tone\nformat = csv\t; rows\nfft-size = 4096 #small\n"
                     "output = \"" + hashed + "\"   # quoted\nreconnect = true          # as the README has it\nplot = " + own + "\n"
                     "[b, c]\ninput = '" + kDrifting + "'\nformat = csv\noutput = \"" + dir.filePath("./x/../a #1.csv") + "\"\n"
                     "[d]\ninput = " + kSignal + "\nformat = csv\noutput = " + plain + "\n"
                     "[north]\ninput = " + kSignal + "\nformat = log\ninterval = 0\noutput = " + log + "\n";
    for (int i = 0; i < 8; ++i) config += QString("[m%1]\ninput = %2\n").arg(i).arg(i % 2 ? kDrifting : kSignal);
    WriteFile(ini, config.toUtf8());
    WriteFile(log, "earlier\r\n");
    const QTime before = QTime::currentTime();
    const Outcome r = Measure({"--config", ini, "--duration", "1.5", "--fft-size", "4096", "--format", "csv", "--summary", "--plot", all,
                               "--compare", "a,d"});
    EXPECT_EQ(std::pair(r.status, r.err), std::pair(0, QString()));
    EXPECT_FALSE(QImage(own).isNull() || QImage(all).isNull());
    std::set<QString> names;
    for (const auto& row : Rows(r.out)) names.insert(row.at("monitor"));
    EXPECT_EQ(names, std::set<QString>({"m0", "m1", "m2", "m3", "m4", "m5", "m6", "m7"}));
    const QString shared = ReadFile(hashed), logged = ReadFile(log);
    EXPECT_EQ(std::tuple(r.out.count("block,start_s"), r.out.startsWith("monitor,block,start_s,peak_hz,"), shared.count("block,start_s")),
              std::tuple(1, true, 1)) << r.out.left(300).toStdString();
    EXPECT_TRUE(shared.contains("\n\"b, c\",0,") && shared.contains("\na,0,")) << shared.toStdString();
    EXPECT_FALSE(Rows(ReadFile(plain)).empty());
    const auto north = QRegularExpression("^earlier\r\nnorth, ([0-9]{2}:[0-9]{2}:[0-9]{2}), 999\\.02, ").match(logged);
    ASSERT_TRUE(north.hasMatch()) << logged.toStdString();
    EXPECT_LE(std::abs(QTime::fromString(north.captured(1), "hh:mm:ss").secsTo(before)), 10); // the time of day; not midnight-safe
    EXPECT_TRUE(logged.contains("\r\nnorth, summary: ")) << logged.toStdString();

    // The --input form is as it was, no monitor column, and needs no audio
    // server for a test signal by name; an output not there yet is made.  It
    // keeps buffers queued while it measures, so at 1024 points and 48000 Hz
    // (21 ms blocks) it still measures nearly all of the audio.
    const Outcome single = Measure({"--input", kSignal, "--duration", "3", "--rate", "48000", "--fft-size", "1024", "--format", "csv",
                                    "--summary", "--output", fresh}, {{"PULSE_SERVER", "unix:/nonexistent"}});
    EXPECT_EQ(std::pair(single.status, single.err), std::pair(0, QString()));
    const QString rows = ReadFile(fresh);
    EXPECT_TRUE(QRegularExpression("^block,start_s,[^\n]*\n0,").match(rows).hasMatch()) << rows.left(200).toStdString();
    const auto m = QRegularExpression(R"(\nsummary: [^\n]*; ([0-9.]+)% of the audio measured\r?\n$)").match(rows);
    ASSERT_TRUE(m.hasMatch()) << rows.right(300).toStdString();
    EXPECT_GE(m.captured(1).toDouble(), 95);
}

// A stopped process (or a suspended machine) is a gap in the audio, counted
// in the metrics and the summary, and not a lost input.  Of two stop signals
// 10 ms apart (SIGHUP, SIGINT) the second waits for what the first started:
// the picture and the summary are written and the status is 0.
TEST(LiveRun, AStoppedProcessIsAGapAndASecondStopWaitsForTheWriting)
{
    QTemporaryDir dir;
    const QString png = dir.filePath("sn.png");
    const quint16 port = FreeLoopbackPort();
    const QUrl url(QString("http://127.0.0.1:%1/metrics").arg(port));
    Started p;
    p.start(PARLUNE_MEASURE_BIN, {"--input", kSignal, "--fft-size", "1024", "--summary", "--format", "csv", "--plot", png, "--metrics",
                                  QString::number(port)});
    ASSERT_EVENTUALLY(Metric(Get(url), "parlune_blocks_measured_total", kSignal) >= 2, 10000);
    ::kill(static_cast<pid_t>(p.processId()), SIGSTOP);
    QTest::qWait(3000);
    ::kill(static_cast<pid_t>(p.processId()), SIGCONT);
    ASSERT_EVENTUALLY(Metric(Get(url), "parlune_audio_gap_seconds_total", kSignal) > 0, 5000);
    EXPECT_NEAR(Metric(Get(url), "parlune_audio_gap_seconds_total", kSignal), 3, 0.5);
    EXPECT_EQ(Metric(Get(url), "parlune_input_losses_total", kSignal), 0);
    ::kill(static_cast<pid_t>(p.processId()), SIGHUP);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    const Outcome r = Finish(p, 30000);
    EXPECT_EQ(std::pair(r.status, r.err), std::pair(0, QString()));
    const auto m = QRegularExpression(R"(^summary: .*; gaps in the audio (\d+\.\d) s$)").match(r.out.trimmed().split('\n').last());
    ASSERT_TRUE(m.hasMatch()) << r.out.right(300).toStdString();
    EXPECT_NEAR(m.captured(1).toDouble(), 3, 0.5);
    EXPECT_FALSE(QImage(png).isNull());
}

// A 64 KiB tmpfs at a folder for the life of the object.
struct SmallDisk {
    explicit SmallDisk(const QString& at)
        : path(at), mounted(QDir().mkpath(at) && mount("tmpfs", at.toLocal8Bit().constData(), "tmpfs", 0, "size=64k") == 0)
    {
        if (!mounted) std::cerr << "no tmpfs (" << std::strerror(errno) << "): rows to /dev/full, no picture case\n";
    }
    ~SmallDisk() { if (mounted) umount2(path.toLocal8Bit().constData(), MNT_DETACH); }
    // Fills the disk, then frees this many 4 KiB pages again.
    void Fill(int freePages) const
    {
        const int fd = open((path + "/filler").toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const std::string page(4096, 'x');
        off_t size = 0;
        for (ssize_t n; (n = write(fd, page.data(), page.size())) > 0;) size += n;
        EXPECT_EQ(ftruncate(fd, size / 4096 * 4096 - freePages * 4096), 0);
        close(fd);
    }
    QString path;
    bool mounted;
};

} // namespace

// A full disk under one monitor's rows or picture: that monitor says so in
// one line and writes nothing more, no partial row stays and the old picture
// stays whole; the other monitor goes on to its summary, and the status is 1.
TEST(LiveRun, FullDiskStopsOneMonitorsOutputAndLosesNoGoodData)
{
    QTemporaryDir dir;
    const SmallDisk disk(dir.filePath("full"));
    const QString rows = disk.mounted ? disk.path + "/a.csv" : "/dev/full", png = disk.path + "/a.png";
    const struct { const char* what; QString file, keys; int freePages; } cases[] = { // a's output that fails, and its keys
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
            old = ReadFile(png);
        }
        if (disk.mounted) disk.Fill(c.freePages);
        const QString ini = dir.filePath("m.ini");
        WriteFile(ini, ("[a]\ninput = " + kSignal + "\nformat = csv\n" + c.keys + "[b]\ninput = " + kSignal +
                        "\nformat = csv\nsummary = true\noutput = " + dir.filePath("b.csv") + "\n").toUtf8());
        const Outcome r = Measure({"--config", ini, "--duration", "3", "--plot", dir.filePath("all.png")});
        SCOPED_TRACE(r.err.toStdString());
        EXPECT_EQ(std::pair(r.status, r.err.count('\n')), std::pair(1, qsizetype(1)));
        EXPECT_TRUE(r.err.startsWith("parlune-measure: a: " + c.file + ": cannot write") && r.err.contains("No space left on device"));
        const QByteArray b = ReadFile(dir.filePath("b.csv")); // header, rows, summary
        EXPECT_GT(b.count('\n'), 2);
        EXPECT_TRUE(QString(b).trimmed().section(QChar(10), -1).startsWith("b,summary: ")) << b.right(300).toStdString();
        if (c.file == png) {
            EXPECT_EQ(ReadFile(png), old) << "the old picture is gone";
        } else if (disk.mounted) {
            const QByteArray csv = ReadFile(rows);
            ASSERT_GT(csv.count('\n'), 10) << "a wrote rows until the disk was full";
            EXPECT_TRUE(csv.endsWith('\n')) << "a partial row: " << csv.right(60).toStdString();
            const qsizetype columns = csv.left(csv.indexOf('\n')).count(',');
            for (const QByteArray& line : csv.trimmed().split('\n'))
                EXPECT_EQ(line.count(','), columns) << line.toStdString();
        }
        QFile::remove(disk.path + "/filler");
    }
}
