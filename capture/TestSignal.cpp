#include "capture/TestSignal.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

// Longest wait between two deliveries, ms: a queued buffer fills in steps
// like a real device's, so a reset returns what arrived so far.
constexpr int kMaxTickMs = 50;
// Most audio kept for a reader that falls behind (a stopped process), s;
// older audio is gone, as a sound server's buffer overruns.
constexpr std::int64_t kMaxBacklogS = 2;

class TestSignalStream final : public InputStream {
public:
    TestSignalStream(const TestSignalKind& kind, const WAVEFORMATEX& format, FrameSink sink)
        : gen_(kind, format.nSamplesPerSec), rate_(format.nSamplesPerSec), channels_(format.nChannels),
          sink_(std::move(sink))
    {
        clock_.start();
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    }

    void Want(std::size_t frames) override
    {
        if (frames == 0) {
            wanted_ = 0;
            timer_.stop();
            return;
        }
        // Nothing was wanted: the frames in between are a gap that is never made.
        if (wanted_ == 0)
            next_ = std::max(next_, FramesDue());
        wanted_ = frames;
        Schedule();
    }

private:
    // Frames that real time has produced since the open.
    std::int64_t FramesDue() const
    {
        return static_cast<std::int64_t>(static_cast<long double>(clock_.nsecsElapsed()) * rate_ / 1e9L);
    }

    void Schedule()
    {
        const long double doneNs = static_cast<long double>(next_ + static_cast<std::int64_t>(wanted_)) * 1e9L / rate_;
        const long double waitMs = std::ceil((doneNs - clock_.nsecsElapsed()) / 1e6L);
        timer_.start(static_cast<int>(std::clamp<long double>(waitMs, 0, kMaxTickMs)));
    }

    void Tick()
    {
        next_ = std::max(next_, FramesDue() - kMaxBacklogS * rate_);
        const std::int64_t ready = std::min<std::int64_t>(FramesDue() - next_, static_cast<std::int64_t>(wanted_));
        if (ready > 0) {
            const auto n = static_cast<std::size_t>(ready);
            scratch_.resize(n * channels_);
            gen_.Generate(next_, scratch_.data(), n, channels_);
            // Book-keeping first: the sink may queue the next buffer at once.
            next_ += ready;
            wanted_ -= n;
            sink_(reinterpret_cast<const char*>(scratch_.data()), n * channels_ * sizeof(std::int16_t));
        }
        if (wanted_ > 0 && !timer_.isActive())
            Schedule();
    }

    TestSignalGenerator gen_;
    std::uint32_t rate_;
    int channels_;
    FrameSink sink_;
    QElapsedTimer clock_;
    QTimer timer_;
    std::int64_t next_ = 0;    // next frame to deliver
    std::size_t wanted_ = 0;   // frames still wanted
    std::vector<std::int16_t> scratch_;
};

class TestSignalBackend final : public InputBackend {
public:
    explicit TestSignalBackend(const TestSignalKind& kind) : kind_(kind) {}
    std::string Name() const override { return kind_.name; }
    std::string ShortName() const override { return kind_.shortName; }
    std::uint32_t Formats() const override { return WAVE_FORMAT_1S16; }
    std::unique_ptr<InputStream> Open(const WAVEFORMATEX& format, FrameSink sink, MMRESULT*) override
    {
        return std::make_unique<TestSignalStream>(kind_, format, std::move(sink));
    }

private:
    TestSignalKind kind_;
};

} // namespace

TestSignalGenerator::TestSignalGenerator(const TestSignalKind& kind, std::uint32_t rate)
    : kind_(kind), rate_(rate),
      amplitude_(kTestNoiseSigma * std::sqrt(10000.0 / rate) * std::pow(10.0, kind.snrDb / 20)), rng_(kind.seed)
{
}

double TestSignalGenerator::FrequencyAt(double seconds) const
{
    if (!kind_.drifting)
        return kTestToneHz;
    return kTestToneHz + kDriftHz * std::sin(kTwoPi * seconds / kDriftPeriodS);
}

double TestSignalGenerator::Phase(std::int64_t frame) const
{
    // Whole cycles of the 1000 Hz carrier are taken out in integers, so the
    // phase stays exact however long the device runs.
    const auto carrierTicks = static_cast<double>((frame * static_cast<std::int64_t>(kTestToneHz)) % rate_);
    double phase = kTwoPi * carrierTicks / rate_;
    if (kind_.drifting) {
        // Integral of 2 pi x kDriftHz x sin(2 pi t / T) dt, zero at t = 0.
        const double t = static_cast<double>(frame) / rate_;
        phase += kDriftHz * kDriftPeriodS * (1 - std::cos(kTwoPi * t / kDriftPeriodS));
    }
    return phase;
}

double TestSignalGenerator::Gaussian()
{
    // Box-Muller: two independent normal values per pair of uniforms.
    if (haveSpare_) {
        haveSpare_ = false;
        return spare_;
    }
    constexpr double kScale = 1.0 / 9007199254740992.0; // 2^-53
    const double u1 = (static_cast<double>(rng_() >> 11) + 1) * kScale; // (0, 1]
    const double u2 = static_cast<double>(rng_() >> 11) * kScale;       // [0, 1)
    const double r = std::sqrt(-2 * std::log(u1));
    spare_ = r * std::sin(kTwoPi * u2);
    haveSpare_ = true;
    return r * std::cos(kTwoPi * u2);
}

void TestSignalGenerator::Generate(std::int64_t first, std::int16_t* out, std::size_t frames, int channels)
{
    for (std::size_t i = 0; i < frames; ++i) {
        const double v = amplitude_ * std::cos(Phase(first + static_cast<std::int64_t>(i))) +
                         kTestNoiseSigma * Gaussian();
        const auto s = static_cast<std::int16_t>(std::clamp(std::nearbyint(v), -32768.0, 32767.0));
        for (int c = 0; c < channels; ++c)
            *out++ = s;
    }
}

void AppendTestSignals(BackendList& list)
{
    for (const auto& kind : kTestSignals)
        list.push_back(std::make_shared<TestSignalBackend>(kind));
}
