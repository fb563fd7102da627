// The capture devices as the device box lists them: position = device ID.
#pragma once
#include <string>
#include <vector>

// The 32-byte names (local 8-bit text) of devices 0, 1, ... that can capture
// 11025 Hz stereo 16-bit.  The list ends at the first device that cannot:
// a later device's position would no longer be its ID.
std::vector<std::string> CaptureDeviceNames();
