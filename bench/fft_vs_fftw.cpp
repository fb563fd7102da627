// DoFFT against FFTW (single precision, FFTW_MEASURE plan, in place) on the
// same data.  Each iteration first copies the same input into the work
// buffer, for both, so repeated transforms never grow into overflow.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "engine/Fft.h"

#include <immintrin.h>

namespace {

std::vector<float> Input(std::int32_t n)
{
    std::mt19937 gen(42);
    std::uniform_real_distribution<float> d(-32768.0f, 32767.0f);
    std::vector<float> v(2 * static_cast<std::size_t>(n));
    for (float& x : v) x = d(gen);
    return v;
}

// One in-place plan per size, made once (FFTW_MEASURE overwrites the buffer).
struct FftwCase {
    fftwf_complex* buf = nullptr;
    fftwf_plan plan = nullptr;
};
FftwCase& Fftw(std::int32_t n)
{
    static std::map<std::int32_t, FftwCase> cases;
    FftwCase& c = cases[n];
    if (!c.plan) {
        c.buf = fftwf_alloc_complex(static_cast<std::size_t>(n));
        // Positive exponent, unscaled: FFTW's backward transform, as DoFFT.
        c.plan = fftwf_plan_dft_1d(n, c.buf, c.buf, FFTW_BACKWARD, FFTW_MEASURE);
    }
    return c;
}

void BM_DoFFT(benchmark::State& state)
{
    const auto n = static_cast<std::int32_t>(state.range(0));
    const std::vector<float> in = Input(n);
    std::vector<float> work(2 * static_cast<std::size_t>(n) + 1);
    // The copy's source sits at the same offset within a cache line as
    // work + 1, but half a 4 KiB page away from it.  glibc's memcpy (rep
    // movsb) ran several times slower here when the two differed in
    // alignment or shared their low 12 address bits (up to a third of
    // DoFFT's time), while FFTW's copy meets neither case.
    constexpr std::size_t kPage = 4096 / sizeof(float);
    std::vector<float> source(in.size() + kPage);
    const auto inPage = [](const float* p) { return reinterpret_cast<std::uintptr_t>(p) / sizeof(float) % kPage; };
    float* src = source.data() + (inPage(work.data() + 1) + kPage / 2 + kPage - inPage(source.data())) % kPage;
    std::copy(in.begin(), in.end(), src);
    FftPlan plan(n); // the twiddle tables, built outside the timing, as a run does
    for (auto _ : state) {
        std::memcpy(work.data() + 1, src, in.size() * sizeof(float));
        plan.Transform(work.data());
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
    }
    // How far DoFFT is from FFTW on this data (relative to the largest bin).
    FftwCase& c = Fftw(n);
    std::memcpy(c.buf, in.data(), in.size() * sizeof(float));
    fftwf_execute(c.plan);
    double maxDiff = 0, maxMag = 0;
    for (std::int32_t k = 0; k < n; ++k) {
        maxDiff = std::max(maxDiff, static_cast<double>(std::hypot(work[2 * k + 1] - c.buf[k][0], work[2 * k + 2] - c.buf[k][1])));
        maxMag = std::max(maxMag, static_cast<double>(std::hypot(c.buf[k][0], c.buf[k][1])));
    }
    state.counters["rel_diff_vs_fftw"] = maxDiff / maxMag;
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_FFTW(benchmark::State& state)
{
    const auto n = static_cast<std::int32_t>(state.range(0));
    const std::vector<float> in = Input(n);
    FftwCase& c = Fftw(n);
    for (auto _ : state) {
        std::memcpy(c.buf, in.data(), in.size() * sizeof(float));
        fftwf_execute(c.plan);
        benchmark::DoNotOptimize(c.buf);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// The floor under any transform that stores every stage's values as float and
// computes in double: one pass that only widens every value of n points to
// double and narrows it back (4 at a time, AVX2), nothing else.  A transform
// of n = 2^k points converts in about k - 2 such passes (the twiddle-1
// butterflies of the first stages run in float).
__attribute__((target("avx2"))) void ConvertPass(const float* src, float* dst, std::int32_t n)
{
    for (std::int32_t i = 0; i < 2 * n; i += 8) {
        const __m256d a = _mm256_cvtps_pd(_mm_loadu_ps(src + i));
        const __m256d b = _mm256_cvtps_pd(_mm_loadu_ps(src + i + 4));
        _mm_storeu_ps(dst + i, _mm256_cvtpd_ps(a));
        _mm_storeu_ps(dst + i + 4, _mm256_cvtpd_ps(b));
    }
}

void BM_ConversionPass(benchmark::State& state)
{
    if (!__builtin_cpu_supports("avx2")) {
        state.SkipWithError("no AVX2");
        return;
    }
    const auto n = static_cast<std::int32_t>(state.range(0));
    std::vector<float> a = Input(n), b(a.size());
    for (auto _ : state) {
        ConvertPass(a.data(), b.data(), n);
        std::swap(a, b);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

} // namespace

BENCHMARK(BM_ConversionPass)->Arg(8192)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DoFFT)->Arg(1024)->Arg(8192)->Arg(65536)->Arg(262144)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FFTW)->Arg(1024)->Arg(8192)->Arg(65536)->Arg(262144)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
