// What a run draws, checked on the rendered pictures: the spectrum plot's
// band, grid and peak marker, the waterfall's rows in order of age, the
// histogram with its statistical mark, and the plot's mouse read-out.
#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>

#include "display/HistogramWindow.h"
#include "display/WaterfallWindow.h"
#include "engine/Histogram.h"
#include "support/FeedInput.h"
#include "support/RunHarness.h"

namespace {

QRgb Rgb(int r, int g, int b) { return qRgb(r, g, b); }

QRgb At(const QImage& img, double px, double py)
{
    return img.pixel(static_cast<int>(std::floor(px)), static_cast<int>(std::floor(py)));
}

class RunDrawingTest : public ::testing::Test {
protected:
    void TearDown() override { ResetBackends(); }
};

// The device list is filled at load, so the backends are set first.
struct FedWindow {
    explicit FedWindow(FeedInput::Generator gen)
        : dev(std::make_shared<FeedInput>("Fed input", std::move(gen)))
    {
        SetBackendsForTest({dev});
        h = std::make_unique<RunHarness>();
        h->ChooseDevice("Fed input");
    }
    std::shared_ptr<FeedInput> dev;
    std::unique_ptr<RunHarness> h;
};

TEST_F(RunDrawingTest, SpectrumPlotShowsBandGridAndPeakMarker)
{
    FedWindow f(ToneFeed(12000, [](int) { return 1000.0; }));
    Parlune& w = f.h->w();
    w.DispThreshold.setValue(60);
    f.h->Apply({});
    ASSERT_EQ(f.h->Run(4), 4);
    ASSERT_EQ(w.DispThresh, 60);
    const QImage img = w.Spectrum.Image();
    const PictureBox& p = w.Spectrum;

    // Band shading between CFBin -+ SigBWBins / 2, over the full height; the
    // row 15 dB below the top has no grid, label or trace.
    const double row = p.PixelY(15);
    const double lo = p.PixelX(w.CFBin - w.SigBWBins / 2.0);
    const double hi = p.PixelX(w.CFBin + w.SigBWBins / 2.0);
    const QRgb band = Rgb(200, 200, 100), back = Rgb(180, 180, 180);
    EXPECT_EQ(At(img, lo + 1, row), band);
    EXPECT_EQ(At(img, hi - 1, row), band);
    EXPECT_EQ(At(img, lo - 2, row), back);
    EXPECT_EQ(At(img, hi + 2, row), back);
    EXPECT_EQ(At(img, lo + 1, p.PixelY(119.5)), band);

    // Peak marker: the triangle's top edge 4 dB above the peak, its apex on it.
    EXPECT_EQ(w.PeakBin, 683);
    const double peakLevel = 10 * std::log10(w.PeakPower) - w.DispThresh;
    const double apexY = 120 - peakLevel;
    ASSERT_GT(apexY, 10);
    const QRgb marker = Rgb(255, 32, 0);
    EXPECT_EQ(At(img, p.PixelX(w.PeakBin), p.PixelY(apexY)), marker);
    EXPECT_EQ(At(img, p.PixelX(w.PeakBin), p.PixelY(apexY - 4)), marker);
    EXPECT_EQ(At(img, p.PixelX(w.PeakBin + p.ScaleWidth() / 200), p.PixelY(apexY - 4)), marker);

    // dB grid: a row every 10 dB, none half-way between.  Counted over the
    // columns away from the band, where only the trace may cross a row.
    const QRgb grid = Rgb(170, 170, 170);
    for (int j = 10; j <= 110; j += 10) {
        int onGrid = 0, between = 0, columns = 0;
        for (int x = 0; x < img.width(); ++x) {
            if (x >= lo - 2 && x <= hi + 2)
                continue;
            ++columns;
            onGrid += img.pixel(x, static_cast<int>(p.PixelY(j))) == grid;
            between += img.pixel(x, static_cast<int>(p.PixelY(j + 5))) == grid;
        }
        EXPECT_GT(onGrid, columns * 3 / 4) << "grid row " << j;
        EXPECT_EQ(between, 0) << "half-way row " << j + 5;
    }
}

TEST_F(RunDrawingTest, WaterfallShowsTheNewestLineOnTopAndOlderOnesBelow)
{
    // The tone steps up 500 Hz per block: 500, 1000, 1500, 2000 Hz.
    FedWindow f(ToneFeed(12000, [](int b) { return 500.0 * (b + 1); }, 25));
    Parlune& w = f.h->w();
    w.monWF().WFpal.setValue(1); // grey scale: brighter is stronger
    RunSettings s;
    s.averaging = 1;
    f.h->Apply(s);
    ASSERT_EQ(f.h->Run(4), 4);
    MonWF& wf = w.monWF();
    EXPECT_TRUE(wf.isVisible());
    EXPECT_EQ(wf.WFall.ScaleHeight(), 512);
    EXPECT_DOUBLE_EQ(wf.WFall.ScaleWidth(), w.Spectrum.ScaleWidth());
    const QImage img = wf.WFall.Image();

    // Going down from the top, each pixel row's brightest column is the tone
    // of the same or an older block: 2000 Hz first, 500 Hz last, then black
    // (the window is fresh).
    auto columnOf = [&](double hz) { return static_cast<int>(wf.WFall.PixelX(hz * 8192 / 12000)); };
    auto brightest = [&](int y) {
        int best = 0;
        for (int x = 1; x < img.width(); ++x)
            if (qGray(img.pixel(x, y)) > qGray(img.pixel(best, y)))
                best = x;
        return best;
    };
    auto black = [&](int y) {
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != Rgb(0, 0, 0))
                return false;
        return true;
    };
    std::vector<int> tones;
    int y = 0;
    for (; y < img.height() && !black(y); ++y)
        tones.push_back(brightest(y));
    ASSERT_GE(tones.size(), 3u);
    EXPECT_LE(tones.size(), 5u); // five scale rows hold lines
    EXPECT_NEAR(tones.front(), columnOf(2000), 1);
    EXPECT_NEAR(tones.back(), columnOf(500), 1);
    for (std::size_t i = 1; i < tones.size(); ++i)
        EXPECT_LE(tones[i], tones[i - 1] + 1) << "pixel row " << i;
    for (; y < img.height(); ++y)
        ASSERT_TRUE(black(y)) << "pixel row " << y;
}

