// Spectrum accumulation: block power into the ring, per-bin mean and level.
#pragma once
#include <cstdint>

#include "engine/Arrays.h"

// Power of bins 0 .. nfft/2-1 of a transformed block (1-based interleaved)
// into ring column slot: re^2 + im^2 in double, stored as single.
void StoreBlockPower(const float* fftBuf, std::int32_t nfft, SpecRing& ring, std::int32_t slot);

// Mean of bin k over slots 0 .. nAvg-1, partial sums kept in single
// precision, divided by nAvg however many blocks have been captured.
float BinMean(const SpecRing& ring, std::int32_t k, std::int32_t nAvg);

// Level of a power in dB (ln x kTenOverLn10); 0 when the power is not positive.
double BinLevel(double power);
