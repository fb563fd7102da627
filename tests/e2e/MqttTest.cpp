// parlune-measure publishing to a real broker: Debian's mosquitto on a free
// loopback port, read with mosquitto_sub.  Two monitors (the cable's tone
// and the test signal) give state at 20 dB, Home Assistant discovery and
// availability; the broker's end does not stop the measurement, and its
// return brings fresh state; SIGKILL leaves the will; a password file and
// TLS with a CA made here by openssl.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <csignal>
#include <fstream>
#include <set>

#include "PulseServer.h"
#include "support/Eventually.h"
#include "support/Http.h"
#include "support/MeasureRun.h"

namespace {

// A broker on a loopback port of its own; stopped with the object.
struct Broker {
    QTemporaryDir dir;
    quint16 port = FreeLoopbackPort();
    Started process;
    QString extra; // more configuration lines (a password file, TLS)

    QString Start()
    {
        std::ofstream(dir.filePath("mosquitto.conf").toStdString())
            << "user root\npersistence false\nlistener " << port << " 127.0.0.1\n"
            << (extra.isEmpty() ? "allow_anonymous true\n" : extra.toStdString());
        return StartListening(process, "mosquitto", {"-c", dir.filePath("mosquitto.conf")}, port);
    }
    void Kill()
    {
        process.kill();
        process.waitForFinished(5000);
    }
};

// mosquitto_sub on every topic: "topic payload" lines as they come, retained ones first.
struct Subscriber : Started {
    QString lines;
    explicit Subscriber(quint16 port, const QStringList& more = {})
    {
        start("mosquitto_sub", QStringList{"-h", "127.0.0.1", "-p", QString::number(port), "-v", "-t", "#"} + more);
    }
    // The payloads of a topic so far, oldest first.
    QStringList Of(const QString& topic)
    {
        lines += readAllStandardOutput();
        QStringList out;
        for (const QString& l : lines.split('\n'))
            if (l.startsWith(topic + " ")) out << l.mid(topic.size() + 1);
        return out;
    }
};

QJsonObject Object(const QString& json) { return QJsonDocument::fromJson(json.toUtf8()).object(); }

struct Mqtt : CableTest {
    QTemporaryDir dir;
    Broker broker;
    QString Url() const { return QString("mqtt://127.0.0.1:%1/test").arg(broker.port); }
    // The broker given before the first section: the run's, shared by its monitors.
    QString Config()
    {
        return WriteFile(dir.filePath("m.ini"),
                         QString("mqtt = %1\n[cable]\ninput = cable_in\n[signal]\ninput = %2\n").arg(Url(), kSignal).toUtf8());
    }
};

TEST_F(Mqtt, StateDiscoveryAvailabilityAcrossABrokerRestartAndTheWill)
{
    ASSERT_EQ(broker.Start(), "");
    PLAY_TONE(player);
    const QString csv = dir.filePath("out.csv");
    Started run;
    const quint16 metricsPort = FreeLoopbackPort();
    run.start(PARLUNE_MEASURE_BIN, {"--config", Config(), "--interval", "1", "--format", "csv", "--output", csv,
                                    "--duration", "300", "--metrics", QString::number(metricsPort)});
    auto sub = std::make_unique<Subscriber>(broker.port);
    const auto stateOf = [&](const char* monitor) { return sub->Of(QString("test/%1/state").arg(monitor)); };
    ASSERT_EVENTUALLY(stateOf("cable").size() >= 3 && stateOf("signal").size() >= 3, 30000);
    for (const char* monitor : {"cable", "signal"}) {
        SCOPED_TRACE(monitor);
        const QJsonObject s = Object(stateOf(monitor).last());
        EXPECT_NEAR(s["snr_2500hz_db"].toDouble(), 20, 0.5);
        EXPECT_EQ(s["in_band"], true);
        EXPECT_GE(s["blocks"].toInt(), 1);
        EXPECT_TRUE(QDateTime::fromString(s["time"].toString(), Qt::ISODateWithMs).isValid());
        EXPECT_EQ(sub->Of(QString("test/%1/availability").arg(monitor)).last(), "online");
    }
    EXPECT_EQ(sub->Of("test/availability").last(), "online");

    // Discovery: one device per monitor, unique ids, templates into the state's keys.
    std::set<QString> ids;
    const QJsonObject state = Object(stateOf("signal").last());
    int configs = 0;
    for (const QString& l : sub->lines.split('\n')) {
        if (!l.startsWith("homeassistant/")) continue;
        const QString topic = l.section(' ', 0, 0);
        const QJsonObject c = Object(l.section(' ', 1));
        SCOPED_TRACE(topic.toStdString());
        ++configs;
        EXPECT_TRUE(ids.insert(c["unique_id"].toString()).second);
        EXPECT_EQ(c["device"]["model"], "Parlune");
        EXPECT_FALSE(c["device"]["identifiers"].toArray().isEmpty());
        EXPECT_FALSE(c["device"]["sw_version"].toString().isEmpty());
        for (const char* key : {"name", "state_topic", "availability"}) EXPECT_TRUE(c.contains(key)) << key;
        if (topic.startsWith("homeassistant/binary_sensor/")) {
            EXPECT_EQ(std::pair(c["device_class"].toString(), c["payload_on"].toString()), std::pair(QString("connectivity"), QString("online")));
            continue;
        }
        EXPECT_EQ(c["availability_mode"], "all");
        EXPECT_EQ(c["availability"].toArray().size(), 2);
        EXPECT_EQ(c["state_class"], "measurement");
        EXPECT_EQ(c["expire_after"], 3);
        const QString key = c["value_template"].toString().section('.', 1).section(' ', 0, 0);
        EXPECT_TRUE(state.contains(key)) << key.toStdString();
        EXPECT_EQ(c["unit_of_measurement"], key.endsWith("_hz") ? "Hz" : "dB");
    }
    EXPECT_EQ(configs, 2 * 8);

    // The broker gone: the CSV keeps growing; back: fresh state and the
    // retained messages again on a broker that kept nothing.
    broker.Kill();
    sub.reset();
    QString err;
    ASSERT_EVENTUALLY((err += run.readAllStandardError()).contains("MQTT broker lost; reconnecting"), 10000);
    const qint64 size = QFileInfo(csv).size();
    ASSERT_EVENTUALLY(QFileInfo(csv).size() > size + 200, 10000);
    ASSERT_EQ(broker.Start(), "");
    ASSERT_EVENTUALLY((err += run.readAllStandardError()).contains("MQTT broker back"), 40000);
    sub = std::make_unique<Subscriber>(broker.port);
    ASSERT_EVENTUALLY(stateOf("signal").size() >= 2 && sub->Of("test/availability").size() >= 1, 15000);
    EXPECT_NEAR(Object(stateOf("signal").last())["snr_2500hz_db"].toDouble(), 20, 0.5);
    EXPECT_EQ(sub->lines.count("homeassistant/sensor/"), 2 * 7);
    EXPECT_EQ(err.count("MQTT broker"), 2) << err.toStdString();
    // The state messages of the broker's absence were dropped and counted.
    const QByteArray page = Get(QUrl(QString("http://127.0.0.1:%1/metrics").arg(metricsPort)));
    EXPECT_GT(Metric(page, "parlune_mqtt_messages_dropped_total", "signal"), 0) << page.toStdString();

    // Killed outright: the broker publishes the will.
    ::kill(static_cast<pid_t>(run.processId()), SIGKILL);
    ASSERT_EVENTUALLY(sub->Of("test/availability").last() == "offline", 90000);

    // A run with --mqtt-discovery-remove leaves no entity behind.
    const Outcome removing = Measure({"--config", Config(), "--mqtt-discovery-remove", "--duration", "1"});
    ASSERT_EQ(removing.status, 0) << removing.err.toStdString();
    Subscriber after(broker.port);
    ASSERT_EVENTUALLY(after.Of("test/availability").size() == 1, 10000); // the retained ones have come
    EXPECT_EQ(after.lines.count("homeassistant/"), 0) << after.lines.toStdString();
}

// A password file on the broker: the right password (from the environment)
// connects, a wrong one is refused at the start with one line, status 2.
// TLS: a CA and a server certificate made here; the wrong CA is refused.
TEST_F(Mqtt, PasswordsAndTls)
{
    const QString pw = broker.dir.filePath("passwords"), ca = broker.dir.filePath("ca.pem");
    ASSERT_EQ(Command("mosquitto_passwd", {"-b", "-c", pw, "op", "s3cret"}), 0);
    const QString key = broker.dir.filePath("key.pem"), csr = broker.dir.filePath("srv.csr"), crt = broker.dir.filePath("srv.pem");
    const QString caKey = broker.dir.filePath("ca.key"), ext = WriteFile(broker.dir.filePath("ext"), "subjectAltName=IP:127.0.0.1\n");
    ASSERT_EQ(Command("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Test CA", "-keyout", caKey, "-out", ca}), 0);
    ASSERT_EQ(Command("openssl", {"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout", key, "-out", csr}), 0);
    ASSERT_EQ(Command("openssl", {"x509", "-req", "-in", csr, "-CA", ca, "-CAkey", caKey, "-CAcreateserial", "-days", "2",
                              "-extfile", ext, "-out", crt}), 0);
    const quint16 tlsPort = FreeLoopbackPort();
    broker.extra = QString("allow_anonymous false\npassword_file %1\nlistener %2 127.0.0.1\ncafile %3\ncertfile %4\nkeyfile %5\n")
                       .arg(pw).arg(tlsPort).arg(ca, crt, key);
    ASSERT_EQ(broker.Start(), "");
    const QStringList live{"--input", kSignal, "--duration", "3", "--interval", "0", "--format", "csv"};
    const QString plain = QString("mqtt://op@127.0.0.1:%1/pw").arg(broker.port), tls = QString("mqtts://op@127.0.0.1:%1/pw").arg(tlsPort);
    const QString wrongCa = WriteFile(dir.filePath("wrong.pem"), ReadFile(crt));

