// Per-block processing of the run loop: everything between a buffer coming
// back and the next one being queued (the engine's block sequence, then the
// plot, histogram, panels and waterfall), on the real main window with the
// span at its widest.  Reports the capture duty: block duration over block
// duration plus processing.  BM_Engine times the engine alone.
//
// BM_RunOverhead runs 20 real blocks of the built-in test signal at the
// defaults and reports the CPU used beyond the processing, as a share of
// one core over the run's wall time; BM_LiveShare runs it for 15 s at fast
// block rates and reports the whole share.  Run these two on a real display
// (QT_QPA_PLATFORM=xcb) for what the window costs when it is seen.
#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cmath>
#include <ctime>
#include <memory>
#include <random>
#include <vector>

#include "display/WaterfallDraw.h"
#include "engine/NumberText.h"
#include "engine/WholeNumber.h"
#include "engine/Windows.h"
#include "ui/Parlune.h"
#include "ui/Settings.h"

#include "bench/WidgetBenchMain.h"

namespace {

std::unique_ptr<QTemporaryDir> gSettings;
std::unique_ptr<Parlune> gWindow;

Parlune& Window()
{
    if (!gWindow) {
        gSettings = std::make_unique<QTemporaryDir>();
        SetSettingsFolder(gSettings->path());
        gWindow = std::make_unique<Parlune>();
        gWindow->Form_Load();
        gWindow->show();
    }
    return *gWindow;
}

void Choose(ComboBox& box, const QString& entry)
{
    for (int i = 0; i < box.ListCount(); ++i)
        if (box.List(i) == entry)
            box.UserChoose(i);
}

// The run parameters as START derives them, with the span from the lowest
// frequency to 0.45 x the rate, and one block of a tone in noise in InBuf.
void Prepare(Parlune& w, double rate, int size)
{
    Choose(w.sampleRateBox, QString::number(rate));
    Choose(w.fftSizeBox, QString::number(size));
    w.spanHighBar.setMax(RoundToInt16(rate * 0.45));
    w.spanHighBar.setValue(w.spanHighBar.Max());
    w.spanLowBar.setValue(w.spanLowBar.Min());
    w.SampleRate = rate;
    w.NFFT = size;
    w.FMinBin = FloorToInt32(w.spanLowBar.Value() / rate * size + 0.5);
    w.FMaxBin = FloorToInt32(w.spanHighBar.Value() / rate * size + 0.5);
    w.NAvg = 4;
    w.SigBWBins = FloorToInt32(100 / rate * size + 0.5);
    w.CFBin = FloorToInt32(1000 / rate * size);
    w.spectrumPlot.setScaleLeft(static_cast<float>(w.spanLowBar.Value() / rate * size));
    w.spectrumPlot.setScaleWidth(static_cast<float>((w.spanHighBar.Value() - w.spanLowBar.Value()) / rate * size));
    WaterfallSetUp(w.monWF(), w.spectrumPlot.ScaleWidth(), rate, size);
    const WindowTable window = *MakeWindow(1, size);
    w.Chain.Window = window.Coef;
    w.WindENBW = window.Enbw;

    std::mt19937 gen(7);
    std::normal_distribution<double> noise(0, 1000);
    const double a = 1000 * std::sqrt(10000 / rate) * 10;
    for (int i = 0; i < size; ++i) {
        const double v = std::nearbyint(a * std::sin(2 * M_PI * 1000 * i / rate) + noise(gen));
        w.InBuf[2 * i] = w.InBuf[2 * i + 1] = static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
    }
}

// What the run loop does with a captured block: the engine, then the window
// shows and logs its result.
bool OneBlock(Parlune& w, LoopState& s)
{
    ChainParams p = w.BlockParams();
    const BlockResult r = RunBlock(w.InBuf.data(), p, w.Chain);
    w.ShowBlock(s, r);
    w.LogBlock(r);
    return r.End == BlockEnd::Measured;
}

double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}
double WallSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

// The window with the run parameters of this rate and size, its loop set up.
Parlune& PreparedWindow(double rate, int size, LoopState& s)
{
    Parlune& w = Window();
    Prepare(w, rate, size);
    w.LoopSetUp(s);
    return w;
}

// Wall time of one block's processing; duty = block / (block + processing).
void BM_Duty(benchmark::State& state)
{
    const double rate = static_cast<double>(state.range(0));
    const int size = static_cast<int>(state.range(1));
    LoopState s;
    Parlune& w = PreparedWindow(rate, size, s);
    double wall = 0, cpu = 0;
    for (auto _ : state) {
        const double w0 = WallSeconds(), c0 = CpuSeconds();
        w.RangeLabels();
        benchmark::DoNotOptimize(OneBlock(w, s));
        wall += WallSeconds() - w0;
        cpu += CpuSeconds() - c0;
    }
    const double n = static_cast<double>(state.iterations());
    const double block = size / rate;
    state.counters["block_ms"] = block * 1e3;
    state.counters["processing_ms"] = wall / n * 1e3;
    state.counters["duty_pct"] = 100 * block / (block + wall / n);
    // The same from the processor time, which a busy machine does not inflate.
    state.counters["cpu_duty_pct"] = 100 * block / (block + cpu / n);
}

