#include "engine/WholeNumber.h"

#include <cmath>

#include "engine/Fault.h"

namespace {

// Nearest whole value, halves to even; independent of the FPU rounding mode.
double RoundHalfEven(double x)
{
    const double f = std::floor(x);
    const double diff = x - f; // exact for every finite double
    if (diff > 0.5)
        return f + 1.0;
    if (diff < 0.5)
        return f;
    return std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
}

// Range check done in double before any cast, so an out-of-range value never
// reaches the conversion (which would be undefined).
double CheckFits(double r, double lo, double hi)
{
    if (!(r >= lo && r <= hi)) // also rejects NaN
        throw Fault(Fault::Kind::Overflow, "overflow");
    return r;
}

} // namespace

std::int16_t RoundToInt16(double x)
{
    return static_cast<std::int16_t>(CheckFits(RoundHalfEven(x), -32768.0, 32767.0));
}

std::int32_t RoundToInt32(double x)
{
    return static_cast<std::int32_t>(CheckFits(RoundHalfEven(x), -2147483648.0, 2147483647.0));
}

std::int32_t FloorToInt32(double x)
{
    return static_cast<std::int32_t>(CheckFits(std::floor(x), -2147483648.0, 2147483647.0));
}
