// Change rules of the frequency plan: centre frequency, signal bandwidth,
// guard band, span limits, the four span presets, peak-to-centre and
// tracking.  Setting a control from here runs its own rule at once, nested,
// when the value changes; several rules rely on that.  Each numbered line
// is one step: a step that faults (no usable rate, a text that is not a
// number, a value outside a bar's range) is skipped and the rule goes on.
#include <QString>

#include "engine/Fault.h"
#include "engine/FrequencyPlan.h"
#include "engine/NumberText.h"
#include "engine/WholeNumber.h"
#include "ui/Parlune.h"

namespace {

std::string Std(const QString& s) { return s.toStdString(); }
QString Q(const std::string& s) { return QString::fromStdString(s); }

void ShowSpan(Parlune& p) { p.spanBox.setText(Q(SpanText(p.spanLowBar.Value(), p.spanHighBar.Value()))); }

// Plot scale for the current span; the width only when it is a real span
// (with no FFT size yet, or limits that met at the bar's end, it is kept).
void ScaleSpectrum(Parlune& p)
{
    Step([&] { p.spectrumPlot.setScaleLeft(SpanLeftBins(p.spanLowBar.Value(), p.NFFT, p.SampleRate)); });
    Step([&] {
        const double width = SpanWidthBins(p.spanLowBar.Value(), p.spanHighBar.Value(), p.NFFT, p.SampleRate);
        if (width > 0)
            p.spectrumPlot.setScaleWidth(width);
    });
}

// The upper value first, so a preset whose upper end is at or below the
// current lower limit ends 1000 Hz above that limit.
void ApplyPreset(Parlune& p, int upper, int lower)
{
    Step([&] { p.spanHighBar.setValue(upper); });
    Step([&] { p.spanLowBar.setValue(lower); });
    ShowSpan(p);
    Step([&] { p.FMaxBin = PlanBin(p.spanHighBar.Value(), p.NFFT, p.SampleRate); });
    ScaleSpectrum(p);
}

} // namespace

void Parlune::CF_Change()
{
    // An empty box, or one that is not a number (".", "-", letters), keeps the bin.
    if (centreFrequencyBox.Text().isEmpty())
        return;
    Step([&] { CFBin = CentreBinFromText(Std(centreFrequencyBox.Text()), NFFT, SampleRate); });
}

void Parlune::CFUD_Change() { centreFrequencyBox.setText(QString::number(centreBar.Value())); }

void Parlune::SigBW_Change()
{
    Step([&] { SigBWBins = BandwidthBinsFromText(Std(bandwidthBox.Text()), NFFT, SampleRate); });
    // The box always ends showing the spin; the nested run recomputes the bins from it.
    bandwidthBox.setText(QString::number(bandwidthBar.Value()));
}

void Parlune::SigBWUD_Change() { bandwidthBox.setText(QString::number(bandwidthBar.Value())); }

void Parlune::GB_Change()
{
    GuardFactor = guardBar.Value() / 10.0;
    Step([&] { guardBox.setText(Q(PlainText(LeadingNumber(Std(bandwidthBox.Text())) * GuardFactor))); });
}

void Parlune::FMin_Change()
{
    if (spanLowBar.Value() >= spanHighBar.Value())
        Step([&] { spanLowBar.setValue(LowerLimitBelow(spanHighBar.Value(), spanLowBar.Min())); });
    ShowSpan(*this);
    Step([&] { FMinBin = PlanBin(spanLowBar.Value(), NFFT, SampleRate); });
    ScaleSpectrum(*this);
}

void Parlune::FMax_Change()
{
    if (spanHighBar.Value() <= spanLowBar.Value())
        Step([&] { spanHighBar.setValue(UpperLimitAbove(spanLowBar.Value(), spanHighBar.Max())); });
    ShowSpan(*this);
    Step([&] { FMaxBin = PlanBin(spanHighBar.Value(), NFFT, SampleRate); });
    ScaleSpectrum(*this);
}

void Parlune::Wide_Click() { ApplyPreset(*this, 5000, 20); }
void Parlune::SSB_Click() { ApplyPreset(*this, 3000, 300); }
void Parlune::WideCW_Click() { ApplyPreset(*this, 1200, 800); }
void Parlune::CW800_Click() { ApplyPreset(*this, 950, 650); }

void Parlune::CFToPeak_Click()
{
    CFBin = PeakBin;
    // The centre rule then reads the bin back from the rounded text.
    Step([&] { centreFrequencyBox.setText(Q(CentreText(CFBin, SampleRate, NFFT))); });
}

// The plot's cursor read-out, and a click that puts the centre there.
void Parlune::Spectrum_MouseMove(int, int, double x, double y)
{
    Step([&] {
        const double f = CheckedDiv(x, spectrumPlot.ScaleWidth()) * (spanHighBar.Value() - spanLowBar.Value());
        cursorLabel.setCaption(QString::fromStdString(FormatPattern(f, "#####.#") + "Hz  " +
                                                 FormatPattern(spectrumPlot.ScaleHeight() - y, "##.#dB")));
    });
}

void Parlune::Spectrum_MouseDown(int button, int, double x, double)
{
    if (button != 1)
        return;
    Step([&] { CFBin = RoundToInt32(x); });
    Step([&] { centreFrequencyBox.setText(Q(CentreText(x, SampleRate, NFFT))); });
}
