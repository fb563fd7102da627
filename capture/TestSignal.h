// The built-in test signals: a 1000 Hz tone in seeded white Gaussian noise,
// made in real time at whatever rate the device is opened with.  They let
// the program run without a sound card and serve as its calibration
// reference: the tone amplitude gives the stated S/N in 2500 Hz.
#pragma once
#include <cstddef>
#include <cstdint>
#include <random>

#include "capture/InputBackend.h"

struct TestSignalKind {
    const char* name;      // as listed wherever there is room for it
    const char* shortName; // the 32-byte device name
    double snrDb;          // S/N in 2500 Hz
    bool drifting;         // tone moves +-kDriftHz around 1000 Hz
    std::uint64_t seed;    // noise seed, restarted at every open
};

inline constexpr double kTestToneHz = 1000;
inline constexpr double kTestNoiseSigma = 1000;  // noise standard deviation, sample units
inline constexpr double kDriftHz = 20;           // peak deviation of the drifting tone
inline constexpr double kDriftPeriodS = 60;      // one full swing
inline constexpr TestSignalKind kTestSignals[] = {
    {"Test signal: 1000 Hz tone, S/N 20 dB", "Test signal 1000 Hz, S/N 20 dB", 20, false, 1},
    {"Test signal: 1000 Hz tone drifting, S/N 0 dB", "Test signal drifting, S/N 0 dB", 0, true, 2},
};

// Sample values of one test signal at one rate.  Frames are addressed by
// their index since the device opened, so the tone stays continuous across
// the gaps between captured blocks; the noise simply continues.
class TestSignalGenerator {
public:
    TestSignalGenerator(const TestSignalKind& kind, std::uint32_t rate);
    // A = 1000 x sqrt(10000 / rate) x 10^(S/N / 20)
    double ToneAmplitude() const { return amplitude_; }
    double FrequencyAt(double seconds) const; // Hz
    // Writes `frames` frames of `channels` equal samples starting at frame `first`.
    void Generate(std::int64_t first, std::int16_t* out, std::size_t frames, int channels);

private:
    double Phase(std::int64_t frame) const; // radians, 0 at frame 0
    double Gaussian();
    TestSignalKind kind_;
    std::uint32_t rate_;
    double amplitude_;
    std::mt19937_64 rng_;
    bool haveSpare_ = false;
    double spare_ = 0;
};

// Appends one backend per test signal.
void AppendTestSignals(BackendList& list);
