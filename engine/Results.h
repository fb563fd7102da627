// Texts of the results panel and of a log line, as pure functions.  Levels
// are dB above the display threshold unless said otherwise.
#pragma once
#include <cstdint>
#include <string>

// 10 log10(power) - dispThresh; faults when the power is 0.
double LevelAboveThreshold(double power, std::int32_t dispThresh);

std::string NoiseCaption(double noiseLevel);          // "Noise    15.0dB"
std::string PeakCaption(double peakLevel);            // "Ampl     45.3dB " (trailing blank)
std::string OffsetCaption(double peakingRef, std::int32_t dispThresh); // "Offset  3dB"
std::string PeakFreqCaption(double peakHz);           // "Freq    1000.49Hz"
std::string PeakTolCaption(double sampleRate, std::int32_t nfft); // "±0.73Hz" (UTF-8)
std::string SNBinCaption(double snBinDb, double windENBW, double sampleRate, std::int32_t nfft);
std::string SN1HzCaption(double sn1HzDb);
std::string SN2500HzCaption(double sn1HzDb);          // S/N 1 Hz - 33.98, marked "[JT]"
std::string RangeCaption(double hz);                  // " 300Hz"

// Clock text hh:mm:ss of a whole number of seconds (hours keep counting past 23).
std::string ClockText(std::int64_t seconds);
// One log line without its line ending: clock, peak Hz, peak level, noise
// level and S/N in 1 Hz, joined by ", ".
std::string LogLine(const std::string& clock, double peakHz, double peakLevel, double noiseLevel, double sn1HzDb);
