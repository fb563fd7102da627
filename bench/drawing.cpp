// The drawing the run loop does each block, through the program's own
// functions at the sizes it uses: the waterfall line (span 20 Hz .. 0.45 x
// rate) and scroll, the histogram of 1601 cells, the spectrum plot's
// background and trace, and the palette strip.
#include <QApplication>
#include <benchmark/benchmark.h>
#include <cmath>
#include <memory>
#include <vector>

#include "display/HistogramDraw.h"
#include "display/SpectrumPlot.h"
#include "display/WaterfallDraw.h"
#include "display/WaterfallWindow.h"
#include "engine/Histogram.h"

#include "bench/WidgetBenchMain.h"

namespace {

MonWF& Waterfall()
{
    static MonWF w;
    return w;
}

// A ring holding one block of a noisy spectrum with a few peaks.
SpecRing Spectra(int n)
{
    SpecRing ring(n / 2);
    for (int k = 0; k < n / 2; ++k)
        ring(k, 0) = static_cast<float>(1e6 * (1.5 + std::sin(k * 0.37)) * (k % 97 == 0 ? 1000 : 1));
    return ring;
}

void BM_WaterfallLine(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    MonWF& wf = Waterfall();
    WaterfallSetUp(wf, 0.45 * n, 48000, n);
    const SpecRing ring = Spectra(n);
    std::shared_ptr<WaterfallRing> rows;
    for (auto _ : state)
        WaterfallLine(wf, rows, ring, 0, n);
    state.counters["bins"] = 0.45 * n;
}
BENCHMARK(BM_WaterfallLine)->Arg(1024)->Arg(8192)->Arg(262144)->Unit(benchmark::kMicrosecond);

void BM_WaterfallScroll(benchmark::State& state)
{
    MonWF& wf = Waterfall();
    WaterfallSetUp(wf, 0.45 * 8192, 48000, 8192);
    std::shared_ptr<WaterfallRing> rows;
    for (auto _ : state)
        WaterfallScroll(wf, rows);
}
BENCHMARK(BM_WaterfallScroll)->Unit(benchmark::kMicrosecond);

void BM_Histogram(benchmark::State& state)
{
    std::vector<std::int32_t> cells(kHistTop + 1);
    for (int c = 0; c <= kHistUsedTop; ++c)
        cells[c] = (c * 7) % 40;
    PictureBox& h = Waterfall().waterfallPicture; // a picture of the histogram's order of size
    for (auto _ : state)
        DrawHistogram(h, cells.data(), 14, 3277);
}
BENCHMARK(BM_Histogram)->Unit(benchmark::kMicrosecond);

// Background and trace of the plot over the widest span, per FFT size.
void BM_SpectrumPlot(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    PictureBox& plot = Waterfall().waterfallPicture;
    const PlotFrame f{n, 48000, n / 48, n / 480, 1, static_cast<std::int32_t>(0.45 * n), 0.5, 0, 20, 21600};
    plot.setScaleLeft(1);
    plot.setScaleWidth(static_cast<float>(0.45 * n));
    plot.setScaleHeight(120);
    LoopState s;
    std::vector<double> levels(n / 2 + 1);
    for (int k = 0; k <= n / 2; ++k)
        levels[k] = 60 + 10 * std::sin(k * 0.37);
    double prev = 0;
    PlotBackdrop keep;
    for (auto _ : state) {
        PlotBackground(plot, f, s, keep);
        PlotTrace(plot, f, s, levels.data(), prev);
    }
}
BENCHMARK(BM_SpectrumPlot)->Arg(1024)->Arg(8192)->Arg(262144)->Unit(benchmark::kMicrosecond);

void BM_PaletteStrip(benchmark::State& state)
{
    MonWF& w = Waterfall();
    for (auto _ : state)
        w.WFpal_Change();
}
BENCHMARK(BM_PaletteStrip)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) { return RunWidgetBenchmarks(argc, argv); }
