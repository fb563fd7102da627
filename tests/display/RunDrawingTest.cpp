// What a run draws, checked on the rendered pictures: the spectrum plot's
// band, grid and peak marker, the histogram with its statistical mark, the
// meters, the waterfall's newest line and the mouse read-outs.
#include <QApplication>
#include <QMouseEvent>

#include "display/HistogramWindow.h"
#include "display/WaterfallWindow.h"
#include "engine/Histogram.h"
#include "support/FeedInput.h"
#include "support/RunHarness.h"

namespace {

QRgb At(const QImage& img, double px, double py) { return img.pixel(int(std::floor(px)), int(std::floor(py))); }

using RunDrawing = WindowTest; // on a fed tone of 1000 Hz

// The band shaded over CFBin -+ SigBWBins / 2 at full height, and 15 dB below
// the top no grid, label or trace; the peak marker's apex on the peak, its
// top edge 4 dB above; a grid row every 10 dB, none half-way, counted away
// from the band where only the trace may cross a row.
TEST_F(RunDrawing, SpectrumPlotShowsBandGridAndPeakMarker)
{
    Parlune& w = Prepare({std::make_shared<FeedInput>()}, "Fed input", {.averaging = 4});
    w.thresholdBar.setValue(60); // brings the peak below the top edge
    ASSERT_EQ(h->Run(4), 4);
    const PictureBox& p = w.spectrumPlot;
    const QImage img = p.Image();
    const double row = p.PixelY(15), lo = p.PixelX(w.CFBin - w.SigBWBins / 2.0), hi = p.PixelX(w.CFBin + w.SigBWBins / 2.0);
    const double apexY = 120 - (10 * std::log10(w.PeakPower) - w.DispThresh);
    ASSERT_GT(apexY, 10);
    const QRgb band = qRgb(200, 200, 100), back = qRgb(180, 180, 180), marker = qRgb(255, 32, 0), grid = qRgb(170, 170, 170);
    EXPECT_EQ(std::vector({At(img, lo + 1, row), At(img, hi - 1, p.PixelY(119.5)), At(img, lo - 2, row), At(img, hi + 2, row),
                           At(img, p.PixelX(w.PeakBin), p.PixelY(apexY)), At(img, p.PixelX(w.PeakBin + p.ScaleWidth() / 200), p.PixelY(apexY - 4))}),
              std::vector({band, band, back, back, marker, marker}));
    for (int j = 10; j <= 110; j += 10) {
        int onGrid = 0, between = 0, columns = 0;
        for (int x = 0; x < img.width(); ++x)
            if (x < lo - 2 || x > hi + 2) {
                ++columns;
                onGrid += img.pixel(x, int(p.PixelY(j))) == grid;
                between += img.pixel(x, int(p.PixelY(j + 5))) == grid;
            }
        EXPECT_TRUE(onGrid > columns * 3 / 4 && between == 0) << "grid row " << j << ": " << onGrid << " of " << columns << ", " << between;
    }
}

// One run at one block's average: the histogram with its statistical mark,
// the meters, the waterfall's newest line with its read-out (column 683 of
// 8192 points at 12000 Hz), and the mouse on the plot.  Centre Trace is
// one-shot and sets the reference to block 1's peak level: the Peaking meter
// is filled to its middle.  A peak 5 dB above the reference then fills it,
// 5 dB below leaves it white (0.1 dB beyond, for the change between blocks).
TEST_F(RunDrawing, HistogramMetersWaterfallAndMouse)
{
    Parlune& w = Prepare({std::make_shared<FeedInput>()}, "Fed input", {.averaging = 1});
    w.statNoiseCheck.setValue(1);
    w.centreTraceOption.setValue(true);
    const QRgb white = qRgb(255, 255, 255), brown = qRgb(120, 60, 0);
    ASSERT_EQ(h->Run(3, [&](int block) {
        const QImage pk = w.peakingMeter.Image();
        if (block == 1)
            EXPECT_EQ(std::tuple(w.centreTraceOption.Value(), pk.pixel(pk.width() / 4, pk.height() / 2),
                                 pk.pixel(pk.width() * 3 / 4, pk.height() / 2)), std::tuple(false, brown, white));
        else { // the meter as drawn with the reference set after the block before
            QImage full(pk.size(), pk.format());
            full.fill(QColor(block == 2 ? brown : white));
            EXPECT_TRUE(pk == full) << "block " << block;
        }
        const double peakDb = 10 * std::log10(w.PeakPower);
        w.peakingRefBar.DragTo(block == 1 ? int(std::floor(peakDb - 0.1)) - 5 : int(std::ceil(peakDb + 0.1)) + 5);
    }), 3);

    // The fullest histogram cell's bar blue from the bottom, the statistical
    // noise cell red; the level bar about 82 dB of 85 in orange, white above.
    const PictureBox& hb = w.monHisto().histogramPicture;
    const QImage hist = hb.Image(), lv = w.inputLevelMeter.Image();
    const std::int32_t* cells = w.Chain.AmpHist.data();
    const int fullest = int(std::max_element(cells, cells + kHistUsedTop + 1) - cells);
    const int cell = StatNoiseCell(cells, w.FMinBin, w.FMaxBin);
    ASSERT_NE(cell, fullest);
    EXPECT_EQ(std::vector({At(hist, hb.PixelX(fullest), hist.height() - 1), At(hist, hb.PixelX(cell), hist.height() - 1),
                           lv.pixel(lv.width() / 2, lv.height() - 2), lv.pixel(lv.width() / 2, 0)}),
              std::vector({qRgb(0, 0, 255), qRgb(255, 0, 0), qRgb(255, 128, 0), white}));
    EXPECT_EQ(w.noiseLevelLabel.ForeColor(), RGB(170, 0, 170));
    // The waterfall's top line is drawn (how each line ages: RetainedDrawing).
    MonWF& wf = w.monWF();
    const QImage fall = wf.waterfallPicture.Image();
    EXPECT_FALSE(fall.copy(0, 0, fall.width(), 1).allGray());
    wf.WFall_MouseMove(0, 0, 683, 0);
    EXPECT_EQ(wf.cursorLabel.Caption(), "1000.5Hz");

    // Mouse on the plot: read-out at the top edge (also through the widget),
    // right click ignored, left click moves the centre.
    w.Spectrum_MouseMove(0, 0, 1000.4, 0);
    EXPECT_EQ(w.cursorLabel.Caption(), "1465.4Hz  120.dB");
    w.Spectrum_MouseDown(2, 0, 2000, 10);
    EXPECT_EQ(w.centreFrequencyBox.Text(), "1000");
    w.Spectrum_MouseDown(1, 0, 1000.4, 10);
    EXPECT_EQ(std::pair(w.centreFrequencyBox.Text(), w.CFBin), std::pair(QString("1465.4"), 1000));
    QWidget* plot = w.spectrumPlot.widget();
    QMouseEvent move(QEvent::MouseMove, QPointF(50, 0), plot->mapToGlobal(QPointF(50, 0)), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(plot, &move);
    EXPECT_TRUE(w.cursorLabel.Caption().endsWith("Hz  120.dB")) << w.cursorLabel.Caption().toStdString();
}

} // namespace
