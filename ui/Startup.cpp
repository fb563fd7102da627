// Start-up: the stored settings into the run parameters and the controls,
// the secondary windows placed, the rest of the initial state.  Every step
// stands on its own: one that faults (a stored value outside a control's
// range, a size or rate that makes a conversion impossible) is skipped, the
// control keeps what it had, and the next step runs.  Setting a control
// runs its change rule, nested.
#include <QString>
#include <cmath>

#include "display/HistogramWindow.h"
#include "display/WaterfallWindow.h"
#include "engine/Fault.h"
#include "engine/FrequencyPlan.h"
#include "engine/NumberText.h"
#include "engine/RunSizes.h"
#include "engine/WholeNumber.h"
#include "ui/OnScreen.h"
#include "ui/Parlune.h"
#include "ui/Settings.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

double StoredNumber(const StoredSettings& store, const char* section, const char* key, const char* defaultText)
{
    return LeadingNumber(store.Read(section, key, defaultText).toStdString());
}

// Window positions the toolkit can place: within about 66000 pixels of the
// desktop's origin.  Whether that is on a screen is decided afterwards.
int WindowPlace(double twips)
{
    return static_cast<int>(CheckedIndex(RoundToInt32(twips), -1'000'000, 1'000'000));
}

// Rates a sound card can plausibly run at, Hz.  A stored rate outside them
// (0, negative, not finite, 1e308, a denormal) or one that does not read as
// a number at all (1e999 overflows) gives way to the default.
constexpr double kDefaultRate = 12000;
constexpr double kMinSoundCardRate = 1000;

double StoredRate(const StoredSettings& store)
{
    double rate = 0;
    Step([&] { rate = StoredNumber(store, "Values", "Samprate", "12000"); });
    return rate >= kMinSoundCardRate && rate <= kMaxRate ? rate : kDefaultRate;
}

// Without a stored centre the signal band sits on the bin nearest 1000 Hz at
// the stored rate and FFT size (996.1 Hz at 12000 Hz and 1024 points).
QString DefaultCentreBin(const StoredSettings& store, double rate)
{
    try {
        const double size = StoredNumber(store, "Values", "FFTSIZE", "1024");
        return Q(PlainText(PlanBin(1000, RoundToInt32(size), rate)));
    } catch (const Fault&) {
        return "0";
    }
}

// A stored FFT size the working arrays cannot take is not shown: the step
// faults and the box keeps what it had.
QString StoredFFTSize(const StoredSettings& store, const char* key, const char* defaultText)
{
    const QString text = store.Read("Values", key, defaultText);
    if (FFTSizeOfText(text.toStdString().c_str()) == 0)
        throw Fault(Fault::Kind::OutOfRange, "stored FFT size not offered");
    return text;
}

} // namespace

void Parlune::Form_Load()
{
    // The store is read once for all the steps.
    const StoredSettings store;
    // 1. Window place; one on no screen gives way to the primary screen.
    Step([&] { setLeft(WindowPlace(StoredNumber(store, "FormPlace", "Left", "100"))); });
    Step([&] { setTop(WindowPlace(StoredNumber(store, "FormPlace", "Top", "100"))); });
    move(PlaceOnScreen(frameGeometry()));
    // 2-5. Rate, first size text, centre and bandwidth bins.
    Step([&] { SampleRate = StoredRate(store); });
    Step([&] { fftSizeBox.setText(StoredFFTSize(store, "NSamp", "8192")); });
    Step([&] {
        const QString stored = store.Read("Values", "CFB", DefaultCentreBin(store, SampleRate));
        CFBin = RoundToInt32(LeadingNumber(stored.toStdString()));
    });
    Step([&] { SigBWBins = RoundToInt32(StoredNumber(store, "Values", "NBINS", "500")); });
    // 6-7. Span, averaging and threshold (their rules run, NFFT still 0).
    Step([&] { spanLowBar.setValue(RoundToInt16(StoredNumber(store, "Values", "FMIN", "100"))); });
    Step([&] { spanHighBar.setValue(RoundToInt16(StoredNumber(store, "Values", "FMAX", "2000"))); });
    Step([&] { averagingBar.setValue(RoundToInt16(StoredNumber(store, "Values", "AVSCR", "1"))); });
    Step([&] { thresholdBar.setValue(RoundToInt16(StoredNumber(store, "Values", "THRESH", "0"))); });
    // 8-9. Log file name; the FFT size text that counts.
    Step([&] { logFileBox.setText(store.Read("Values", "FILENAME", "Parlune.txt")); });
    Step([&] { fftSizeBox.setText(StoredFFTSize(store, "FFTSIZE", "1024")); });
    // 10. Waterfall to the right of this window, tops aligned; histogram under it.
    Step([&] {
        monWF().setLeft(Left() + Width());
        monWF().setTop(Top());
    });
    Step([&] {
        monHisto().setLeft(monWF().Left());
        monHisto().setTop(monWF().Top() + monWF().Height());
    });
    // 11. FFT size; one beyond the working arrays is not taken.
    Step([&] {
        const std::int32_t size = RoundToInt32(LeadingNumber(fftSizeBox.Text().toStdString()));
        NFFT = static_cast<std::int32_t>(CheckedIndex(size, 0, kMaxNFFT));
    });
    // 12. Rate text: its rule reads the rate back and sets the span.
    Step([&] { sampleRateBox.setText(Q(SignedText(SampleRate))); });
    // 13-14.
    WindENBW = 2;
    Step([&] {
        const std::int32_t lo = PlanBin(spanLowBar.Value(), NFFT, SampleRate);
        const std::int32_t hi = PlanBin(spanHighBar.Value(), NFFT, SampleRate);
        spanBox.setText(Q(SpanText(spanLowBar.Value(), spanHighBar.Value())));
        FMinBin = lo;
        FMaxBin = hi;
    });
    // 15-17. Bandwidth spin and box, centre box; each rule recomputes its bins.
    Step([&] { bandwidthBar.setValue(BandwidthSpinFor(SigBWBins, SampleRate, NFFT)); });
    Step([&] { bandwidthBox.setText(Q(SignedText(bandwidthBar.Value()))); });
    Step([&] { centreFrequencyBox.setText(Q(CentreText(CFBin, SampleRate, NFFT))); });
    // 18. Period text; the box's rule replaces it with the period from NAvg.
    Step([&] {
        const std::int32_t points = RoundToInt32(double(averagingBar.Value()) * NFFT);
        periodBox.setText(Q(PlainText(CheckedFinite(CheckedDiv(points, SampleRate)))));
    });
    // 19-22.
    Step([&] { inputLevelMeter.setScaleHeight(85); });
    clockTimer.setInterval(1000);
    cursorLabel.setVisible(false);
    GuardFactor = 0.5;
    Step([&] { guardBox.setText(Q(PlainText(LeadingNumber(bandwidthBox.Text().toStdString()) * 0.5))); });
    // 23-26.
    Step([&] { windowTypeBox.setListIndex(1); });
    Step([&] { InitDevices(); });
    Step([&] {
        spectrumPlot.setMousePointerCross(true);
        spectrumPlot.setBackColor(RGB(180, 180, 180));
    });
    Step([&] { preset5kHzOption.setValue(true); });
}
