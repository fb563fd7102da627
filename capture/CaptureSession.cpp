#include "capture/CaptureSession.h"

#include "capture/WaitForBuffer.h"

namespace {
constexpr std::uint32_t kHeaderSize = 32;
} // namespace

WAVEFORMATEX Stereo16Format(std::uint32_t rate) { return {WAVE_FORMAT_PCM, 2, rate, 4 * rate, 4, 16, 0}; }

MMRESULT CaptureSession::Open(std::uint32_t deviceId, const WAVEFORMATEX& format)
{
    return waveInOpen(&handle_, deviceId, &format, 0, 0, 0);
}

CaptureEnd CaptureSession::Capture(void* data, std::uint32_t bytes, const std::function<bool()>& stop)
{
    header_.lpData = static_cast<char*>(data);
    header_.dwBufferLength = bytes;
    header_.dwFlags = 0;
    waveInPrepareHeader(handle_, &header_, kHeaderSize);
    const bool queued = waveInAddBuffer(handle_, &header_, kHeaderSize) == MMSYSERR_NOERROR;
    if (queued)
        WaitForBuffer(header_, handle_, stop);
    waveInUnprepareHeader(handle_, &header_, kHeaderSize);
    // A lost input hands its buffer back done too: the loss comes first.
    if (waveInIsLost(handle_))
        return CaptureEnd::Lost;
    if (!queued)
        return CaptureEnd::NotQueued;
    return (header_.dwFlags & WHDR_DONE) ? CaptureEnd::Done : CaptureEnd::Stopped;
}

void CaptureSession::Close()
{
    waveInReset(handle_);
    waveInClose(handle_);
}
