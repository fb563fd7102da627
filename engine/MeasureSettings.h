// The measurement settings in physical units, with their defaults and
// ranges: what the window's controls and parlune-measure's options (or a
// config section) fill, and the one conversion to a run's block parameters.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/BlockChain.h"
#include "engine/RunSizes.h"

inline constexpr double kMaxGuard = 2;          // guard band per side, multiples of the bandwidth
inline constexpr std::int32_t kMaxThreshold = 100; // display threshold, dB

struct MeasureSettings {
    std::int32_t FftSize = 8192; // points, a power of two kMinNFFT .. kMaxNFFT
    std::int16_t Window = 1;     // WindType list position 0 .. 4 (Blackman Harris)
    std::int32_t Average = 1;    // blocks in the running mean, 1 .. kMaxAvg
    double CentreHz = 1000;      // centre of the signal band, 0 .. half the rate
    double BandwidthHz = 100;    // signal bandwidth, > 0 and at least half a bin
    double Guard = 0.5;          // guard band per side, 0 .. kMaxGuard bandwidths
    double SpanLowHz = 20;       // analysed span, 0 <= low < high < half the rate
    double SpanHighHz = 5000;
    std::int32_t Threshold = 0;  // display threshold, dB, 0 .. kMaxThreshold
    bool StatNoise = false;      // noise from the bin-level histogram
    bool Track = false;          // follow the peak while it is in the band
    bool PeakInBand = false;     // search the peak only in the signal band
    bool Square = false;         // square each channel before the transform
    bool Swap = false;           // swap sideband (I/Q)
    double IntervalS = 5;        // log interval, >= 0 s
};

// A setting that cannot be used: the field's option name and why.
struct SettingsError {
    std::string Field;   // "fft-size", "centre", ...
    std::string Message; // "must be a power of two 1024 .. 262144, not 3000"
};

// Why one field's value is out of its range ("must lie in 0 .. 2"), or ""
// when it is fine; field is the option's name ("guard").  Only the ranges
// that hold at any sample rate.
std::string FieldProblem(const MeasureSettings& s, std::string_view field);

// The rate-independent ranges and the span's order; the first bad field, or
// nothing.
std::optional<SettingsError> CheckSettings(const MeasureSettings& s);

// The block parameters of a run at this sample rate: bins from hertz as a
// run start forms them (span and bandwidth rounded, the centre truncated).
// Throws SettingsError when a frequency does not suit the rate; the span's
// top must lie below half the rate and is kept on the highest ring bin.
ChainParams BlockParamsFor(const MeasureSettings& s, double rate);

// A run's block parameters as BlockParamsFor gives them, but with the
// span's default top (spanHighTyped false) brought down to the highest bin
// below half the rate where the rate is too low for it; the top used then
// is in SpanHighLoweredHz.
struct RunPlan {
    ChainParams Params;
    std::optional<double> SpanHighLoweredHz;
};
RunPlan PlanRun(const MeasureSettings& s, double rate, bool spanHighTyped);

// A fresh run's state from its plan: the sizes checked (Fault, OutOfRange,
// for sizes the arrays cannot take), the arrays made and cleared, and the
// window table of list position `window` for p.NFFT points.
void StartRun(ChainState& state, const ChainParams& p, std::int16_t window);

// The highest frequency the span may reach at this rate and size: the
// last bin below half the rate, in hertz.
double TopSpanHz(double rate, std::int32_t fftSize);
