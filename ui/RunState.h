// The measurement's state: run parameters (in bins), the input, flags, the
// capture buffer and the engine's arrays.  The main window inherits it, so
// handlers use these names as they stand.
#pragma once
#include <cstdint>

#include "capture/CaptureSession.h"
#include "engine/Arrays.h"
#include "engine/BlockChain.h"
#include "engine/RunSizes.h"

struct RunState {
    // Run parameters.
    std::int32_t NFFT = 0;      // FFT size in complex points (= stereo frames per block); 0 until start-up reads it
    double SampleRate = 0;      // Hz
    std::int32_t CFBin = 0;     // centre of the signal band, bin
    std::int32_t SigBWBins = 0; // signal bandwidth, bins
    std::int32_t FMinBin = 0;   // lowest analysed bin
    std::int32_t FMaxBin = 0;   // highest analysed bin
    double GuardFactor = 0;     // guard band per side, multiple of the signal bandwidth
    std::int32_t NAvg = 0;      // blocks in the running mean, 1 .. kMaxAvg
    double WindENBW = 0;        // window's equivalent noise bandwidth, bins
    std::int16_t DispThresh = 0; // dB at the plot's bottom edge

    // The input, flags and results of a run.
    CaptureSession Input;       // its handle is kept after close; only a failed open writes 0
    bool StopReq = false;
    bool Running = false;       // a run loop is active; START does nothing meanwhile
    std::int32_t LogEnabled = 0;
    std::int32_t PeakBin = 0;
    double InLevelDb = 0;       // input level of the last non-silent block, dB

    // The capture format of the run.
    WAVEFORMATEX WaveFmt;

    // The capture buffer, for the largest block; the engine's arrays are
    // sized for each run.
    FixedArray<std::int16_t, kBufTop> InBuf;  // interleaved stereo frames
    ChainState Chain;
};
