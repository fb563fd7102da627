// Start-up and closing with a large settings file (10 MB: a hand-kept store
// with other programs' sections in it).  Closing writes the file back with
// the window's entries; start-up reads it.  The file lives in the system's
// temporary folder, so its disk decides much of the figure.
#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

#include "ui/Parlune.h"
#include "ui/Settings.h"

#include "bench/WidgetBenchMain.h"

namespace {

constexpr int kStoreBytes = 10'000'000;

// A store of kStoreBytes: the window's entries and one long foreign section.
void WriteLargeStore(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write("[Values]\nsamprate=12000\nfftsize=1024\n[Other]\n");
    for (int i = 0; f.size() < kStoreBytes; ++i)
        f.write("entry" + QByteArray::number(i) + "=" + QByteArray(40, 'x') + "\n");
}

void BM_CloseWithLargeStore(benchmark::State& state)
{
    QTemporaryDir settings;
    SetSettingsFolder(settings.path());
    WriteLargeStore(SettingsFilePath());
    Parlune w;
    w.Form_Load();
    for (auto _ : state)
        w.Form_Unload(); // rewrites the same entries: the file keeps its size
    state.SetBytesProcessed(state.iterations() * QFile(SettingsFilePath()).size());
    SetSettingsFolder({});
}
BENCHMARK(BM_CloseWithLargeStore)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StartWithLargeStore(benchmark::State& state)
{
    QTemporaryDir settings;
    SetSettingsFolder(settings.path());
    WriteLargeStore(SettingsFilePath());
    const QDateTime written = QFileInfo(SettingsFilePath()).lastModified();
    for (auto _ : state) {
        auto w = std::make_unique<Parlune>();
        w->Form_Load();
        benchmark::DoNotOptimize(w->SampleRate);
        state.PauseTiming();
        w.reset();
        // A new time, so that Qt parses the file again rather than reusing its copy.
        QFile f(SettingsFilePath());
        f.open(QIODevice::ReadWrite);
        f.setFileTime(written.addSecs(state.iterations()), QFileDevice::FileModificationTime);
        state.ResumeTiming();
    }
    SetSettingsFolder({});
}
BENCHMARK(BM_StartWithLargeStore)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) { return RunWidgetBenchmarks(argc, argv); }
