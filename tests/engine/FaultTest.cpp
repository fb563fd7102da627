#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>

#include <gtest/gtest.h>

#include "engine/Fault.h"
#include "engine/WholeNumber.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

struct Faulting {
    const char* name;
    std::function<void()> call;
    Fault::Kind kind;
};

TEST(CheckedHelpers, EachFaultsWithItsKind)
{
    const Faulting cases[] = {
        {"div by 0", [] { CheckedDiv(1, 0); }, Fault::Kind::DivisionByZero},
        {"div by -0", [] { CheckedDiv(1, -0.0); }, Fault::Kind::DivisionByZero},
        {"ln 0", [] { CheckedLn(0); }, Fault::Kind::LogOfNonPositive},
        {"ln -1", [] { CheckedLn(-1); }, Fault::Kind::LogOfNonPositive},
        {"ln NaN", [] { CheckedLn(kNaN); }, Fault::Kind::LogOfNonPositive},
        {"dB 0", [] { CheckedDb(0); }, Fault::Kind::LogOfNonPositive},
        {"finite inf", [] { CheckedFinite(kInf); }, Fault::Kind::Overflow},
        {"finite NaN", [] { CheckedFinite(kNaN); }, Fault::Kind::Overflow},
        {"index low", [] { CheckedIndex(-1, 0, 10); }, Fault::Kind::IndexOutOfBounds},
        {"index high", [] { CheckedIndex(11, 0, 10); }, Fault::Kind::IndexOutOfBounds},
        {"int16 32767.5", [] { RoundToInt16(32767.5); }, Fault::Kind::Overflow},
        {"int16 -32768.6", [] { RoundToInt16(-32768.6); }, Fault::Kind::Overflow},
        {"int16 NaN", [] { RoundToInt16(kNaN); }, Fault::Kind::Overflow},
        {"int32 2^31", [] { RoundToInt32(2147483648.0); }, Fault::Kind::Overflow},
        {"int32 inf", [] { RoundToInt32(-kInf); }, Fault::Kind::Overflow},
        {"floor 2^31", [] { FloorToInt32(2147483648.0); }, Fault::Kind::Overflow},
        {"floor NaN", [] { FloorToInt32(kNaN); }, Fault::Kind::Overflow},
        {"bin rate 0", [] { HzToBin(1000, 8192, 0); }, Fault::Kind::DivisionByZero},
        {"bin too big", [] { HzToBin(1e12, 262144, 8000); }, Fault::Kind::Overflow},
    };
    for (const auto& c : cases) {
        try {
            c.call();
            ADD_FAILURE() << c.name << " did not fault";
        } catch (const Fault& f) {
            EXPECT_EQ(f.kind(), c.kind) << c.name;
        }
    }
}

TEST(CheckedHelpers, ValidInputPassesThrough)
{
    EXPECT_EQ(CheckedDiv(12000, 8192), 1.46484375);
    EXPECT_DOUBLE_EQ(CheckedLn(std::exp(2.0)), 2.0);
    EXPECT_NEAR(CheckedDb(100), 20.0, 1e-8);
    EXPECT_EQ(CheckedFinite(-3.5), -3.5);
    EXPECT_EQ(CheckedIndex(10, 0, 10), 10);
    EXPECT_EQ(CheckedIndex(0, 0, 10), 0);
}

struct Rounded {
    double x;
    std::int32_t whole;
};

TEST(WholeNumbers, NearestWithHalvesToEven)
{
    const Rounded cases[] = {
        {372.5, 372}, {373.5, 374}, {-2.5, -2}, {-3.5, -4}, {0.5, 0}, {1.5, 2},
        {2.4999999, 2}, {-0.49, 0}, {32767.4, 32767}, {-32768.4, -32768}, {8192.0, 8192},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RoundToInt16(c.x), c.whole) << c.x;
        EXPECT_EQ(RoundToInt32(c.x), c.whole) << c.x;
    }
    EXPECT_EQ(RoundToInt32(2147483647.4), 2147483647);
    EXPECT_EQ(RoundToInt32(-2147483648.5), -2147483648); // half to even stays in range
    EXPECT_EQ(RoundToInt32(1073741824.5), 1073741824);
    EXPECT_EQ(RoundToInt32(1073741825.5), 1073741826);
}

TEST(WholeNumbers, FloorAndHertzToBin)
{
    EXPECT_EQ(FloorToInt32(-0.5), -1);
    EXPECT_EQ(FloorToInt32(2.999), 2);
    EXPECT_EQ(FloorToInt32(-2147483648.0), -2147483647 - 1);
    EXPECT_EQ(HzToBin(1000, 8192, 12000), 683);
    EXPECT_EQ(HzToBin(0, 8192, 12000), 0);
    EXPECT_EQ(HzToBin(-1000, 8192, 12000), -683);
    EXPECT_EQ(HzToBin(12000.0 / 8192 * 0.5, 8192, 12000), 1); // exact half rounds up
}

TEST(Step, SwallowsAFaultAndTheNextStepRuns)
{
    int value = 7;
    int ran = 0;
    const bool first = Step([&] {
        const int computed = static_cast<int>(CheckedDiv(1, 0)); // faults before assigning
        value = computed;
    });
    const bool second = Step([&] { ++ran; });
    EXPECT_FALSE(first);
    EXPECT_TRUE(second);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(ran, 1);
}

TEST(Step, OtherExceptionsAreNotSwallowed)
{
    EXPECT_THROW(Step([] { throw std::logic_error("bug"); }), std::logic_error);
    EXPECT_THROW(Step([] { throw std::runtime_error("not a fault"); }), std::runtime_error);
}

} // namespace
