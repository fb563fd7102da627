// One input captured block by block, as both programs' run loops do it:
// queue one buffer, sleep in the event loop until it comes back, answer how
// the wait ended.  Audio between blocks is dropped.
#pragma once
#include <cstdint>
#include <functional>

#include "capture/WaveIn.h"

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
    MMRESULT Start() { return waveInStart(handle_); }
    // Captures `bytes` bytes into data; stop() is asked whenever the wait wakes.
    CaptureEnd Capture(void* data, std::uint32_t bytes, const std::function<bool()>& stop);
    // Hands a waiting buffer back done (a wait under way ends with Done).
    void Reset() { waveInReset(handle_); }
    // Reset and close; the handle's value is kept (0 only after a failed open).
    void Close();

    HWAVEIN Handle() const { return handle_; }
    const WAVEHDR& Header() const { return header_; }

private:
    HWAVEIN handle_ = 0;
    WAVEHDR header_;
};
