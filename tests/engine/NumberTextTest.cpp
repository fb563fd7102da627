#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "engine/Fault.h"
#include "engine/NumberText.h"

namespace {

struct Leading {
    const char* text;
    double value;
};

TEST(LeadingNumber, ReadsTheLongestLeadingNumber)
{
    const Leading cases[] = {
        {"  -1.5e3xyz", -1500}, {"abc", 0},     {"12000", 12000}, {" 8192", 8192}, {"-", 0},
        {".", 0},              {"1.", 1},       {".5", 0.5},      {"1e", 1},       {"1e+", 1},
        {"+7", 7},             {"2.5E-1Hz", 0.25}, {"8192 points", 8192}, {"", 0}, {"1e-999", 0},
        {"0.000", 0},          {"- 5", 0},      {"\t 3", 3},       {"1,5", 1},      {"inf", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LeadingNumber(c.text), c.value) << '"' << c.text << '"';
}

TEST(LeadingNumber, TooLargeForADoubleFaults)
{
    for (const char* text : {"1e999", "-1e400", "123456e310"}) {
        try {
            LeadingNumber(text);
            ADD_FAILURE() << text << " did not fault";
        } catch (const Fault& f) {
            EXPECT_EQ(f.kind(), Fault::Kind::Overflow) << text;
        }
    }
}

TEST(WholeTextNumber, AcceptsOnlyANumberAsAWhole)
{
    EXPECT_EQ(WholeTextNumber(" 1000.5 "), 1000.5);
    EXPECT_EQ(WholeTextNumber("-2e3"), -2000);
    for (const char* text : {"1000x", "", ".", "  ", "1e", "abc", "1 2"}) {
        try {
            WholeTextNumber(text);
            ADD_FAILURE() << '"' << text << "\" did not fault";
        } catch (const Fault& f) {
            EXPECT_EQ(f.kind(), Fault::Kind::NotANumber) << text;
        }
    }
}

struct Shown {
    double x;
    const char* text;
};

TEST(SignedText, ShortestTextWithBlankForNonNegative)
{
    const double inf = std::numeric_limits<double>::infinity();
    const Shown cases[] = {
        {20, " 20"},           {-40, "-40"},         {0.5, " 0.5"},       {0, " 0"},
        {-0.0, " 0"},          {1e20, " 1E+20"},     {-2.5e-7, "-2.5E-07"}, {1e-5, " 0.00001"},
        {12000, " 12000"},     {0.1 + 0.2, " 0.3"},  {123456789012345, " 123456789012345"},
        {1e15, " 1E+15"},      {1.0 / 3, " 0.333333333333333"}, {8192, " 8192"},
        {1465.3, " 1465.3"},   {inf, " Inf"},        {-inf, "-Inf"},
        {std::numeric_limits<double>::quiet_NaN(), " NaN"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SignedText(c.x), c.text) << c.x;
}

TEST(SignedText, PlainTextHasNoBlankAndReadsBack)
{
    EXPECT_EQ(PlainText(50), "50");
    EXPECT_EQ(PlainText(-3.25), "-3.25");
    EXPECT_EQ(PlainText(100 * 0.5), "50");
    for (double x : {12000.0, -0.001953125, 1.46484375, 6.02e23, 3e-9})
        EXPECT_EQ(LeadingNumber(SignedText(x)), x) << x;
}

struct Pictured {
    const char* pattern;
    double x;
    const char* text;
};

TEST(FormatPattern, PicturesFromTheProgram)
{
    const Pictured cases[] = {
        {"####.0", 1000, "1000.0"},
        {"####.0", 0.5, ".5"},
        {"####.0", 12345.67, "12345.7"},
        {"#0.0dB", -5, "-5.0dB"},
        {"#0.0dB", 12.345, "12.3dB"},
        {"##0.0# Hz bins", 1.4648, "1.46 Hz bins"},
        {"##0.0# Hz bins", 11.71875, "11.72 Hz bins"},
        {"##0.0# Hz bins", 0.1831, "0.18 Hz bins"},
        {"##0.0# Hz bins", 0.0229, "0.02 Hz bins"},
        {"##0.0# Hz bins", 12000.0 / 8192, "1.46 Hz bins"},
        {"####0.0#Hz", 1234.5, "1234.5Hz"},
        {"####0.0#Hz", 1234.567, "1234.57Hz"},
        {"##.#dB", 120, "120.dB"},
        {"####", 0, ""},
        {"####", 1000, "1000"},
        {"0.0#Hz", 0.732421875, "0.73Hz"},
        {"#0.0Hz", 2.197, "2.2Hz"},
        {" #0.0dB", 5, " 5.0dB"},
        {"#####.#", 1465.4, "1465.4"},
        {"####0.00", 1234.5, "1234.50"},
        {"#0.0", 45.26, "45.3"},
        {"##0.0", 2.7306, "2.7"},
        {"##0.0", 0.0213, "0.0"},
        {"####0.#Hz", 1000.49, "1000.5Hz"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatPattern(c.x, c.pattern), c.text) << c.pattern << " with " << c.x;
}

TEST(FormatPattern, RoundingSignAndWidth)
{
    const Pictured cases[] = {
        {"0.00", 1.465, "1.47"},         // decimal halves go away from zero
        {"0.00", -1.465, "-1.47"},
        {"0.0", 0.25, "0.3"},
        {"0.0", -0.25, "-0.3"},
        {"#0.0", 9.96, "10.0"},           // carry into a new integer digit
        {"####.0", 99999.96, "100000.0"}, // integer part never cut
        {"#0.0dB", -123.44, "-123.4dB"},  // sign before the extra digits
        {"####.0", -0.5, "-.5"},          // sign before the point when no digit shows
        {"#0.0", -0.01, "0.0"},           // rounds to zero: no sign
        {"####", -0.3, ""},
        {"000", 7, "007"},
        {"#.##", 3, "3."},
        {"#.##", 3.1, "3.1"},
        {"####", 1e20, "100000000000000000000"},
        {"####", 2.5, "3"},
        {"[#0]", 4, "[4]"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatPattern(c.x, c.pattern), c.text) << c.pattern << " with " << c.x;
}

TEST(FormatPattern, NonFiniteValuesReplaceTheNumberKeepingTheText)
{
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(FormatPattern(inf, "#0.0dB"), "InfdB");
    EXPECT_EQ(FormatPattern(-inf, " ####0.0#Hz"), " -InfHz");
    EXPECT_EQ(FormatPattern(std::numeric_limits<double>::quiet_NaN(), "##0.0# Hz bins"), "NaN Hz bins");
}

TEST(FormatDateTime, TwentyFourHourClock)
{
    EXPECT_EQ(FormatDateTime({2024, 3, 7, 21, 5, 9}, "yyyy/MM/dd  hh:mm:ss"), "2024/03/07  21:05:09");
    EXPECT_EQ(FormatDateTime({1999, 12, 31, 0, 0, 0}, "yyyy/MM/dd  hh:mm:ss"), "1999/12/31  00:00:00");
}

} // namespace
