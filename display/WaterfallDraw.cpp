// The waterfall's drawing: set-up at run start, the line of each block at
// the top, and the scroll by one row of the 512-row scale.
//
// The rows live in a ring image, one image row per scale row, so a scroll
// only moves the ring's top; the picture the user sees is the ring read from
// its top, rows scaled to the picture's height.  That costs the same for
// every block, however long the waterfall has been running, and the rows
// stay exact even where one scale row is less than a pixel high.  With fewer
// pixel rows than scale rows, a pixel row's age does not move by a whole
// pixel row per scroll, so the shown picture cannot be shifted or drawn as
// two slices of the ring: each scroll writes every pixel row once, straight
// into the picture box's image.
#include <QImage>
#include <QPointer>
#include <cmath>
#include <cstring>

#include "display/WaterfallWindow.h"
#include "engine/Averaging.h"
#include "engine/FrequencyPlan.h"
#include "engine/WholeNumber.h"
#include "display/WaterfallDraw.h"
#include "display/Palette.h"
#include "display/PictureSurface.h"

namespace {
constexpr int kRows = 512; // scale rows of the picture
} // namespace

struct WaterfallRing {
    QPointer<MonWF> owner; // a closed (discarded) window starts a black ring
    QImage rows;           // pixel columns x kRows, Format_RGB32
    int top = 0;           // image row holding scale row 0
};

namespace {

// The ring for the current waterfall window, as wide as its picture in pixels.
WaterfallRing& RingFor(std::shared_ptr<WaterfallRing>& ring, MonWF& wf)
{
    const int width = std::max(1, wf.waterfallPicture.Image().width());
    if (!ring || ring->owner != &wf) {
        ring = std::make_shared<WaterfallRing>();
        ring->owner = &wf;
    }
    if (ring->rows.width() != width) {
        if (ring->rows.isNull()) {
            ring->rows = QImage(width, kRows, QImage::Format_RGB32);
            ring->rows.fill(Qt::black);
        } else {
            ring->rows = ring->rows.scaled(width, kRows);
        }
    }
    return *ring;
}

inline QRgb ToRgb(Colour c) { return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

} // namespace

void WaterfallSetUp(MonWF& wf, double scaleWidth, double SampleRate, std::int32_t NFFT)
{
    wf.waterfallPicture.setScaleLeft(0);
    wf.waterfallPicture.setScaleWidth(scaleWidth);
    wf.waterfallPicture.setScaleHeight(kRows);
    wf.rowCache.setWidth(RoundToInt32(wf.waterfallPicture.ScaleWidth()));
    wf.rowCache.setHeight(RoundToInt32(wf.waterfallPicture.ScaleHeight()));
    // The read-out keeps this run's bin width until the next run starts: the
    // picture stays drawn at it whatever the rate box says meanwhile.
    const double hzPerBin = NFFT > 0 ? BinWidthHz(SampleRate, NFFT) : std::nan("");
    wf.BinWidthHz = [hzPerBin] { return hzPerBin; };
    wf.show();
}

// Bin k is the segment from x = k to k + 1 on row 0.  When several bins
// share a pixel column the one drawn last wins, so only that bin's colour is
// worked out: for pixel column p it is the highest k whose segment starts
// left of p + 1.
void WaterfallLine(MonWF& wf, std::shared_ptr<WaterfallRing>& WFRing, const SpecRing& spectra, std::int32_t slot,
                   std::int32_t NFFT)
{
    WaterfallRing& ring = RingFor(WFRing, wf);
    const double g = wf.gainBar.Value() / 20.0;
    const int t = wf.thresholdBar.Value();
    const std::int32_t kLast = static_cast<std::int32_t>(std::floor(kTopShareOfRate * NFFT));
    const double scaleLeft = wf.waterfallPicture.ScaleLeft();
    const double scaleWidth = wf.waterfallPicture.ScaleWidth();
    const int width = ring.rows.width();
    if (!(scaleWidth > 0) || kLast < 0)
        return;
    const double binsPerPixel = scaleWidth / width;
    QRgb* row = reinterpret_cast<QRgb*>(ring.rows.scanLine(ring.top));

    for (int p = 0; p < width; ++p) {
        // Highest k with pixel column of k < p + 1.
        double kEdge = scaleLeft + (p + 1) * binsPerPixel;
        std::int64_t k = static_cast<std::int64_t>(std::ceil(kEdge)) - 1;
        if (k < 0)
            continue;
        if (k > kLast) {
            // The last bin's segment ends at x = kLast + 1: columns right of it keep their contents.
            if (scaleLeft + p * binsPerPixel >= kLast + 1.0)
                break;
            k = kLast;
        }
        const float power = spectra(k, slot);
        const double level = BinLevel(power);
        const float x = static_cast<float>(g * (level - t - 30) / 256);
        const auto palette = static_cast<unsigned char>(wf.paletteBar.Value());
        row[p] = ToRgb(WFCols(x, palette));
    }
}

void WaterfallScroll(MonWF& wf, std::shared_ptr<WaterfallRing>& WFRing)
{
    WaterfallRing& ring = RingFor(WFRing, wf);
    const int width = ring.rows.width();

    // Everything moves down one scale row; the bottom row leaves, and the top
    // row keeps the newest line until the next block draws over it.
    const int oldTop = ring.top;
    ring.top = (ring.top + kRows - 1) % kRows;
    std::memcpy(ring.rows.scanLine(ring.top), ring.rows.constScanLine(oldTop), static_cast<std::size_t>(width) * 4);

    // The rows go straight into the picture box's image, which the widget
    // blits as it is: no picture in between and no painter.
    PictureSurface& surface = *wf.waterfallPicture.surface();
    QImage& shown = surface.image();
    const int height = shown.height();
    if (shown.width() != width || height == 0)
        return;
    for (int py = 0; py < height; ++py) {
        const int r = std::min(kRows - 1, static_cast<int>(static_cast<std::int64_t>(py) * kRows / height));
        std::memcpy(shown.scanLine(py), ring.rows.constScanLine((ring.top + r) % kRows),
                    static_cast<std::size_t>(width) * 4);
    }
    // rowCache, the hidden holder of the copy, is not needed: the ring holds the rows.
    surface.touched(shown.rect());
}
