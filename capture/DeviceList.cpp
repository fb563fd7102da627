#include "capture/DeviceList.h"

#include <cstring>

#include "capture/WaveIn.h"

std::vector<std::string> CaptureDeviceNames()
{
    std::vector<std::string> names;
    WAVEINCAPSA caps; // zeroed once; a failed query leaves the previous content
    const std::uint32_t count = waveInGetNumDevs();
    for (std::uint32_t id = 0; id < count; ++id) {
        waveInGetDevCapsA(id, &caps, sizeof caps);
        if (!(caps.dwFormats & WAVE_FORMAT_1S16))
            break;
        // A full 32-byte name has no terminator and is taken whole.
        names.emplace_back(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
    }
    return names;
}
