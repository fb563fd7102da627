// Arithmetic and texts of the frequency-plan and analysis-option controls:
// hertz <-> bins, the span and its plot scale, the read-out texts.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A sample rate the plan can convert with: positive and finite.
bool UsableRate(double rate);

// Hertz to bin, floor(0.5 + nfft x hz / rate).  Faults (DivisionByZero)
// when the rate is not usable and (Overflow) when the bin does not fit.
std::int32_t PlanBin(double hz, std::int32_t nfft, double rate);

// Centre bin for a typed centre text.  Faults (NotANumber) unless the whole
// text is a decimal number, so ".", "-" or letters leave the bin alone.
std::int32_t CentreBinFromText(std::string_view text, std::int32_t nfft, double rate);

// Signal bandwidth in bins from its text, never below 1.
std::int32_t BandwidthBinsFromText(std::string_view text, std::int32_t nfft, double rate);

// Bin to hertz as the centre box shows it ("####.0"; 0.5 Hz -> ".5").
// Faults when nfft is 0.
std::string CentreText(std::int32_t bin, double rate, std::int32_t nfft);

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
