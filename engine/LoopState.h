// What the run loop keeps for the length of one run: the ring slot being
// written, the statistical noise level carried from block to block, the
// colours and plot height fixed at loop start, and the per-bin levels of the
// current block for the trace.
#pragma once
#include <cstdint>
#include <vector>

#include "engine/Shared.h"

struct LoopState {
    std::int32_t Slot = 0;          // SpecHist column written by this block
    double StatNoiseDb = 0;         // dB, statistical noise level
    std::int32_t StatLevel = 0;     // whole dB above DispThresh
    double BinLevel = 0;            // display level of the measured noise, dB above DispThresh
    double PlotHeight = 120;        // spectrum plot's vertical extent, dB
    std::int32_t TraceColour = 0;   // colours as r + 256 g + 65536 b
    std::int32_t NoiseColour = 0;
    std::int32_t StatColour = 0;
    std::int32_t PeakingColour = 0;
    std::vector<double> Level = std::vector<double>(kMaxNFFT + 1); // L(k) of the displayed bins, dB
};
