#include "engine/Fault.h"

#include <cmath>

double CheckedDiv(double a, double b)
{
    if (b == 0.0)
        throw Fault(Fault::Kind::DivisionByZero, "division by zero");
    return a / b;
}

double CheckedLn(double x)
{
    // !(x > 0) also catches NaN.
    if (!(x > 0.0))
        throw Fault(Fault::Kind::LogOfNonPositive, "logarithm of a number that is not positive");
    return std::log(x);
}

double CheckedDb(double power)
{
    return CheckedLn(power) * kTenOverLn10;
}

double CheckedFinite(double x)
{
    if (!std::isfinite(x))
        throw Fault(Fault::Kind::Overflow, "overflow");
    return x;
}

std::int64_t CheckedIndex(std::int64_t i, std::int64_t lo, std::int64_t hi)
{
    if (i < lo || i > hi)
        throw Fault(Fault::Kind::IndexOutOfBounds,
                    "index " + std::to_string(i) + " outside " + std::to_string(lo) + " .. " + std::to_string(hi));
    return i;
}
