// Monitors in one parlune-measure (CSV to /dev/null), its metrics endpoint
// scraped: the share of one core it uses once running (from 5 s to the end,
// out of /proc), its peak resident memory, and how far its resident memory
// grew from 5 s to the end.  Arguments: input (0: the virtual cable of a
// private PulseAudio server started here, null sink `cable` and remap
// source `cable_in`, with noise played into it, the real input path; 1:
// the built-in test signals, whose generator, a sine and Gaussian noise
// made per sample, runs in the same process), monitors, rate (Hz), FFT
// size, scrapes a second, seconds.  Input 2: SDR receivers, each
// soapysdr-module-audio reading a 192000 Hz sink of its own (sdr0, sdr1,
// ...: the module opens a sound input once per process), with I/Q noise
// played into it, tuned and decimated to the rate.
//   8 monitors at 48000 Hz / 8192: at most 3% of one core, 25 MB + 2 MB each.
//   8 SDR monitors at 192000 Hz, analysed at 12000 Hz: at most 15% of one
//   core, 25 MB + 4 MB each.
//   64 test-signal monitors at the defaults and at 48000 Hz / 1024, and one
//   scraped 10 times a second for 2 minutes (memory must stay flat).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>
#include <unistd.h>

namespace {


// utime + stime of a process, seconds.
double CpuSeconds(qint64 pid)
{
    QFile f(QString("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = f.readAll().split(')').last().trimmed().split(' ');
    return (fields[11].toDouble() + fields[12].toDouble()) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// A field of /proc/PID/status in kB ("VmHWM:" the peak resident set,
// "VmRSS:" the current one), as MB.
double StatusMb(qint64 pid, const char* field)
{
    QFile f(QString("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field)) return line.mid(static_cast<qsizetype>(std::strlen(field))).trimmed().split(' ')[0].toDouble() / 1024;
    return 0;
}

// A private PulseAudio server with the virtual cable, noise played into it;
// stopped with the object.
struct PulseCable {
    QTemporaryDir dir;
    QProcess daemon, player;
    std::vector<std::unique_ptr<QProcess>> sdrPlayers;
    static std::string SdrSinks(int n)
    {
        std::string out;
        for (int i = 0; i < n; ++i)
            out += "load-module module-null-sink sink_name=sdr" + std::to_string(i) +
                   " rate=192000 sink_properties=device.description=sdr" + std::to_string(i) + "\n";
        return out;
    }
    bool Start(int sdrSinks = 0)
    {
        std::ofstream(dir.filePath("default.pa").toStdString())
            << "load-module module-null-sink sink_name=cable rate=48000\n"
            << SdrSinks(sdrSinks) <<
               "load-module module-remap-source master=cable.monitor source_name=cable_in "
               "source_properties=device.description=cable_in\n"
               "load-module module-native-protocol-unix auth-anonymous=1 socket="
            << dir.path().toStdString() << "/native\n";
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* k : {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH"})
            env.insert(k, dir.path());
        daemon.setProcessEnvironment(env);
        daemon.setStandardErrorFile(QProcess::nullDevice());
        daemon.start("pulseaudio", {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "-F",
                                    dir.filePath("default.pa")});
        const QString server = "unix:" + dir.path() + "/native";
        qputenv("PULSE_SERVER", server.toUtf8());
        const auto answers = [&server] {
            QProcess pactl;
            pactl.start("pactl", {"-s", server, "info"});
            return pactl.waitForFinished(3000) && pactl.exitCode() == 0;
        };
        if (!daemon.waitForStarted(5000)) return false;
        for (int i = 0; i < 100 && !answers(); ++i) QThread::msleep(100);
        // Noise into the cable: random 16-bit samples, turned down.
        player.setStandardInputFile("/dev/urandom");
        player.start("pacat", {"-s", server, "--device=cable", "--format=s16le", "--rate=48000", "--channels=2",
                               "--volume=2000"});
        for (int i = 0; i < sdrSinks; ++i) {
            QProcess& p = *sdrPlayers.emplace_back(std::make_unique<QProcess>());
            p.setStandardInputFile("/dev/urandom");
            p.start("pacat", {"-s", server, QString("--device=sdr%1").arg(i), "--format=s16le", "--rate=192000",
                              "--channels=2", "--volume=2000"});
            if (!p.waitForStarted(3000)) return false;
        }
        return answers() && player.waitForStarted(3000);
    }
    // The sinks' monitors as --list-inputs names them ("soapy:driver=audio,device_id=N").
    static std::vector<std::string> SdrDevices()
    {
        QProcess list;
        list.start(PARLUNE_MEASURE_BIN, {"--list-inputs"});
        list.waitForFinished(30000);
        std::vector<std::string> out;
        for (const QByteArray& line : list.readAllStandardOutput().split('\n'))
            if (line.startsWith("soapy:") && line.contains("\tMonitor of sdr")) out.push_back(line.split('\t')[0].toStdString());
        return out;
    }
    ~PulseCable()
    {
        for (auto& p : sdrPlayers) p->kill(), p->waitForFinished(2000);
        player.kill(), player.waitForFinished(2000);
        daemon.kill(), daemon.waitForFinished(2000);
    }
};

bool Scrape(quint16 port)
{
    QTcpSocket s;
    s.connectToHost("127.0.0.1", port);
    if (!s.waitForConnected(1000)) return false;
    s.write("GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray reply;
    while (s.waitForReadyRead(1000)) reply += s.readAll();
    return reply.contains("parlune_blocks_measured_total");
}

void BM_Monitors(benchmark::State& state)
{
    const bool testSignals = state.range(0) == 1, sdr = state.range(0) == 2;
    const auto monitors = static_cast<int>(state.range(1)), scrapesPerS = static_cast<int>(state.range(4)),
               seconds = static_cast<int>(state.range(5));
    PulseCable cable;
    if (!testSignals && !cable.Start(sdr ? monitors : 0))
        return state.SkipWithError("no private PulseAudio server (pulseaudio, pacat)");
    const std::vector<std::string> sdrDevices = sdr ? PulseCable::SdrDevices() : std::vector<std::string>();
    if (sdr && sdrDevices.size() != static_cast<std::size_t>(monitors))
        return state.SkipWithError("soapysdr-module-audio does not list every sink sdrN");
    QTemporaryDir dir;
    const QString config = dir.filePath("monitors.ini");
    {
        std::ofstream ini(config.toStdString());
        for (int i = 0; i < monitors; ++i) {
            ini << "[m" << i << "]\ninput = "
                << (testSignals ? (i % 2 ? "Test signal drifting, S/N 0 dB" : "Test signal 1000 Hz, S/N 20 dB")
                                : (sdr ? sdrDevices[static_cast<std::size_t>(i)] : "cable_in"))
                << "\n";
            if (sdr) ini << "dial = 14095600\nsdr-rate = 192000\nsdr-stream = chan=stereo_iq\n";
        }
    }
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    for (auto _ : state) {
        QProcess p;
        p.start(PARLUNE_MEASURE_BIN, {"--config", config, "--rate", QString::number(state.range(2)), "--fft-size",
                                      QString::number(state.range(3)), "--format", "csv", "--output", "/dev/null",
                                      "--metrics", QString("127.0.0.1:%1").arg(port), "--duration",
                                      QString::number(seconds + 1)});
        if (!p.waitForStarted(5000)) return state.SkipWithError("parlune-measure did not start");
        QElapsedTimer clock;
        clock.start();
        double cpuAt5 = -1, cpuEnd = 0, peak = 0, rssAt5 = 0, rssEnd = 0;
        int scrapes = 0;
        for (int tick = 1; tick <= seconds * scrapesPerS; ++tick) {
            QThread::msleep(static_cast<unsigned long>(std::max<qint64>(0, tick * 1000 / scrapesPerS - clock.elapsed())));
            scrapes += Scrape(port);
            if (tick == 5 * scrapesPerS) cpuAt5 = CpuSeconds(p.processId()), rssAt5 = StatusMb(p.processId(), "VmRSS:");
            cpuEnd = CpuSeconds(p.processId());
            rssEnd = StatusMb(p.processId(), "VmRSS:");
            peak = StatusMb(p.processId(), "VmHWM:");
        }
        p.waitForFinished(10000);
        state.counters["cpu_percent_of_a_core"] = 100 * (cpuEnd - cpuAt5) / (seconds - 5);
        state.counters["peak_rss_mb"] = peak;
        state.counters["rss_growth_mb"] = rssEnd - rssAt5;
        state.counters["scrapes_answered"] = scrapes;
    }
}

} // namespace

BENCHMARK(BM_Monitors)
    ->ArgNames({"cable0_signal1", "monitors", "rate", "fft", "scrapes_per_s", "s"})
    ->Args({0, 8, 48000, 8192, 1, 30})
    ->Args({1, 8, 48000, 8192, 1, 30})
    ->Args({1, 64, 12000, 8192, 1, 30})
    ->Args({1, 64, 48000, 1024, 1, 30})
    ->Args({1, 1, 12000, 8192, 10, 120})
    ->Args({2, 8, 12000, 8192, 1, 30})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
