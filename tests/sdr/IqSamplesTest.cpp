// Raw IQ formats to complex floats at their full scale, the format names, and the centre in recorders' file names.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "sdr/IqSamples.h"

TEST(IqSamples, FormatsAtTheirFullScaleAndTheCentreInAFileName)
{
    using C = std::complex<float>;
    // Two samples each, little-endian.
    const struct { const char* name; double fullScale; std::vector<std::uint8_t> bytes; std::vector<C> want; } cases[] = {
        {"cu8", 127.5, {0, 255, 127, 128}, {C(-1, 1), C(-0.5f / 127.5f, 0.5f / 127.5f)}},
        {"cs8", 128, {0x80, 0x7f, 0xff, 0x01}, {C(-1, 127 / 128.0f), C(-1 / 128.0f, 1 / 128.0f)}},
        {"cs16", 32768, {0x00, 0x80, 0xff, 0x7f, 0xff, 0xff, 0x01, 0x00}, {C(-1, 32767 / 32768.0f), C(-1 / 32768.0f, 1 / 32768.0f)}},
        {"cf32", 1, {0, 0, 0x80, 0x3e, 0, 0, 0x60, 0xc0, 0, 0, 0x80, 0x3f, 0, 0, 0, 0x80}, {C(0.25f, -3.5f), C(1, -0.0f)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const IqFormat f = ParseIqFormat(c.name);
        EXPECT_EQ(FullScale(f), c.fullScale);
        ASSERT_EQ(BytesPerSample(f) * 2, c.bytes.size());
        std::vector<C> out(2);
        ToComplex(f, c.bytes.data(), 2, out.data());
        EXPECT_EQ(out, c.want);
    }
    for (const std::string bad : {"CU8", ""})
        EXPECT_THAT([&] { ParseIqFormat(bad); },
                    testing::ThrowsMessage<std::invalid_argument>("unknown IQ sample format '" + bad + "' (use cu8, cs8, cs16 or cf32)"));

    const std::pair<const char*, std::optional<double>> names[] = {
        {"baseband_14074000Hz_12-00-00_06-12-2026.wav", 14074000},
        {"/rec/2026/7074000Hz_01-02-03.wav", 7074000},
        {"g001_433.92M_250k.cu8", 433.92e6},
        {"ft8_14.074MHz.cf32", 14.074e6},
        {"beacon_10368.1kHz", 10368.1e3},
        {"capture_250k.cu8", std::nullopt}, // a rate, not a centre
        {"14074000Hz_dir/recording.cu8", std::nullopt},
        {"baseband_xHz_-5Hz.wav", std::nullopt},
    };
    for (const auto& [name, want] : names) // none reads as -1
        EXPECT_NEAR(CentreFromFileName(name).value_or(-1), want.value_or(-1), 1e-6 * want.value_or(1)) << name;
}
