// The device list in the main window: list position = device ID, filling
// stops at the first capable device after a skipped one, and choosing an
// entry arms Start.
#include <gtest/gtest.h>

#include "support/FakeInput.h"
#include "ui/Parlune.h"

namespace {

constexpr std::uint32_t kCapable = WAVE_FORMAT_1S16;

std::shared_ptr<FakeInput> Dev(const std::string& name, std::uint32_t formats = kCapable)
{
    return std::make_shared<FakeInput>(name, formats);
}

TEST(DeviceListTest, ListsCapableDevicesAtTheirIdsAndStopsAfterAGap)
{
    Parlune w;
    // "Mics " + 14 x "é" (2 bytes each): byte 32 falls inside a character.
    std::string accents = "Mics ";
    for (int i = 0; i < 14; ++i) accents += "\xC3\xA9";
    struct Case { const char* what; BackendList devices; QStringList expect; } cases[] = {
        {"0, 1 capable", {Dev("A"), Dev("B")}, {"A", "B"}},
        {"0 capable, 1 not, 2 capable", {Dev("A"), Dev("B", 0x7), Dev("C")}, {"A"}},
        {"0 not, 1 capable", {Dev("A", 0), Dev("B")}, {}},
        {"capability among other bits", {Dev("A", 0xFFF), Dev("B", kCapable | 0x80)}, {"A", "B"}},
        {"32-byte name without zero taken whole, UTF-8 cut at a character",
         {Dev("0123456789abcdefghijklmnopqrstuvwxyz"), Dev(accents)},
         {"0123456789abcdefghijklmnopqrstuv", QString::fromUtf8(accents.substr(0, 31))}},
    };
    for (const Case& c : cases) {
        SetBackendsForTest(c.devices);
        w.deviceBox.Clear();
        w.InitDevices();
        QStringList listed;
        for (int i = 0; i < w.deviceBox.ListCount(); ++i) listed << w.deviceBox.List(i);
        EXPECT_EQ(listed, c.expect) << c.what;
    }
    // Red until an entry is chosen, Start disabled.
    const auto state = [&] { return std::tuple(w.deviceBox.BackColor(), w.deviceBox.Text(), w.startButton.Enabled()); };
    EXPECT_EQ(state(), std::tuple(RGB(255, 0, 0), QString("Choose Soundcard"), false));
    w.deviceBox.UserChoose(1);
    EXPECT_EQ(state(), std::tuple(RGB(255, 255, 255), QString::fromUtf8(accents.substr(0, 31)), true));
    ResetBackends();
}

} // namespace
