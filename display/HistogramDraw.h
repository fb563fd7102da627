// The histogram of the averaged bin levels: one bar per 0.1 dB cell, the
// vertical scale growing with the square root of the number of bins, and the
// cell of the statistical noise level marked in red.
#pragma once
#include <cstdint>

#include "display/PictureBox.h"

// Faults (OutOfRange) when fMaxBin < fMinBin.
void DrawHistogram(PictureBox& picture, const std::int32_t* ampHist, std::int32_t fMinBin, std::int32_t fMaxBin);
void MarkHistogram(PictureBox& picture, const std::int32_t* ampHist, std::int32_t cell);
