// The spectrum plot: x in bins, y in dB from 0 at the top to PlotHeight
// (120) at the bottom, a level L drawn at PlotHeight - (L - f.DispThresh).
// Background with the signal band and grids (kept from block to block while
// it stays the same), the trace, the noise lines and the peak marker.
#include <algorithm>
#include <cmath>

#include "engine/Fault.h"
#include "engine/FrequencyPlan.h"
#include "engine/NumberText.h"
#include "engine/WholeNumber.h"
#include "display/PictureSurface.h"
#include "display/SpectrumPlot.h"

namespace {
constexpr Colour kBandColour = RGB(200, 200, 100);
constexpr Colour kDbGridColour = RGB(170, 170, 170);
constexpr Colour kLabelColour = RGB(128, 0, 64);
constexpr Colour kGridColour = RGB(150, 150, 100);
constexpr Colour kLabelDot = RGB(192, 192, 255);
constexpr Colour kPeakColour = RGB(255, 32, 0);
constexpr int kSolid = 0;
constexpr int kDotted = 2;

QString Text(const std::string& s) { return QString::fromStdString(s); }

void DrawBackground(PictureBox& Spectrum, const PlotFrame& f, const LoopState& s)
{
    const double ph = s.PlotHeight;
    Spectrum.Cls();
    // The band shading reaches past the bottom edge; grids and trace go over it.
    Spectrum.LineBox(f.CFBin - f.SigBWBins / 2.0, 0, f.CFBin + f.SigBWBins / 2.0, ph + 10, kBandColour);
    for (int j = 0; j <= 120; j += 10)
        Spectrum.Line(0, j, f.NFFT / 2.0, j, kDbGridColour);

    Spectrum.setForeColor(kLabelColour);
    const int fMax = f.FMaxHz;
    const bool narrow = fMax - f.FMinHz < 1000;
    for (int hz = 0; hz <= fMax; hz += 100) {
        const double x = CheckedDiv(static_cast<double>(hz) * f.NFFT, f.SampleRate);
        if (hz % 1000 == 0 || narrow) {
            Spectrum.setDrawStyle(kSolid);
            Spectrum.PSet(x + 1, ph * 0.05, kLabelDot);
            Spectrum.Print(Text(FormatPattern(hz, "####")));
        } else {
            Spectrum.setDrawStyle(kDotted);
        }
        Spectrum.Line(x, 0, x, ph, kGridColour);
    }
    Spectrum.setDrawStyle(kSolid);
}
} // namespace

void PlotBackground(PictureBox& Spectrum, const PlotFrame& f, const LoopState& s, PlotBackdrop& keep)
{
    PictureSurface& surface = *Spectrum.surface();
    const PlotBackdrop::Key key{surface.image().size(), Spectrum.ScaleLeft(), Spectrum.ScaleWidth(),
                                Spectrum.ScaleHeight(), surface.back(), surface.font(), Spectrum.DrawStyle(),
                                f, s.PlotHeight};
    if (keep.valid && keep.key == key && Spectrum.RestoreImage(keep.picture)) {
        // What drawing it again would leave: the picture, the label colour,
        // solid lines and the current point.
        Spectrum.setForeColor(kLabelColour);
        Spectrum.setDrawStyle(kSolid);
        Spectrum.setCurrentX(keep.endX);
        Spectrum.setCurrentY(keep.endY);
        return;
    }
    keep.valid = false; // a fault part-way leaves nothing to reuse
    DrawBackground(Spectrum, f, s);
    keep = {true, key, Spectrum.Image().copy(), Spectrum.CurrentX(), Spectrum.CurrentY()};
}

void PlotTrace(PictureBox& Spectrum, const PlotFrame& f, const LoopState& s, const double* levels, double& PrevLevel)
{
    const double ph = s.PlotHeight;
    for (std::int32_t k = f.FMinBin; k <= f.FMaxBin; ++k) {
        const double level = levels[k] - f.DispThresh;
        Spectrum.Line(k - 1, ph - PrevLevel, k, ph - level, s.TraceColour);
        PrevLevel = level;
    }
}

void PlotNoiseLines(PictureBox& Spectrum, const PlotFrame& f, LoopState& s, double NoisePower, bool stat,
                    std::int32_t labelLevel)
{
    const double ph = s.PlotHeight;
    Spectrum.setDrawStyle(kDotted);
    if (NoisePower > 0)
        s.BinLevel = CheckedDb(NoisePower) - f.DispThresh;
    const double y = ph - s.BinLevel;
    const double inner = (f.GuardFactor + 0.5) * f.SigBWBins;
    Spectrum.Line(f.FMinBin, y, f.CFBin - inner, y, s.NoiseColour);
    Spectrum.Line(f.CFBin + inner, y, f.FMaxBin, y, s.NoiseColour);
    Spectrum.setDrawStyle(kSolid);

    const double level = stat ? labelLevel : s.BinLevel;
    Spectrum.setForeColor(stat ? s.StatColour : s.NoiseColour);
    Spectrum.setCurrentX(0.95 * Spectrum.ScaleWidth());
    Spectrum.setCurrentY(ph - level - 8);
    Spectrum.Print("Noise");
    Spectrum.setCurrentX(Spectrum.ScaleLeft() + 7);
    Spectrum.setCurrentY(ph - level);
    Spectrum.Print("Noise");
}

void PlotStatLine(PictureBox& Spectrum, const PlotFrame& f, const LoopState& s, std::int32_t statLevel)
{
    const double y = s.PlotHeight - statLevel;
    Spectrum.setDrawStyle(kDotted);
    Spectrum.Line(f.FMinBin, y, f.FMaxBin, y, s.StatColour);
    Spectrum.setDrawStyle(kSolid);
}

void PlotPeakMarker(PictureBox& Spectrum, const PlotFrame& f, const LoopState& s, std::int32_t PeakBin,
                    double peakLevel)
{
    // A triangle pointing down at the peak, 4 dB high and 2 % of the plot wide.
    const double w = Spectrum.ScaleWidth() / 100;
    const double y = s.PlotHeight - peakLevel;
    const double p = PeakBin;
    Spectrum.Line(p - w, y - 4, p, y, kPeakColour);
    Spectrum.Line(p + w, y - 4, p, y, kPeakColour);
    Spectrum.Line(p - w, y - 4, p + w, y - 4, kPeakColour);
    Spectrum.setForeColor(kPeakColour);
    Spectrum.setCurrentX(p - 2 * w);
    Spectrum.setCurrentY(y - 10);
    Spectrum.Print(Text(FormatPattern(BinToHz(PeakBin, f.SampleRate, f.NFFT), "####0.#Hz")));
}

