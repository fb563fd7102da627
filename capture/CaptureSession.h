// One input captured block by block, as both programs' run loops do it:
// queue one buffer, sleep in the event loop until it comes back, answer how
// the wait ended (audio between blocks is dropped); or, for a monitor, keep
// several buffers queued so no audio is lost between blocks.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "capture/WaveIn.h"

class InputBackend;

enum class CaptureEnd {
    Done,      // the buffer came back (full, or partly filled by a reset)
    Stopped,   // stop() said so before it came back
    Lost,      // the input has gone (see waveInIsLost)
    NotQueued, // the buffer could not be queued (no input open, a bad size)
};

// 16-bit stereo PCM at this rate, as both programs capture.
WAVEFORMATEX Stereo16Format(std::uint32_t rate);

class CaptureSession {
public:
    CaptureSession() = default;
    ~CaptureSession() { Close(); }
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;

    // Opens device deviceId (WAVE_MAPPER: the default) in this format; a
    // failed open leaves the handle 0.
    MMRESULT Open(std::uint32_t deviceId, const WAVEFORMATEX& format);
    // Opens a device outside the numbered list (an SDR receiver).
    MMRESULT Open(std::shared_ptr<InputBackend> backend, const WAVEFORMATEX& format);
    MMRESULT Start() { return waveInStart(handle_); }
    // Captures `bytes` bytes into data; stop() is asked whenever the wait wakes.
    CaptureEnd Capture(void* data, std::uint32_t bytes, const std::function<bool()>& stop);
    // Gapless capture: `count` buffers of `bytes` each queued at once; the
    // oldest comes back full while the next already fills.  False when a
    // buffer could not be queued.
    bool QueueBuffers(int count, std::uint32_t bytes);
    // The oldest buffer's frames once it is full, else nullptr; Requeue()
    // puts it back at the end of the queue after use.
    const std::int16_t* Full() const;
    bool Requeue();
    bool Lost() const { return waveInIsLost(handle_); }
    std::uint32_t Gaps() const { return waveInGaps(handle_); }

    // Reset and close; the handle's value is kept (0 only after a failed open).
    void Close();

    HWAVEIN Handle() const { return handle_; }
    const WAVEHDR& Header() const { return header_; }

private:
    struct Buffer {
        std::vector<std::int16_t> frames;
        WAVEHDR header;
    };
    bool Queue(Buffer& b);

    HWAVEIN handle_ = 0;
    WAVEHDR header_;
    std::deque<std::unique_ptr<Buffer>> queued_; // gapless buffers, oldest first
};
