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

void ShowPeriod(Parlune& p) { p.periodBox.setText(Q(PeriodText(p.NFFT, p.NAvg, p.SampleRate))); }

} // namespace

// Typed text, or text set by the program; a choice from the list runs nothing.
void Parlune::SRate_Change()
{
    Step([&] { SampleRate = LeadingNumber(sampleRateBox.Text().toStdString()); });
    Step([&] {
        if (auto fmax = UpperLimitForRate(SampleRate))
            spanHighBar.setValue(*fmax);
    });
    Step([&] { spanLowBar.setValue(20); });
}

// A choice from the list; typing into the box runs nothing.
void Parlune::FFTSize_Click()
{
    fftSizeBox.setBackColor(RGB(255, 255, 255));
    Step([&] { NFFT = RoundToInt32(LeadingNumber(fftSizeBox.Text().toStdString())); });
    NAvg = 1; // AvScroll keeps its place until moved or a run starts
    ShowPeriod(*this);
    binWidthLabel.setCaption(Q(BinWidthText(sampleRateBox.Text().toStdString(), NFFT)));
}

void Parlune::WindType_Change()
{
    // The run builds the table; the noise bandwidth shows at once.  No list
    // entry chosen keeps the last one's.
    Step([&] {
        CheckedIndex(NFFT, 0, kMaxNFFT);
        if (const std::optional<double> enbw = WindowEnbw(static_cast<std::int16_t>(windowTypeBox.ListIndex())))
            WindENBW = *enbw;
    });
}

void Parlune::AvScroll_Change()
{
    NAvg = averagingBar.Value();
    ShowPeriod(*this);
}

// A read-out: whatever is written into it is replaced by the period at once.
// The nested run this sets off finds the text already right and stops.
void Parlune::DetPeriod_Change() { ShowPeriod(*this); }

void Parlune::DispThreshold_Change() { DispThresh = static_cast<std::int16_t>(thresholdBar.Value()); }

void Parlune::PeakingRef_Change() { peakingOffsetLabel.setCaption(Q(OffsetCaption(peakingRefBar.Value(), DispThresh))); }

void Parlune::UseStatNoise_Click()
{
    if (statNoiseCheck.Value() == 1)
        monHisto().show();
    else
        monHisto().hide();
}

// One way: the frame and everything in it, this button included, stop
// taking input for the rest of the program's life.
void Parlune::Lock_Click()
{
    signalFrame.setCaption(signalFrame.Caption() + " LOCKED ");
    signalFrame.setBackColor(RGB(255, 200, 150));
    signalFrame.setEnabled(false);
}
