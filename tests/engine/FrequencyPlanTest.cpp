// Hertz in, bins and read-outs out: the measurement settings' ranges, a run's block parameters at a rate, and the
// frequency plan's conversions.
#include <cmath>
#include <optional>

#include <gtest/gtest.h>

#include "engine/Fault.h"
#include "engine/FrequencyPlan.h"
#include "engine/MeasureSettings.h"
#include "engine/NumberText.h"

namespace {

// The field a SettingsError from f names; "" when f runs through.
template <class F> std::string Refused(F f)
{
    try { f(); } catch (const SettingsError& e) { return e.Field; }
    return "";
}

// Each range at its edges: the first value outside is refused by its field, in the words every front-end shows (""
// for accepted).
TEST(MeasureSettingsTest, RangesAtTheirEdges)
{
    const struct { const char* field; MeasureSettings s; std::string why; } rows[] = {
        {"fft-size", {.FftSize = 1024}, ""}, {"fft-size", {.FftSize = 262144}, ""}, {"fft-size", {.FftSize = 3000}, "must be a power of two"},
        {"fft-size", {.FftSize = 524288}, "must be a whole number 1024 .. 262144"},
        {"window", {.Window = 4}, ""}, {"window", {.Window = 5}, "must be a list position 0 .. 4"},
        {"average", {.Average = 63}, ""}, {"average", {.Average = 64}, "must be a whole number 1 .. 63"},
        {"average", {.Average = 0}, "must be a whole number 1 .. 63"},
        {"bandwidth", {.BandwidthHz = 0}, "must be above 0 Hz"}, {"bandwidth", {.BandwidthHz = 0.5}, ""},
        {"guard", {.Guard = 2}, ""}, {"guard", {.Guard = 2.01}, "must lie in 0 .. 2"},
        {"guard", {.Guard = 0}, ""}, {"guard", {.Guard = -0.01}, "must lie in 0 .. 2"},
        {"span-low", {.SpanLowHz = 0}, ""}, {"span-low", {.SpanLowHz = -1}, "must be 0 Hz or more"},
        {"span-low", {.SpanLowHz = 5000}, "span: --span-low must lie below --span-high"},
        {"threshold", {.Threshold = 100}, ""}, {"threshold", {.Threshold = 101}, "must be a whole number 0 .. 100"},
        {"threshold", {.Threshold = -1}, "must be a whole number 0 .. 100"},
        {"interval", {.IntervalS = 0}, ""}, {"interval", {.IntervalS = -0.5}, "must be 0 or more seconds"},
    };
    for (const auto& r : rows) {
        const std::optional<SettingsError> e = CheckSettings(r.s);
        const std::string message = e ? e->Message : "", prefixed = "--" + std::string(r.field) + ": " + r.why;
        EXPECT_EQ(e ? e->Field : r.field, r.field) << message;
        EXPECT_TRUE(message == (r.why.empty() ? "" : prefixed) || message == r.why) << r.field << ": " << message;
    }
}

// The span's default top comes down to the top bin only where the rate is too slow for it; a typed top never moves.
TEST(MeasureSettingsTest, DefaultSpanTopAndBlockParamsAtARate)
{
    const struct { double rate, low; bool typed; std::optional<double> lowered; const char* refused; } spans[] = {
        {10002, 20, false, std::nullopt, ""}, {10000, 20, false, TopSpanHz(10000, 8192), ""},
        {2500, 20, false, TopSpanHz(2500, 8192), ""}, {2500, 20, true, std::nullopt, "span-high"},
        {2048, TopSpanHz(2048, 8192), false, std::nullopt, "span-low"},
    };
    for (const auto& r : spans) {
        std::optional<double> lowered;
        EXPECT_EQ(Refused([&] { lowered = PlanRun({.SpanLowHz = r.low}, r.rate, r.typed).SpanHighLoweredHz; }), r.refused) << r.rate;
        EXPECT_EQ(lowered, r.lowered) << r.rate;
    }

    // A run's bins: span and bandwidth rounded, the centre truncated, the span's top kept on the ring's highest bin;
    // frequencies that do not suit the rate are refused by their field.
    const struct { std::int32_t fft; double centre, bw, low, high, rate; int fmin, fmax, cf, sigbw; const char* refused; } rows[] = {
        {8192, 1000, 100, 20, 5000, 12000, 14, 3413, 682, 68, ""},
        {1024, 1000, 100, 20, 5000, 48000, 0, 107, 21, 2, ""},
        {1024, 6000, 6, 20, 5999, 12000, 2, 511, 512, 1, ""}, // centre at half the rate; top clamped
        {262144, 0, 5, 0, 100, 384000, 0, 68, 0, 3, ""},
        {1024, 7000, 100, 20, 5000, 12000, 0, 0, 0, 0, "centre"},
        {1024, -1, 100, 20, 5000, 12000, 0, 0, 0, 0, "centre"},
        {1024, 1000, 100, 20, 6000, 12000, 0, 0, 0, 0, "span-high"},
        {1024, 1000, 5, 20, 5000, 12000, 0, 0, 0, 0, "bandwidth"}, // under half a bin (11.7 Hz)
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::to_string(r.fft) + " points at " + std::to_string(r.rate) + " Hz");
        ChainParams p; // the bins stay 0 when refused
        EXPECT_EQ(Refused([&] {
            p = BlockParamsFor({.FftSize = r.fft, .CentreHz = r.centre, .BandwidthHz = r.bw, .SpanLowHz = r.low, .SpanHighHz = r.high}, r.rate);
        }), r.refused);
        EXPECT_EQ(std::tuple(p.FMinBin, p.FMaxBin, p.CFBin, p.SigBWBins), std::tuple(r.fmin, r.fmax, r.cf, r.sigbw));
    }
    // The rest of the settings pass through to the run as they are.
    const ChainParams p = BlockParamsFor({.Window = 0, .Average = 4, .Guard = 1, .Threshold = 20, .Track = true, .Square = true}, 12000);
    EXPECT_EQ(std::tuple(p.NAvg, p.GuardFactor, p.DispThresh, p.WindENBW, p.TrackSig, p.Squared, p.Swapped, p.SigBWHz),
              std::tuple(4, 1.0, 20, 1.37, true, true, false, 100.0));
    EXPECT_NEAR(TopSpanHz(12000, 1024), 5988.28, 0.01);
}

