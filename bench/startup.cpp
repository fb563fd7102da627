// Start-up time of the main window: construction, the stored settings read
// back (an empty store, as on a first start), the device list, until the
// window is shown and its first paint has been processed.
#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

#include "ui/Parlune.h"
#include "ui/Settings.h"

#include "bench/WidgetBenchMain.h"

namespace {

void BM_StartUpUntilShown(benchmark::State& state)
{
    QTemporaryDir settings;
    SetSettingsFolder(settings.path());
    for (auto _ : state) {
        auto w = std::make_unique<Parlune>();
        w->Form_Load();
        w->show();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(w->isVisible());
        state.PauseTiming();
        w.reset(); // teardown is not part of start-up
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartUpUntilShown)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) { return RunWidgetBenchmarks(argc, argv); }
