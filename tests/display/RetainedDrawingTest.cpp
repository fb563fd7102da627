// Drawing that a block reuses from earlier blocks: the waterfall picture
// built from its ring of rows, and the spectrum plot's background kept while
// nothing it is drawn from changes; each checked against pictures made
// without the reuse, in the image and on the screen.
#include <QApplication>
#include <QScreen>
#include <gtest/gtest.h>
#include <random>

#include "display/SpectrumPlot.h"
#include "display/WaterfallDraw.h"
#include "display/WaterfallWindow.h"

namespace {

QImage Rgb32(const QImage& img) { return img.convertToFormat(QImage::Format_RGB32); }

// What the screen shows of a picture box once pending repaints are done.
QImage OnScreen(PictureBox& box)
{
    QApplication::processEvents();
    QWidget* w = box.widget();
    const QPoint at = w->mapTo(w->window(), QPoint(0, 0));
    return Rgb32(QGuiApplication::primaryScreen()->grabWindow(w->window()->winId(), at.x(), at.y(), w->width(), w->height()).toImage());
}

// The index of the first pixel row where two pictures differ, -1 if none.
int FirstDifferentRow(const QImage& a, const QImage& b)
{
    if (a.size() != b.size()) return -2;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y), std::size_t(a.width()) * 4) != 0) return y;
    return -1;
}

} // namespace

// 512 scale rows of lines, newest at the top, each as tall as the picture's
// height allows.  Block t draws line t into scale row 0, then scrolls: so
// pixel row y (scale row r = y * 512 / height) shows line t for r = 0, line
// t - r + 1 otherwise, black where no line was drawn yet.  A line's pixels
// are taken from the top row after its block; checked fresh, across a change
// of height and after the ring has gone round more than once.
TEST(RetainedDrawing, WaterfallShowsEachLineAtItsAge)
{
    constexpr int kRows = 512, kBins = 512;
    MonWF wf;
    WaterfallSetUp(wf, 0.45 * 2 * kBins, 12000, 2 * kBins);
    std::mt19937 gen(11);
    std::uniform_real_distribution<float> power(1e4f, 1e9f);
    SpecRing spectra(kBins);
    std::shared_ptr<WaterfallRing> ring;
    std::vector<QImage> lines; // line b's pixel row
    auto expected = [&](int t, int width, int height) {
        QImage img(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y) {
            const int r = y * kRows / height, line = r == 0 ? t : t - r + 1;
            if (line >= 0)
                std::memcpy(img.scanLine(y), lines[line].constScanLine(0), std::size_t(width) * 4);
            else
                std::fill_n(reinterpret_cast<QRgb*>(img.scanLine(y)), width, qRgb(0, 0, 0));
        }
        return img;
    };
    for (int t = 0; t < kRows + 140; ++t) {
        if (t == 200) wf.waterfallPicture.setHeight(wf.waterfallPicture.Height() - 1000); // about 67 pixel rows fewer
        for (int k = 0; k < kBins; ++k) spectra(k, 3) = (k + t) % 37 == 0 ? 1e11f : power(gen);
        WaterfallLine(wf, ring, spectra, 3, 2 * kBins);
        WaterfallScroll(wf, ring);
        const QImage shown = Rgb32(wf.waterfallPicture.Image());
        lines.push_back(shown.copy(0, 0, shown.width(), 1));
        ASSERT_TRUE(t == 0 || lines[t] != lines[t - 1]) << "block " << t << " drew no new line";
        if (t < 4 || t == 199 || t == 200 || t % 97 == 0 || t >= kRows + 138) {
            const QImage want = expected(t, shown.width(), shown.height());
            ASSERT_EQ(FirstDifferentRow(shown, want), -1) << "block " << t << ", height " << shown.height();
            ASSERT_EQ(FirstDifferentRow(OnScreen(wf.waterfallPicture), want), -1) << "block " << t << " on the screen";
        }
    }
}

// The background of a block equals one drawn on a fresh plot, whatever
// changed since the block before: nothing, the band, the span, the height,
// the colour behind it, or the drawing state left by the previous block;
// and nothing drawn over it by one block stays for the next.
TEST(RetainedDrawing, PlotBackgroundIsRedrawnWhenWhatItShowsChanges)
{
    Window host("host");
    host.setClientSize(12000, 6500);
    PictureBox kept, fresh;
    kept.create(&host, "Spectrum", 0, 0, 11340, 3060);
    fresh.create(&host, "Fresh", 0, 3300, 11340, 3060);
    host.show();
    LoopState s;
    PlotBackdrop keep; // lives through all blocks, as in a run
    s.TraceColour = RGB(100, 100, 150);
    s.NoiseColour = RGB(0, 100, 70);
    PlotFrame f{1024, 48000, 21, 2, 1, 107, 0.5, 0, 20, 5000};
    std::vector<double> levels(513);
    for (int k = 0; k <= 512; ++k) levels[k] = 60 + 25 * std::sin(k * 0.3);
    const auto both = [&](auto set) { set(kept), set(fresh); };
    const std::vector<std::function<void()>> changes = {
        {}, {}, {}, {}, [&] { f.CFBin = 40; }, {}, {}, [&] { f.SigBWBins = 9; },
        [&] { both([](PictureBox& b) { b.setScaleLeft(10); }); },
        [&] { both([](PictureBox& b) { b.setScaleWidth(50); }); },
        [&] { f.FMaxHz = 2000, f.SampleRate = 12000; },
        [&] { s.PlotHeight = 100; },
        [&] { both([](PictureBox& b) { b.setHeight(2000); }); },
        [&] { both([](PictureBox& b) { b.setBackColor(RGB(0, 0, 90)); }); },
        [&] { both([](PictureBox& b) { b.setDrawStyle(2); }); },
        [&] { both([](PictureBox& b) { b.setDrawStyle(2); }); },
        {}, {}, {},
    };
    both([](PictureBox& b) { b.setScaleLeft(1), b.setScaleWidth(107), b.setScaleHeight(120); });
    for (std::size_t step = 0; step < changes.size(); ++step) {
        if (changes[step]) changes[step]();
        PlotBackdrop first; // a first block: nothing drawn before
        PlotBackground(kept, f, s, keep);
        PlotBackground(fresh, f, s, first);
        // The state the rest of the block draws with, then the pixels.
        EXPECT_EQ(std::vector({kept.CurrentX(), kept.CurrentY(), double(kept.DrawStyle()), double(kept.ForeColor())}),
                  std::vector({fresh.CurrentX(), fresh.CurrentY(), double(fresh.DrawStyle()), double(fresh.ForeColor())}))
            << "step " << step;
        double prevKept = 0, prevFresh = 0;
        // The noise line, its labels and the peak marker move from block to block.
        for (auto [box, prev] : {std::pair{&kept, &prevKept}, std::pair{&fresh, &prevFresh}}) {
            PlotTrace(*box, f, s, levels.data(), *prev);
            PlotNoiseLines(*box, f, s, 1e6 * (1 + step), false, 0);
            PlotPeakMarker(*box, f, s, 30 + 5 * static_cast<int>(step), 50 + 3.0 * step);
        }
        ASSERT_EQ(FirstDifferentRow(kept.Image(), fresh.Image()), -1) << "step " << step;
        // Only the changed parts are repainted; the screen shows it all.
        ASSERT_EQ(FirstDifferentRow(OnScreen(kept), Rgb32(fresh.Image())), -1) << "step " << step << " on the screen";
        levels[f.CFBin] += 7; // a trace over the band must not stay for the next block
    }
}