// The controls' conversions and read-outs.
TEST(FrequencyPlanTest, ConversionsAndReadOuts)
{
    EXPECT_EQ(std::tuple(PlanBin(1000, 8192, 12000), StartBin(1000, 12000, 8192), StartCentreBin(1000, 12000, 8192)),
              std::tuple(683, 683, 682));
    EXPECT_EQ(std::tuple(HzToBin(100, 8192, 12000), ResetSigBWBins(8192, 12000), ResetSigBWBins(1024, 40960)),
              std::tuple(68, 68, 2)); // 2.5 rounds to even
    EXPECT_EQ(std::tuple(CentreBinFromText("1000", 8192, 12000), BandwidthBinsFromText("0", 1024, 12000),
                         BandwidthBinsFromText("100 Hz", 8192, 12000), BandwidthSpinFor(68, 12000, 8192)),
              std::tuple(683, 1, 68, 100));
    EXPECT_THROW(CentreBinFromText(".", 8192, 12000), Fault);
    for (double rate : {0.0, -12000.0, HUGE_VAL}) EXPECT_THROW(PlanBin(1000, 8192, rate), Fault) << rate;
    EXPECT_EQ(std::tuple(CentreText(682, 12000, 8192), CentreText(1, 48000, 1024), CentreText(1, 1, 2)),
              std::tuple("999.0", "46.9", ".5"));
    EXPECT_EQ(std::tuple(LowerLimitBelow(5000, 20), LowerLimitBelow(800, 20), UpperLimitAbove(20, 32700),
                         UpperLimitAbove(32000, 32700)),
              std::tuple(4000, 20, 1020, 32700));
    EXPECT_EQ(std::tuple(UpperLimitForRate(4000), UpperLimitForRate(4001), UpperLimitForRate(12000),
                         UpperLimitForRate(48000), UpperLimitForRate(48001)),
              std::tuple(std::nullopt, 1800, 5400, 21600, std::nullopt));
    EXPECT_NEAR(SpanLeftBins(20, 8192, 12000), 13.6533, 1e-4);
    EXPECT_NEAR(SpanWidthBins(20, 5000, 8192, 12000), 3399.68, 1e-2);
    EXPECT_THROW(SpanWidthBins(20, 5000, 8192, 0), Fault);

    const struct { const char* rate; std::int32_t nfft, avg; const char *width, *period; } readOuts[] = {
        {"12000", 8192, 4, "1.46 Hz bins", "2.7"}, {"12000", 1024, 1, "11.72 Hz bins", "0.1"},
        {"6000", 262144, 1, "0.02 Hz bins", "43.7"}, {"12k", 1024, 1, "--- Hz bins", "85.3"},
        {"12000", 0, 1, "--- Hz bins", "0.0"},
    };
    for (const auto& r : readOuts) {
        SCOPED_TRACE(r.rate);
        EXPECT_EQ(BinWidthText(r.rate, r.nfft), r.width);
        EXPECT_EQ(PeriodText(r.nfft, r.avg, LeadingNumber(r.rate)), r.period);
    }
    EXPECT_EQ(PeriodText(1024, 1, 0), "---");
}

} // namespace
