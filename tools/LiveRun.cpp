#include "tools/LiveRun.h"

#include <fcntl.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "capture/CaptureSession.h"
#include "capture/DeviceList.h"
#include "capture/InputBackend.h"
#include "engine/Fault.h"
#include "engine/RunSizes.h"
#include "engine/Windows.h"
#include "tools/Output.h"
#include "tools/Recording.h"
#include "tools/Stop.h"

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

// Catches the stop signals for the life of a live run; a second signal
// (SA_RESETHAND) ends the program at once.
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
        sa.sa_flags = SA_RESTART | SA_RESETHAND;
        for (const int sig : kStopSignals) sigaction(sig, &sa, nullptr);
    }
    ~StopSignals()
    {
        for (const int sig : kStopSignals) std::signal(sig, SIG_DFL);
        notifier_.reset();
        close(g_stopPipe[0]);
        close(g_stopPipe[1]);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

// The device ID of a name as --list-inputs prints it, or of a number.
std::uint32_t DeviceId(const std::string& wanted, const std::vector<std::string>& names)
{
    for (std::size_t id = 0; id < names.size(); ++id)
        if (names[id] == wanted) return static_cast<std::uint32_t>(id);
    if (!wanted.empty() && std::all_of(wanted.begin(), wanted.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        if (ServerDidNotAnswer()) Fail(kExitFile, "--input: " + wanted + ": " + kServerSilent);
        if (wanted.size() <= 9 && std::stoul(wanted) < names.size()) return static_cast<std::uint32_t>(std::stoul(wanted));
        Fail(kExitUsage, "--input: there is no device " + wanted + "; the numbers are 0 .. " +
                             std::to_string(names.size() - 1) + " (see --list-inputs)");
    }
    if (ServerDidNotAnswer()) Fail(kExitFile, "--input: " + wanted + ": " + kServerSilent);
    Fail(kExitUsage, "--input: no capture device is named '" + wanted + "' (see --list-inputs)");
}

const char* WhyNotOpen(MMRESULT r)
{
    switch (r) {
    case MMSYSERR_BADDEVICEID: return "the device has gone";
    case WAVERR_BADFORMAT: return "it refuses the format";
    default: return "the device did not open";
    }
}

} // namespace

void ListInputs()
{
    const std::vector<std::string> names = CaptureDeviceNames();
    for (std::size_t id = 0; id < names.size(); ++id) std::printf("%zu\t%s\n", id, names[id].c_str());
    if (ServerDidNotAnswer()) Fail(kExitFile, kServerSilent + "; only the test signals are listed");
}

void MeasureInput(const Options& o, ChainState& state)
{
    const std::vector<std::string> names = CaptureDeviceNames();
    const std::uint32_t id = DeviceId(o.Input, names);
    const std::string& name = names[id];
    const std::int32_t n = o.Measure.FftSize;

    ChainParams p = RunParams(o, o.Rate, name);
    try {
        CheckRunSizes(p.NFFT, p.FMinBin, p.FMaxBin, p.NAvg);
    } catch (const Fault& f) {
        Fail(kExitUsage, name + ": " + f.what());
    }
    StartChain(state, n);
    state.Window = MakeWindow(o.Measure.Window, n)->Coef;
    Output out(o.Output, o.Csv ? "\n" : "\r\n", true);

    const StopSignals stopSignals;
    bool timeUp = false;
    QTimer duration;
    duration.setSingleShot(true);
    QObject::connect(&duration, &QTimer::timeout, [&timeUp] { timeUp = true; });
    const auto stopping = [&timeUp] { return timeUp || g_stopSignal != 0; };

    // The buffer outlives the session: closing hands it back done.
    std::vector<std::int16_t> frames(2 * static_cast<std::size_t>(n));
    const auto rate = static_cast<std::uint32_t>(o.Rate);
    CaptureSession input;
    const MMRESULT opened = input.Open(id, Stereo16Format(rate));
    if (opened != MMSYSERR_NOERROR || input.Handle() == 0)
        Fail(kExitFile, name + ": cannot open the input for 16-bit stereo at " + std::to_string(rate) + " Hz: " +
                            WhyNotOpen(opened));
    input.Start();
    QElapsedTimer clock;
    clock.start();
    if (o.Duration > 0) duration.start(static_cast<int>(std::min(o.Duration * 1000, 2e9)));

    const double blockS = n / static_cast<double>(o.Rate);
    Report report(o, out, name, true);
    double plotted = 0; // when the picture was last written, s
    const auto nowS = [&clock] { return static_cast<double>(clock.nsecsElapsed()) / 1e9; };
    try {
        while (!stopping()) {
            const CaptureEnd end = input.Capture(frames.data(), BlockBytes(n), stopping);
            if (stopping()) break; // a part block is dropped
            if (end != CaptureEnd::Done) {
                out.Flush();
                Fail(kExitInputLost, name + ": input lost: it stopped delivering audio (device unplugged or audio "
                                            "server gone?)");
            }
            const double endAt = nowS();
            report.Block(RunBlock(frames.data(), p, state), p, std::max(0.0, endAt - blockS), endAt);
            if (endAt - plotted >= 60) {
                report.WritePlot(endAt);
                plotted = endAt;
            }
        }
    } catch (const Stop&) {
        report.WritePlotAfterStop(nowS());
        throw;
    }
    report.WritePlot(nowS());
    report.Summary();
}
