// Raw IQ formats to complex floats at their full scale, the format names, and
// the centre frequency in recorders' file names.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "sdr/IqSamples.h"

TEST(IqSamples, EachFormatConvertsAtItsFullScale)
{
    std::vector<std::uint8_t> cf32(16);
    const float floats[] = {0.25f, -3.5f, 1.0f, -0.0f};
    std::memcpy(cf32.data(), floats, 16);
    struct Case {
        const char* name;
        double fullScale;
        std::vector<std::uint8_t> bytes; // two samples
        std::vector<float> want;         // I, Q, I, Q
    };
    const Case cases[] = {
        {"cu8", 127.5, {0, 255, 127, 128}, {-1.0f, 1.0f, -0.5f / 127.5f, 0.5f / 127.5f}},
        {"cs8", 128, {0x80, 0x7f, 0xff, 0x01}, {-1.0f, 127 / 128.0f, -1 / 128.0f, 1 / 128.0f}},
        {"cs16", 32768, {0x00, 0x80, 0xff, 0x7f, 0xff, 0xff, 0x01, 0x00}, {-1.0f, 32767 / 32768.0f, -1 / 32768.0f, 1 / 32768.0f}},
        {"cf32", 1, cf32, {0.25f, -3.5f, 1.0f, -0.0f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const IqFormat f = ParseIqFormat(c.name);
        EXPECT_EQ(FullScale(f), c.fullScale);
        ASSERT_EQ(BytesPerSample(f) * 2, c.bytes.size());
        std::vector<std::complex<float>> out(2);
        ToComplex(f, c.bytes.data(), 2, out.data());
        EXPECT_EQ(out[0], std::complex<float>(c.want[0], c.want[1]));
        EXPECT_EQ(out[1], std::complex<float>(c.want[2], c.want[3]));
    }
    for (const std::string bad : {"CU8", ""}) {
        try {
            ParseIqFormat(bad);
            ADD_FAILURE() << bad;
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(e.what(), "unknown IQ sample format '" + bad + "' (use cu8, cs8, cs16 or cf32)");
        }
    }
}

TEST(IqSamples, CentreFrequencyFromFileName)
{
    const std::pair<const char*, std::optional<double>> cases[] = {
        {"baseband_14074000Hz_12-00-00_06-12-2026.wav", 14074000},
        {"/rec/2026/7074000Hz_01-02-03.wav", 7074000},
        {"g001_433.92M_250k.cu8", 433.92e6},
        {"ft8_14.074MHz.cf32", 14.074e6},
        {"beacon_10368.1kHz", 10368.1e3},
        {"capture_250k.cu8", std::nullopt}, // a rate, not a centre
        {"14074000Hz_dir/recording.cu8", std::nullopt},
        {"baseband_xHz_-5Hz.wav", std::nullopt},
    };
    for (const auto& [name, want] : cases) {
        const std::optional<double> got = CentreFromFileName(name);
        ASSERT_EQ(got.has_value(), want.has_value()) << name;
        if (want) {
            EXPECT_NEAR(*got, *want, 1e-6 * *want) << name;
        }
    }
}
