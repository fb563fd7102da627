// The histogram of the averaged bin levels: one bar per 0.1 dB cell, the
// vertical scale growing with the square root of the number of bins, and the
// cell of the statistical noise level marked in red.
#include <cmath>

#include "display/HistogramWindow.h"
#include "engine/Fault.h"
#include "engine/Histogram.h"
#include "display/HistogramDraw.h"

namespace {
constexpr Colour kBarColour = RGB(0, 0, 255);
constexpr Colour kMarkColour = RGB(255, 0, 0);
} // namespace

void DrawHistogram(PictureBox& h, const std::int32_t* ampHist, std::int32_t FMinBin, std::int32_t FMaxBin)
{
    const double bins = static_cast<double>(FMaxBin) - FMinBin;
    if (bins < 0)
        throw Fault(Fault::Kind::OutOfRange, "empty displayed range");
    h.Cls();
    if (bins == 0)
        return; // a scale of height 0 has nothing to show
    h.setScaleHeight(0.5 * std::sqrt(bins));
    h.setScaleWidth(kHistUsedTop);
    const double top = h.ScaleHeight();
    // An empty cell's box has no height and lies on the bottom edge: nothing to draw.
    for (std::int32_t c = 0; c <= kHistUsedTop; ++c)
        if (ampHist[c] > 0)
            h.LineBox(c, top - ampHist[c], c + 1, top, kBarColour);
}

void MarkHistogram(PictureBox& h, const std::int32_t* ampHist, std::int32_t cell)
{
    if (cell < 0 || cell > kHistUsedTop || ampHist[cell] <= 0)
        return;
    const double top = h.ScaleHeight();
    h.LineBox(cell, top - ampHist[cell], cell + 1, top, kMarkColour);
}
