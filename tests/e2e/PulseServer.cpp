#include "PulseServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <fstream>
#include <memory>

#include "capture/InputBackend.h"
#include "capture/WaveIn.h"

namespace {

struct Server {
    QTemporaryDir dir{QDir::tempPath() + "/parlune-pulse-XXXXXX"};
    QProcess daemon;
    QString Address() const { return "unix:" + dir.path() + "/native"; }
    QString LogTail() const
    {
        QFile log(dir.filePath("server.log"));
        return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll().right(1500)) : QString();
    }
    // Empty when the server answers, else why not.
    QString Start()
    {
        if (!dir.isValid()) return "cannot create a temporary folder for it";
        // The socket module comes last: once the server answers, the devices exist.
        std::ofstream(dir.filePath("default.pa").toStdString())
            << "load-module module-null-sink sink_name=cable rate=48000 sink_properties=device.description=cable\n"
               "load-module module-remap-source master=cable.monitor source_name=cable_in "
               "source_properties=device.description=cable_in\n"
               "set-default-source cable_in\n"
               // An SDR's stereo I/Q at its full rate, read by soapysdr-module-audio from the monitor.
               "load-module module-null-sink sink_name=sdr rate=192000 sink_properties=device.description=sdr\n"
               "load-module module-native-protocol-unix auth-anonymous=1 socket="
            << dir.path().toStdString() << "/native\n";
        // Everything the daemon keeps per user goes into the folder, so it
        // neither needs nor disturbs a user session (it also runs as root).
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& k : env.keys())
            if (k.startsWith("XDG_") || k.startsWith("PULSE_")) env.remove(k);
        for (const char* k : {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH"})
            env.insert(k, dir.path());
        daemon.setProcessEnvironment(env);
        daemon.setProcessChannelMode(QProcess::MergedChannels);
        daemon.setStandardOutputFile(dir.filePath("server.log"));
        daemon.start("pulseaudio", {"-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit", "--system=false",
                                    "--use-pid-file=no", "--log-target=stderr", "-F", dir.filePath("default.pa")});
        if (!daemon.waitForStarted(5000))
            return "cannot run pulseaudio (" + daemon.errorString() +
                   "); install the pulseaudio package (scripts/deps.sh does)";
        qputenv("PULSE_SERVER", Address().toUtf8());
        const std::string info = "pactl -s '" + Address().toStdString() + "' info >/dev/null 2>&1";
        for (QDeadlineTimer deadline(10000); !deadline.hasExpired();) {
            if (std::system(info.c_str()) == 0) return {};
            if (daemon.waitForFinished(30)) return "it exited at start-up:\n" + LogTail();
        }
        return "it did not answer within 10 s:\n" + LogTail();
    }
    ~Server()
    {
        daemon.terminate(); // 2 s to go, then killed
        if (!daemon.waitForFinished(2000)) daemon.kill();
        daemon.waitForFinished(2000);
    }
};

std::unique_ptr<Server> g_server;
QString g_error = "it was not started";

struct PulseEnvironment : ::testing::Environment {
    void SetUp() override
    {
        g_server = std::make_unique<Server>();
        g_error = g_server->Start();
    }
    void TearDown() override { g_server.reset(); }
};

[[maybe_unused]] ::testing::Environment* const g_env = ::testing::AddGlobalTestEnvironment(new PulseEnvironment);

} // namespace

void KillPulseServer()
{
    g_server->daemon.kill();
    g_server->daemon.waitForFinished(2000);
}

FrozenPulseServer::FrozenPulseServer(bool freeze)
{
    frozen = freeze && ::kill(static_cast<pid_t>(g_server->daemon.processId()), SIGSTOP) == 0;
}

void FrozenPulseServer::Thaw()
{
    if (frozen) ::kill(static_cast<pid_t>(g_server->daemon.processId()), SIGCONT);
    frozen = false;
}

QString PulseServerFolder() { return g_server->dir.path(); }

QString RestartPulseServer()
{
    KillPulseServer();
    return g_server->Start();
}

void CableTest::SetUp()
{
    ASSERT_TRUE(g_error.isEmpty()) << "The end-to-end tests need their private PulseAudio server, but "
                                   << g_error.toStdString();
    const std::uint32_t n = waveInGetNumDevs();
    while (cableIn < n && waveInFullName(cableIn) != "cable_in") ++cableIn;
    ASSERT_LT(cableIn, n) << "cable_in is not among the " << n << " input devices";
}

QString WriteStereoWav(const QString& path, const std::vector<std::int16_t>& frames, std::uint32_t rate)
{
    const auto bytes = static_cast<std::uint32_t>(frames.size() * 2);
    // RIFF header of 16-bit PCM, 2 channels (little-endian words).
    const std::uint32_t header[] = {0x46464952, 36 + bytes, 0x45564157, 0x20746D66, 16, 0x00020001,
                                    rate,       rate * 4,   0x00100004, 0x61746164, bytes};
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(header), sizeof header)
        .write(reinterpret_cast<const char*>(frames.data()), bytes);
    return path;
}

int Command(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

TonePlayer::TonePlayer(int seconds)
{
    const QString wav = g_server->dir.filePath(QString("tone%1.wav").arg(seconds));
    start("paplay", {"-s", g_server->Address(), "--device=cable", WriteStereoWav(wav, kCableTone.Stereo16(48000 * seconds), 48000)});
}
