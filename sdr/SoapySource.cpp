#include "sdr/SoapySource.h"

#include <SoapySDR/Device.hpp>
#include <SoapySDR/Errors.h>
#include <SoapySDR/Formats.h>
#include <SoapySDR/Logger.hpp>
#include <SoapySDR/Registry.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <chrono>
#include <cmath>
#include <mutex>

#include "engine/NumberText.h"

namespace {

constexpr long kReadTimeoutUs = 200000; // one read's wait, so a stop is seen within 0.2 s
// A device that hands over more than this many seconds of samples beyond
// what its rate allows has lost its clock: soapysdr-module-audio repeats its
// last buffer without pause once the audio server has gone.  A backlog after
// a stopped process is bounded by the transport's buffers (some 5 s).
constexpr double kMaxAheadS = 10;

// SoapySDR's modules log to stderr; a refusal is our one line instead.
void Quiet(const SoapySDRLogLevel, const char*) {}

void QuietOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { SoapySDR::registerLogHandler(Quiet); });
}

// The modules also print their own chatter while they probe (RtAudio and
// ALSA without an audio server): muted around a listing or an opening on
// the main thread, where no line of ours can be under way.  Not around the
// reconnect probes, which run beside the main thread's lines.
class StderrMuted {
public:
    StderrMuted()
    {
        std::fflush(stderr);
        saved_ = dup(2);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) dup2(null, 2), close(null);
    }
    ~StderrMuted()
    {
        std::fflush(stderr);
        if (saved_ >= 0) dup2(saved_, 2), close(saved_);
    }
    StderrMuted(const StderrMuted&) = delete;
    StderrMuted& operator=(const StderrMuted&) = delete;

private:
    int saved_ = -1;
};

std::string Hz(double x) { return PlainText(std::round(x)); }

std::string RangesText(const SoapySDR::RangeList& ranges)
{
    std::string out;
    for (const SoapySDR::Range& r : ranges) {
        if (!out.empty()) out += ", ";
        out += r.minimum() == r.maximum() ? Hz(r.minimum()) : Hz(r.minimum()) + " .. " + Hz(r.maximum());
    }
    return out.empty() ? "none" : out;
}

bool InRanges(const SoapySDR::RangeList& ranges, double x)
{
    return std::any_of(ranges.begin(), ranges.end(),
                       [x](const SoapySDR::Range& r) { return x >= r.minimum() - 0.5 && x <= r.maximum() + 0.5; });
}

std::string Joined(const std::vector<std::string>& items)
{
    std::string out;
    for (const std::string& s : items) {
        if (!out.empty()) out += ", ";
        out += s;
    }
    return out.empty() ? "none" : out;
}

// The keys that name one device again: the driver and what tells it from its siblings.
std::string InputOf(const SoapySDR::Kwargs& k)
{
    std::string out;
    for (const char* key : {"driver", "remote", "remote:driver", "serial", "device_id"}) {
        const auto it = k.find(key);
        if (it == k.end()) continue;
        if (!out.empty()) out += ',';
        out.append(key).append("=").append(it->second);
    }
    return "soapy:" + out;
}

SoapySDR::Kwargs KwargsOf(const KeyValues& kv)
{
    SoapySDR::Kwargs out;
    for (const auto& [k, v] : kv) out[k] = v;
    return out;
}

} // namespace

std::vector<FoundSdr> FindSdrs(bool withoutSoundCards)
{
    QuietOnce();
    const StderrMuted muted;
    std::vector<SoapySDR::Kwargs> all;
    if (withoutSoundCards) {
        // Each module asked but soapysdr-module-audio, whose audio server
        // would hold the listing up.  A search for a driver no module has
        // loads the modules, once, as every search does.
        SoapySDR::Device::enumerate("driver=parlune-none");
        for (const auto& [driver, find] : SoapySDR::Registry::listFindFunctions()) {
            if (driver == "audio") continue;
            for (SoapySDR::Kwargs k : find({})) {
                k.emplace("driver", driver);
                all.push_back(std::move(k));
            }
        }
    } else {
        all = SoapySDR::Device::enumerate();
    }
    std::vector<FoundSdr> found;
    for (const SoapySDR::Kwargs& k : all) {
        const auto label = k.find("label");
        found.push_back({InputOf(k), label != k.end() ? label->second : k.at("driver")});
    }
    return found;
}

