// Drawing on picture boxes at the sizes the program uses: a waterfall line
// (one segment per column up to 0.45 N, palette included), the waterfall
// scroll, the 1601 histogram bars and the palette strip.
#include <QApplication>
#include <benchmark/benchmark.h>

#include "display/Palette.h"
#include "display/WaterfallWindow.h"

#include "bench/WidgetBenchMain.h"

namespace {

MonWF& Waterfall()
{
    static MonWF w;
    return w;
}

void BM_WaterfallLine(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const int last = static_cast<int>(0.45 * n);
    PictureBox& wf = Waterfall().WFall;
    wf.setScaleLeft(0);
    wf.setScaleWidth(last);
    wf.setScaleHeight(512);
    for (auto _ : state)
        for (int k = 0; k <= last; ++k)
            wf.Line(k, 0, k + 1, 0, WFCols(static_cast<float>(k % 300) / 256.0f, 0));
    state.SetItemsProcessed(state.iterations() * (last + 1));
}
BENCHMARK(BM_WaterfallLine)->Arg(1024)->Arg(8192)->Arg(262144)->Unit(benchmark::kMicrosecond);

void BM_WaterfallScroll(benchmark::State& state)
{
    MonWF& w = Waterfall();
    for (auto _ : state) {
        w.WFCache.Picture = w.WFall.Image();
        w.WFall.PaintPicture(w.WFCache.Picture, 0, 1);
    }
}
BENCHMARK(BM_WaterfallScroll)->Unit(benchmark::kMicrosecond);

void BM_HistogramBars(benchmark::State& state)
{
    PictureBox& h = Waterfall().WFall; // a picture of the histogram's order of size
    h.setScaleLeft(0);
    h.setScaleWidth(1600);
    h.setScaleHeight(15.8);
    for (auto _ : state) {
        h.Cls();
        for (int c = 0; c <= 1600; ++c)
            h.LineBox(c, 15.8 - (c % 20), c + 1, 15.8, RGB(0, 0, 255));
    }
}
BENCHMARK(BM_HistogramBars)->Unit(benchmark::kMicrosecond);

void BM_PaletteStrip(benchmark::State& state)
{
    MonWF& w = Waterfall();
    for (auto _ : state)
        w.WFpal_Change();
}
BENCHMARK(BM_PaletteStrip)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) { return RunWidgetBenchmarks(argc, argv); }
