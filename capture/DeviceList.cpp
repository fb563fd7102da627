// The input device list: list position = device ID.
#include <cstring>

#include "engine/Fault.h"
#include "ui/Parlune.h"

void Parlune::InitDevices()
{
    WAVEINCAPSA caps; // zeroed once; a failed query leaves the previous content
    const std::uint32_t count = waveInGetNumDevs();
    for (std::uint32_t id = 0; id < count; ++id) {
        waveInGetDevCapsA(id, &caps, sizeof caps);
        if (!(caps.dwFormats & WAVE_FORMAT_1S16))
            continue;
        // A full 32-byte name has no terminator and is taken whole.
        const QString name = QString::fromLocal8Bit(caps.szPname, static_cast<qsizetype>(strnlen(caps.szPname, sizeof caps.szPname)));
        try {
            DeviceBox.AddItem(name, static_cast<int>(id));
        } catch (const Fault&) {
            // After a skipped device the position lies beyond the end of the
            // list and the box refuses it: filling stops here, silently.
            return;
        }
    }
}

// The box comes back red, as before a device was chosen, reading why; START
// waits for a device to be chosen again (the list keeps its positions).
void Parlune::ShowInputLost()
{
    DeviceBox.setText("Input lost");
    DeviceBox.setBackColor(RGB(255, 0, 0));
    DeviceBox.setVisible(true);
    Start.setEnabled(false);
}

void Parlune::DeviceBox_Click()
{
    DeviceBox.setBackColor(RGB(255, 255, 255));
    Start.setEnabled(true);
}
