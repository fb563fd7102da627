// parlune-measure: measures recordings, or a live input, headlessly with the
// window's own per-block sequence and prints log lines or CSV rows.  Every
// error becomes one "parlune-measure:" line and an exit status here.
#include <QCoreApplication>
#include <QGuiApplication>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "capture/LeaveProcess.h"
#include "measure/Config.h"
#include "measure/LiveRun.h"
#include "measure/Options.h"
#include "measure/Output.h"
#include "measure/Recording.h"
#include "measure/Stop.h"

namespace {

// Text in the picture needs a Qt application, the sound input an event
// loop; headless unless told otherwise.
std::unique_ptr<QCoreApplication> QtFor(const Options& o, const std::vector<MonitorConfig>& monitors, char* program)
{
    const bool live = o.ListInputs || !o.Input.empty() || !o.Config.empty();
    const bool pictures = !o.Plot.empty() || std::any_of(monitors.begin(), monitors.end(), [](const MonitorConfig& m) {
                              return !m.Opts.Plot.empty();
                          });
    if (!pictures && !live) return nullptr;
    // Qt's own notes (no runtime folder, fonts) would break the one line per error.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "parlune-measure: Qt: %s\n", msg.toLocal8Bit().constData());
    });
    static int qtArgc = 1;
    static char* qtArgv[] = {program, nullptr};
    if (!pictures) return std::make_unique<QCoreApplication>(qtArgc, qtArgv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QGuiApplication>(qtArgc, qtArgv);
}

int Run(int argc, char** argv, std::unique_ptr<QCoreApplication>& app, bool& audio)
{
    try {
        const Options o = ParseOptions(argc, argv);
        // A config file's sections may each draw a picture of their own.
        std::vector<MonitorConfig> monitors;
        if (!o.Config.empty()) monitors = ReadConfig(o.Config, o);
        app = QtFor(o, monitors, argv[0]);
        audio = o.ListInputs || !o.Input.empty() || !o.Config.empty();
        if (o.ListInputs) {
            ListInputs();
            return 0;
        }
        // Found out now, not after a night's recording.
        if (!o.Plot.empty()) CheckWritable(o.Plot);
        if (!o.Input.empty() || !o.Config.empty()) {
            MeasureLive(o, std::move(monitors));
            return 0;
        }
        // The ring alone is 64 MiB at the largest size: one for all files.
        auto state = std::make_unique<ChainState>();
        for (const std::string& path : o.Files) {
            if (o.Files.size() > 1) std::printf("==> %s <==\n", path.c_str());
            MeasureFile(o, path, *state);
        }
        return 0;
    } catch (const Stop& s) {
        if (!s.Message.empty()) {
            std::fflush(stdout);
            std::fprintf(stderr, "parlune-measure: %s\n", s.Message.c_str());
        }
        return s.Status;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "parlune-measure: out of memory\n");
        return kExitMemory;
    }
}

// What is still in standard output's buffer goes out now; a failure to
// write it is an error (one line, status 1) unless the reader has gone.
int FlushStandardOutput(int status)
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
    if (errno == EPIPE || ReaderGone() || status != 0) return status;
    std::fprintf(stderr, "parlune-measure: standard output: cannot write: %s\n", std::strerror(errno));
    return kExitFile;
}

} // namespace

int main(int argc, char** argv)
{
    // A closed pipe shows as a failed write (EPIPE), not a fatal signal.
    std::signal(SIGPIPE, SIG_IGN);
    std::unique_ptr<QCoreApplication> app;
    bool audio = false;
    const int status = FlushStandardOutput(Run(argc, argv, app, audio));
    if (audio) LeaveProcess(status); // every input is closed and everything written by now
    return status;
}
