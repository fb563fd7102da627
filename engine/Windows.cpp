#include "engine/Windows.h"

#include <cmath>

#include "engine/Shared.h"

namespace {

const double kTwoPi = 6.28318530717958; // the program's 15-digit constant

// Periodic window: x = 2*pi*i / NFFT, coefficient in double stored as float.
template <class W>
void Build(W w)
{
    for (std::int32_t i = 0; i < NFFT && i <= kBufTop; ++i) {
        const double x = (i * kTwoPi) / NFFT;
        WindFn[i] = static_cast<float>(w(x));
    }
}

} // namespace

void WinHamming()
{
    Build([](double x) { return 0.54 - 0.46 * std::cos(x); });
}

void WinBlackmanHarris()
{
    Build([](double x) {
        return 0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x);
    });
}

void WinHanning()
{
    Build([](double x) { return 0.5 - 0.5 * std::cos(x); });
}

void WinHFT95()
{
    Build([](double x) {
        return (1 - 1.9383379 * std::cos(x) + 1.3045202 * std::cos(2 * x) - 0.402827 * std::cos(3 * x) +
                0.0350665 * std::cos(4 * x)) /
               4.68075;
    });
}

void WinNone()
{
    Build([](double) { return 0.5; });
}

void SelectWindow(std::int16_t position, double& windENBW)
{
    switch (position) {
    case 0: WinHamming(); windENBW = 1.37; break;
    case 1: WinBlackmanHarris(); windENBW = 2.04; break;
    case 2: WinHanning(); windENBW = 1.5; break;
    case 3: WinHFT95(); windENBW = 3.811; break;
    case 4: WinNone(); windENBW = 1; break;
    default: break; // no list entry selected: keep the table and its bandwidth
    }
}
