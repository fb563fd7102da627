#include "ToneMeasure.h"

#include <cmath>
#include <complex>
#include <numbers>
#include <stdexcept>

namespace {

void Fft(std::vector<std::complex<double>>& a)
{
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const double ang = -2 * std::numbers::pi / static_cast<double>(len);
        for (std::size_t i = 0; i < n; i += len)
            for (std::size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> w = std::polar(1.0, ang * static_cast<double>(k));
                const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
    }
}

} // namespace

ToneFit MeasureTone(const std::vector<double>& samples, double rate, int halfWidth)
{
    const std::size_t n = samples.size();
    if (n < 64 || (n & (n - 1)) != 0)
        throw std::invalid_argument("MeasureTone: length must be a power of two >= 64");
    std::vector<std::complex<double>> x(n);
    double w2 = 0; // sum of squared window values
    for (std::size_t i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n));
        x[i] = samples[i] * w;
        w2 += w * w;
    }
    Fft(x);
    const std::size_t half = n / 2;
    std::size_t peak = 2;
    for (std::size_t k = 2; k < half; ++k)
        if (std::norm(x[k]) > std::norm(x[peak]))
            peak = k;
    const auto hw = static_cast<std::size_t>(halfWidth);
    double tone = 0, noise = 0;
    std::size_t toneBins = 0, noiseBins = 0;
    for (std::size_t k = 2; k < half; ++k) {
        if (k + hw >= peak && k <= peak + hw) {
            tone += std::norm(x[k]);
            ++toneBins;
        } else {
            noise += std::norm(x[k]);
            ++noiseBins;
        }
    }
    // White noise of variance s^2 gives s^2 x w2 per bin; a cosine of
    // amplitude A puts n x A^2 x w2 / 4 into the bins around +f.
    const double perBin = noise / static_cast<double>(noiseBins);
    ToneFit fit;
    fit.peakHz = static_cast<double>(peak) * rate / static_cast<double>(n);
    fit.noiseSigma = std::sqrt(perBin / w2);
    const double toneEnergy = std::max(0.0, tone - perBin * static_cast<double>(toneBins));
    fit.amplitude = std::sqrt(4 * toneEnergy / (static_cast<double>(n) * w2));
    return fit;
}

std::vector<double> Channel(const std::int16_t* frames, std::size_t count, int channels, int channel)
{
    std::vector<double> v(count);
    for (std::size_t i = 0; i < count; ++i)
        v[i] = frames[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel)];
    return v;
}

double RatioDb(double a, double b) { return 20 * std::log10(a / b); }
