// 16-bit stereo capture through the waveIn layer as the run loop does it: the format record and one queued buffer.
#pragma once
#include <QElapsedTimer>
#include <cstdint>
#include <vector>

#include "capture/WaitForBuffer.h"
#include "capture/WaveIn.h"

inline WAVEFORMATEX Stereo16(std::uint32_t rate = 12000) { return {WAVE_FORMAT_PCM, 2, rate, 4 * rate, 4, 16}; }

struct WaveBlock {
    // Prepares and queues `frames` frames on h; four guard frames of 7777 follow.
    bool Queue(HWAVEIN h, int frames)
    {
        data.assign(2 * static_cast<std::size_t>(frames) + 8, 7777);
        hdr = WAVEHDR{.lpData = reinterpret_cast<char*>(data.data()), .dwBufferLength = static_cast<std::uint32_t>(4 * frames)};
        return waveInPrepareHeader(h, &hdr, 32) == MMSYSERR_NOERROR && waveInAddBuffer(h, &hdr, 32) == MMSYSERR_NOERROR;
    }
    // Queues and waits as the run loop does; wall time in seconds.
    double Capture(const HWAVEIN& h, int frames)
    {
        QElapsedTimer clock;
        clock.start();
        if (Queue(h, frames)) WaitForBuffer(hdr, h, [] { return false; });
        return double(clock.nsecsElapsed()) / 1e9;
    }
    bool Done() const { return (hdr.dwFlags & WHDR_DONE) != 0; }

    std::vector<std::int16_t> data;
    WAVEHDR hdr;
};
