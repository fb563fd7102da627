// SDR tuning: cu8 at 2400000 Hz to the 12000 Hz analysis rate, items = input
// samples.  Beside it, what bounds it: converting cu8 alone, the first
// stage's arithmetic in one plain fused loop (conversion, oscillator, the
// first half-band), and the same chain built of liquid-dsp's own objects.
#include <cmath>
#include <complex> // before liquid.h: its complex type is then std::complex<float>
#include <numbers>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>
#include <liquid/liquid.h>

#include "sdr/IqSamples.h"
#include "sdr/Tuner.h"

namespace {

constexpr std::uint32_t kInRate = 2400000, kOutRate = 12000;
constexpr double kOffset = 250000;
constexpr std::size_t kChunk = 16384; // samples: rtl_sdr's 32 KiB transfer

std::vector<std::uint8_t> Cu8Noise()
{
    std::mt19937 gen(1);
    std::normal_distribution<float> n(127.5f, 12.0f);
    std::vector<std::uint8_t> b(2 * kChunk);
    for (auto& v : b)
        v = static_cast<std::uint8_t>(std::clamp(n(gen), 0.0f, 255.0f));
    return b;
}

void Items(benchmark::State& state) { state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kChunk)); }

void BM_Tuner(benchmark::State& state)
{
    const auto bytes = Cu8Noise();
    std::vector<std::complex<float>> x(kChunk);
    Tuner tuner(kInRate, kOutRate, kOffset);
    std::vector<std::int16_t> out(2 * tuner.MaxFrames(kChunk));
    for (auto _ : state) {
        ToComplex(IqFormat::Cu8, bytes.data(), kChunk, x.data());
        benchmark::DoNotOptimize(tuner.Process(x, out));
    }
    Items(state);
}

void BM_Cu8ToComplexOnly(benchmark::State& state)
{
    const auto bytes = Cu8Noise();
    std::vector<std::complex<float>> x(kChunk);
    for (auto _ : state) {
        ToComplex(IqFormat::Cu8, bytes.data(), kChunk, x.data());
        benchmark::DoNotOptimize(x.data());
    }
    Items(state);
}

// Reference: cu8 to float, a complex oscillator (phasor table) and a 4m+1 = 13
// tap half-band (centre and 6 odd taps, as the tuner's first stage), fused,
// with no buffering between them.
void BM_PlainFirstStage(benchmark::State& state)
{
    const auto bytes = Cu8Noise();
    std::vector<float> loRe(kChunk), loIm(kChunk), re(kChunk + 16), im(kChunk + 16), yRe(kChunk / 2), yIm(kChunk / 2);
    for (std::size_t k = 0; k < kChunk; ++k) {
        loRe[k] = static_cast<float>(std::cos(2 * std::numbers::pi * kOffset * k / kInRate));
        loIm[k] = static_cast<float>(-std::sin(2 * std::numbers::pi * kOffset * k / kInRate));
    }
    const float g[3] = {0.01f, -0.06f, 0.3f};
    for (auto _ : state) {
        for (std::size_t s = 0; s < kChunk; ++s) {
            const float i = (bytes[2 * s] - 127.5f) * (1 / 127.5f), q = (bytes[2 * s + 1] - 127.5f) * (1 / 127.5f);
            re[s] = i * loRe[s] - q * loIm[s];
            im[s] = i * loIm[s] + q * loRe[s];
        }
        for (std::size_t n = 0; n + 6 < kChunk / 2; ++n) {
            const float* r = &re[2 * n];
            const float* m = &im[2 * n];
            yRe[n] = 0.5f * r[6] + g[0] * (r[1] + r[11]) + g[1] * (r[3] + r[9]) + g[2] * (r[5] + r[7]);
            yIm[n] = 0.5f * m[6] + g[0] * (m[1] + m[11]) + g[1] * (m[3] + m[9]) + g[2] * (m[5] + m[7]);
        }
        benchmark::DoNotOptimize(yRe.data());
        benchmark::DoNotOptimize(yIm.data());
    }
    Items(state);
}

// The chain of liquid-dsp objects alone: nco_crcf, six resamp2_crcf
// half-bands (m 3, 3, 3, 3, 4, 4) and rresamp_crcf 8/25.
void BM_LiquidChain(benchmark::State& state)
{
    const auto bytes = Cu8Noise();
    std::vector<std::complex<float>> x(kChunk), y(kChunk), z(8);
    nco_crcf nco = nco_crcf_create(LIQUID_NCO);
    nco_crcf_set_frequency(nco, static_cast<float>(2 * std::numbers::pi * kOffset / kInRate));
    std::vector<resamp2_crcf> halves;
    for (unsigned m : {3, 3, 3, 3, 4, 4})
        halves.push_back(resamp2_crcf_create(m, 0.0f, 90.0f));
    rresamp_crcf last = rresamp_crcf_create_kaiser(8, 25, 200, 0.475f * 8 / 25, 90.0f);
    std::size_t pending = 0;
    for (auto _ : state) {
        ToComplex(IqFormat::Cu8, bytes.data(), kChunk, x.data());
        nco_crcf_mix_block_down(nco, x.data(), y.data(), kChunk);
        std::size_t n = kChunk;
        for (resamp2_crcf h : halves) {
            for (std::size_t i = 0; i + 1 < n; i += 2)
                resamp2_crcf_decim_execute(h, &y[i], &y[i / 2]);
            n /= 2;
        }
        for (std::size_t i = 0; i + 25 <= n; i += 25)
            rresamp_crcf_execute(last, &y[i], z.data());
        pending += n % 25; // whole blocks only: the benchmark chunk is 256 x 64
        benchmark::DoNotOptimize(z.data());
    }
    benchmark::DoNotOptimize(pending);
    for (resamp2_crcf h : halves)
        resamp2_crcf_destroy(h);
    rresamp_crcf_destroy(last);
    nco_crcf_destroy(nco);
    Items(state);
}

} // namespace

BENCHMARK(BM_Tuner);
BENCHMARK(BM_Cu8ToComplexOnly);
BENCHMARK(BM_PlainFirstStage);
BENCHMARK(BM_LiquidChain);

BENCHMARK_MAIN();
