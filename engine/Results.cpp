#include "engine/Results.h"

#include <cstdio>

#include "engine/Fault.h"
#include "engine/FrequencyPlan.h"
#include "engine/Measurement.h"
#include "engine/NumberText.h"

double LevelAboveThreshold(double power, std::int32_t dispThresh) { return CheckedDb(power) - dispThresh; }

std::string NoiseCaption(double noiseLevel) { return "Noise    " + FormatPattern(noiseLevel, "#0.0dB"); }

std::string PeakCaption(double peakLevel) { return "Ampl     " + FormatPattern(peakLevel, "#0.0dB "); }

std::string OffsetCaption(double peakingRef, std::int32_t dispThresh)
{
    return "Offset " + SignedText(peakingRef - dispThresh) + "dB";
}

std::string PeakFreqCaption(double peakHz) { return "Freq    " + FormatPattern(peakHz, "####0.0#Hz"); }

std::string PeakTolCaption(double sampleRate, std::int32_t nfft)
{
    return "\xC2\xB1" + FormatPattern(BinWidthHz(sampleRate, nfft) / 2, "0.0#Hz");
}

std::string SNBinCaption(double snBinDb, double windENBW, double sampleRate, std::int32_t nfft)
{
    return "S/N FFT Bin  " + FormatPattern(snBinDb, "#0.0dB") + "  (" +
           FormatPattern(EnbwHz(windENBW, sampleRate, nfft), "#0.0Hz") + ")";
}

std::string SN1HzCaption(double sn1HzDb) { return "    ''     1Hz    " + FormatPattern(sn1HzDb, " #0.0dB"); }

std::string SN2500HzCaption(double sn1HzDb)
{
    return "    ''   2500Hz  " + FormatPattern(sn1HzDb - kDb1HzTo2500Hz, "#0.0dB") + "   [JT]";
}

std::string RangeCaption(double hz) { return SignedText(hz) + "Hz"; }


std::string ClockText(std::int64_t seconds)
{
    if (seconds < 0) seconds = 0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return buf;
}

std::string LogLine(const std::string& clock, double peakHz, double peakLevel, double noiseLevel, double sn1HzDb)
{
    return clock + ", " + FormatPattern(peakHz, "####0.00") + ", " + FormatPattern(peakLevel, "#0.0") + ", " +
           FormatPattern(noiseLevel, "#0.0") + ", " + FormatPattern(sn1HzDb, "#0.0");
}
