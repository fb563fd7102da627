#include "measure/Monitor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "capture/DeviceList.h"
#include "capture/InputBackend.h"
#include "engine/Fault.h"
#include "measure/MqttOutput.h"
#include "measure/Stop.h"
#include "sdr/SdrInput.h"

namespace {

constexpr int kRetryMs = 3000;     // between asks whether a lost input's server is back
constexpr int kListWaitMs = 1000;  // for the device list once the server has answered
constexpr double kQueuedS = 0.25;  // audio kept queued, s
// A stretch without audio shorter than this is the sound server's and the
// scheduler's jitter, not a gap (a stopped process, a suspended machine), s.
constexpr double kMinGapS = 0.5;
constexpr double kMqttIntervalS = 10; // between state messages unless --interval says

const char* WhyNotOpen(MMRESULT r)
{
    switch (r) {
    case MMSYSERR_BADDEVICEID: return "the device has gone";
    case WAVERR_BADFORMAT: return "it refuses the format";
    default: return "the device did not open";
    }
}

} // namespace

Monitor::Monitor(const MonitorConfig& c, std::uint32_t deviceId, const std::string& device, Metrics* metrics)
    : o_(c.Opts), name_(c.Name), device_(device), named_(c.FromFile), n_(o_.Measure.FftSize),
      blockS_(n_ / static_cast<double>(o_.Rate)), p_(RunParams(o_, o_.Rate, c.Name)), id_(deviceId)
{
    try {
        StartRun(state_, p_, o_.Measure.Window);
    } catch (const Fault& f) {
        Fail(kExitUsage, name_ + ": " + f.what());
    }
    if (!o_.Plot.empty()) CheckWritable(o_.Plot);
    if (metrics != nullptr) series_ = &metrics->Add(name_, blockS_);
    if (IsSdrInput(o_.Input)) sdr_ = std::make_shared<SdrBackend>(SdrOf(o_));
}

// Opens the input and queues its buffers; throws Stop (status 1) when it does not open.
void Monitor::Open(std::shared_ptr<Output> out, bool pictured)
{
    out_ = std::move(out);
    const MMRESULT r = Start();
    if (r != MMSYSERR_NOERROR && sdr_ != nullptr && !sdr_->LastError().empty()) Fail(kExitUsage, sdr_->LastError());
    if (r != MMSYSERR_NOERROR)
        Fail(kExitFile, device_ + ": cannot open the input for 16-bit stereo at " + std::to_string(o_.Rate) +
                            " Hz: " + WhyNotOpen(r));
    if (mqtt_ != nullptr)
        mqttOut_ = std::make_unique<MqttOutput>(*mqtt_, name_, o_.IntervalTyped ? o_.Measure.IntervalS : kMqttIntervalS,
                                                o_.MqttDiscovery, o_.MqttDiscoveryRemove, series_);
    report_ = std::make_unique<Report>(o_, *out_, name_, true, named_ ? name_ : "", pictured,
                                       std::vector<BlockOutput*>{series_, mqttOut_.get()});
    if (series_ != nullptr) series_->Up();
    if (series_ != nullptr && sdr_ != nullptr) series_->Dial(*o_.DialHz);
    clock_.start();
}

