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

void ShowSpan(Parlune& p) { p.FBand.setText(Q(SpanText(p.FMin.Value(), p.FMax.Value()))); }

// Plot scale for the current span; the width only when it is a real span
// (with no FFT size yet, or limits that met at the bar's end, it is kept).
void ScaleSpectrum(Parlune& p)
{
    Step([&] { p.Spectrum.setScaleLeft(SpanLeftBins(p.FMin.Value(), NFFT, p.SampleRate)); });
    Step([&] {
        const double width = SpanWidthBins(p.FMin.Value(), p.FMax.Value(), NFFT, p.SampleRate);
        if (width > 0)
            p.Spectrum.setScaleWidth(width);
    });
}

// The upper value first, so a preset whose upper end is at or below the
// current lower limit ends 1000 Hz above that limit.
void ApplyPreset(Parlune& p, int upper, int lower)
{
    Step([&] { p.FMax.setValue(upper); });
    Step([&] { p.FMin.setValue(lower); });
    ShowSpan(p);
    Step([&] { p.FMaxBin = PlanBin(p.FMax.Value(), NFFT, p.SampleRate); });
    ScaleSpectrum(p);
}

} // namespace

void Parlune::CF_Change()
{
    // An empty box, or one that is not a number (".", "-", letters), keeps the bin.
    if (CF.Text().isEmpty())
        return;
    Step([&] { CFBin = CentreBinFromText(Std(CF.Text()), NFFT, SampleRate); });
}

void Parlune::CFUD_Change() { CF.setText(QString::number(CFUD.Value())); }

void Parlune::SigBW_Change()
{
    Step([&] { SigBWBins = BandwidthBinsFromText(Std(SigBW.Text()), NFFT, SampleRate); });
    // The box always ends showing the spin; the nested run recomputes the bins from it.
    SigBW.setText(QString::number(SigBWUD.Value()));
}

void Parlune::SigBWUD_Change() { SigBW.setText(QString::number(SigBWUD.Value())); }

void Parlune::GB_Change()
{
    GuardFactor = GB.Value() / 10.0;
    Step([&] { ShowGB.setText(Q(PlainText(LeadingNumber(Std(SigBW.Text())) * GuardFactor))); });
}

void Parlune::FMin_Change()
{
    if (FMin.Value() >= FMax.Value())
        Step([&] { FMin.setValue(LowerLimitBelow(FMax.Value(), FMin.Min())); });
    ShowSpan(*this);
    Step([&] { FMinBin = PlanBin(FMin.Value(), NFFT, SampleRate); });
    ScaleSpectrum(*this);
}

void Parlune::FMax_Change()
{
    if (FMax.Value() <= FMin.Value())
        Step([&] { FMax.setValue(UpperLimitAbove(FMin.Value(), FMax.Max())); });
    ShowSpan(*this);
    Step([&] { FMaxBin = PlanBin(FMax.Value(), NFFT, SampleRate); });
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
    Step([&] { CF.setText(Q(CentreText(CFBin, SampleRate, NFFT))); });
}

// The run loop reads the box itself.
void Parlune::TrackSig_Click() {}

// The plot's cursor read-out, and a click that puts the centre there.
void Parlune::Spectrum_MouseMove(int, int, double x, double y)
{
    Step([&] {
        const double f = CheckedDiv(x, Spectrum.ScaleWidth()) * (FMax.Value() - FMin.Value());
        CsrLoc.setCaption(QString::fromStdString(FormatPattern(f, "#####.#") + "Hz  " +
                                                 FormatPattern(Spectrum.ScaleHeight() - y, "##.#dB")));
    });
}

void Parlune::Spectrum_MouseDown(int button, int, double x, double)
{
    if (button != 1)
        return;
    Step([&] { CFBin = RoundToInt32(x); });
    Step([&] { CF.setText(QString::fromStdString(FormatPattern(CheckedDiv(x * SampleRate, NFFT), "####.0"))); });
}
