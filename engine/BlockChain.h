// The one per-block sequence of a measurement: conversion, transform, ring,
// bin loop, histogram, signal and noise, levels, S/N and tracking.  The
// window and parlune-measure both call RunBlock and only present what it
// returns; neither orders these steps itself.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/Arrays.h"
#include "engine/Fft.h"
#include "engine/Histogram.h"
#include "engine/Measurement.h"

// Run parameters, read afresh at every block (the window's controls may
// change them between blocks; tracking and a bandwidth reset change them here).
struct ChainParams {
    double SampleRate = 12000;   // Hz
    std::int32_t NFFT = 8192;    // points per block, an offered size
    std::int32_t FMinBin = 0;    // analysed bins, 0 .. NFFT/2
    std::int32_t FMaxBin = 0;
    std::int32_t CFBin = 0;
    std::int32_t SigBWBins = 0;
    double SigBWHz = 100;        // signal bandwidth as its text reads, Hz
    std::string CFText;          // the centre as its text reads, Hz
    double GuardFactor = 0.5;
    std::int32_t NAvg = 1;       // 1 .. kMaxAvg
    double WindENBW = 2;
    std::int32_t DispThresh = 0;
    bool Squared = false;        // "Square Input"
    bool Swapped = false;        // "Swap Sideband I/Q Mode"
    bool UseStatNoise = false;
    bool PeakInSigBand = false;
    bool TrackSig = false;
};

// The working arrays of a run, sized for its FFT size, its window, and the
// values carried from block to block.  Each run has its own, so several
// runs can share a process.
struct ChainState {
    std::vector<float> Window;        // the run's window over points 0 .. NFFT-1 (MakeWindow)
    FftPlan Fft;                      // the transform of the run's size
    std::vector<float> FFTBuf;        // 1-based interleaved complex points
    SpecRing SpecHist;                // per-block power, bins 0 .. NFFT/2 by 64 slots
    std::vector<float> AvSpec;        // mean power per bin, 0 .. NFFT/2
    std::vector<double> Level;        // L(k) of the analysed bins, dB
    std::vector<std::int32_t> AmpHist = std::vector<std::int32_t>(kHistTop + 1); // 0.1 dB cells
    std::int32_t Slot = 0;            // ring column the next block writes
    double StatNoiseDb = 0;           // statistical noise level, dB
    std::int32_t StatLevel = 0;       // whole dB above DispThresh
    double SN1HzDb = 0;               // last in-band S/N in 1 Hz, dB (kept across runs)
    double InLevelDb = 0;             // input level of the last non-silent block, dB (kept across runs)
};

// Sizes the arrays for nfft (an offered size); a ring of the same size keeps
// its contents.  The run's own values (slot, statistical level) start afresh.
void PrepareChain(ChainState& s, std::int32_t nfft);
// PrepareChain with the ring, means and carried levels cleared: a fresh start.
void StartChain(ChainState& s, std::int32_t nfft);
// STOP's clearing: the means, and ring slots 0 .. nAvg of every bin.
void ClearRing(ChainState& s, std::int32_t nAvg);

// How far a block got; each stage's values below are valid from it on.
enum class BlockStage {
    None,
    Converted, // InMax, LevelColour, InLevelDb
    Stored,    // Slot: the ring column of this block
    Binned,    // Level, AvSpec, PeakAt
    Counted,   // AmpHist; StatCell when UseStatNoise
    Measured,  // SigPower, NoisePower, MeasuredNoisePower, StatLevel, NoiseLevel
    Peaked,    // PeakLevel, PeakHz
    Complete,  // InBand, the S/N figures, tracking; the slot advanced
};

enum class BlockEnd {
    Measured, // every step ran
    NoNoise,  // no power in the noise bands: message, bandwidth reset, run ends
    Fault,    // a step faulted (a silent bin, a peak or signal power of 0): run ends
};

struct BlockResult {
    BlockEnd End = BlockEnd::Measured;
    BlockStage Reached = BlockStage::None;
    std::string FaultText;         // what faulted, when End is Fault
    bool BandwidthReset = false;   // the noise count was below 1: message and reset, block went on
    std::int32_t InMax = 0;        // largest absolute sample
    std::int32_t LevelColour = 0;  // r + 256 g + 65536 b
    double InLevelDb = 0;
    std::int32_t Slot = 0;
    Peak PeakAt;                   // PeakBin, PeakPower
    std::int32_t StatCell = 0;     // histogram cell of the statistical level (when used)
    std::int32_t LabelStatLevel = 0; // the previous block's StatLevel: where the "Noise" labels go
    std::int32_t StatLevel = 0;
    double SigPower = 0;           // per bin
    double NoisePower = 0;         // per bin, measured or statistical
    double MeasuredNoisePower = 0; // per bin, measured (the plot's noise lines)
    double NoiseLevel = 0;         // 10 log10(NoisePower) - DispThresh
    double PeakLevel = 0;          // dB above DispThresh, 0 when the peak power is 0
    double PeakHz = 0;
    bool InBand = false;           // the S/N figures below are this block's
    double SN1HzDb = 0;            // S/N in 1 Hz (kept from before when not in band)
    double SNBinDb = 0;
    bool Tracked = false;          // tracking moved the centre: CFText is its new text
    std::string CFText;
};

// Processes one block of p.NFFT interleaved stereo frames (p checked with
// CheckRunSizes, s prepared for p.NFFT, s.Window holding p.NFFT points).  Never throws a Fault: a faulting
// step ends the block there (End Fault, Reached the last complete stage).
// Tracking and a bandwidth reset change p as the window's controls would.
BlockResult RunBlock(const std::int16_t* frames, ChainParams& p, ChainState& s);
