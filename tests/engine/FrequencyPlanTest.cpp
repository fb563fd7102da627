// Hertz in, bins and read-outs out: the measurement settings' ranges, a
// run's block parameters at a rate, and the frequency plan's conversions.
#include <functional>
#include <optional>

#include <gtest/gtest.h>

#include "engine/Fault.h"
#include "engine/FrequencyPlan.h"
#include "engine/MeasureSettings.h"
#include "engine/NumberText.h"

namespace {

MeasureSettings With(const std::function<void(MeasureSettings&)>& change)
{
    MeasureSettings s;
    change(s);
    return s;
}

// Each range at its edges: the first value outside is refused by its
// field, in the words every front-end shows ("" for accepted).
TEST(MeasureSettingsTest, RangesAtTheirEdges)
{
    const char* const whole = "must be a whole number ";
    const struct { const char* field; std::function<void(MeasureSettings&)> change; std::string why; } rows[] = {
        {"fft-size", [](auto& s) { s.FftSize = 1024; }, ""},   {"fft-size", [](auto& s) { s.FftSize = 262144; }, ""},
        {"fft-size", [](auto& s) { s.FftSize = 3000; }, "must be a power of two"},
        {"fft-size", [](auto& s) { s.FftSize = 524288; }, whole + std::string("1024 .. 262144")},
        {"window", [](auto& s) { s.Window = 4; }, ""},         {"window", [](auto& s) { s.Window = 5; }, "must be a list position 0 .. 4"},
        {"average", [](auto& s) { s.Average = 63; }, ""},      {"average", [](auto& s) { s.Average = 64; }, whole + std::string("1 .. 63")},
        {"average", [](auto& s) { s.Average = 0; }, whole + std::string("1 .. 63")},
        {"bandwidth", [](auto& s) { s.BandwidthHz = 0; }, "must be above 0 Hz"},
        {"bandwidth", [](auto& s) { s.BandwidthHz = 0.5; }, ""},
        {"guard", [](auto& s) { s.Guard = 2; }, ""},           {"guard", [](auto& s) { s.Guard = 2.01; }, "must lie in 0 .. 2"},
        {"guard", [](auto& s) { s.Guard = 0; }, ""},           {"guard", [](auto& s) { s.Guard = -0.01; }, "must lie in 0 .. 2"},
        {"span-low", [](auto& s) { s.SpanLowHz = 0; }, ""},    {"span-low", [](auto& s) { s.SpanLowHz = -1; }, "must be 0 Hz or more"},
        {"span-low", [](auto& s) { s.SpanLowHz = 5000; }, "span: --span-low must lie below --span-high"},
        {"threshold", [](auto& s) { s.Threshold = 100; }, ""}, {"threshold", [](auto& s) { s.Threshold = 101; }, whole + std::string("0 .. 100")},
        {"threshold", [](auto& s) { s.Threshold = -1; }, whole + std::string("0 .. 100")},
        {"interval", [](auto& s) { s.IntervalS = 0; }, ""},    {"interval", [](auto& s) { s.IntervalS = -0.5; }, "must be 0 or more seconds"},
    };
    for (const auto& r : rows) {
        const std::optional<SettingsError> e = CheckSettings(With(r.change));
        SCOPED_TRACE(std::string(r.field) + (e ? ": " + e->Message : ""));
        ASSERT_EQ(e.has_value(), !r.why.empty());
        if (!e) continue;
        EXPECT_EQ(e->Field, r.field);
        EXPECT_TRUE(e->Message == "--" + std::string(r.field) + ": " + r.why || e->Message == r.why);
    }
}

// The span's default top comes down to the top bin only where the rate is
// too slow for it (and the centre suits the rate); a typed top never moves.
TEST(MeasureSettingsTest, DefaultSpanTopFollowsASlowRate)
{
    const struct { double rate, centre, low; bool typed; std::optional<double> lowered; const char* refused; } rows[] = {
        {10002, 1000, 20, false, std::nullopt, nullptr},
        {10000, 1000, 20, false, TopSpanHz(10000, 8192), nullptr},
        {2500, 1000, 20, false, TopSpanHz(2500, 8192), nullptr},
        {2500, 1000, 20, true, std::nullopt, "span-high"},
        {2048, 1000, TopSpanHz(2048, 8192), false, std::nullopt, "span-low"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.rate);
        const MeasureSettings s = With([&](auto& m) { m.CentreHz = r.centre; m.SpanLowHz = r.low; });
        try {
            const RunPlan plan = PlanRun(s, r.rate, r.typed);
            EXPECT_EQ(r.refused, nullptr);
            EXPECT_EQ(plan.SpanHighLoweredHz, r.lowered);
        } catch (const SettingsError& e) {
            EXPECT_STREQ(e.Field.c_str(), r.refused ? r.refused : "(accepted)");
        }
    }
}

// A run's bins: span and bandwidth rounded, the centre truncated, the span's
// top kept on the ring's highest bin; frequencies that do not suit the rate
// are refused by their field.
TEST(MeasureSettingsTest, BlockParamsAtARate)
{
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
        const MeasureSettings s = With([&](auto& s) {
            s.FftSize = r.fft, s.CentreHz = r.centre, s.BandwidthHz = r.bw, s.SpanLowHz = r.low, s.SpanHighHz = r.high;
        });
        try {
            const ChainParams p = BlockParamsFor(s, r.rate);
            EXPECT_EQ(std::tuple(p.FMinBin, p.FMaxBin, p.CFBin, p.SigBWBins), std::tuple(r.fmin, r.fmax, r.cf, r.sigbw));
            EXPECT_STREQ(r.refused, "");
        } catch (const SettingsError& e) {
            EXPECT_EQ(e.Field, r.refused) << e.Message;
        }
    }
    // The rest of the settings pass through to the run as they are.
    const ChainParams p = BlockParamsFor(With([](auto& s) {
        s.Window = 0, s.Average = 4, s.Guard = 1, s.Threshold = 20, s.Track = s.Square = true;
    }), 12000);
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
    EXPECT_THROW(PlanBin(1000, 8192, 0), Fault);
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
