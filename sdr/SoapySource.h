// A SoapySDR receiver as a source of complex samples: the device found by
// its argument string, set up as the options say (rate, frequency, gain,
// correction, antenna, settings), read on a thread of its own.  Every
// refusal is one line naming what the device accepts.
#pragma once
#include <atomic>
#include <complex>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "sdr/SdrSettings.h"

namespace SoapySDR {
class Device;
class Stream;
} // namespace SoapySDR

// A receiver refused: the one line to show.
struct SdrError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A device SoapySDR finds: the string --input takes ("soapy:driver=...") and its label.
struct FoundSdr {
    std::string Input, Label;
};
// withoutSoundCards: skips soapysdr-module-audio, which would wait for an
// audio server that does not answer.
std::vector<FoundSdr> FindSdrs(bool withoutSoundCards = false);
// True when SoapySDR finds a device for these arguments (it may take a
// network round trip for a remote one: call it off the event loop).
bool SdrPresent(const std::string& args);

class SoapySource {
public:
    // Finds, opens and sets up the device for an analysis at analysisRate
    // Hz; throws SdrError.
    SoapySource(const SdrSettings& s, double analysisRate);
    ~SoapySource();
    SoapySource(const SoapySource&) = delete;
    SoapySource& operator=(const SoapySource&) = delete;

    double RateHz() const { return rate_; }
    // Where the dial lies in the device's band, Hz from its centre.
    double OffsetHz() const { return offset_; }

    // Samples as they come, on the reading thread; gapBefore: the device
    // dropped samples just before these (an overflow).
    using Take = std::function<void(const std::complex<float>* samples, std::size_t n, bool gapBefore)>;
    // Starts reading (throws SdrError when the device will not); `lost` is called once, on the reading thread, when
    // the device stops for good (unplugged, a remote server gone).
    void Start(Take take, std::function<void()> lost);
    std::int64_t Overflows() const { return overflows_.load(); }

private:
    void Read();

    std::string name_; // "soapy:ARGS", for messages
    SoapySDR::Device* device_ = nullptr;
    SoapySDR::Stream* stream_ = nullptr;
    double rate_ = 0, offset_ = 0;
    Take take_;
    std::function<void()> lost_;
    std::atomic<bool> stop_{false};
    std::atomic<std::int64_t> overflows_{0};
    std::thread reader_;
};

// The default offset of the device's centre below the dial: an eighth of
// its rate, so the centre's DC spike stays far outside the analysed band.
double DefaultLoOffsetHz(double sdrRate);
