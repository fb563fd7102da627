// DoFFT throughput at the smallest, default, large and largest sizes.
// Reported as time per block and, in the "ns_per_point" counter, per point.
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/Fft.h"

namespace {

void BM_DoFFT(benchmark::State& state)
{
    const auto n = static_cast<std::int32_t>(state.range(0));
    std::vector<float> data(2 * static_cast<std::size_t>(n) + 1);
    std::mt19937 gen(1);
    std::uniform_real_distribution<float> u(-32768, 32767);
    for (auto& v : data)
        v = u(gen);
    const std::vector<float> block = data;
    FftPlan plan(n); // the twiddle tables, built outside the timing, as a run does
    for (auto _ : state) {
        state.PauseTiming();
        data = block; // keep values in a realistic range
        state.ResumeTiming();
        plan.Transform(data.data());
        benchmark::DoNotOptimize(data.data());
    }
    // Inverted rate of (points x 1e-9) per second = nanoseconds per point.
    state.counters["ns_per_point"] =
        benchmark::Counter(static_cast<double>(n) * state.iterations() * 1e-9,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK(BM_DoFFT)->Arg(1024)->Arg(8192)->Arg(65536)->Arg(262144)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
