// Hertz <-> bins for both programs, and the arithmetic and texts of the
// frequency-plan and analysis-option controls: the span and its plot scale,
// the read-out texts.  Each rule keeps its own order of operations, so a
// bin on a rounding edge lands where it always has.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A sample rate the plan can convert with: positive and finite.
bool UsableRate(double rate);

// Hertz to bin as the controls' rules form it, floor(0.5 + nfft x hz / rate).
// Faults (DivisionByZero) when the rate is not usable and (Overflow) when
// the bin does not fit.
std::int32_t PlanBin(double hz, std::int32_t nfft, double rate);

// Hertz to bin as a run start forms it for the span and the bandwidth,
// floor(hz / rate x nfft + 0.5); faults on a zero rate or an overflow.
std::int32_t StartBin(double hz, double rate, std::int32_t nfft);
// The centre at a run start: truncated to its bin, floor(hz / rate x nfft).
std::int32_t StartCentreBin(double hz, double rate, std::int32_t nfft);

// Hertz to bin after a bandwidth reset, floor(hz x nfft / rate + 0.5).
std::int32_t HzToBin(double hz, double nfft, double rate);
// Signal bandwidth after a reset: 100 Hz as bins, 100 x nfft / rate rounded
// half to even.  The window also sets its bandwidth controls to 100.
inline constexpr double kResetBandwidthHz = 100;
std::int32_t ResetSigBWBins(std::int32_t nfft, double sampleRate);

// Bin to hertz and the bins' width, Hz; fault (DivisionByZero) when nfft is 0.
double BinToHz(double bin, double rate, std::int32_t nfft); // bin x rate / nfft
double BinWidthHz(double rate, std::int32_t nfft);          // rate / nfft
// The width of one noise-equivalent bin of a window, Hz: enbw x rate / nfft.
double EnbwHz(double enbw, double rate, std::int32_t nfft);

// A run start's read-outs and plot scale, each in its own order: the
// averaging period nAvg / rate x nfft (s); the plot's left edge and width in
// bins, low / rate x nfft (single precision) and (high - low) / rate x nfft.
// Fault (DivisionByZero) on a zero rate.
double StartPeriodS(std::int32_t nAvg, double rate, std::int32_t nfft);
float StartScaleLeft(double lowHz, double rate, std::int32_t nfft);
float StartScaleWidth(double lowHz, double highHz, double rate, std::int32_t nfft);

// Centre bin for a typed centre text.  Faults (NotANumber) unless the whole
// text is a decimal number, so ".", "-" or letters leave the bin alone.
std::int32_t CentreBinFromText(std::string_view text, std::int32_t nfft, double rate);

// Signal bandwidth in bins from its text, never below 1.
std::int32_t BandwidthBinsFromText(std::string_view text, std::int32_t nfft, double rate);

// Bin to hertz as the centre box shows it ("####.0"; 0.5 Hz -> ".5"), also
// the text tracking writes there.  Faults when nfft is 0.
std::string CentreText(double bin, double rate, std::int32_t nfft);

// Corrected span limits when one end has been moved onto or past the other:
// 1000 Hz below / above the other end, kept inside the bar's range.
int LowerLimitBelow(int fmax, int barMin);
int UpperLimitAbove(int fmin, int barMax);

// The span as FBand shows it: " 20 -  5000".
std::string SpanText(int fmin, int fmax);

// Plot scale in bins for a span: left edge (single precision, unrounded)
// and width.  Both fault when the rate is not usable.
float SpanLeftBins(int fmin, std::int32_t nfft, double rate);
double SpanWidthBins(int fmin, int fmax, std::int32_t nfft, double rate);

// The highest share of the sample rate that the span and the waterfall reach.
inline constexpr double kTopShareOfRate = 0.45;

// Upper span limit a new sample rate asks for: 0.45 x rate (halves to
// even) when 4000 < rate <= 48000, nothing otherwise.
std::optional<int> UpperLimitForRate(double rate);

// Averaging period read-out, "##0.0" seconds; "---" without a usable rate.
std::string PeriodText(std::int32_t nfft, std::int32_t nAvg, double rate);

// Bin-width read-out from the rate box's text: "1.46 Hz bins"; "--- Hz bins"
// when the text is not a number or nfft is 0.
std::string BinWidthText(std::string_view rateText, std::int32_t nfft);

// Signal-bandwidth spin position for a bandwidth in bins: floor(0.5 +
// bins x rate / nfft), faulting when nfft is 0 or it does not fit 16 bits.
std::int16_t BandwidthSpinFor(std::int32_t bins, double rate, std::int32_t nfft);
