// Tunes one dial frequency of an SDR's complex samples down to 0 Hz and brings
// it to the analysis rate as interleaved 16-bit I/Q frames, the frames every
// sound input hands on.  Chain: NCO, half-band decimators by 2 while the rate
// stays at least twice the analysis rate, then one rational resampler
// (liquid-dsp's rresamp).  Flat within 0.1 dB over +-0.45 x the analysis rate,
// at least 80 dB against all that would fold into +-0.5 x the analysis rate.
// Scaling: input full scale 1.0 (as ToComplex gives it) becomes 32767 steps;
// beyond that the output saturates.  A dongle's 8-bit noise (a few steps of
// 127.5) stays tens of steps after decimating by 200.
#pragma once
#include <complex>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

class Tuner {
public:
    // inputRate: SDR samples per second.  analysisRate: 100 .. 384000 Hz and
    // at most inputRate.  offsetHz: where the dial lies from the device's
    // centre, |offsetHz| < inputRate / 2; a signal at dial + f comes out at +f.
    // Throws std::invalid_argument with a one-line reason.
    Tuner(std::uint32_t inputRate, std::uint32_t analysisRate, double offsetHz);
    ~Tuner();
    Tuner(const Tuner&) = delete;
    Tuner& operator=(const Tuner&) = delete;

    // Most frames one Process call with `samples` input samples writes.
    std::size_t MaxFrames(std::size_t samples) const;
    // Takes any number of samples (any chunking gives the same frames) and
    // writes frames (I, Q) to out, which holds MaxFrames(in.size()) frames.
    // Returns the frames written.  The first SettleFrames() are dropped here.
    // Allocates nothing.
    std::size_t Process(std::span<const std::complex<float>> in, std::span<std::int16_t> out);
    // Frames dropped at the start: until then the filters still hold the
    // zeros they began with (their whole span, not only the group delay).
    std::size_t SettleFrames() const { return settle_; }
    // Half-band stages in the chain (decimation 2^n before the resampler).
    std::size_t HalfbandStages() const;

private:
    struct Chain;
    std::unique_ptr<Chain> chain_;
    std::size_t settle_ = 0;
    std::size_t toDrop_ = 0;
};