TEST_F(RunDrawingTest, HistogramBarsAndStatisticalMark)
{
    FedWindow f(ToneFeed(12000, [](int) { return 1000.0; }));
    Parlune& w = f.h->w();
    w.UseStatNoise.setValue(1);
    f.h->Apply({});
    ASSERT_EQ(f.h->Run(2), 2);
    PictureBox& hist = w.monHisto().Histogram;
    EXPECT_NEAR(hist.ScaleHeight(), 0.5 * std::sqrt(double(w.FMaxBin - w.FMinBin)), 1e-9);
    EXPECT_EQ(hist.ScaleWidth(), 1600);
    const QImage img = hist.Image();
    const int bottom = img.height() - 1;

    // The fullest cell's bar is blue from the bottom edge; the marked cell is red.
    int fullest = 0;
    for (int c = 0; c <= kHistUsedTop; ++c)
        if (w.AmpHist[c] > w.AmpHist[fullest])
            fullest = c;
    const int cell = StatNoiseCell(w.AmpHist.data(), w.FMinBin, w.FMaxBin);
    ASSERT_NE(cell, fullest);
    EXPECT_EQ(At(img, hist.PixelX(fullest), bottom), Rgb(0, 0, 255));
    EXPECT_EQ(At(img, hist.PixelX(cell), bottom), Rgb(255, 0, 0));
    EXPECT_EQ(w.NoiseL.ForeColor(), RGB(170, 0, 170));
    // An empty cell far above every level draws nothing.
    EXPECT_EQ(At(img, hist.PixelX(1590.5), bottom), hist.Image().pixel(img.width() - 1, 0));
}

