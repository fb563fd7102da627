// The sizes that index the working arrays, checked before a run queues any
// buffer: a size the arrays cannot take never reaches the capture.
#pragma once
#include <cstdint>

inline constexpr std::int32_t kMinNFFT = 1024;       // smallest FFT size offered
inline constexpr std::int32_t kMaxNFFT = 262144;     // largest FFT size offered
inline constexpr std::int32_t kBufTop = 2 * kMaxNFFT; // last index of the capture buffer
inline constexpr std::int32_t kMaxAvg = 63;          // most blocks in the running mean
// Sample rates a measurement takes, Hz: from a slow baseband (a 375 Hz
// WSPR recording, an SDR decimated far down) up to the highest rate
// PulseAudio offers.  The window keeps its own list of sound-card rates.
inline constexpr std::int32_t kMinRate = 100, kMaxRate = 384000;

// True for the FFT sizes offered: powers of two 1024 .. 262144.  Any other
// number (0, negative, fractional, not finite, too large) is false.
bool IsFFTSize(double n);

// The FFT size a text names, or 0 when it names none of the offered sizes.
std::int32_t FFTSizeOfText(const char* text);

// Bytes of one captured block of nfft stereo 16-bit frames; faults
// (OutOfRange) unless nfft is an offered size, so the length cannot overflow.
std::uint32_t BlockBytes(std::int32_t nfft);

// Faults (OutOfRange) unless nfft is an offered size, the analysed bins lie
// within 0 .. nfft/2, and nAvg is 1 .. kMaxAvg.
void CheckRunSizes(std::int32_t nfft, std::int32_t fMinBin, std::int32_t fMaxBin, std::int32_t nAvg);
