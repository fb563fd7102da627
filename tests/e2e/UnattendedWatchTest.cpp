// An unattended watch of two monitors, the cable with reconnect and the
// test signal, meeting what a station's machine meets: the audio server
// away for 2, 10 and 60 s and frozen for 15 s, and idle clients holding
// connections to the metrics endpoint.
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fstream>
#include <vector>

#include "support/Http.h"
#include "PulseServer.h"
#include "support/Eventually.h"
#include "capture/TestSignal.h"
#include "support/MeasureRun.h"

namespace {

constexpr int kRetryMs = 3000; // how often a lost input's server is asked

QString LastLine(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).trimmed().split('\n').last() : QString();
}

TEST_F(CableTest, OutagesOfAnyLengthEndWithTheInputBackAndTheOtherMonitorWhole)
{
    QTemporaryDir dir;
    const quint16 port = FreeLoopbackPort();
    const QUrl url(QString("http://127.0.0.1:%1/metrics").arg(port));
    const QString config = dir.filePath("watch.ini");
    std::ofstream(config.toStdString()) << "[cable]\ninput = cable_in\nreconnect = true\noutput = "
                                        << dir.filePath("cable.txt").toStdString() << "\n[signal]\ninput = "
                                        << kTestSignals[0].shortName << "\noutput = "
                                        << dir.filePath("signal.txt").toStdString() << "\n";
    Started watch;
    watch.start(PARLUNE_MEASURE_BIN, {"--config", config, "--metrics", QString("127.0.0.1:%1").arg(port), "--summary",
                                      "--fft-size", "4096"});
    const auto value = [&](const char* name, const char* monitor) { return Metric(Get(url), name, monitor); };
    auto player = std::make_unique<TonePlayer>(20);
    ASSERT_EVENTUALLY(value("parlune_blocks_measured_total", "cable") >= 1, 15000);

    // Clients that send half a request and wait hold a thread each until
    // the endpoint's time limit; a scrape is still answered at once.
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 8; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QHostAddress::LocalHost, port);
        ASSERT_TRUE(idle.back()->waitForConnected(2000));
        idle.back()->write("GET /metrics HTTP/1.1\r\nHost: x\r\n");
        idle.back()->flush();
    }
    QElapsedTimer scrape;
    scrape.start();
    EXPECT_FALSE(Get(url, 1000).isEmpty());
    EXPECT_LT(scrape.elapsed(), 1000);
    idle.clear();

    struct Outage { int seconds; bool frozen; };
    for (const Outage o : {Outage{2, false}, Outage{10, false}, Outage{60, false}, Outage{15, true}}) {
        SCOPED_TRACE(o.seconds);
        const double signalBlocks = value("parlune_blocks_measured_total", "signal");
        {
            FrozenPulseServer frozen(o.frozen); // the cable stops delivering: a loss all the same
            if (!o.frozen) KillPulseServer();
            ASSERT_EVENTUALLY(value("parlune_input_up", "cable") == 0.0, 5000);
            QTest::qWait(o.seconds * 1000);
            if (!o.frozen) {
                ASSERT_EQ(RestartPulseServer(), "");
                player = std::make_unique<TonePlayer>(20);
            }
        }
        QElapsedTimer back;
        back.start();
        ASSERT_EVENTUALLY(value("parlune_input_up", "cable") == 1.0, 2 * kRetryMs);
        EXPECT_LT(back.elapsed(), kRetryMs + 1000);
        const double cableBlocks = value("parlune_blocks_measured_total", "cable");
        ASSERT_EVENTUALLY(value("parlune_blocks_measured_total", "cable") > cableBlocks, 10000);
        EXPECT_GT(value("parlune_blocks_measured_total", "signal"), signalBlocks + o.seconds / 2);
    }
    EXPECT_EQ(value("parlune_input_losses_total", "cable"), 4);

    ::kill(static_cast<pid_t>(watch.processId()), SIGTERM);
    const Outcome end = Finish(watch, 10000);
    EXPECT_EQ(end.status, 0) << end.err.toStdString();
    EXPECT_TRUE(LastLine(dir.filePath("signal.txt")).endsWith("; 100.0% of the audio measured"))
        << LastLine(dir.filePath("signal.txt")).toStdString();
    // Away for the outages and the time each took to notice and reopen.
    const QRegularExpression away(R"(% of the audio measured; input lost 4 times, away (\d+\.\d) s$)");
    const auto m = away.match(LastLine(dir.filePath("cable.txt")));
    ASSERT_TRUE(m.hasMatch()) << LastLine(dir.filePath("cable.txt")).toStdString();
    EXPECT_GT(m.captured(1).toDouble(), 2 + 10 + 60 + 15);
    EXPECT_LT(m.captured(1).toDouble(), 2 + 10 + 60 + 15 + 4 * (kRetryMs + 3000) / 1000.0);
}

} // namespace
