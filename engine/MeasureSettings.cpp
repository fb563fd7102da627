#include "engine/MeasureSettings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/Fault.h"
#include "engine/FrequencyPlan.h"
#include "engine/NumberText.h"
#include "engine/Windows.h"

namespace {

std::string Range(double lo, double hi) { return PlainText(lo) + " .. " + PlainText(hi); }

// Each field's range check, in the order a run checks them.
const char* const kFields[] = {"fft-size", "window", "average", "bandwidth", "guard", "span-low", "threshold", "interval"};

} // namespace

std::string FieldProblem(const MeasureSettings& s, std::string_view field)
{
    if (field == "fft-size") {
        if (s.FftSize < kMinNFFT || s.FftSize > kMaxNFFT) return "must be a whole number " + Range(kMinNFFT, kMaxNFFT);
        if (!IsFFTSize(s.FftSize)) return "must be a power of two";
    }
    if (field == "window" && !WindowEnbw(s.Window)) return "must be a list position 0 .. 4";
    if (field == "average" && (s.Average < 1 || s.Average > kMaxAvg)) return "must be a whole number " + Range(1, kMaxAvg);
    if (field == "bandwidth" && !(s.BandwidthHz > 0)) return "must be above 0 Hz";
    if (field == "guard" && !(s.Guard >= 0 && s.Guard <= kMaxGuard)) return "must lie in " + Range(0, kMaxGuard);
    if (field == "span-low" && !(s.SpanLowHz >= 0)) return "must be 0 Hz or more";
    if (field == "threshold" && (s.Threshold < 0 || s.Threshold > kMaxThreshold))
        return "must be a whole number " + Range(0, kMaxThreshold);
    if (field == "interval" && !(s.IntervalS >= 0)) return "must be 0 or more seconds";
    return "";
}

std::optional<SettingsError> CheckSettings(const MeasureSettings& s)
{
    for (const char* field : kFields)
        if (const std::string why = FieldProblem(s, field); !why.empty())
            return SettingsError{field, std::string("--") + field + ": " + why};
    if (!(s.SpanLowHz < s.SpanHighHz)) return SettingsError{"span-low", "span: --span-low must lie below --span-high"};
    return std::nullopt;
}

double TopSpanHz(double rate, std::int32_t fftSize) { return (fftSize / 2 - 1) * rate / fftSize; }

ChainParams BlockParamsFor(const MeasureSettings& s, double rate)
{
    ChainParams p;
    const double nyquist = rate / 2;
    const std::int32_t topBin = s.FftSize / 2 - 1; // the highest bin the ring holds
    p.SampleRate = rate;
    p.NFFT = s.FftSize;
    if (!(s.CentreHz >= 0 && s.CentreHz <= nyquist))
        throw SettingsError{"centre", "--centre must lie in 0 .. " + PlainText(nyquist) +
                                          " Hz (half the sample rate), not " + PlainText(s.CentreHz)};
    if (!(s.SpanHighHz < nyquist))
        throw SettingsError{"span-high", "--span-high must lie below half the sample rate (" + PlainText(nyquist) + " Hz)"};
    try {
        p.FMinBin = StartBin(s.SpanLowHz, rate, s.FftSize);
        // Just below half the rate rounds onto the half-rate bin: keep the top one.
        p.FMaxBin = std::min(StartBin(s.SpanHighHz, rate, s.FftSize), topBin);
        p.SigBWBins = StartBin(s.BandwidthHz, rate, s.FftSize);
        p.CFBin = StartCentreBin(s.CentreHz, rate, s.FftSize);
    } catch (const Fault&) {
        throw SettingsError{"span-low", "a frequency is out of range for this sample rate"};
    }
    if (p.SigBWBins < 1)
        throw SettingsError{"bandwidth", "--bandwidth is narrower than half an FFT bin (" + PlainText(rate / s.FftSize) + " Hz)"};
    p.SigBWHz = s.BandwidthHz;
    p.CFText = PlainText(s.CentreHz); // as the centre box would read it
    p.GuardFactor = s.Guard;
    p.NAvg = s.Average;
    p.WindENBW = *WindowEnbw(s.Window);
    p.DispThresh = s.Threshold;
    p.Squared = s.Square;
    p.Swapped = s.Swap;
    p.UseStatNoise = s.StatNoise;
    p.PeakInSigBand = s.PeakInBand;
    p.TrackSig = s.Track;
    return p;
}

RunPlan PlanRun(const MeasureSettings& s, double rate, bool spanHighTyped)
{
    MeasureSettings used = s;
    RunPlan plan;
    if (!spanHighTyped && !(s.SpanHighHz < rate / 2) && s.CentreHz >= 0 && s.CentreHz <= rate / 2) {
        // The default suits 12000 Hz and above; a slower rate gets its top bin.
        used.SpanHighHz = TopSpanHz(rate, s.FftSize);
        plan.SpanHighLoweredHz = used.SpanHighHz;
        if (!(used.SpanLowHz < used.SpanHighHz)) {
            char top[32];
            std::snprintf(top, sizeof top, "%.2f", used.SpanHighHz);
            throw SettingsError{"span-low", std::string("--span-low must lie below ") + top + " Hz for this sample rate"};
        }
    }
    plan.Params = BlockParamsFor(used, rate);
    return plan;
}

void StartRun(ChainState& state, const ChainParams& p, std::int16_t window)
{
    CheckRunSizes(p.NFFT, p.FMinBin, p.FMaxBin, p.NAvg);
    const std::optional<WindowTable> table = MakeWindow(window, p.NFFT);
    if (!table) throw Fault(Fault::Kind::OutOfRange, "no window at list position " + PlainText(window));
    StartChain(state, p.NFFT);
    state.Window = table->Coef;
}
