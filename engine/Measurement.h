// Signal and noise measurement of one block over the averaged spectrum:
// peak search, band sums around the peak, noise per bin (measured or from the
// histogram), and the signal-to-noise figures.  Split into the steps the run
// loop interleaves with its drawing.
#pragma once
#include <cstdint>
#include <optional>

#include "engine/Arrays.h"

// The strongest bin so far in a block; reset to 0 / 0 at each block start.
struct Peak {
    std::int32_t PeakBin = 0;
    double PeakPower = 0;
};

// Where the peak may be searched.  inBandOnly restricts it to
// cfBin - sigBWBins/2 .. cfBin + sigBWBins/2 (half-widths not rounded).
struct PeakRule {
    std::int32_t CFBin = 0;
    std::int32_t SigBWBins = 0;
    bool InBandOnly = false;
};

// Peak search for bin k with mean power p: strict, so of equal maxima the
// lowest bin stays the peak.
void PeakStep(Peak& peak, std::int32_t k, double p, const PeakRule& rule);

// One bin of the block's loop: avSpec[k] := mean over the ring (BinMean),
// peak search, and returns the bin's level L(k) in dB (BinLevel).
double BinStep(const SpecRing& ring, std::int32_t nAvg, std::int32_t k, const PeakRule& rule, float* avSpec,
               Peak& peak);

// The whole bin loop, k = fMinBin .. fMaxBin ascending.  When level is not
// null, level[k] receives L(k) for the caller to draw.
Peak BinLoop(const SpecRing& ring, std::int32_t nAvg, std::int32_t fMinBin, std::int32_t fMaxBin,
             const PeakRule& rule, float* avSpec, double* level);

// Sums of the averaged powers around c = peakBin: the signal band
// c - B/2 .. c + B/2 and the noise bands below c - (G + 0.5) B and above
// c + (G + 0.5) B, within fMinBin .. fMaxBin.
struct BandSums {
    double SigPower = 0;
    double NoisePower = 0;
};
BandSums SumBands(const float* avSpec, std::int32_t fMinBin, std::int32_t fMaxBin, std::int32_t peakBin,
                  std::int32_t sigBWBins, double guardFactor);

// The noise bands hold no power: the run ends with the bandwidth reset.
inline bool NoNoise(const BandSums& s) { return s.NoisePower <= 0; }

// Noise bin count (the divisor): (fMaxBin - fMinBin) - B (G + 1).  Below 1
// the bandwidth is reset and the count taken as 1.
double NoiseBinCount(std::int32_t fMinBin, std::int32_t fMaxBin, std::int32_t sigBWBins, double guardFactor);
inline bool NoiseCountTooSmall(double n) { return n < 1; }


// The texts of the no-noise message.
inline constexpr const char* kNoNoiseMessage = "Noise measurement not possible, Signal bandwidth reset";

// Per-bin powers: noise sum / n and signal sum / sigBWBins (the bandwidth
// after a reset).  Faults on a zero divisor.
BandSums PerBin(const BandSums& sums, double n, std::int32_t sigBWBins);

// Statistical level in whole dB above the threshold: statNoiseDb - dispThresh
// rounded half to even when statNoiseDb > 0, else 0.
std::int32_t StatLevelOf(double statNoiseDb, std::int32_t dispThresh);
// Noise power per bin that the statistical level stands for:
// 10^((statLevel + dispThresh) / 10).
double StatNoisePower(std::int32_t statLevel, std::int32_t dispThresh);

// Peak level above the threshold: L(peakBin) - dispThresh, 0 when the peak
// bin's power is 0.
double PeakLevelOf(double peakPower, std::int32_t dispThresh);

// The peak lies in the user's signal band: |cfBin - peakBin| <= sigBWBins / 2.
bool PeakInBand(std::int32_t cfBin, std::int32_t peakBin, std::int32_t sigBWBins);

// Signal-to-noise figures, computed only when the peak lies in the band.
// sigBWHz is the signal bandwidth in hertz as the user's text reads now.
struct SNFigures {
    double SN1HzDb = 0;  // 10 log10(S x SigPower / NoisePower); unchanged when NoisePower <= 0
    double SNBinDb = 0;  // 10 log10(B x (SigPower / NoisePower) / WindENBW)
};
// previousSN1HzDb is kept when noisePower is not positive.  A signal power of
// 0 faults (logarithm of 0).
SNFigures SignalToNoise(double sigPower, double noisePower, double sigBWHz, std::int32_t sigBWBins,
                        double windENBW, double previousSN1HzDb);

// S/N in 2500 Hz from S/N in 1 Hz (the constant is 33.98, not 10 log10 2500).
inline constexpr double kDb1HzTo2500Hz = 33.98;
inline double SN2500HzDb(double sn1HzDb) { return sn1HzDb - kDb1HzTo2500Hz; }

// Noise-corrected S/N in 2500 Hz: the noise power per bin is taken out of the
// signal band's power per bin before the ratio, which is then normalised as
// SN2500HzDb does: 10 log10(sigBWHz (sigPower - noisePower) / noisePower)
// - 33.98.  Without the correction the noise inside the band counts as signal
// (about 1 dB high at -10 dB).  Empty when the difference or the noise power
// is not positive.
std::optional<double> CorrectedSN2500HzDb(double sigPower, double noisePower, double sigBWHz);
