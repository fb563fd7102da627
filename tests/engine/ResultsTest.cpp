// Texts of the results panel and the log line.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/Fault.h"
#include "engine/Results.h"

TEST(ResultTexts, CaptionsWithTheirBlanks)
{
    struct {
        std::string got, want;
    } cases[] = {
        {NoiseCaption(LevelAboveThreshold(std::pow(10.0, 5.5), 40)), "Noise    15.0dB"},
        {NoiseCaption(-5), "Noise    -5.0dB"},
        {PeakCaption(45.26), "Ampl     45.3dB "},
        {OffsetCaption(43, 40), "Offset  3dB"},
        {OffsetCaption(35, 40), "Offset -5dB"},
        {PeakFreqCaption(1000.48828125), "Freq    1000.49Hz"},
        {PeakFreqCaption(1234.5), "Freq    1234.5Hz"},
        {PeakTolCaption(12000, 8192), "\xC2\xB1" "0.73Hz"},
        {SNBinCaption(12.345, 1.5, 12000, 8192), "S/N FFT Bin  12.3dB  (2.2Hz)"},
        {SN1HzCaption(53.98), "    ''     1Hz     54.0dB"},
        {SN2500HzCaption(53.98), "    ''   2500Hz  20.0dB   [JT]"},
        {SN2500HzCaption(30), "    ''   2500Hz  -4.0dB   [JT]"},
        {RangeCaption(300), " 300Hz"},
        {RangeCaption(-40), "-40Hz"},
        {TrackedCFText(683, 12000, 8192), "1000.5"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
    EXPECT_THROW(LevelAboveThreshold(0, 0), Fault);
}

TEST(ResultTexts, LogLine)
{
    EXPECT_EQ(LogLine(ClockText(14 * 3600 + 5 * 60 + 9), 1234.5, 45.26, 12.04, 50.96),
              "14:05:09, 1234.50, 45.3, 12.0, 51.0");
    EXPECT_EQ(ClockText(0), "00:00:00");
    EXPECT_EQ(ClockText(26 * 3600 + 59), "26:00:59");
}
