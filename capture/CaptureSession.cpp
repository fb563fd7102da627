#include "capture/CaptureSession.h"

#include "capture/InputBackend.h"
#include "capture/WaitForBuffer.h"

namespace {
constexpr std::uint32_t kHeaderSize = 32;
} // namespace

WAVEFORMATEX Stereo16Format(std::uint32_t rate) { return {WAVE_FORMAT_PCM, 2, rate, 4 * rate, 4, 16, 0}; }

MMRESULT CaptureSession::Open(std::uint32_t deviceId, const WAVEFORMATEX& format)
{
    return waveInOpen(&handle_, deviceId, &format, 0, 0, 0);
}

MMRESULT CaptureSession::Open(std::shared_ptr<InputBackend> backend, const WAVEFORMATEX& format)
{
    return waveInOpenBackend(&handle_, std::move(backend), &format);
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

bool CaptureSession::Queue(Buffer& b)
{
    b.header.lpData = reinterpret_cast<char*>(b.frames.data());
    b.header.dwBufferLength = static_cast<std::uint32_t>(b.frames.size() * sizeof(std::int16_t));
    b.header.dwFlags = 0;
    waveInPrepareHeader(handle_, &b.header, kHeaderSize);
    return waveInAddBuffer(handle_, &b.header, kHeaderSize) == MMSYSERR_NOERROR;
}

bool CaptureSession::QueueBuffers(int count, std::uint32_t bytes)
{
    for (int i = 0; i < count; ++i) {
        auto b = std::make_unique<Buffer>();
        b->frames.resize(bytes / sizeof(std::int16_t));
        if (!Queue(*b))
            return false;
        queued_.push_back(std::move(b));
    }
    return true;
}

const std::int16_t* CaptureSession::Full() const
{
    if (queued_.empty())
        return nullptr;
    const WAVEHDR& h = queued_.front()->header;
    const bool full = (h.dwFlags & WHDR_DONE) && h.dwBytesRecorded == h.dwBufferLength;
    return full && !Lost() ? queued_.front()->frames.data() : nullptr;
}

bool CaptureSession::Requeue()
{
    std::unique_ptr<Buffer> b = std::move(queued_.front());
    queued_.pop_front();
    waveInUnprepareHeader(handle_, &b->header, kHeaderSize);
    const bool ok = Queue(*b);
    queued_.push_back(std::move(b));
    return ok;
}

void CaptureSession::Close()
{
    waveInReset(handle_);
    waveInClose(handle_);
    queued_.clear(); // handed back done by the reset
}
