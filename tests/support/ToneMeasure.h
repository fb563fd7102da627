// Measures a tone in white noise from captured samples: the strongest
// spectral line, its amplitude and the noise standard deviation, from a
// Hann-windowed FFT (independent of the program's own transform).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct ToneFit {
    double peakHz = 0;
    double amplitude = 0;   // of A cos(2 pi f t), sample units
    double noiseSigma = 0;  // standard deviation of the rest, sample units
};

// `samples` holds one channel; its length must be a power of two.
// Bins within `halfWidth` of the peak count as tone, the others above DC
// as noise.
ToneFit MeasureTone(const std::vector<double>& samples, double rate, int halfWidth = 8);

// Channel `channel` of interleaved 16-bit frames.
std::vector<double> Channel(const std::int16_t* frames, std::size_t count, int channels, int channel);

// 20 log10(a / b)
double RatioDb(double a, double b);