// One block as the run loop handles it, with the paint of the end-of-block
// yield (on a real display, QT_QPA_PLATFORM=xcb, that includes sending the
// pictures to the X server).  Third argument 1: the caches are evicted
// before each block, as the other work in the 20 to 80 ms between live
// blocks evicts them.  core_pct: the share of one core this takes at the
// rate's block rate.
void BM_BlockShown(benchmark::State& state)
{
    const double rate = static_cast<double>(state.range(0));
    const int size = static_cast<int>(state.range(1));
    LoopState s;
    Parlune& w = PreparedWindow(rate, size, s);
    std::vector<char> other(64 << 20);
    double cpu = 0;
    for (auto _ : state) {
        if (state.range(2)) {
            state.PauseTiming();
            for (std::size_t i = 0; i < other.size(); i += 64)
                other[i] = static_cast<char>(other[i] + 1);
            benchmark::ClobberMemory();
            state.ResumeTiming();
        }
        const double c0 = CpuSeconds();
        w.RangeLabels();
        benchmark::DoNotOptimize(OneBlock(w, s));
        QCoreApplication::processEvents();
        cpu += CpuSeconds() - c0;
    }
    state.counters["core_pct"] = 100 * cpu / static_cast<double>(state.iterations()) * rate / size;
}

// The engine's block sequence alone, without a window: what parlune-measure
// spends per block.
void BM_Engine(benchmark::State& state)
{
    const double rate = static_cast<double>(state.range(0));
    const int size = static_cast<int>(state.range(1));
    Parlune& w = Window();
    Prepare(w, rate, size);
    ChainState chain;
    StartChain(chain, size);
    chain.Window = w.Chain.Window;
    ChainParams p = w.BlockParams();
    for (auto _ : state) {
        ChainParams q = p;
        benchmark::DoNotOptimize(RunBlock(w.InBuf.data(), q, chain));
    }
    state.counters["realtime_x"] = benchmark::Counter(size / rate, benchmark::Counter::kIsIterationInvariantRate);
}

// A run of the window on the built-in test signal at the 5 kHz span, timed
// from its first block until stop(blocks after the first, seconds) says so:
// process CPU and wall time, s.
struct TimedRun {
    int blocks = 0;
    double cpu = 0, wall = 0;
};

template <class Stop>
TimedRun RunOnTestSignal(Parlune& w, int rate, int size, Stop stop)
{
    Choose(w.sampleRateBox, QString::number(rate));
    Choose(w.fftSizeBox, QString::number(size));
    w.spanLowBar.setValue(20);
    w.spanHighBar.setValue(5000);
    Choose(w.deviceBox, "Test signal 1000 Hz, S/N 20 dB");
    int blocks = 0;
    double cpu0 = 0, wall0 = 0;
    w.BlockDoneHook = [&] {
        // Timing starts after the first block, once the device is running.
        if (++blocks == 1) {
            cpu0 = CpuSeconds();
            wall0 = WallSeconds();
        } else if (stop(blocks, WallSeconds() - wall0)) {
            w.stopButton.Click();
        }
    };
    w.startButton.Click();
    w.BlockDoneHook = nullptr;
    return {blocks - 1, CpuSeconds() - cpu0, WallSeconds() - wall0};
}

void BM_RunOverhead(benchmark::State& state)
{
    Parlune& w = Window();
    // The processing of one block at the defaults, measured on its own first.
    Prepare(w, 12000, 8192);
    LoopState s;
    w.LoopSetUp(s);
    const double p0 = CpuSeconds();
    for (int i = 0; i < 20; ++i)
        OneBlock(w, s);
    const double perBlock = (CpuSeconds() - p0) / 20;

    for (auto _ : state) {
        const TimedRun r = RunOnTestSignal(w, 12000, 8192, [](int blocks, double) { return blocks == 21; });
        state.counters["blocks"] = r.blocks;
        state.counters["wall_s"] = r.wall;
        state.counters["cpu_s"] = r.cpu;
        state.counters["processing_s"] = perBlock * 20;
        state.counters["overhead_pct_core"] = 100 * (r.cpu - perBlock * 20) / r.wall;
    }
}

// A live run of the window on the built-in test signal at the 5 kHz span,
// 15 s from its first block: the share of one core the whole process takes
// (capture wait, block processing, drawing and painting).
void BM_LiveShare(benchmark::State& state)
{
    Parlune& w = Window();
    for (auto _ : state) {
        const TimedRun r = RunOnTestSignal(w, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                                           [](int, double seconds) { return seconds >= 15; });
        state.counters["blocks"] = r.blocks;
        state.counters["share_pct_core"] = 100 * r.cpu / r.wall;
    }
}

void Sizes(benchmark::internal::Benchmark* b)
{
    b->Args({12000, 8192});
    for (int n : {1024, 8192, 65536, 262144})
        b->Args({48000, n});
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Duty)->Apply(Sizes)->MinTime(2.0);
BENCHMARK(BM_Engine)->Apply(Sizes)->MinTime(1.0);
BENCHMARK(BM_BlockShown)
    ->ArgsProduct({{12000}, {8192, 1024}, {0, 1}})
    ->ArgsProduct({{48000}, {1024}, {0, 1}})
    ->MinTime(2.0)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RunOverhead)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_LiveShare)
    ->Args({12000, 8192})
    ->Args({12000, 1024})
    ->Args({48000, 1024})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    return RunWidgetBenchmarks(argc, argv, [] { gWindow.reset(); });
}
