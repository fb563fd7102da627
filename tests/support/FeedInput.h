// A device that hands over every queued buffer at once, filled by the test's
// generator, so whole runs go through the program without waiting for real
// time.  Frames are numbered from the open; buffers counts the deliveries.
#pragma once
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

#include "capture/InputBackend.h"
#include "support/ToneNoise.h"

class FeedInput final : public InputBackend {
public:
    // Fills `frames` interleaved stereo frames; `buffer` counts from 0.
    using Generator = std::function<void(int buffer, std::int64_t firstFrame, std::int16_t* out, std::size_t frames)>;

    FeedInput(std::string name, Generator gen) : name_(std::move(name)), gen_(std::move(gen)) {}
    std::string Name() const override { return name_; }
    std::uint32_t Formats() const override { return WAVE_FORMAT_1S16; }
    std::unique_ptr<InputStream> Open(const WAVEFORMATEX&, FrameSink sink, MMRESULT*) override
    {
        return std::make_unique<Stream>(this, std::move(sink));
    }

    int buffers = 0; // buffers delivered since the backend was made

private:
    struct Stream final : InputStream {
        Stream(FeedInput* owner, FrameSink sink) : owner(owner), sink(std::move(sink)) {}
        void Want(std::size_t frames) override
        {
            if (frames == 0)
                return;
            // From the event queue, as a device would, never inside the call.
            QTimer::singleShot(0, &context, [this, frames] {
                data.assign(2 * frames, 0);
                owner->gen_(owner->buffers++, next, data.data(), frames);
                next += static_cast<std::int64_t>(frames);
                sink(reinterpret_cast<const char*>(data.data()), data.size() * sizeof(std::int16_t));
            });
        }
        FeedInput* owner;
        FrameSink sink;
        QObject context; // pending deliveries end with the stream
        std::vector<std::int16_t> data;
        std::int64_t next = 0;
    };

    std::string name_;
    Generator gen_;
};

// A tone in Gaussian noise of standard deviation 1000 with the stated S/N in
// 2500 Hz, the same on both channels, at hz(buffer number).  From buffer
// silentFrom on (when not negative) every sample is 0.
inline FeedInput::Generator ToneFeed(double rate, std::function<double(int buffer)> hz, double snrDb = 20,
                                     int silentFrom = -1)
{
    return [=](int buffer, std::int64_t first, std::int16_t* out, std::size_t frames) {
        if (silentFrom >= 0 && buffer >= silentFrom)
            return;
        ToneNoise t{rate, hz(buffer), snrDb, 1000, static_cast<std::uint32_t>(buffer + 1), false};
        const std::vector<double> noise = t.Samples(static_cast<std::int64_t>(frames));
        const double a = t.Amplitude(), step = 2 * std::numbers::pi * t.ToneHz / rate;
        for (std::size_t i = 0; i < frames; ++i) {
            const double v = a * std::sin(step * double(first + std::int64_t(i))) + noise[i];
            out[2 * i] = out[2 * i + 1] = static_cast<std::int16_t>(std::clamp(std::nearbyint(v), -32768.0, 32767.0));
        }
    };
}
