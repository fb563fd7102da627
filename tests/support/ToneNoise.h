// Test recordings: a tone in seeded white Gaussian noise whose amplitude gives the stated S/N
// in 2500 Hz, as interleaved 16-bit stereo frames with the same sample on both channels.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

struct ToneNoise {
    double Rate = 12000;      // Hz
    double ToneHz = 1000;
    double Snr2500Db = 20;
    double Sigma = 300;       // noise standard deviation, sample units
    std::uint32_t Seed = 1;
    bool Tone = true;

    double Amplitude() const { return Sigma * std::sqrt(10000.0 / Rate) * std::pow(10.0, Snr2500Db / 20); }

    // Samples as real values (before rounding to 16 bits).
    std::vector<double> Samples(std::int64_t frames) const
    {
        std::mt19937 gen(Seed);
        std::normal_distribution<double> noise(0.0, Sigma);
        std::vector<double> v(static_cast<std::size_t>(frames));
        const double a = Tone ? Amplitude() : 0.0;
        const double step = 2 * 3.14159265358979323846 * ToneHz / Rate;
        for (std::int64_t i = 0; i < frames; ++i) v[i] = a * std::sin(step * static_cast<double>(i)) + noise(gen);
        return v;
    }

    // Interleaved stereo 16-bit frames, rounded and clipped.
    std::vector<std::int16_t> Stereo16(std::int64_t frames) const
    {
        const std::vector<double> s = Samples(frames);
        std::vector<std::int16_t> out(2 * s.size());
        for (std::size_t i = 0; i < s.size(); ++i)
            out[2 * i] = out[2 * i + 1] = static_cast<std::int16_t>(std::clamp(std::nearbyint(s[i]), -32768.0, 32767.0));
        return out;
    }
};
