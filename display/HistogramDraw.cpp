// The histogram of the averaged bin levels: one bar per 0.1 dB cell, the
// vertical scale growing with the square root of the number of bins, and the
// cell of the statistical noise level marked in red.
#include <cmath>

#include "display/HistogramWindow.h"
#include "engine/Fault.h"
#include "engine/Histogram.h"
#include "ui/Parlune.h"

namespace {
constexpr Colour kBarColour = RGB(0, 0, 255);
constexpr Colour kMarkColour = RGB(255, 0, 0);
} // namespace

void Parlune::DrawHistogram()
{
    PictureBox& h = monHisto().Histogram;
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
        if (Chain.AmpHist[c] > 0)
            h.LineBox(c, top - Chain.AmpHist[c], c + 1, top, kBarColour);
}

void Parlune::MarkHistogram(std::int32_t cell)
{
    if (cell < 0 || cell > kHistUsedTop || Chain.AmpHist[cell] <= 0)
        return;
    PictureBox& h = monHisto().Histogram;
    const double top = h.ScaleHeight();
    h.LineBox(cell, top - Chain.AmpHist[cell], cell + 1, top, kMarkColour);
}
