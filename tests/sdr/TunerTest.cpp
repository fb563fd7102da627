// The tuner against plain arithmetic on its output frames, at three pairs of rates: pass band, folding, chunking,
// settling and refused values.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <stdexcept>
#include <vector>

#include "sdr/Tuner.h"

namespace {

struct Config { std::uint32_t in, out; double offset; };
// An rtl-sdr rate to a narrow span, a dongle's other rate to a wide one, and a sound card's I/Q with no half-band
// stage at all.
const Config kConfigs[] = {{2400000, 12000, 300000}, {2048000, 48000, -500000}, {96000, 44100, 7000}};
constexpr double kSteps = 0.5 * 32767; // the test tones' amplitude 0.5, in output steps

std::vector<std::complex<float>> Tone(const Config& c, double hzFromDial, std::size_t n)
{
    std::vector<std::complex<float>> x(n);
    const double cycles = (c.offset + hzFromDial) / c.in;
    for (std::size_t i = 0; i < n; ++i) x[i] = std::polar(0.5, 2 * std::numbers::pi * cycles * static_cast<double>(i));
    return x;
}

std::vector<std::int16_t> Tune(Tuner& t, const std::vector<std::complex<float>>& x)
{
    std::vector<std::int16_t> out(2 * t.MaxFrames(x.size()));
    out.resize(2 * t.Process(x, out));
    return out;
}

// Input samples giving about `frames` output frames past the settling.
std::size_t InputFor(const Config& c, const Tuner& t, std::size_t frames)
{
    return static_cast<std::size_t>(static_cast<double>(frames + t.SettleFrames()) * c.in / c.out);
}

} // namespace

TEST(Tuner, PassesTheSpanFlatWithin0_1DbAndRejectsWhatWouldFoldInBy80Db)
{
    for (const Config& c : kConfigs) {
        // Hertz from the dial and whether it lies in the span; the others lie beyond +-0.5 x the rate or beside a
        // half-band's output rate.
        std::vector<std::pair<double, bool>> tones;
        for (double f : {-0.45, -0.2, 0.0, 0.07, 0.3, 0.45}) tones.emplace_back(f * c.out, true);
        for (double f : {0.5, -0.5, 0.7, -1.3, 2.9}) tones.emplace_back(f * c.out, false);
        for (std::size_t s = 1; s <= Tuner(c.in, c.out, c.offset).HalfbandStages(); ++s)
            tones.insert(tones.end(), {{c.in / std::pow(2.0, s) + 0.3 * c.out, false}, {-(c.in / std::pow(2.0, s)) - 0.45 * c.out, false}});
        for (const auto& [hz, inSpan] : tones) {
            Tuner t(c.in, c.out, c.offset);
            const std::vector<std::int16_t> y = Tune(t, Tone(c, hz, InputFor(c, t, 600)));
            const double frames = y.size() / 2.0;
            std::complex<double> at = 0; // the component at +hz
            double power = 1e-9;
            for (std::size_t i = 0; i < y.size() / 2; ++i) {
                const std::complex<double> v(y[2 * i], y[2 * i + 1]);
                at += v * std::polar(1.0, -2 * std::numbers::pi * hz * i / c.out) / frames;
                power += std::norm(v) / frames;
            }
            SCOPED_TRACE(testing::Message() << c.in << " -> " << c.out << " Hz, " << hz);
            if (inSpan) EXPECT_NEAR(20 * std::log10(std::abs(at) / kSteps), 0, 0.1);
            else EXPECT_LT(10 * std::log10(power / (kSteps * kSteps)), -80);
        }
    }
}

TEST(Tuner, AnyChunkingGivesTheSameFramesAndTheFirstIsSettled)
{
    std::mt19937 rng(7);
    for (const Config& c : kConfigs) {
        SCOPED_TRACE(c.in);
        // A settled tone has one magnitude from the first frame on; the frames dropped before it span under 12.5 ms.
        Tuner toneTuner(c.in, c.out, c.offset);
        const std::size_t n = InputFor(c, toneTuner, 500);
        const std::vector<std::int16_t> y = Tune(toneTuner, Tone(c, 0.2 * c.out, n));
        ASSERT_GE(y.size(), 2 * 100u);
        EXPECT_LT(toneTuner.SettleFrames(), c.out / 80);
        EXPECT_NEAR(y.size() / 2.0 + toneTuner.SettleFrames(), static_cast<double>(n) * c.out / c.in,
                    toneTuner.MaxFrames(0) + 1.0); // the resampler's block of frames
        const double last = std::abs(std::complex<double>(y[y.size() - 2], y.back()));
        EXPECT_NEAR(std::abs(std::complex<double>(y[0], y[1])), last, 1e-3 * last);

        std::normal_distribution<float> noise(0, 0.3f);
        std::vector<std::complex<float>> x(n);
        for (auto& v : x) v = {noise(rng), noise(rng)};
        Tuner whole(c.in, c.out, c.offset), pieces(c.in, c.out, c.offset);
        const std::vector<std::int16_t> want = Tune(whole, x);
        std::vector<std::int16_t> got;
        for (std::size_t i = 0, len; i < n; i += len) {
            len = std::min<std::size_t>(n - i, std::uniform_int_distribution<std::size_t>(1, 9000)(rng));
            const std::vector<std::int16_t> part = Tune(pieces, {x.begin() + i, x.begin() + i + len});
            got.insert(got.end(), part.begin(), part.end());
        }
        EXPECT_EQ(got, want);
        // A float recording's NaN gives silence, not garbage.
        Tuner fresh(c.in, c.out, c.offset);
        const std::vector<std::int16_t> nan = Tune(fresh, std::vector<std::complex<float>>(n, NAN));
        EXPECT_TRUE(std::all_of(nan.begin(), nan.end(), [](std::int16_t v) { return v == 0; }));
    }
}

TEST(Tuner, RefusesRatesAndOffsetsOutOfRange)
{
    const std::pair<Config, const char*> cases[] = {
        {{2400000, 99, 0}, "analysis rate 99 Hz lies outside 100 .. 384000 Hz"},
        {{2400000, 384001, 0}, "analysis rate 384001 Hz lies outside 100 .. 384000 Hz"},
        {{8000, 12000, 0}, "input rate 8000 Hz is below the analysis rate 12000 Hz"},
        {{2400000, 12000, 1200000}, "tuning offset 1200000 Hz lies outside the input's +-1200000 Hz"},
        {{2400000, 12000, NAN}, "tuning offset is not a number"},
        {{2400000, 12347, 0}, "analysis rate 12347 Hz from input rate 2400000 Hz needs too fine a resampling ratio (12347/37500)"},
    };
    for (const auto& [c, why] : cases) EXPECT_THAT([&] { Tuner(c.in, c.out, c.offset); }, testing::ThrowsMessage<std::invalid_argument>(why));
}
