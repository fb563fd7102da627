// The two values shared program-wide by the transform, the window builders
// and the main window: the FFT size and the window table.
#pragma once
#include <cstdint>

inline constexpr std::int32_t kMaxNFFT = 262144;      // largest FFT size offered
inline constexpr std::int32_t kBufTop = 2 * kMaxNFFT; // last index of the capture buffer and WindFn

// FFT size in complex points (= stereo frames per block); 0 until start-up reads it.
extern std::int32_t NFFT;
// Window coefficient per point 0 .. NFFT-1; higher entries keep stale values.
extern float WindFn[kBufTop + 1];
