// An unattended watch of two monitors, the cable with reconnect and the
// test signal, meeting what a station's machine meets: the audio server
// away for 2, 10 and 60 s and frozen for 15 s, and idle clients holding
// connections to the metrics endpoint; a real Prometheus on loopback scrapes
// it throughout and sees the monitor end.
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include <cmath>
#include <csignal>
#include <fstream>
#include <map>
#include <vector>

#include "support/Http.h"
#include "PulseServer.h"
#include "support/Eventually.h"
#include "capture/TestSignal.h"
#include "support/MeasureRun.h"

namespace {

constexpr int kRetryMs = 3000; // how often a lost input's server is asked

QString LastLine(const QString& path) { return QString::fromUtf8(ReadFile(path)).trimmed().split('\n').last(); }

struct WatchE2E : CableTest {
    QTemporaryDir dir;
    quint16 port = FreeLoopbackPort(), promPort = FreeLoopbackPort();
    Started prometheus;

    // The value of a query's series by monitor label ("" when it has none).
    std::map<QString, double> Query(const QString& promql)
    {
        QUrl url(QString("http://127.0.0.1:%1/api/v1/query").arg(promPort));
        url.setQuery(QUrlQuery{{"query", promql}});
        std::map<QString, double> values;
        for (const QJsonValue& r : QJsonDocument::fromJson(Get(url))["data"]["result"].toArray())
            values[r["metric"]["monitor"].toString()] = r["value"][1].toString().toDouble();
        return values;
    }
    void StartPrometheus()
    {
        std::ofstream(dir.filePath("prometheus.yml").toStdString())
            << "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
               "scrape_configs:\n  - job_name: parlune\n    static_configs:\n      - targets: ['127.0.0.1:"
            << port << "']\n";
        prometheus.start("prometheus", {"--config.file=" + dir.filePath("prometheus.yml"), "--storage.tsdb.path=" + dir.filePath("data"),
                                        QString("--web.listen-address=127.0.0.1:%1").arg(promPort), "--log.level=warn"});
        ASSERT_TRUE(prometheus.waitForStarted(5000)) << "cannot run prometheus (scripts/deps.sh installs it)";
        ASSERT_EVENTUALLY(Get(QUrl(QString("http://127.0.0.1:%1/-/ready").arg(promPort))).size() > 0, 30000);
    }
};

TEST_F(WatchE2E, OutagesOfAnyLengthEndWithTheInputBackAndTheOtherMonitorWhole)
{
    const QUrl url(QString("http://127.0.0.1:%1/metrics").arg(port));
    const QString config = dir.filePath("watch.ini");
    std::ofstream(config.toStdString()) << "[cable]\ninput = cable_in\nreconnect = true\noutput = "
                                        << dir.filePath("cable.txt").toStdString() << "\n[signal]\ninput = "
                                        << kTestSignals[0].shortName << "\noutput = "
                                        << dir.filePath("signal.txt").toStdString() << "\n";
    Started watch;
    watch.start(PARLUNE_MEASURE_BIN, {"--config", config, "--metrics", QString("127.0.0.1:%1").arg(port), "--summary",
                                      "--fft-size", "4096", "--average", "8"});
    const auto value = [&](const char* name, const char* monitor) { return Metric(Get(url), name, monitor); };
    auto player = std::make_unique<TonePlayer>(20);
    ASSERT_NO_FATAL_FAILURE(StartPrometheus());

    // Both S/N figures as Prometheus has them, once the rings of eight hold
    // the tone; the endpoint's text passes promtool's check.
    ASSERT_EVENTUALLY(Query("parlune_blocks_measured_total >= 12").size() == 2, 30000);
    const auto snr = Query("parlune_snr_2500hz_db");
    ASSERT_EQ(snr.size(), 2u);
    for (const auto& [name, db] : snr) EXPECT_NEAR(db, 20, 0.5) << name.toStdString();
    QProcess check;
    check.start("promtool", {"check", "metrics"});
    check.write(Get(url));
    check.closeWriteChannel();
    ASSERT_TRUE(check.waitForFinished(10000));
    EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().toStdString() << check.readAllStandardError().toStdString();

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

    // Each outage: the cable down, its S/N series gone and its loss counted,
    // then back by itself within a retry interval; the test signal goes on.
    struct Outage { int seconds; bool frozen; };
    for (const Outage o : {Outage{2, false}, Outage{10, false}, Outage{60, false}, Outage{15, true}}) {
        SCOPED_TRACE(o.seconds);
        const double signalBlocks = value("parlune_blocks_measured_total", "signal");
        {
            FrozenPulseServer frozen(o.frozen); // the cable stops delivering: a loss all the same
            if (!o.frozen) KillPulseServer();
            ASSERT_EVENTUALLY(value("parlune_input_up", "cable") == 0.0, 5000);
            EXPECT_TRUE(std::isnan(value("parlune_snr_2500hz_db", "cable")));
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
    EXPECT_EQ(Query("parlune_input_losses_total"), (std::map<QString, double>{{"cable", 4}, {"signal", 0}}));

    ::kill(static_cast<pid_t>(watch.processId()), SIGTERM);
    const Outcome end = Finish(watch, 10000);
    EXPECT_EQ(end.status, 0) << end.err.toStdString();
    ASSERT_EVENTUALLY(Query("up{job=\"parlune\"}") == (std::map<QString, double>{{"", 0}}), 15000);
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
