// A device, "Fed input", that hands over every queued buffer at once, so
// whole runs go through the program without waiting for real time.  At
// 12000 Hz: a 1000 Hz tone in Gaussian noise of standard deviation 1000 with
// S/N 20 dB in 2500 Hz, the same on both channels, its phase running on from
// the open; from buffer silentFrom on (when not negative) all zeros.
#pragma once
#include <QTimer>
#include <numbers>

#include "capture/InputBackend.h"
#include "support/ToneNoise.h"

class FeedInput final : public InputBackend {
public:
    explicit FeedInput(int silentFrom = -1) : silentFrom_(silentFrom) {}
    // Plays a recording of interleaved stereo frames instead, block after block with no gaps, then zeros.
    explicit FeedInput(std::vector<std::int16_t> recording) : silentFrom_(-1), recording_(std::move(recording)) {}
    std::string Name() const override { return "Fed input"; }
    std::uint32_t Formats() const override { return WAVE_FORMAT_1S16; }
    std::unique_ptr<InputStream> Open(const WAVEFORMATEX&, FrameSink sink, MMRESULT*) override
    {
        return std::make_unique<Stream>(this, std::move(sink));
    }

    int buffers = 0; // buffers delivered since the backend was made (counted from 0)

private:
    struct Stream final : InputStream {
        Stream(FeedInput* owner, FrameSink sink) : owner(owner), sink(std::move(sink)) {}
        void Want(std::size_t frames) override
        {
            if (frames > 0) // from the event queue, as a device would, never inside the call
                QTimer::singleShot(0, &context, [this, frames] { Deliver(frames); });
        }
        void Deliver(std::size_t frames)
        {
            const int buffer = owner->buffers++;
            const double first = double(std::exchange(next, next + std::int64_t(frames)));
            data.assign(2 * frames, 0);
            const auto& rec = owner->recording_;
            if (!rec.empty()) {
                const std::size_t from = std::min(rec.size(), 2 * static_cast<std::size_t>(first));
                std::copy(rec.begin() + from, rec.begin() + std::min(rec.size(), from + 2 * frames), data.begin());
            } else if (owner->silentFrom_ < 0 || buffer < owner->silentFrom_) {
                ToneNoise t{12000, 1000, 20, 1000, static_cast<std::uint32_t>(buffer + 1), false};
                const std::vector<double> noise = t.Samples(static_cast<std::int64_t>(frames));
                const double a = t.Amplitude(), step = 2 * std::numbers::pi * t.ToneHz / 12000;
                for (std::size_t i = 0; i < frames; ++i)
                    data[2 * i] = data[2 * i + 1] = static_cast<std::int16_t>(
                        std::clamp(std::nearbyint(a * std::sin(step * (first + double(i))) + noise[i]), -32768.0, 32767.0));
            }
            sink(reinterpret_cast<const char*>(data.data()), data.size() * sizeof(std::int16_t));
        }
        FeedInput* owner;
        FrameSink sink;
        QObject context; // pending deliveries end with the stream
        std::vector<std::int16_t> data;
        std::int64_t next = 0;
    };

    int silentFrom_;
    std::vector<std::int16_t> recording_;
};
