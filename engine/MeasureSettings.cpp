#include "engine/MeasureSettings.h"

#include <algorithm>
#include <cmath>

#include "engine/Fault.h"
#include "engine/FrequencyPlan.h"
#include "engine/NumberText.h"
#include "engine/Windows.h"

namespace {

std::string Whole(double x) { return PlainText(x); }

SettingsError Bad(const char* field, const std::string& why) { return {field, std::string("--") + field + why}; }

} // namespace

std::optional<SettingsError> CheckSettings(const MeasureSettings& s)
{
    const auto range = [](double lo, double hi) { return Whole(lo) + " .. " + Whole(hi); };
    if (!IsFFTSize(s.FftSize))
        return Bad("fft-size", ": must be a power of two " + range(kMinNFFT, kMaxNFFT) + ", not " + Whole(s.FftSize));
    if (!WindowEnbw(s.Window))
        return Bad("window", ": must be a list position 0 .. 4, not " + Whole(s.Window));
    if (s.Average < 1 || s.Average > kMaxAvg)
        return Bad("average", ": must be a whole number " + range(1, kMaxAvg) + ", not " + Whole(s.Average));
    if (!(s.BandwidthHz > 0))
        return Bad("bandwidth", ": must be above 0 Hz, not " + Whole(s.BandwidthHz));
    if (!(s.Guard >= 0 && s.Guard <= kMaxGuard))
        return Bad("guard", ": must lie in " + range(0, kMaxGuard) + ", not " + Whole(s.Guard));
    if (!(s.SpanLowHz >= 0))
        return Bad("span-low", ": must be 0 Hz or more");
    if (!(s.SpanLowHz < s.SpanHighHz))
        return SettingsError{"span-low", "span: --span-low must lie below --span-high"};
    if (s.Threshold < 0 || s.Threshold > kMaxThreshold)
        return Bad("threshold", ": must be a whole number " + range(0, kMaxThreshold) + ", not " + Whole(s.Threshold));
    if (!(s.IntervalS >= 0))
        return Bad("interval", ": must be 0 or more seconds, not " + Whole(s.IntervalS));
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
