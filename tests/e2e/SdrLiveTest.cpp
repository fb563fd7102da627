// parlune-measure on SDR receivers with no SDR hardware: soapysdr-module-audio
// reads the private server's `sdr` sink, a 192000 Hz stereo I/Q stream, and
// the tuner brings it down to a 12000 Hz analysis.  Locally, through
// SoapySDRServer on loopback, and across an audio server that is killed and
// brought back.
#include <QDir>
#include <QTemporaryDir>

#include <complex>
#include <csignal>
#include <functional>
#include <random>

#include "PulseServer.h"
#include "support/Eventually.h"
#include "support/Http.h"
#include "support/MeasureRun.h"

namespace {

constexpr double kRate = 192000;     // the sink's and the device's rate, Hz
constexpr double kOffsetHz = 24000;  // the default LO offset: an eighth of the rate
constexpr double kToneHz = 1500;     // where the analysis sees the tone
// 12000 Hz above the tone in the tuned band: without the decimating
// filters it would fold onto the tone itself.  32 dB above the tone, 52 dB
// above the noise in 2500 Hz, and within 16 bits.
constexpr double kInterfererHz = kToneHz + 12000;
constexpr double kSigma = 300;       // noise per component, sample units
constexpr int kSeconds = 40;

// The I/Q file: a tone at S/N 20 dB in 2500 Hz plus the interferer, in
// complex white noise.  A complex tone of amplitude A against noise of
// sigma per component: S/N = A^2 rate / (2 sigma^2 2500).
QString IqFile()
{
    const QString path = PulseServerFolder() + "/iq.wav";
    if (QFile::exists(path)) return path;
    const double a = kSigma * std::sqrt(5000 / kRate) * 10; // 20 dB
    const auto n = static_cast<std::int64_t>(kRate * kSeconds);
    std::vector<std::int16_t> frames(2 * static_cast<std::size_t>(n));
    std::mt19937 gen(7);
    std::normal_distribution<double> noise(0.0, kSigma);
    const double tone = 2 * M_PI * (kOffsetHz + kToneHz) / kRate, far = 2 * M_PI * (kOffsetHz + kInterfererHz) / kRate;
    for (std::int64_t i = 0; i < n; ++i) {
        const auto t = static_cast<double>(i);
        const std::complex<double> x = std::polar(a, tone * t) + std::polar(40 * a, far * t) +
                                       std::complex<double>(noise(gen), noise(gen));
        frames[2 * i] = static_cast<std::int16_t>(std::nearbyint(x.real()));
        frames[2 * i + 1] = static_cast<std::int16_t>(std::nearbyint(x.imag()));
    }
    return WriteStereoWav(path, frames, static_cast<std::uint32_t>(kRate));
}

struct IqPlayer : Started {
    IqPlayer() { start("paplay", {"--device=sdr", IqFile()}); }
};

// SoapySDRServer on a loopback port.  It exits at once unless an Avahi daemon
// answers, so the system bus and Avahi are started when none runs, and
// stopped again at the end.
struct RemoteServer {
    quint16 port = FreeLoopbackPort();
    Started server;
    std::vector<std::function<void()>> stops;

