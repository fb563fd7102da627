// parlune-measure's metrics read back through a real Prometheus on loopback:
// two monitors (the cable playing a 20 dB tone, the built-in test signal),
// the audio server killed under one of them and brought back, and the
// monitor ended.
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <fstream>
#include <map>

#include "support/Http.h"
#include "PulseServer.h"
#include "support/Eventually.h"
#include "capture/TestSignal.h"

namespace {

struct PrometheusE2E : CableTest {
    QTemporaryDir dir;
    quint16 metricsPort = FreeLoopbackPort(), promPort = FreeLoopbackPort();
    Started monitor, prometheus;

    // The value of a query's series by monitor label ("" when it has none).
    std::map<QString, double> Query(const QString& promql)
    {
        QUrl url(QString("http://127.0.0.1:%1/api/v1/query").arg(promPort));
        url.setQuery(QUrlQuery{{"query", promql}});
        std::map<QString, double> values;
        const QJsonArray result = QJsonDocument::fromJson(Get(url))["data"]["result"].toArray();
        for (const QJsonValue& r : result)
            values[r["metric"]["monitor"].toString()] = r["value"][1].toString().toDouble();
        return values;
    }
    void StartPrometheus()
    {
        std::ofstream(dir.filePath("prometheus.yml").toStdString())
            << "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
               "scrape_configs:\n  - job_name: parlune\n    static_configs:\n      - targets: ['127.0.0.1:"
            << metricsPort << "']\n";
        prometheus.start("prometheus", {"--config.file=" + dir.filePath("prometheus.yml"),
                                        "--storage.tsdb.path=" + dir.filePath("data"),
                                        QString("--web.listen-address=127.0.0.1:%1").arg(promPort), "--log.level=warn"});
        ASSERT_TRUE(prometheus.waitForStarted(5000)) << "cannot run prometheus (scripts/deps.sh installs it)";
        ASSERT_EVENTUALLY(Get(QUrl(QString("http://127.0.0.1:%1/-/ready").arg(promPort))).size() > 0, 30000);
    }
};

TEST_F(PrometheusE2E, TwoMonitorsAreScrapedAndALostInputAReconnectAndAnEndedMonitorShow)
{
    TonePlayer player(60);
    ASSERT_TRUE(player.waitForStarted(3000)) << "paplay did not start";
    const QString config = dir.filePath("monitors.ini");
    std::ofstream(config.toStdString()) << "[cable]\ninput = cable_in\nreconnect = true\n\n[signal]\ninput = "
                                        << kTestSignals[0].shortName << "\n";
    monitor.start(PARLUNE_MEASURE_BIN, {"--config", config, "--average", "4", "--metrics",
                                        QString("127.0.0.1:%1").arg(metricsPort), "--output", "/dev/null"});
    ASSERT_TRUE(monitor.waitForStarted(5000));
    ASSERT_NO_FATAL_FAILURE(StartPrometheus());

    // Both S/N figures once the rings have filled (four blocks of 0.68 s).
    ASSERT_EVENTUALLY(Query("parlune_blocks_measured_total >= 6").size() == 2, 30000);
    const auto snr = Query("parlune_snr_2500hz_db");
    ASSERT_EQ(snr.size(), 2u);
    for (const auto& [name, db] : snr) EXPECT_NEAR(db, 20, 0.5) << name.toStdString();
    const QByteArray text = Get(QUrl(QString("http://127.0.0.1:%1/metrics").arg(metricsPort)));
    QProcess check;
    check.start("promtool", {"check", "metrics"});
    check.write(text);
    check.closeWriteChannel();
    ASSERT_TRUE(check.waitForFinished(10000));
    EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().toStdString() << check.readAllStandardError().toStdString();

    // The audio server gone: the cable's input is down and its loss counted;
    // its S/N series has gone, and the test signal goes on.
    KillPulseServer();
    ASSERT_EVENTUALLY(Query("parlune_input_up == 0") == (std::map<QString, double>{{"cable", 0}}), 15000);
    EXPECT_EQ(Query("parlune_input_losses_total"), (std::map<QString, double>{{"cable", 1}, {"signal", 0}}));
    EXPECT_EQ(Query("parlune_snr_2500hz_db").count("cable"), 0u);
    const double before = Query("parlune_blocks_measured_total")["signal"];
    ASSERT_EVENTUALLY(Query("parlune_blocks_measured_total")["signal"] >= before + 2, 15000);

    // The server back: the cable is opened again by itself, as --reconnect asks.
    ASSERT_EQ(RestartPulseServer(), "");
    TonePlayer again(30);
    ASSERT_TRUE(again.waitForStarted(3000));
    ASSERT_EVENTUALLY(Query("parlune_input_up")["cable"] == 1.0, 30000);
    EXPECT_EQ(Query("parlune_input_losses_total")["cable"], 1);

    // The monitor ended: Prometheus's own up for the target reads 0.
    monitor.terminate();
    ASSERT_TRUE(monitor.waitForFinished(10000));
    EXPECT_EQ(monitor.exitCode(), 0) << monitor.readAllStandardError().toStdString();
    ASSERT_EVENTUALLY(Query("up{job=\"parlune\"}") == (std::map<QString, double>{{"", 0}}), 15000);
}

} // namespace