TEST_F(RunDrawingTest, MouseReadOutAndClickOnThePlot)
{
    FedWindow f(ToneFeed(12000, [](int) { return 1000.0; }));
    Parlune& w = f.h->w();
    f.h->Apply({});
    ASSERT_EQ(f.h->Run(1), 1);

    struct Move {
        double x, y;
        const char* text;
    };
    const Move moves[] = {
        {1000.4, 0, "1465.4Hz  120.dB"},
        {682.6666666, 60.3, "1000.Hz  59.7dB"},
        {100, 119.9, "146.5Hz  .1dB"},
    };
    for (const Move& m : moves) {
        w.Spectrum_MouseMove(0, 0, m.x, m.y);
        EXPECT_EQ(w.CsrLoc.Caption(), m.text);
    }

    w.Spectrum_MouseDown(2, 0, 2000, 10); // right button: nothing
    EXPECT_EQ(w.CF.Text(), "1000");
    w.Spectrum_MouseDown(1, 0, 1000.4, 10);
    EXPECT_EQ(w.CF.Text(), "1465.4");
    EXPECT_EQ(w.CFBin, 1000);

    // Through the widget, as the mouse does it: the top edge reads 120 dB,
    // and a left click moves the centre.
    QMouseEvent move(QEvent::MouseMove, QPointF(50, 0), w.Spectrum.widget()->mapToGlobal(QPointF(50, 0)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w.Spectrum.widget(), &move);
    EXPECT_TRUE(w.CsrLoc.Caption().endsWith("Hz  120.dB")) << w.CsrLoc.Caption().toStdString();
    QTest::mouseClick(w.Spectrum.widget(), Qt::LeftButton, {}, QPoint(50, 100));
    EXPECT_NE(w.CF.Text(), "1465.4");
}

TEST_F(RunDrawingTest, ResultsPanelMetersCentreTraceAndTracking)
{
    FedWindow f(ToneFeed(12000, [](int) { return 1000.0; }));
    Parlune& w = f.h->w();
    RunSettings s;
    s.cf = "1010"; // band 976 .. 1059 Hz: the tone at bin 683 lies in it
    f.h->Apply(s);
    w.TrackSig.setValue(1);
    w.CentrePeaking.setValue(true);
    ASSERT_EQ(f.h->Run(1), 1);

    // Tracking moved the centre onto the peak; the results are shown.
    EXPECT_EQ(w.CFBin, 683);
    EXPECT_EQ(w.CF.Text(), "1000.5");
    EXPECT_TRUE(w.SNResults.Visible());
    EXPECT_TRUE(w.SNResults.Enabled());
    // Centre Trace is one-shot: the reference is now the peak level, so the
    // Peaking meter is filled to its middle.
    EXPECT_FALSE(w.CentrePeaking.Value());
    EXPECT_EQ(w.PeakingRef.Value(), std::lround(10 * std::log10(w.PeakPower)));
    const QImage peaking = w.Peaking.Image();
    const int mid = peaking.height() / 2;
    EXPECT_EQ(peaking.pixel(peaking.width() / 4, mid), Rgb(120, 60, 0));
    EXPECT_EQ(peaking.pixel(peaking.width() * 3 / 4, mid), Rgb(255, 255, 255));
    // Input level bar: about 82 dB of 85 in orange (largest sample above 8000), white above.
    const QImage level = w.IPAmplitude.Image();
    EXPECT_EQ(level.pixel(level.width() / 2, level.height() - 2), Rgb(255, 128, 0));
    EXPECT_EQ(level.pixel(level.width() / 2, 0), Rgb(255, 255, 255));
    EXPECT_EQ(w.NoiseL.ForeColor(), RGB(0, 100, 70));
    EXPECT_EQ(w.ShowMin.Caption(), " 20Hz");
    EXPECT_EQ(w.ShowMax.Caption(), " 5000Hz");

    // A centre far from the tone: the peak lies outside the band, the results
    // frame is hidden and S/N keeps its value, while the peak still updates.
    const double sn = w.SN1HzDb;
    w.TrackSig.setValue(0);
    w.CF.setText("3000");
    ASSERT_EQ(f.h->Run(1), 1);
    EXPECT_FALSE(w.SNResults.Visible());
    EXPECT_EQ(w.SN1HzDb, sn);
    EXPECT_EQ(w.PeakBin, 683);
    EXPECT_EQ(w.CFBin, 2048);
}

} // namespace
