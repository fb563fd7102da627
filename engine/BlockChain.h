// One captured block through the whole measurement: conversion, transform,
// ring, bin loop, histogram, signal and noise, results.  The headless
// analyser uses it as is; the window's run loop calls the same pieces with
// its drawing in between, so both give the same numbers.
#pragma once
#include <cstdint>

#include "engine/Arrays.h"
#include "engine/Conversion.h"
#include "engine/Histogram.h"
#include "engine/Measurement.h"
#include "engine/Shared.h"

// Run parameters, read afresh at every block (the window's controls may
// change them between blocks; tracking and a bandwidth reset change them here).
struct ChainParams {
    double SampleRate = 12000;   // Hz
    std::int32_t NFFT = 8192;    // points per block
    std::int32_t FMinBin = 0;
    std::int32_t FMaxBin = 0;
    std::int32_t CFBin = 0;
    std::int32_t SigBWBins = 0;
    double SigBWHz = 100;        // signal bandwidth as its text reads, Hz
    double GuardFactor = 0.5;
    std::int32_t NAvg = 1;
    double WindENBW = 2;
    std::int32_t DispThresh = 0;
    bool Squared = false;        // "Square Input"
    bool Swapped = false;        // "Swap Sideband I/Q Mode"
    bool UseStatNoise = false;
    bool PeakInSigBand = false;
    bool TrackSig = false;
};

// Arrays and values that live for a run.  The window table is the shared
// WindFn, built by SelectWindow for the run's NFFT.
struct ChainState {
    FixedArray<float, kBufTop> FFTBuf;
    SpecRing SpecHist;
    FixedArray<float, kMaxNFFT> AvSpec;
    FixedArray<std::int32_t, kHistTop> AmpHist;
    std::int32_t Slot = 0;
    double StatNoiseDb = 0;
    std::int32_t StatLevel = 0;
    double SN1HzDb = 0;
    double InLevelDb = 0;
};

enum class BlockEnd {
    Measured,    // every step ran
    NoNoise,     // no power in the noise bands: message, bandwidth reset, run ends
};

struct BlockResult {
    BlockEnd End = BlockEnd::Measured;
    bool BandwidthReset = false;   // the noise count was below 1: message and reset, block went on
    std::int32_t InMax = 0;        // largest absolute sample
    std::int32_t LevelColour = 0;
    Peak PeakAt;                   // PeakBin, PeakPower
    std::int32_t StatCell = 0;     // histogram cell of the statistical level (when used)
    double SigPower = 0;           // per bin
    double NoisePower = 0;         // per bin, measured or statistical
    double MeasuredNoisePower = 0; // per bin, measured (the plot's noise lines)
    double PeakLevel = 0;          // dB above DispThresh, 0 when the peak power is 0
    double NoiseLevel = 0;         // 10 log10(NoisePower) - DispThresh
    double PeakHz = 0;
    bool InBand = false;           // the S/N figures below are this block's
    double SN1HzDb = 0;            // S/N in 1 Hz (kept from before when not in band)
    double SNBinDb = 0;
};

// Clears the ring (bins 0 .. nfft, all slots) and the run's carried values,
// as a fresh run starts.
void StartChain(ChainState& s, std::int32_t nfft);

// Processes one block of p.NFFT interleaved stereo frames.  Advances the ring
// slot when the block completes.  Faults (a silent bin, a peak or signal power
// of 0) propagate as Fault: the run ends there.
BlockResult RunBlock(const std::int16_t* frames, ChainParams& p, ChainState& s);
