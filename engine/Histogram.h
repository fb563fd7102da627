// Bin-level histogram: counts of the displayed bins' averaged levels in
// 0.1 dB cells (0 .. 1600), and the statistical noise level taken from it.
#pragma once
#include <cstdint>

inline constexpr std::int32_t kHistTop = 10000; // last cell of the count array
inline constexpr std::int32_t kHistUsedTop = 1600; // last cell a level can fall in (160 dB)

// Sets cells 0 .. 10000 to 0.
void ClearHist(std::int32_t* ampHist);

// Cell of a level given in 0.1 dB units: clamped to 0 .. 1600, then rounded
// half to even (372.5 -> 372, 373.5 -> 374).
std::int32_t HistCellOfTenths(double tenthsDb);

// Cell of a mean power: 10 x kTenOverLn10 x ln(power).  Faults when the power
// is 0 (a run ends on a silent bin).
std::int32_t HistCell(double power);

// Counts the bins fMinBin .. fMaxBin of avSpec into ampHist (not cleared here).
void FillHist(const float* avSpec, std::int32_t fMinBin, std::int32_t fMaxBin, std::int32_t* ampHist);

// The lower quartile cell: the first cell at which the running count reaches
// (fMaxBin - fMinBin) / 4 (rounded half to even); 1601 when none does.
std::int32_t StatNoiseCell(const std::int32_t* ampHist, std::int32_t fMinBin, std::int32_t fMaxBin);

// Statistical noise level in dB of that cell: cell / 10 + 3.
double StatNoiseDbOfCell(std::int32_t cell);
