// Block conversion: interleaved 16-bit stereo frames into windowed complex
// points, and the block's input level for the level meter.
#pragma once
#include <cstdint>

// Extremes of one block's samples, both channels.
struct InputExtremes {
    std::int32_t InMax = -100000;
    std::int32_t InMin = 100000;
};

// Converts frames 0 .. nfft-1 of inBuf (frame i: first channel at 2i, second
// at 2i+1) into fftBuf[1 .. 2nfft] (point i: real 2i+1, imaginary 2i+2), in
// single precision:
//   plain:    a*w, b*w
//   squared:  a*w*a/4000, b*w*b/4000 (each channel squared on its own)
// Unless swapped, the second channel is negated afterwards.
// Returns the extremes of all samples read.
InputExtremes ConvertBlock(const std::int16_t* inBuf, const float* windFn, std::int32_t nfft, bool squared,
                           bool swapped, float* fftBuf);

// Largest absolute sample of a block, 0 .. 32768.
std::int32_t LargestSample(const InputExtremes& e);

// 20 log10(largest) as ln x kTenOverLn10 x 2; the previous level when the
// block was silent (largest 0).
double InputLevelDb(std::int32_t largest, double previousDb);

// Level meter colour (r + 256 g + 65536 b): red above 16000, orange above
// 8000, blue otherwise.
std::int32_t InputLevelColour(std::int32_t largest);
