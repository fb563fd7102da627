// Change rules of the analysis options: sample rate, FFT size, window type,
// averaging and its period read-out, display threshold, peak reference,
// the statistics switch and the one-way lock.
#include <QString>

#include "display/HistogramWindow.h"
#include "engine/Fault.h"
#include "engine/FrequencyPlan.h"
#include "engine/NumberText.h"
#include "engine/Results.h"
#include "engine/WholeNumber.h"
#include "engine/Windows.h"
#include "ui/Parlune.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

void ShowPeriod(Parlune& p) { p.DetPeriod.setText(Q(PeriodText(NFFT, p.NAvg, p.SampleRate))); }

} // namespace

// Typed text, or text set by the program; a choice from the list runs nothing.
void Parlune::SRate_Change()
{
    Step([&] { SampleRate = LeadingNumber(SRate.Text().toStdString()); });
    Step([&] {
        if (auto fmax = UpperLimitForRate(SampleRate))
            FMax.setValue(*fmax);
    });
    Step([&] { FMin.setValue(20); });
}

// A choice from the list; typing into the box runs nothing.
void Parlune::FFTSize_Click()
{
    FFTSize.setBackColor(RGB(255, 255, 255));
    Step([&] { NFFT = RoundToInt32(LeadingNumber(FFTSize.Text().toStdString())); });
    NAvg = 1; // AvScroll keeps its place until moved or a run starts
    ShowPeriod(*this);
    ShowRes.setCaption(Q(BinWidthText(SRate.Text().toStdString(), NFFT)));
}

void Parlune::WindType_Change()
{
    // The table holds kMaxNFFT points; a larger size never reaches the builders.
    Step([&] {
        CheckedIndex(NFFT, 0, kMaxNFFT);
        SelectWindow(static_cast<std::int16_t>(WindType.ListIndex()), WindENBW);
    });
}

void Parlune::AvScroll_Change()
{
    NAvg = AvScroll.Value();
    ShowPeriod(*this);
}

// A read-out: whatever is written into it is replaced by the period at once.
// The nested run this sets off finds the text already right and stops.
void Parlune::DetPeriod_Change() { ShowPeriod(*this); }

void Parlune::DispThreshold_Change() { DispThresh = static_cast<std::int16_t>(DispThreshold.Value()); }

void Parlune::PeakingRef_Change() { PkRefVal.setCaption(Q(OffsetCaption(PeakingRef.Value(), DispThresh))); }

void Parlune::UseStatNoise_Click()
{
    if (UseStatNoise.Value() == 1)
        monHisto().show();
    else
        monHisto().hide();
}

// One way: the frame and everything in it, this button included, stop
// taking input for the rest of the program's life.
void Parlune::Lock_Click()
{
    Frame1.setCaption(Frame1.Caption() + " LOCKED ");
    Frame1.setBackColor(RGB(255, 200, 150));
    Frame1.setEnabled(false);
}