// Measures every full buffer, at most one block behind; false when the
// input is lost for good (no --reconnect).
bool Monitor::Service()
{
    if (input_ == nullptr) return true; // waiting to reopen
    while (const std::int16_t* frames = input_->Full()) {
        const double end = NowS();
        // The next buffer already fills; this one goes back after use.
        Measure(frames, end);
        if (!input_->Requeue()) break;
    }
    // Overflows: the buffer that held one was refilled, not measured.
    if (const std::uint32_t gaps = input_->Gaps(); gaps != gapsSeen_) {
        overflows_ += gaps - gapsSeen_;
        if (series_ != nullptr) series_->Overflows(gaps - gapsSeen_);
        gapsSeen_ = gaps;
    }
    if (!input_->Lost()) return true;
    input_.reset();
    if (up_ && series_ != nullptr) series_->Lost();
    if (up_ && mqttOut_ != nullptr) mqttOut_->Lost();
    if (up_) out_->Flush();
    if (!o_.Reconnect) return false;
    if (up_) {
        std::fprintf(stderr, "parlune-measure: %s: input lost; opening it again when it comes back\n", name_.c_str());
        lostAt_ = NowS();
        ++losses_;
    }
    up_ = false;
    // Asked off the event loop: a stopped server never holds up the others.
    if (sdr_ != nullptr)
        watch_ = std::make_unique<AudioServerWatch>([args = SdrOf(o_).Args] { return SdrPresent(args); },
                                                    [this] { return Reopen(); }, kRetryMs);
    else
        watch_ = std::make_unique<AudioServerWatch>([this] { return Reopen(); }, kRetryMs);
    return true;
}

Monitor::~Monitor() = default;

void Monitor::Finish(double endS)
{
    if (!up_) awayS_ += endS - lostAt_;
    report_->Finish({endS, Coverage(endS), {losses_, awayS_, gapS_, overflows_}});
}

MMRESULT Monitor::Start()
{
    input_ = std::make_unique<CaptureSession>();
    gapsSeen_ = 0;
    const WAVEFORMATEX format = Stereo16Format(static_cast<std::uint32_t>(o_.Rate));
    const MMRESULT r = sdr_ != nullptr ? input_->Open(sdr_, format) : input_->Open(id_, format);
    // Enough buffers for a quarter of a second, at least two: the input
    // hands audio over in pieces of up to 100 ms, and what finds no queued
    // buffer is lost.
    const int buffers = std::max(2, static_cast<int>(std::ceil(kQueuedS / blockS_)));
    if (r == MMSYSERR_NOERROR && input_->Start() == MMSYSERR_NOERROR && input_->QueueBuffers(buffers, BlockBytes(n_)))
        return MMSYSERR_NOERROR;
    input_.reset();
    return r == MMSYSERR_NOERROR ? MMSYSERR_ERROR : r;
}

// The server answers again: the device list afresh, the input found by its
// name; true once it is open.
bool Monitor::Reopen()
{
    if (sdr_ == nullptr) {
        SetServerWait(kListWaitMs);
        const std::vector<std::string> names = CaptureDeviceNames();
        const auto it = std::find(names.begin(), names.end(), device_);
        if (it == names.end()) return false;
        id_ = static_cast<std::uint32_t>(it - names.begin());
    }
    if (Start() != MMSYSERR_NOERROR) return false;
    std::fprintf(stderr, "parlune-measure: %s: input back\n", name_.c_str());
    up_ = true;
    resumed_ = true;
    awayS_ += NowS() - lostAt_;
    if (series_ != nullptr) series_->Up();
    if (mqttOut_ != nullptr) mqttOut_->Up();
    return true;
}

void Monitor::Measure(const std::int16_t* frames, double end)
{
    if (!resumed_) {
        // Audio that never came while the input was up: the process or the
        // machine was stopped.
        const double gap = end - last_ - blockS_;
        if (gap > std::max(blockS_, kMinGapS)) {
            gapS_ += gap;
            if (series_ != nullptr) series_->Gap(gap);
        }
    }
    resumed_ = false;
    if (first_ < 0) first_ = end - blockS_;
    ++captured_;
    report_->Block(RunBlock(frames, p_, state_), p_, std::max(0.0, end - blockS_), end);
    last_ = end;
    if (end - plotted_ >= 60) {
        report_->WritePlot(end);
        plotted_ = end;
    }
}

// The share of the audio since the first block that went through the engine;
// an input still lost at the end counts as missing up to the end.
std::optional<double> Monitor::Coverage(double endS) const
{
    const double last = up_ ? last_ : endS;
    if (first_ < 0 || last <= first_) return std::nullopt;
    return std::min(1.0, captured_ * blockS_ / (last - first_));
}
