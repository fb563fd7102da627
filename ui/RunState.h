// The measurement's shared state: run parameters (in bins), handles, flags,
// the capture buffer and the engine's arrays.  The main window inherits it,
// so handlers use these names as they stand.  NFFT and WindFn are
// program-wide (engine/Shared.h).
#pragma once
#include <cstdint>

#include "capture/WaveIn.h"
#include "engine/Arrays.h"
#include "engine/BlockChain.h"
#include "engine/Shared.h"

struct RunState {
    // Run parameters.
    double SampleRate = 0;      // Hz
    std::int32_t CFBin = 0;     // centre of the signal band, bin
    std::int32_t SigBWBins = 0; // signal bandwidth, bins
    std::int32_t FMinBin = 0;   // lowest analysed bin
    std::int32_t FMaxBin = 0;   // highest analysed bin
    double GuardFactor = 0;     // guard band per side, multiple of the signal bandwidth
    std::int32_t NAvg = 0;      // blocks in the running mean, 1 .. 63
    double WindENBW = 0;        // window's equivalent noise bandwidth, bins
    std::int16_t DispThresh = 0; // dB at the plot's bottom edge

    // Handles, flags and results of a run.
    HWAVEIN hWaveIn = 0;        // kept after close; only a failed open writes 0
    bool StopReq = false;
    bool Running = false;       // a run loop is active; START does nothing meanwhile
    std::int32_t LogEnabled = 0;
    std::int32_t PeakBin = 0;
    double InLevelDb = 0;       // input level of the last non-silent block, dB

    // Sound input records.
    WAVEFORMATEX WaveFmt;
    WAVEHDR WaveHdr;

    // The capture buffer, for the largest block; the engine's arrays are
    // sized for each run.
    FixedArray<std::int16_t, kBufTop> InBuf;  // interleaved stereo frames
    ChainState Chain;
};
