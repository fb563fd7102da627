// Measures a tone in white noise from captured frames with its own
// Hann-windowed FFT, independent of the program's transform.
#pragma once
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <vector>

struct ToneFit {
    double peakHz = 0;
    double amplitude = 0;  // of A cos(2 pi f t), sample units
    double noiseSigma = 0; // standard deviation of the rest, sample units
};

// Channel `ch` of n interleaved stereo frames (n a power of two).  Bins within
// 8 of the strongest count as tone, the others above DC as noise.
inline ToneFit MeasureTone(const std::int16_t* frames, std::size_t n, double rate, int ch = 0)
{
    std::vector<std::complex<double>> x(n);
    double w2 = 0; // sum of squared window values
    for (std::size_t i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(n));
        x[i] = frames[2 * i + ch] * w;
        w2 += w * w;
    }
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1)
        for (std::size_t i = 0; i < n; i += len)
            for (std::size_t k = 0; k < len / 2; ++k) {
                const auto v = x[i + k + len / 2] * std::polar(1.0, -2 * std::numbers::pi * double(k) / double(len));
                x[i + k + len / 2] = x[i + k] - v;
                x[i + k] += v;
            }
    std::size_t peak = 2;
    for (std::size_t k = 2; k < n / 2; ++k)
        if (std::norm(x[k]) > std::norm(x[peak])) peak = k;
    double tone = 0, noise = 0, toneBins = 0, noiseBins = 0;
    for (std::size_t k = 2; k < n / 2; ++k) {
        const bool isTone = k + 8 >= peak && k <= peak + 8;
        (isTone ? tone : noise) += std::norm(x[k]);
        (isTone ? toneBins : noiseBins) += 1;
    }
    // White noise of variance s^2 gives s^2 w2 per bin; a cosine of amplitude
    // A puts n A^2 w2 / 4 into the bins around +f.
    const double perBin = noise / noiseBins;
    return {double(peak) * rate / double(n), std::sqrt(4 * std::max(0.0, tone - perBin * toneBins) / (double(n) * w2)),
            std::sqrt(perBin / w2)};
}

inline double RatioDb(double a, double b) { return 20 * std::log10(a / b); }
