// The device list in the main window: list position = device ID, filling
// stops at the first capable device after a skipped one, and choosing an
// entry arms Start.
#include <QComboBox>
#include <gtest/gtest.h>
#include <memory>

#include "capture/InputBackend.h"
#include "support/FakeInput.h"
#include "ui/Parlune.h"

namespace {

constexpr std::uint32_t kCapable = WAVE_FORMAT_1S16;
constexpr std::uint32_t kNotCapable = 0x7; // 11.025 kHz mono 8/16 bits, stereo 8 bits: not enough

struct DeviceListTest : ::testing::Test {
    void TearDown() override { ResetBackends(); }
    QStringList Listed(const BackendList& devices)
    {
        SetBackendsForTest(devices);
        w.DeviceBox.Clear();
        w.InitDevices();
        QStringList items;
        for (int i = 0; i < w.DeviceBox.ListCount(); ++i)
            items << w.DeviceBox.List(i);
        return items;
    }
    Parlune w;
};

std::shared_ptr<FakeInput> Dev(const char* name, std::uint32_t formats)
{
    return std::make_shared<FakeInput>(name, formats);
}

TEST_F(DeviceListTest, ListsCapableDevicesAtTheirIdsAndStopsAfterAGap)
{
    struct Case {
        const char* what;
        BackendList devices;
        QStringList expect;
    } cases[] = {
        {"none", {}, {}},
        {"two capable", {Dev("A", kCapable), Dev("B", kCapable)}, {"A", "B"}},
        {"gap stops filling", {Dev("A", kCapable), Dev("B", kNotCapable), Dev("C", kCapable), Dev("D", kCapable)}, {"A"}},
        {"trailing incapable", {Dev("A", kCapable), Dev("B", kCapable), Dev("C", 0)}, {"A", "B"}},
        {"first incapable", {Dev("A", 0), Dev("B", kCapable)}, {}},
        {"capability among others", {Dev("A", 0xFFF), Dev("B", kCapable | 0x80)}, {"A", "B"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Listed(c.devices), c.expect);
    }
}

TEST_F(DeviceListTest, NamesAreTakenUpToTheFirstZeroOrAll32Bytes)
{
    const QStringList got = Listed({Dev("0123456789abcdefghijklmnopqrstuvwxyz", kCapable), Dev("Mic \xC3\xA9t\xC3\xA9", kCapable)});
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(got[0], "0123456789abcdefghijklmnopqrstuv");
    EXPECT_EQ(got[1], QString::fromUtf8("Mic \xC3\xA9t\xC3\xA9"));
}

TEST_F(DeviceListTest, ChoosingADeviceTurnsTheBoxWhiteAndEnablesStart)
{
    Listed({Dev("A", kCapable), Dev("B", kCapable)});
    EXPECT_EQ(w.DeviceBox.BackColor(), RGB(255, 0, 0));
    EXPECT_FALSE(w.Start.Enabled());
    w.DeviceBox.UserChoose(1);
    EXPECT_EQ(w.DeviceBox.BackColor(), RGB(255, 255, 255));
    EXPECT_TRUE(w.Start.Enabled());
    EXPECT_EQ(w.DeviceBox.ListIndex(), 1);
}

} // namespace
