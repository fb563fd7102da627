#include "engine/FrequencyPlan.h"

#include <algorithm>
#include <cmath>

#include "engine/Fault.h"
#include "engine/NumberText.h"
#include "engine/WholeNumber.h"

bool UsableRate(double rate) { return std::isfinite(rate) && rate > 0; }

std::int32_t PlanBin(double hz, std::int32_t nfft, double rate)
{
    if (!UsableRate(rate))
        throw Fault(Fault::Kind::DivisionByZero, "no usable sample rate");
    return FloorToInt32(CheckedFinite(0.5 + nfft * CheckedFinite(hz) / rate));
}

std::int32_t StartBin(double hz, double rate, std::int32_t nfft)
{
    return FloorToInt32(CheckedDiv(hz, rate) * nfft + 0.5);
}

std::int32_t StartCentreBin(double hz, double rate, std::int32_t nfft)
{
    return FloorToInt32(CheckedDiv(hz, rate) * nfft);
}

std::int32_t HzToBin(double hz, double nfft, double rate)
{
    return FloorToInt32(CheckedDiv(hz * nfft, rate) + 0.5);
}

std::int32_t ResetSigBWBins(std::int32_t nfft, double sampleRate)
{
    return RoundToInt32(CheckedDiv(kResetBandwidthHz * nfft, sampleRate));
}

std::int32_t CentreBinFromText(std::string_view text, std::int32_t nfft, double rate)
{
    return PlanBin(WholeTextNumber(text), nfft, rate);
}

std::int32_t BandwidthBinsFromText(std::string_view text, std::int32_t nfft, double rate)
{
    return std::max<std::int32_t>(1, PlanBin(LeadingNumber(text), nfft, rate));
}

std::string CentreText(double bin, double rate, std::int32_t nfft)
{
    return FormatPattern(CheckedFinite(CheckedDiv(rate * bin, nfft)), "####.0");
}

int LowerLimitBelow(int fmax, int barMin) { return std::max(barMin, fmax - 1000); }
int UpperLimitAbove(int fmin, int barMax) { return std::min(barMax, fmin + 1000); }

std::string SpanText(int fmin, int fmax) { return SignedText(fmin) + " - " + SignedText(fmax); }

float SpanLeftBins(int fmin, std::int32_t nfft, double rate)
{
    if (!UsableRate(rate))
        throw Fault(Fault::Kind::DivisionByZero, "no usable sample rate");
    return static_cast<float>(CheckedFinite(double(nfft) * fmin / rate));
}

double SpanWidthBins(int fmin, int fmax, std::int32_t nfft, double rate)
{
    if (!UsableRate(rate))
        throw Fault(Fault::Kind::DivisionByZero, "no usable sample rate");
    return CheckedFinite(double(nfft) * (fmax - fmin) / rate);
}

std::optional<int> UpperLimitForRate(double rate)
{
    if (rate > 4000 && rate <= 48000)
        return RoundToInt16(kTopShareOfRate * rate);
    return std::nullopt;
}

std::string PeriodText(std::int32_t nfft, std::int32_t nAvg, double rate)
{
    if (!UsableRate(rate))
        return "---";
    double seconds = double(nfft) * nAvg / rate;
    if (!std::isfinite(seconds))
        return "---";
    return FormatPattern(seconds, "##0.0");
}

std::string BinWidthText(std::string_view rateText, std::int32_t nfft)
{
    try {
        double width = WholeTextNumber(rateText) / nfft;
        if (nfft != 0 && std::isfinite(width))
            return FormatPattern(width, "##0.0# Hz bins");
    } catch (const Fault&) {
    }
    return "--- Hz bins";
}

std::int16_t BandwidthSpinFor(std::int32_t bins, double rate, std::int32_t nfft)
{
    return RoundToInt16(std::floor(0.5 + CheckedDiv(double(bins) * rate, nfft)));
}

double BinToHz(double bin, double rate, std::int32_t nfft) { return CheckedDiv(bin * rate, nfft); }

double BinWidthHz(double rate, std::int32_t nfft) { return CheckedDiv(rate, nfft); }

double EnbwHz(double enbw, double rate, std::int32_t nfft) { return enbw * rate / nfft; }

double StartPeriodS(std::int32_t nAvg, double rate, std::int32_t nfft) { return CheckedDiv(nAvg, rate) * nfft; }

float StartScaleLeft(double lowHz, double rate, std::int32_t nfft)
{
    return static_cast<float>(CheckedDiv(lowHz, rate) * nfft);
}

float StartScaleWidth(double lowHz, double highHz, double rate, std::int32_t nfft)
{
    return static_cast<float>(CheckedDiv(highHz - lowHz, rate) * nfft);
}