bool SdrPresent(const std::string& args)
{
    QuietOnce();
    return !SoapySDR::Device::enumerate(args).empty();
}

double DefaultLoOffsetHz(double sdrRate) { return sdrRate / 8; }

SoapySource::SoapySource(const SdrSettings& s, double analysisRate)
{
    QuietOnce();
    const std::string& name = name_ = "soapy:" + s.Args;
    const StderrMuted muted;
    const auto refuse = [&](const std::string& why) {
        if (device_ != nullptr) SoapySDR::Device::unmake(device_);
        device_ = nullptr;
        throw SdrError(name + ": " + why);
    };
    if (!SdrPresent(s.Args)) {
        std::vector<std::string> all;
        for (const FoundSdr& f : FindSdrs()) all.push_back(f.Input + " (" + f.Label + ")");
        refuse("no such device; SoapySDR found " + (all.empty() ? std::string("none") : Joined(all)));
    }
    try {
        device_ = SoapySDR::Device::make(s.Args);
    } catch (const std::exception& e) {
        refuse(std::string("does not open: ") + e.what());
    }
    const int rx = SOAPY_SDR_RX;
    const SoapySDR::RangeList rates = device_->getSampleRateRange(rx, 0);
    rate_ = s.RateHz;
    if (rate_ == 0) {
        // The lowest rate of at least 8 x the analysis rate.
        const double least = 8 * analysisRate;
        double best = 0;
        for (const SoapySDR::Range& r : rates) {
            const double candidate = std::max(r.minimum(), least);
            if (candidate <= r.maximum() && (best == 0 || candidate < best)) best = candidate;
        }
        if (best == 0)
            refuse("no sample rate of at least 8 x " + Hz(analysisRate) + " Hz; the device takes " + RangesText(rates) + " Hz");
        rate_ = best;
    } else if (!InRanges(rates, rate_)) {
        refuse("--sdr-rate " + Hz(rate_) + " Hz: the device takes " + RangesText(rates) + " Hz");
    }
    offset_ = s.LoOffsetHz.value_or(DefaultLoOffsetHz(rate_));
    if (std::abs(offset_) + analysisRate / 2 > rate_ / 2)
        refuse("--lo-offset " + Hz(offset_) + " Hz: the analysed band must lie within the device's " + Hz(rate_) + " Hz");
    const double centre = s.DialHz - offset_;
    const SoapySDR::RangeList freqs = device_->getFrequencyRange(rx, 0);
    if (!InRanges(freqs, centre))
        refuse("--dial " + Hz(s.DialHz) + " Hz (the device tuned to " + Hz(centre) + " Hz): the device tunes " +
               RangesText(freqs) + " Hz");
    if (s.AutoGain && !device_->hasGainMode(rx, 0)) refuse("--gain auto: the device has no automatic gain");
    if (s.GainDb) {
        const SoapySDR::Range g = device_->getGainRange(rx, 0);
        if (*s.GainDb < g.minimum() || *s.GainDb > g.maximum())
            refuse("--gain " + PlainText(*s.GainDb) + " dB: the device takes " + PlainText(g.minimum()) + " .. " +
                   PlainText(g.maximum()) + " dB");
    }
    if (s.Ppm != 0 && !device_->hasFrequencyCorrection(rx, 0)) refuse("--ppm: the device has no frequency correction");
    if (!s.Antenna.empty()) {
        const std::vector<std::string> antennas = device_->listAntennas(rx, 0);
        if (std::find(antennas.begin(), antennas.end(), s.Antenna) == antennas.end())
            refuse("--antenna " + s.Antenna + ": the device has " + Joined(antennas));
    }
    std::vector<std::string> keys;
    for (const SoapySDR::ArgInfo& a : device_->getSettingInfo()) keys.push_back(a.key);
    for (const auto& [k, v] : s.Settings)
        if (std::find(keys.begin(), keys.end(), k) == keys.end())
            refuse("--sdr-setting " + k + ": the device's settings are " + Joined(keys));
    try {
        for (const auto& [k, v] : s.Settings) device_->writeSetting(k, v);
        device_->setSampleRate(rx, 0, rate_);
        device_->setFrequency(rx, 0, centre);
        if (s.Ppm != 0) device_->setFrequencyCorrection(rx, 0, s.Ppm);
        if (device_->hasGainMode(rx, 0)) device_->setGainMode(rx, 0, s.AutoGain);
        if (s.GainDb) device_->setGain(rx, 0, *s.GainDb);
        if (!s.Antenna.empty()) device_->setAntenna(rx, 0, s.Antenna);
        stream_ = device_->setupStream(rx, SOAPY_SDR_CF32, {0}, KwargsOf(s.StreamArgs));
    } catch (const std::exception& e) {
        refuse(std::string("refused: ") + e.what());
    }
    if (stream_ == nullptr) refuse("no stream");
}

