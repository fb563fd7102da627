// Recordings through the SDR tuner (sdr/Tuner.h): raw IQ files (cu8, cs8,
// cs16, cf32) read in chunks, and baseband WAV files shifted or brought to a
// lower rate, handed on as whole blocks of 16-bit I/Q frames at the analysis
// rate like any other recording.
#pragma once
#include <complex>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "measure/Options.h"
#include "sdr/IqSamples.h"
#include "sdr/Tuner.h"

// The raw IQ format of a recording: --iq-format, else its extension;
// nothing for a file that libsndfile reads.
std::optional<IqFormat> RawIqFormat(const Options& o, const std::string& path);

struct TunePlan {
    std::uint32_t InputRate = 0, AnalysisRate = 0; // Hz
    double OffsetHz = 0;                           // dial - centre
};

// How a recording at inputRate Hz (a raw file: --sdr-rate, 0 when not
// given) is tuned; nothing for a WAV file measured as it is.  Throws Stop
// (status 2) for a missing rate or centre, an analysis rate above the
// recording's, or a dial whose analysed band leaves the recording's.
std::optional<TunePlan> PlanTuning(const Options& o, const std::string& path, double inputRate, bool raw);

// Complex samples of a recording, full scale 1.0.
class IqSource {
public:
    virtual ~IqSource() = default;
    // Fills out[0 .. max) as far as the recording goes; 0 at its end.
    virtual std::size_t Read(std::complex<float>* out, std::size_t max) = 0;
    // Samples in the whole recording.
    virtual std::int64_t Samples() const = 0;
};

// "PATH: the sample at T s is not a finite number (NaN or infinity)", status 1.
[[noreturn]] void NotFinite(const std::string& path, double seconds);

// A raw IQ file, read a chunk at a time; a trailing part of a sample is
// ignored, a cf32 sample that is NaN or infinite stops it (status 1).
// Throws Stop (status 1) for a file that cannot be opened.
std::unique_ptr<IqSource> OpenRawIq(const std::string& path, IqFormat format, double rate);

// A recording's samples through the tuner, a block of frames at a time.
class TunedBlocks {
public:
    // Throws Stop (status 2) when the tuner refuses the rates.
    TunedBlocks(const std::string& path, const TunePlan& plan, std::unique_ptr<IqSource> source);
    double Rate() const { return rate_; }
    // Frames the whole recording gives, after the tuner's settling.
    std::int64_t Frames() const;
    // Recording position of the first frame, s: the frames dropped while
    // the filters settle.
    double LeadS() const { return static_cast<double>(tuner_->SettleFrames()) / rate_; }
    // The next n frames into out (2n values); false at the end (a last,
    // incomplete block is dropped).
    bool Next(std::int32_t n, std::vector<std::int16_t>& out);

private:
    std::unique_ptr<IqSource> source_;
    std::unique_ptr<Tuner> tuner_;
    double rate_, inputRate_;
    std::vector<std::complex<float>> in_;
    std::vector<std::int16_t> pending_; // tuned frames not yet handed on, from used_
    std::size_t used_ = 0;
};