    QString Start()
    {
        if (Command("avahi-daemon", {"--check"}) != 0) {
            const QStringList ping = {"--system", "--dest=org.freedesktop.DBus", "--print-reply", "/", "org.freedesktop.DBus.GetId"};
            if (Command("dbus-send", ping) != 0) {
                QDir().mkpath("/run/dbus");
                QFile::remove("/run/dbus/pid"); // left by a bus that is not running
                QProcess bus;
                bus.start("dbus-daemon", {"--system", "--fork", "--print-pid"});
                if (!bus.waitForFinished(10000) || bus.exitCode() != 0)
                    return "dbus-daemon --system did not start: " + bus.readAllStandardError();
                const pid_t pid = bus.readAllStandardOutput().trimmed().toInt();
                stops.emplace_back([pid] { ::kill(pid, SIGTERM); });
            }
            if (Command("avahi-daemon", {"--daemonize", "--no-drop-root", "--no-chroot"}) != 0) return "avahi-daemon did not start";
            stops.emplace_back([] { Command("avahi-daemon", {"--kill"}); });
        }
        return StartListening(server, "SoapySDRServer", {QString("--bind=127.0.0.1:%1").arg(port)}, port);
    }
    ~RemoteServer()
    {
        server.terminate();
        server.waitForFinished(5000);
        for (auto it = stops.rbegin(); it != stops.rend(); ++it) (*it)();
    }
};

struct SdrLive : CableTest {
    // The `sdr` sink's monitor as --list-inputs names it ("driver=audio,device_id=N").
    QString Device()
    {
        const Outcome list = Measure({"--list-inputs"});
        for (const QString& line : list.out.split('\n'))
            if (line.startsWith("soapy:") && line.endsWith("\tMonitor of sdr")) return line.section('\t', 0, 0).mid(6);
        ADD_FAILURE() << "no SoapySDR device reads the sdr sink:\n" << list.out.toStdString() << list.err.toStdString();
        return {};
    }
    static QStringList Args(const QString& device, const QStringList& more)
    {
        return QStringList{"--input", "soapy:" + device, "--dial", "14095600", "--sdr-stream", "chan=stereo_iq",
                           "--sdr-rate", "192000", "--centre", "1500", "--format", "csv"} + more;
    }
    // Every block sees the tone at its bin and 20 +- 0.5 dB.
    static void ExpectTheTone(const std::vector<std::map<QString, QString>>& rows, std::size_t atLeast)
    {
        ASSERT_GE(rows.size(), atLeast);
        for (const auto& r : rows) {
            EXPECT_NEAR(r.at("peak_hz").toDouble(), kToneHz, 12000.0 / 8192) << r.at("block").toStdString();
            EXPECT_NEAR(r.at("sn_2500hz_db").toDouble(), 20, 0.5) << r.at("block").toStdString();
        }
    }
};

// One config run with two receivers: the sink read here, and the same sink
// through SoapySDRServer, each tuned by its section's keys.  Then what the
// device refuses, each one line naming what it takes.
TEST_F(SdrLive, LocalAndRemoteReceiversOfAConfigMeasureTheToneThroughTheTuner)
{
    const QString device = Device();
    ASSERT_FALSE(device.isEmpty());
    IqPlayer player;
    ASSERT_TRUE(player.waitForStarted(3000));
    RemoteServer remote;
    ASSERT_EQ(remote.Start(), "");
    const QString viaRemote = QString("driver=remote,remote=tcp://127.0.0.1:%1,remote:").arg(remote.port) +
                              device.section(',', 0, 0) + ",remote:" + device.section(',', 1);
    const QString keys = "dial = 14095600\nsdr-rate = 192000\nsdr-stream = chan=stereo_iq\ncentre = 1500\n";
    QTemporaryDir dir;
    const QString ini = WriteFile(dir.filePath("sdr.ini"), ("[local]\ninput = soapy:" + device + "\n" + keys +
                                                           "[remote]\ninput = soapy:" + viaRemote + "\n" + keys).toUtf8());
    const Outcome run = Measure({"--config", ini, "--format", "csv", "--duration", "7"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    for (const char* monitor : {"local", "remote"}) {
        SCOPED_TRACE(monitor);
        auto rows = Rows(run.out);
        std::erase_if(rows, [&](const auto& r) { return r.at("monitor") != monitor; });
        ExpectTheTone(rows, 4);
    }

    const QString name = "soapy:" + device + ": ";
    const struct { QStringList args; QString line; } refused[] = {
        {{"--sdr-rate", "100000"}, "--sdr-rate 100000 Hz: the device takes 8000, 16000, 22050, 32000, 44100, 48000, 96000, 192000 Hz"},
        {{"--gain", "5"}, "--gain 5 dB: the device takes 0 .. 0 dB"},
        {{"--antenna", "TX"}, "--antenna TX: the device has RX"},
        {{"--sdr-setting", "direct_samp=2"}, "--sdr-setting direct_samp: the device's settings are sample_offset, rig, rig_rate, rig_port"},
        {{"--dial", "7e9"}, "--dial 7000000000 Hz (the device tuned to 6999976000 Hz): the device tunes 0 .. 6000000000 Hz"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.args.join(' ').toStdString());
        const Outcome o = Measure(Args(device, r.args + QStringList{"--duration", "1"}));
        EXPECT_EQ(std::pair(o.status, o.err), std::pair(2, "parlune-measure: " + name + r.line + "\n"));
    }

    // The remote server gone mid-run: an input loss, status 4.
    QProcess watch;
    watch.start(PARLUNE_MEASURE_BIN, Args(viaRemote, {"--duration", "60"}));
    ASSERT_EVENTUALLY(watch.peek(1 << 16).count('\n') >= 2, 15000); // the header and a block
    remote.server.kill();
    const Outcome lost = Finish(watch, 20000);
    EXPECT_EQ(lost.status, 4) << lost.err.toStdString();
    EXPECT_TRUE(lost.err.contains("soapy:" + viaRemote + ": input lost")) << lost.err.toStdString();
}

// Without --reconnect the server's end ends the run (status 4); with it the
// receiver is opened again once SoapySDR finds it, and measures the tone.
TEST_F(SdrLive, AKilledAudioServerIsALossAndItsReturnReopensTheReceiver)
{
    const QString device = Device();
    ASSERT_FALSE(device.isEmpty());
    {
        IqPlayer player;
        QProcess run;
        run.start(PARLUNE_MEASURE_BIN, Args(device, {"--duration", "60"}));
        ASSERT_EVENTUALLY(run.peek(1 << 16).count('\n') >= 2, 15000); // the header and a block
        KillPulseServer();
        const Outcome lost = Finish(run, 20000);
        EXPECT_EQ(lost.status, 4) << lost.err.toStdString();
        EXPECT_TRUE(lost.err.contains("soapy:" + device + ": input lost")) << lost.err.toStdString();
    }
    ASSERT_EQ(RestartPulseServer(), "");

    const quint16 port = FreeLoopbackPort();
    auto player = std::make_unique<IqPlayer>();
    Started run;
    run.start(PARLUNE_MEASURE_BIN, Args(device, {"--reconnect", "--duration", "120", "--metrics", QString::number(port)}));
    QString out, err;
    const auto read = [&] { return out += run.readAllStandardOutput(), err += run.readAllStandardError(), true; };
    ASSERT_EVENTUALLY(read() && Rows(out).size() >= 1, 15000);
    const QUrl metrics(QString("http://127.0.0.1:%1/metrics").arg(port));
    EXPECT_EQ(Metric(Get(metrics), "parlune_dial_frequency_hertz", "soapy:" + device), 14095600);

    player.reset();
    ASSERT_EQ(RestartPulseServer(), "");
    ASSERT_EVENTUALLY(read() && err.contains("input lost; opening it again"), 15000);
    player = std::make_unique<IqPlayer>();
    ASSERT_EVENTUALLY(read() && err.contains("input back"), 20000);
    const std::size_t before = Rows(out).size();
    ASSERT_EVENTUALLY(read() && Rows(out).size() >= before + 3, 15000);
    EXPECT_EQ(Metric(Get(metrics), "parlune_input_losses_total", "soapy:" + device), 1);
    ::kill(static_cast<pid_t>(run.processId()), SIGTERM);
    ASSERT_TRUE(run.waitForFinished(10000));
    read();
    EXPECT_EQ(run.exitCode(), 0) << err.toStdString();
    const auto rows = Rows(out);
    ExpectTheTone({rows.begin() + static_cast<std::ptrdiff_t>(before), rows.end()}, 3);
}

} // namespace
