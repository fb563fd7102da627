// Window tables: fill WindFn[0 .. NFFT-1] for the chosen window type.
#pragma once
#include <cstdint>

void WinHamming();
void WinBlackmanHarris();
void WinHanning();
void WinHFT95();
void WinNone();

// Builds the window at WindType list position 0..4 and sets windENBW (its
// equivalent noise bandwidth in bins).  Any other position changes nothing.
void SelectWindow(std::int16_t position, double& windENBW);
