// The devices behind the waveIn functions.  A backend is one entry of the
// numbered device list; opening it gives a stream that hands whole
// interleaved 16-bit frames to the layer, always on the user-interface thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture/WaveIn.h"

// Receives captured audio: bytes of whole frames in the opened format.
using FrameSink = std::function<void(const char* bytes, std::size_t count)>;

// One opened device.  Destroying it stops the device.
class InputStream {
public:
    virtual ~InputStream() = default;
    // Frames the layer wants from now on (0: no buffer queued).  A generator
    // may idle while nothing is wanted; a real device keeps running and its
    // frames are dropped.
    virtual void Want(std::size_t frames) { (void)frames; }
    // Throws away audio that arrived but was not delivered yet, so a buffer
    // queued now gets only what comes after it.
    virtual void DiscardPending() {}
    // Set by the layer after opening; a stream calls it once when the device
    // stops for good (unplugged, audio server gone).
    std::function<void()> Lost;
    // Set by the layer after opening; a stream calls it, on the
    // user-interface thread, when the device dropped samples (an overflow)
    // just before the frames it hands on next.
    std::function<void()> Gap;
};

class InputBackend {
public:
    virtual ~InputBackend() = default;
    virtual std::string Name() const = 0;                     // full name, UTF-8
    virtual std::string ShortName() const { return Name(); } // for the 32-byte caps name
    virtual std::uint32_t Formats() const = 0;                // WAVE_FORMAT_* mask
    virtual std::uint16_t Channels() const { return 2; }
    virtual bool IsDefault() const { return false; }          // the system's default input
    // Opens with the (already checked) 16-bit PCM format.  On failure returns
    // nullptr and sets *why (MMSYSERR_BADDEVICEID when the device has gone,
    // WAVERR_BADFORMAT when it refuses the format).
    virtual std::unique_ptr<InputStream> Open(const WAVEFORMATEX& format, FrameSink sink, MMRESULT* why) = 0;
};

using BackendList = std::vector<std::shared_ptr<InputBackend>>;

// The real inputs (one per Qt audio input) followed by the test signals;
// the test signals alone when the audio server does not answer in time.
BackendList DefaultBackends();
// How long an enumeration waits for the audio server's reply (5000 ms).
void SetServerWait(int ms);
// True when the last enumeration got no reply and listed the test signals alone.
bool ServerDidNotAnswer();
// True when the last enumeration reached no audio server (none running, or
// it did not answer): the server's devices may be missing from the list, so
// a device number may now fall on a test signal.
bool ServerDevicesMissing();
// Replaces the device list until ResetBackends(); open handles stay usable.
void SetBackendsForTest(BackendList list);
// Back to the real list, enumerated afresh at the next query.
void ResetBackends();
// Opens a device that is not in the numbered list (an SDR receiver) as
// waveInOpen opens a device ID; the same checks and results.
MMRESULT waveInOpenBackend(HWAVEIN* handle, std::shared_ptr<InputBackend> backend, const WAVEFORMATEX* format);
// The untruncated name of a device ("" for an unknown ID).
std::string waveInFullName(std::uint32_t deviceId);
// A name cut to at most 32 bytes without splitting a UTF-8 character.
std::string TruncateName(const std::string& name, std::size_t maxBytes = 32);
