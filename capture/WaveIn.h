// The waveIn sound-input operations and records the program is written
// against, implemented over the audio server's sources and built-in test signals.
// Every call runs on the user-interface thread; completion is seen only as
// the WHDR_DONE bit and the samples in the buffer.
#pragma once
#include <cstdint>

using HWAVEIN = std::uint32_t; // 0 = no device
using MMRESULT = std::uint32_t;

inline constexpr std::uint32_t WAVE_MAPPER = 0xFFFFFFFFu; // the system's default input
inline constexpr std::uint32_t WHDR_DONE = 0x1;
inline constexpr std::uint32_t WHDR_PREPARED = 0x2;
inline constexpr std::uint32_t WHDR_INQUEUE = 0x10;
inline constexpr std::uint32_t WAVE_FORMAT_1S16 = 0x8; // 11.025 kHz, stereo, 16-bit
inline constexpr std::uint16_t WAVE_FORMAT_PCM = 1;
inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT WAVERR_BADFORMAT = 32;
inline constexpr MMRESULT WAVERR_STILLPLAYING = 33;
inline constexpr MMRESULT WAVERR_UNPREPARED = 34;

struct WAVEFORMATEX {
    std::uint16_t wFormatTag = 0;
    std::uint16_t nChannels = 0;
    std::uint32_t nSamplesPerSec = 0;
    std::uint32_t nAvgBytesPerSec = 0;
    std::uint16_t nBlockAlign = 0;
    std::uint16_t wBitsPerSample = 0;
    std::uint16_t cbSize = 0;
};

struct WAVEHDR {
    char* lpData = nullptr;
    std::uint32_t dwBufferLength = 0; // bytes
    std::uint32_t dwBytesRecorded = 0;
    std::uintptr_t dwUser = 0;
    std::uint32_t dwFlags = 0;
    std::uint32_t dwLoops = 0;
    WAVEHDR* lpNext = nullptr;
    std::uintptr_t reserved = 0;
};

struct WAVEINCAPSA {
    std::uint16_t wMid = 0;
    std::uint16_t wPid = 0;
    std::uint32_t vDriverVersion = 0;
    char szPname[32] = {}; // zero-padded; a 32-byte name has no terminator
    std::uint32_t dwFormats = 0;
    std::uint16_t wChannels = 0;
    std::uint16_t wReserved1 = 0;
};
static_assert(sizeof(WAVEINCAPSA) == 48);

std::uint32_t waveInGetNumDevs();
MMRESULT waveInGetDevCapsA(std::uint32_t deviceId, WAVEINCAPSA* caps, std::uint32_t size);
MMRESULT waveInOpen(HWAVEIN* handle, std::uint32_t deviceId, const WAVEFORMATEX* format,
                    std::uintptr_t callback, std::uintptr_t instance, std::uint32_t flags);
MMRESULT waveInStart(HWAVEIN handle);
MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, std::uint32_t size);
MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, std::uint32_t size);
MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, std::uint32_t size);
MMRESULT waveInReset(HWAVEIN handle);
MMRESULT waveInClose(HWAVEIN handle);
// True once an open input has gone for good: the device reported a loss, or
// it delivered nothing for three buffer lengths (at least 1 s) while a buffer
// waited.  Before a stream's first data the limit is 10 s (or three buffer
// lengths, if longer): a new stream takes a while to start.  Its queued buffers come back done; it takes no more, and STOP
// (reset, close) releases it as usual.  False for 0 and closed handles.
bool waveInIsLost(HWAVEIN handle);
// How often the device dropped samples (an SDR's overflow) since the open;
// each time the buffer filling then started again, so no block holds a gap.
std::uint32_t waveInGaps(HWAVEIN handle);
