// A device for the waveIn layer that the test drives: chosen name, capabilities and default flag; the test pushes
// frames into the open stream.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "capture/InputBackend.h"

class FakeInput final : public InputBackend {
public:
    struct Stream final : InputStream {
        Stream(FakeInput* owner, FrameSink sink) : owner(owner), sink(std::move(sink)) {}
        ~Stream() override { owner->stream = nullptr; }
        void Want(std::size_t frames) override { wanted = frames; }
        void DiscardPending() override { ++discards; }
        FakeInput* owner;
        FrameSink sink;
        std::size_t wanted = 0;
        int discards = 0;
    };

    explicit FakeInput(std::string name, std::uint32_t formats = WAVE_FORMAT_1S16, bool isDefault = false)
        : name(std::move(name)), formats(formats), isDefault(isDefault) {}
    std::string Name() const override { return name; }
    std::uint32_t Formats() const override { return formats; }
    bool IsDefault() const override { return isDefault; }
    std::unique_ptr<InputStream> Open(const WAVEFORMATEX&, FrameSink sink, MMRESULT* why) override
    {
        return (*why = refuse) != MMSYSERR_NOERROR ? nullptr : std::unique_ptr<InputStream>(stream = new Stream(this, std::move(sink)));
    }
    // Delivers interleaved stereo frames as a device would (nothing when closed).
    void Push(const std::vector<std::int16_t>& frames)
    {
        if (stream != nullptr) stream->sink(reinterpret_cast<const char*>(frames.data()), frames.size() * sizeof(std::int16_t));
    }

    std::string name;
    std::uint32_t formats;
    bool isDefault;
    MMRESULT refuse = MMSYSERR_NOERROR; // what Open fails with, if set
    Stream* stream = nullptr;           // the open stream, if any
};
