#include "measure/LiveRun.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/DeviceList.h"
#include "capture/InputBackend.h"
#include "capture/TestSignal.h"
#include "measure/Config.h"
#include "measure/Files.h"
#include "measure/Metrics.h"
#include "measure/Monitor.h"
#include "measure/MqttClient.h"
#include "measure/SnPlot.h"
#include "measure/Stop.h"
#include "sdr/SoapySource.h"

namespace {

const std::string kServerSilent = "the audio server did not answer within 5 s (stopped?)";

// SIGINT, SIGTERM and SIGHUP end a live run.  The handler only sets a flag
// and writes a byte to a pipe; the pipe's notifier wakes the capture wait.
volatile std::sig_atomic_t g_stopSignal = 0;
int g_stopPipe[2] = {-1, -1};
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void OnStopSignal(int)
{
    const int saved = errno;
    g_stopSignal = 1;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(g_stopPipe[1], &byte, 1);
    errno = saved;
}

// Catches the stop signals for the life of a live run.  A second signal
// while the run ends changes nothing: the pictures and summaries are
// written all the same, and the program ends after them.
class StopSignals {
public:
    StopSignals()
    {
        if (pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            Fail(kExitFile, std::string("cannot make the signal pipe: ") + std::strerror(errno));
        notifier_ = std::make_unique<QSocketNotifier>(g_stopPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [] {
            char buf[16];
            while (read(g_stopPipe[0], buf, sizeof buf) > 0) {
            }
        });
        struct sigaction sa {};
        sa.sa_handler = OnStopSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        for (const int sig : kStopSignals) sigaction(sig, &sa, nullptr);
    }
    ~StopSignals()
    {
        // Once asked to stop, the program only leaves: a further signal must
        // not cut short what is still to be flushed.
        for (const int sig : kStopSignals) std::signal(sig, g_stopSignal != 0 ? SIG_IGN : SIG_DFL);
        notifier_.reset();
        close(g_stopPipe[0]);
        close(g_stopPipe[1]);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

// The device ID of a name as --list-inputs prints it, or of a number;
// `where` starts the messages ("--input" or "FILE:LINE: input").
std::uint32_t DeviceId(const std::string& wanted, const std::vector<std::string>& names, const std::string& where)
{
    for (std::size_t id = 0; id < names.size(); ++id)
        if (names[id] == wanted) return static_cast<std::uint32_t>(id);
    if (!wanted.empty() && std::all_of(wanted.begin(), wanted.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        if (ServerDidNotAnswer()) Fail(kExitFile, where + ": " + Shown(wanted) + ": " + kServerSilent);
        if (wanted.size() <= 9 && std::stoul(wanted) < names.size()) {
            const auto id = static_cast<std::uint32_t>(std::stoul(wanted));
            // Without the server its devices are missing and the numbers
            // shift: a number must not quietly measure a test signal.
            const bool testSignal = std::any_of(std::begin(kTestSignals), std::end(kTestSignals),
                                                [&](const TestSignalKind& k) { return names[id] == k.shortName; });
            if (testSignal && ServerDevicesMissing())
                Fail(kExitFile, where + ": " + wanted + " is the test signal '" + names[id] +
                                    "' only because no audio server answered; give the device by name (see --list-inputs)");
            return id;
        }
        Fail(kExitUsage, where + ": there is no device " + Shown(wanted) + "; the numbers are 0 .. " +
                             std::to_string(names.size() - 1) + " (see --list-inputs)");
    }
    if (ServerDidNotAnswer()) Fail(kExitFile, where + ": " + Shown(wanted) + ": " + kServerSilent);
    Fail(kExitUsage, where + ": no capture device is named '" + Shown(wanted) + "' (see --list-inputs)");
}

} // namespace

void ListInputs()
{
    // The receivers are probed before any line is written: the probing may
    // set errno, which a failed write of the lines must still report.  Not
    // the sound cards' module when the audio server did not answer.
    const std::vector<std::string> names = CaptureDeviceNames();
    const std::vector<FoundSdr> sdrs = FindSdrs(ServerDidNotAnswer());
    for (std::size_t id = 0; id < names.size(); ++id) std::printf("%zu\t%s\n", id, names[id].c_str());
    for (const FoundSdr& f : sdrs) std::printf("%s\t%s\n", f.Input.c_str(), f.Label.c_str());
    if (ServerDidNotAnswer()) Fail(kExitFile, kServerSilent + "; only the test signals are listed");
}

namespace {

// The index of the monitor with this name; refused (status 2) when none has it.
int MonitorIndex(const std::vector<MonitorConfig>& configs, const std::string& name)
{
    for (std::size_t i = 0; i < configs.size(); ++i)
        if (configs[i].Name == name) return static_cast<int>(i);
    Fail(kExitUsage, "--compare: no monitor is named '" + Shown(name) + "'");
}

// The picture of every monitor's S/N on shared axes, and A - B when asked.
// One that cannot be written is one line, and not tried again; false then.
bool WriteComparePlot(const Options& o, const std::vector<std::unique_ptr<Monitor>>& monitors,
                      std::optional<std::pair<int, int>> compare, double endS)
{
    std::vector<SnSeries> series;
    for (const auto& m : monitors)
        series.push_back({QString::fromLocal8Bit(m->Name().data(), static_cast<qsizetype>(m->Name().size())), m->Points()});
    const QImage img = DrawComparePlot(series, endS, QSize(o.PlotWidth, o.PlotHeight), "S/N in 2500 Hz", compare);
    if (const std::string why = WritePng(img, o.Plot); !why.empty()) {
        std::fflush(stdout);
        std::fprintf(stderr, "parlune-measure: %s: cannot write the picture: %s; not tried again\n", o.Plot.c_str(),
                     why.c_str());
        return false;
    }
    return true;
}

} // namespace

void MeasureLive(const Options& o, std::vector<MonitorConfig> configs)
{
    std::optional<std::pair<int, int>> compare;
    if (!o.CompareA.empty()) {
        if (o.Plot.empty()) Fail(kExitUsage, "--compare: only with --plot");
        compare = std::pair(MonitorIndex(configs, o.CompareA), MonitorIndex(configs, o.CompareB));
    }
    bool together = !o.Config.empty() && !o.Plot.empty(); // one picture of all monitors, until it fails
    bool failed = false;                                  // an output failed: status 1 at the end
    // The sound inputs are listed only when a monitor takes one: a machine
    // with SDR receivers alone may have no audio server to wait for.
    std::optional<std::vector<std::string>> names;
    const auto device = [&](const std::string& input, const std::string& where) {
        if (IsSdrInput(input)) return std::pair(std::uint32_t{0}, input);
        if (!names) names = CaptureDeviceNames();
        const std::uint32_t id = DeviceId(input, *names, where);
        return std::pair(id, (*names)[id]);
    };
    std::vector<std::pair<std::uint32_t, std::string>> devices;
    if (configs.empty()) {
        devices.push_back(device(o.Input, "--input"));
        MonitorConfig& c = configs.emplace_back();
        c.Name = devices[0].second;
        c.Opts = o;
    } else {
        for (const MonitorConfig& c : configs)
            devices.push_back(device(c.Opts.Input, o.Config + ":" + std::to_string(c.InputLine) + ": input"));
    }
    if (!o.Output.empty()) CheckFileToWrite(o.Output);
    std::unique_ptr<Metrics> metrics = o.Metrics.empty() ? nullptr : std::make_unique<Metrics>(o.Metrics);
    // Every monitor is checked before any output opens, and the broker is
    // asked before any input opens.
    std::vector<std::unique_ptr<Monitor>> monitors;
    for (std::size_t i = 0; i < configs.size(); ++i)
        monitors.push_back(std::make_unique<Monitor>(configs[i], devices[i].first, devices[i].second, metrics.get()));
    // The broker: the command line's, or a config file's before its first section.
    const Options& run = configs[0].Opts;
    std::unique_ptr<MqttClient> mqtt;
    if (!run.Mqtt.empty()) {
        std::string why;
        mqtt = std::make_unique<MqttClient>(*ParseMqttUrl(run.Mqtt, HostName(), &why), run.MqttPasswordFile, run.MqttCa);
        for (auto& m : monitors) m->UseMqtt(mqtt.get());
    }
    // Monitors that write to one place share its Output, and so one CSV header.
    std::map<std::string, std::shared_ptr<Output>> outputs;
    std::vector<std::shared_ptr<Output>> outputOf;
    for (const MonitorConfig& c : configs) {
        std::shared_ptr<Output>& out = outputs[c.Opts.Output.empty() ? "" : SameFileKey(c.Opts.Output)];
        if (out == nullptr) out = std::make_shared<Output>(c.Opts.Output, c.Opts.Csv ? "\n" : "\r\n", c.FromFile ? c.Name : "");
        outputOf.push_back(out);
    }

    const StopSignals stopSignals;
    bool timeUp = false;
    QElapsedTimer started;
    QTimer duration;
    duration.setSingleShot(true);
    // A timer takes at most about 24 days, and may fire a little early: it
    // is set again for what is left until the whole duration has passed.
    const auto armDuration = [&] {
        const double leftMs = o.Duration * 1000 - static_cast<double>(started.elapsed());
        if (leftMs <= 0) timeUp = true;
        else duration.start(static_cast<int>(std::min(std::ceil(leftMs), 2e9)));
    };
    QObject::connect(&duration, &QTimer::timeout, armDuration);
    const auto stopping = [&timeUp] { return timeUp || g_stopSignal != 0; };
    for (std::size_t i = 0; i < monitors.size(); ++i) monitors[i]->Open(outputOf[i], together);
    started.start();
    if (o.Duration > 0) armDuration();

    // One event loop for every monitor: the input layer posts an event when
    // a buffer completes or an input is lost, so this sleeps until then.
    double plotted = 0; // when the picture of all was last written, s
    try {
        while (!stopping()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            if (stopping()) break; // a part block is dropped
            for (auto& m : monitors) {
                if (!m->Service())
                    Fail(kExitInputLost, m->Name() + ": input lost: it stopped delivering audio (device unplugged or "
                                                     "audio server gone?)");
            }
            if (together && monitors[0]->NowS() - plotted >= 60) {
                plotted = monitors[0]->NowS();
                together = WriteComparePlot(o, monitors, compare, plotted);
                failed = failed || !together;
            }
            // A full disk under every output and no metrics: nothing is left to do.
            if (metrics == nullptr && !together &&
                std::all_of(monitors.begin(), monitors.end(), [](const auto& m) { return m->Failed(); }))
                break;
        }
    } catch (const Stop&) {
        for (auto& m : monitors) m->AfterStop(m->NowS());
        if (together) WriteComparePlot(o, monitors, compare, monitors[0]->NowS());
        throw;
    }
    for (auto& m : monitors) m->Finish(m->NowS());
    if (together && !WriteComparePlot(o, monitors, compare, monitors[0]->NowS())) failed = true;
    for (const auto& m : monitors) failed = failed || m->Failed();
    if (failed) throw Stop{kExitFile, ""}; // each failure has said so
}
