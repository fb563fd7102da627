// What the window's drawing keeps for the length of one run: the colours
// and plot height fixed at loop start, and the noise line's level.
#pragma once
#include <cstdint>

struct LoopState {
    double BinLevel = 0;            // display level of the measured noise, dB above DispThresh
    double PlotHeight = 120;        // spectrum plot's vertical extent, dB
    std::int32_t TraceColour = 0;   // colours as r + 256 g + 65536 b
    std::int32_t NoiseColour = 0;
    std::int32_t StatColour = 0;
    std::int32_t PeakingColour = 0;
};
