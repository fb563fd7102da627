// Window tables: the coefficients of the chosen window over one block.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

struct WindowTable {
    std::vector<float> Coef; // per point 0 .. n-1
    double Enbw = 0;         // equivalent noise bandwidth, bins
};

// The equivalent noise bandwidth of the window at WindType list position
// 0..4 (Hamming, Blackman Harris, Hanning, HFT95, none); nothing otherwise.
std::optional<double> WindowEnbw(std::int16_t position);

// The window at list position 0..4 over n points (periodic form:
// x = 2 pi i / n, each coefficient computed in double and stored as float);
// nothing for any other position.
std::optional<WindowTable> MakeWindow(std::int16_t position, std::int32_t n);
