// Eight monitors at 48000 Hz and 8192 points in one parlune-measure (CSV to
// /dev/null), its metrics endpoint scraped once a second: the share of one
// core it uses once running (from 5 s to the end, out of /proc), and its
// peak resident memory.  Targets: at most 3% of one core; at most 25 MB +
// 2 MB per monitor.
//   BM_EightMonitors/0: all on the virtual cable of a private PulseAudio
//     server started here (null sink `cable`, remap source `cable_in`),
//     with noise played into it: the real input path.
//   BM_EightMonitors/1: on the built-in test signals, whose generator (a
//     sine and Gaussian noise made per sample) runs in the same process.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>

#include <fstream>
#include <unistd.h>

namespace {

constexpr int kMonitors = 8;
constexpr int kSeconds = 30;

// utime + stime of a process, seconds.
double CpuSeconds(qint64 pid)
{
    QFile f(QString("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = f.readAll().split(')').last().trimmed().split(' ');
    return (fields[11].toDouble() + fields[12].toDouble()) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Peak resident set (VmHWM), MB.
double PeakMb(qint64 pid)
{
    QFile f(QString("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ')[0].toDouble() / 1024;
    return 0;
}

// A private PulseAudio server with the virtual cable, noise played into it;
// stopped with the object.
struct PulseCable {
    QTemporaryDir dir;
    QProcess daemon, player;
    bool Start()
    {
        std::ofstream(dir.filePath("default.pa").toStdString())
            << "load-module module-null-sink sink_name=cable rate=48000\n"
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
        return answers() && player.waitForStarted(3000);
    }
    ~PulseCable()
    {
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

void BM_EightMonitors(benchmark::State& state)
{
    const bool testSignals = state.range(0) == 1;
    PulseCable cable;
    if (!testSignals && !cable.Start()) return state.SkipWithError("no private PulseAudio server (pulseaudio, pacat)");
    QTemporaryDir dir;
    const QString config = dir.filePath("monitors.ini");
    {
        std::ofstream ini(config.toStdString());
        for (int i = 0; i < kMonitors; ++i)
            ini << "[m" << i << "]\ninput = "
                << (testSignals ? (i % 2 ? "Test signal drifting, S/N 0 dB" : "Test signal 1000 Hz, S/N 20 dB") : "cable_in")
                << "\n";
    }
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    for (auto _ : state) {
        QProcess p;
        p.start(PARLUNE_MEASURE_BIN, {"--config", config, "--rate", "48000", "--fft-size", "8192", "--format", "csv",
                                      "--output", "/dev/null", "--metrics", QString("127.0.0.1:%1").arg(port),
                                      "--duration", QString::number(kSeconds + 1)});
        if (!p.waitForStarted(5000)) return state.SkipWithError("parlune-measure did not start");
        QElapsedTimer clock;
        clock.start();
        double cpuAt5 = -1, cpuEnd = 0, peak = 0;
        int scrapes = 0;
        for (int second = 1; second <= kSeconds; ++second) {
            QThread::msleep(static_cast<unsigned long>(std::max<qint64>(0, second * 1000 - clock.elapsed())));
            scrapes += Scrape(port);
            if (second == 5) cpuAt5 = CpuSeconds(p.processId());
            cpuEnd = CpuSeconds(p.processId());
            peak = PeakMb(p.processId());
        }
        p.waitForFinished(10000);
        state.counters["cpu_percent_of_a_core"] = 100 * (cpuEnd - cpuAt5) / (kSeconds - 5);
        state.counters["peak_rss_mb"] = peak;
        state.counters["scrapes_answered"] = scrapes;
    }
}

} // namespace

BENCHMARK(BM_EightMonitors)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
