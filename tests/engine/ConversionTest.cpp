// Block conversion, input extremes and the input level.
#include <gtest/gtest.h>

#include <vector>

#include "engine/Conversion.h"

TEST(Conversion, WindowSquareAndSwap)
{
    const std::vector<std::int16_t> in{100, -200, -32768, 32767, 3, 0};
    const std::vector<float> w{0.5f, 1.0f, 0.25f};
    struct Case {
        bool squared, swapped;
        std::vector<float> out; // 1-based interleaved, index 0 unused
    } cases[] = {
        {false, false, {0, 50, 100, -32768, -32767, 0.75f, -0.0f}},
        {false, true, {0, 50, -100, -32768, 32767, 0.75f, 0}},
        {true, false, {0, 1.25f, -5, 268435.456f, -268419.072f, 0.0005625f, -0.0f}},
        {true, true, {0, 1.25f, 5, 268435.456f, 268419.072f, 0.0005625f, 0}},
    };
    for (const auto& c : cases) {
        std::vector<float> buf(8, 123.0f);
        const InputExtremes e = ConvertBlock(in.data(), w.data(), 3, c.squared, c.swapped, buf.data());
        for (int i = 1; i <= 6; ++i)
            EXPECT_FLOAT_EQ(buf[i], c.out[i]) << "index " << i << " squared " << c.squared << " swapped " << c.swapped;
        EXPECT_EQ(buf[0], 123.0f); // only 1 .. 2n written
        EXPECT_EQ(buf[7], 123.0f);
        EXPECT_EQ(e.InMax, 32767);
        EXPECT_EQ(e.InMin, -32768);
        EXPECT_EQ(LargestSample(e), 32768);
    }
    // Square input is single precision throughout: a*w*a/4000 with 7 significant digits.
    std::vector<float> buf(3);
    const std::int16_t one[2] = {12345, 0};
    const float third = 1.0f / 3.0f;
    ConvertBlock(one, &third, 1, true, true, buf.data());
    EXPECT_EQ(buf[1], ((12345.0f * third) * 12345.0f) / 4000.0f);
}

TEST(Conversion, InputLevelAndColour)
{
    EXPECT_NEAR(InputLevelDb(32768, 0), 90.309, 1e-3);
    EXPECT_NEAR(InputLevelDb(1, 5), 0, 1e-12);
    EXPECT_EQ(InputLevelDb(0, 42.5), 42.5); // silence keeps the previous level
    InputExtremes silent;
    const std::int16_t zeros[4] = {};
    float buf[5];
    const float w[2] = {1, 1};
    silent = ConvertBlock(zeros, w, 2, false, false, buf);
    EXPECT_EQ(LargestSample(silent), 0);
    InputExtremes pos{500, 20};
    EXPECT_EQ(LargestSample(pos), 500);

    const std::int32_t red = 255, orange = 255 + 256 * 128, blue = 65536 * 255;
    struct {
        std::int32_t largest, colour;
    } cases[] = {{32768, red}, {16001, red}, {16000, orange}, {8001, orange}, {8000, blue}, {0, blue}};
    for (auto c : cases) EXPECT_EQ(InputLevelColour(c.largest), c.colour) << c.largest;
}
