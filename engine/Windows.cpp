#include "engine/Windows.h"

#include <algorithm>
#include <cmath>

namespace {

const double kTwoPi = 6.28318530717958; // the program's 15-digit constant

double Hamming(double x) { return 0.54 - 0.46 * std::cos(x); }
double BlackmanHarris(double x)
{
    return 0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x);
}
double Hanning(double x) { return 0.5 - 0.5 * std::cos(x); }
double HFT95(double x)
{
    return (1 - 1.9383379 * std::cos(x) + 1.3045202 * std::cos(2 * x) - 0.402827 * std::cos(3 * x) +
            0.0350665 * std::cos(4 * x)) /
           4.68075;
}
double None(double) { return 0.5; }

struct Shape {
    double (*w)(double);
    double enbw;
};
constexpr Shape kShapes[] = {{Hamming, 1.37}, {BlackmanHarris, 2.04}, {Hanning, 1.5}, {HFT95, 3.811}, {None, 1}};

} // namespace

std::optional<double> WindowEnbw(std::int16_t position)
{
    if (position < 0 || position > 4)
        return std::nullopt;
    return kShapes[position].enbw;
}

std::optional<WindowTable> MakeWindow(std::int16_t position, std::int32_t n)
{
    if (position < 0 || position > 4)
        return std::nullopt;
    const Shape& s = kShapes[position];
    WindowTable t{std::vector<float>(static_cast<std::size_t>(std::max(n, 0))), s.enbw};
    for (std::int32_t i = 0; i < n; ++i)
        t.Coef[static_cast<std::size_t>(i)] = static_cast<float>(s.w((i * kTwoPi) / n));
    return t;
}