SoapySource::~SoapySource()
{
    stop_ = true;
    if (reader_.joinable()) reader_.join();
    // A remote device whose server has gone throws at each step: each is
    // tried, so what can be freed is.
    const auto attempt = [](auto step) {
        try {
            step();
        } catch (const std::exception&) {
        }
    };
    if (stream_ != nullptr) {
        attempt([this] { device_->deactivateStream(stream_); });
        attempt([this] { device_->closeStream(stream_); });
    }
    attempt([this] { SoapySDR::Device::unmake(device_); });
}

void SoapySource::Start(Take take, std::function<void()> lost)
{
    take_ = std::move(take);
    lost_ = std::move(lost);
    // soapysdr-module-audio, for one, throws here when its sound input is
    // open already in this process.
    std::string why = "refused";
    try {
        if (device_->activateStream(stream_) == 0) why.clear();
    } catch (const std::exception& e) {
        why = e.what();
    }
    if (!why.empty()) throw SdrError(name_ + ": does not start: " + why);
    reader_ = std::thread([this] { Read(); });
}

void SoapySource::Read()
{
    std::vector<std::complex<float>> buffer(std::max<std::size_t>(device_->getStreamMTU(stream_), 1024));
    bool gap = false;
    auto last = std::chrono::steady_clock::now();
    double ahead = 0; // samples beyond the rate so far, never below 0
    while (!stop_) {
        void* buffs[] = {buffer.data()};
        int flags = 0;
        long long timeNs = 0;
        int n = SOAPY_SDR_STREAM_ERROR;
        try {
            n = device_->readStream(stream_, buffs, buffer.size(), flags, timeNs, kReadTimeoutUs);
        } catch (const std::exception&) {
            // SoapyRemote throws once its server has gone: a loss like any other.
        }
        if (n > 0) {
            const auto now = std::chrono::steady_clock::now();
            ahead = std::max(0.0, ahead + n - rate_ * std::chrono::duration<double>(now - last).count());
            last = now;
            if (ahead > kMaxAheadS * rate_) {
                lost_();
                return;
            }
            take_(buffer.data(), static_cast<std::size_t>(n), gap);
            gap = false;
        } else if (n == SOAPY_SDR_OVERFLOW) {
            ++overflows_;
            gap = true;
        } else if (n != SOAPY_SDR_TIMEOUT && n != 0) {
            // The device or its server has gone (a remote one answers 0 while waiting).
            lost_();
            return;
        }
    }
}