    Subscriber sub(broker.port, {"-u", "op", "-P", "s3cret"});
    const Outcome right = Measure(live + QStringList{"--mqtt", plain}, {{"PARLUNE_MQTT_PASSWORD", "s3cret"}});
    EXPECT_EQ(right.status, 0) << right.err.toStdString();
    const Outcome overTls = Measure(live + QStringList{"--mqtt", tls, "--mqtt-ca", ca}, {{"PARLUNE_MQTT_PASSWORD", "s3cret"}});
    EXPECT_EQ(overTls.status, 0) << overTls.err.toStdString();
    ASSERT_EVENTUALLY(sub.Of("pw/Test_signal_1000_Hz__S_N_20_dB/state").size() >= 4, 10000);

    const struct { QStringList args; std::map<QString, QString> env; QString line; } refused[] = {
        {{"--mqtt", plain}, {{"PARLUNE_MQTT_PASSWORD", "wrong"}}, QString("--mqtt: 127.0.0.1:%1 refused the connection: ").arg(broker.port)},
        {{"--mqtt", plain, "--mqtt-password-file", dir.filePath("none")}, {}, "--mqtt-password-file: " + dir.filePath("none") + ": cannot read"},
        {{"--mqtt", tls, "--mqtt-ca", wrongCa}, {{"PARLUNE_MQTT_PASSWORD", "s3cret"}}, QString("--mqtt: 127.0.0.1:%1: the TLS handshake failed").arg(tlsPort)},
        {{"--mqtt", tls, "--mqtt-ca", pw}, {}, "--mqtt-ca: " + pw + ": not a PEM certificate"},
        {{"--mqtt", "mqtt://user:pw@host"}, {}, "--mqtt: no password in the URL"},
        {{"--mqtt", "http://host"}, {}, "--mqtt: must be mqtt://[user@]host[:port][/prefix] or mqtts://..., not 'http://host'"},
        {{"--mqtt", "mqtt://host:0"}, {}, "--mqtt: the port must be 1 .. 65535, not 'mqtt://host:0'"},
        {{"--mqtt", "mqtt://host/a/+/b"}, {}, "--mqtt: the prefix holds no '+', '#' or empty level"},
        {{"--mqtt", "mqtt://no-such-host.invalid"}, {}, "--mqtt: cannot find the host no-such-host.invalid"},
        {{"--mqtt-ca", ca}, {}, "--mqtt-ca: only with --mqtt"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.args.join(' ').toStdString());
        const Outcome o = Measure(live + r.args, r.env);
        EXPECT_EQ(o.status, 2);
        EXPECT_TRUE(o.err.startsWith("parlune-measure: " + r.line)) << o.err.toStdString();
        EXPECT_EQ(o.err.count('\n'), 1) << o.err.toStdString();
    }
}

} // namespace
