#include "engine/Conversion.h"

#include <cmath>

#include "engine/Fault.h"

InputExtremes ConvertBlock(const std::int16_t* inBuf, const float* windFn, std::int32_t nfft, bool squared,
                           bool swapped, float* fftBuf)
{
    InputExtremes e;
    for (std::int32_t i = 0; i < nfft; ++i) {
        const float w = windFn[i];
        const std::int16_t a = inBuf[2 * i];
        const std::int16_t b = inBuf[2 * i + 1];
        float re, im;
        if (squared) {
            // Each product is rounded to single, as the values are stored.
            const float aw = static_cast<float>(a) * w;
            const float bw = static_cast<float>(b) * w;
            const float awa = aw * static_cast<float>(a);
            const float bwb = bw * static_cast<float>(b);
            re = awa / 4000.0f;
            im = bwb / 4000.0f;
        } else {
            re = static_cast<float>(a) * w;
            im = static_cast<float>(b) * w;
        }
        fftBuf[2 * i + 1] = re;
        fftBuf[2 * i + 2] = swapped ? im : -im;
        if (a > e.InMax) e.InMax = a;
        if (a < e.InMin) e.InMin = a;
        if (b > e.InMax) e.InMax = b;
        if (b < e.InMin) e.InMin = b;
    }
    return e;
}

std::int32_t LargestSample(const InputExtremes& e)
{
    std::int32_t mx = e.InMax;
    std::int32_t mn = e.InMin;
    if (mn < 0) mn = -mn;
    if (mn > mx) mx = mn;
    return mx;
}

double InputLevelDb(std::int32_t largest, double previousDb)
{
    if (largest > 0) return CheckedLn(largest) * kTenOverLn10 * 2;
    return previousDb;
}

std::int32_t InputLevelColour(std::int32_t largest)
{
    if (largest > 16000) return 255;                 // red
    if (largest > 8000) return 255 + 256 * 128;      // orange
    return 65536 * 255;                              // blue
}
