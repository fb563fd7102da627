// Locale-free number texts, whole-number rounding, the one Fault type and the step guard.
#include <functional>
#include <limits>
#include <stdexcept>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/Fault.h"
#include "engine/FrequencyPlan.h"
#include "engine/NumberText.h"
#include "engine/WholeNumber.h"

namespace {

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Patterns and dates; signed text is the shortest, with a blank for non-negative numbers; numbers read from the start of a text.
TEST(NumberText, PatternsDatesSignedAndLeadingNumbers)
{
    const struct { const char* pattern; double x; const char* text; } cases[] = {
        {"####.0", 1000, "1000.0"}, {"####.0", 0.5, ".5"}, {"#0.0dB", -5, "-5.0dB"},
        {"##0.0# Hz bins", 12000.0 / 8192, "1.46 Hz bins"}, {"##0.0# Hz bins", 11.71875, "11.72 Hz bins"},
        {"##.#dB", 120, "120.dB"}, {"####", 0, ""}, {"####0.0#Hz", 1234.5, "1234.5Hz"},
        {"0.00", -1.465, "-1.47"},        // decimal halves go away from zero
        {"#0.0", 9.96, "10.0"},           // carry into a new digit
        {"####.0", 99999.96, "100000.0"}, // integer part never cut
        {"####.0", -0.5, "-.5"},
        {"#0.0", -0.01, "0.0"},           // rounds to zero: no sign
        {"000", 7, "007"}, {"[#0]", 4, "[4]"}, {"#0.0dB", kInf, "InfdB"}, {"##0.0# Hz bins", kNaN, "NaN Hz bins"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatPattern(c.x, c.pattern), c.text) << c.pattern << " with " << c.x;
    EXPECT_EQ(FormatDateTime({2024, 3, 7, 21, 5, 9}, "yyyy/MM/dd  hh:mm:ss"), "2024/03/07  21:05:09");

    const struct { double x; const char* text; } signedTexts[] = {
        {20, " 20"}, {-40, "-40"}, {-0.0, " 0"}, {1e20, " 1E+20"}, {-2.5e-7, "-2.5E-07"}, {1e-5, " 0.00001"},
        {0.1 + 0.2, " 0.3"}, {1e15, " 1E+15"}, {123456789012345, " 123456789012345"},
        {1.0 / 3, " 0.333333333333333"}, {-kInf, "-Inf"}, {kNaN, " NaN"},
    };
    for (const auto& c : signedTexts) EXPECT_EQ(SignedText(c.x), c.text) << c.x;
    EXPECT_EQ(PlainText(-3.25), "-3.25");

    const struct { const char* text; double value; } leading[] = {
        {"  -1.5e3xyz", -1500}, {"abc", 0}, {"", 0}, {".5", 0.5}, {"1.", 1}, {"1e+", 1},
        {"2.5E-1Hz", 0.25}, {"- 5", 0}, {"1,5", 1}, {"inf", 0}, {"1e-999", 0}, {"\t 3", 3},
    };
    for (const auto& c : leading) EXPECT_EQ(LeadingNumber(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(WholeTextNumber(" -2e3 "), -2000);
}

TEST(NumberText, RoundingHalfToEven)
{
    const struct { double x; std::int32_t whole; } cases[] = {
        {372.5, 372}, {373.5, 374}, {-2.5, -2}, {-3.5, -4}, {2.4999999, 2}, {32767.4, 32767}, {-32768.4, -32768}};
    for (const auto& c : cases) EXPECT_EQ(std::tuple(RoundToInt16(c.x), RoundToInt32(c.x)), std::tuple(c.whole, c.whole)) << c.x;
    // Half to even stays in range; an exact half of a bin rounds up.
    EXPECT_EQ(std::tuple(RoundToInt32(-2147483648.5), FloorToInt32(-0.5), HzToBin(1000, 8192, 12000), HzToBin(12000.0 / 8192 * 0.5, 8192, 12000)),
              std::tuple(-2147483647 - 1, -1, 683, 1));
}

TEST(Faults, EachCheckedHelperThrowsItsKindAndTheStepGuardSwallowsOnlyFaults)
{
    using K = Fault::Kind;
    const std::pair<K, std::vector<std::function<void()>>> groups[] = {
        {K::DivisionByZero, {[] { CheckedDiv(1, -0.0); }, [] { HzToBin(1000, 8192, 0); }}},
        {K::LogOfNonPositive, {[] { CheckedLn(0); }, [] { CheckedLn(kNaN); }, [] { CheckedDb(0); }}},
        {K::IndexOutOfBounds, {[] { CheckedIndex(-1, 0, 10); }, [] { CheckedIndex(11, 0, 10); }}},
        {K::Overflow, {[] { CheckedFinite(kNaN); }, [] { RoundToInt16(32767.5); }, [] { RoundToInt16(-32768.6); },
                       [] { RoundToInt32(2147483648.0); }, [] { FloorToInt32(kNaN); }, [] { LeadingNumber("1e999"); },
                       [] { LeadingNumber("-1e400"); }}},
        {K::NotANumber, {[] { WholeTextNumber("1000x"); }, [] { WholeTextNumber("  "); }}},
    };
    for (const auto& [kind, calls] : groups)
        for (std::size_t i = 0; i < calls.size(); ++i)
            EXPECT_THAT(calls[i], testing::Throws<Fault>(testing::Property(&Fault::kind, kind))) << "kind " << int(kind) << " call " << i;
    EXPECT_EQ(CheckedIndex(10, 0, 10), 10); // bounds are inclusive

    // The step guard swallows only a fault, and the next step still runs.
    int ran = 0;
    EXPECT_FALSE(Step([] { CheckedDiv(1, 0); }));
    EXPECT_TRUE(Step([&] { ++ran; }));
    EXPECT_EQ(ran, 1);
    EXPECT_THROW(Step([] { throw std::runtime_error("not a fault"); }), std::runtime_error);
}

} // namespace
