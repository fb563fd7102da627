// An rtl_sdr recording through parlune-measure's recording path, as the
// program runs it (file reading, cu8 conversion, tuner, the measurement
// chain, CSV to /dev/null): 12 s of cu8 at 2400000 Hz analysed at 12000 Hz.
// Counter realtime_x: seconds of recording per second of wall time; the
// target is at least 15.  The file is read from the page cache.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kRate = 2400000;
constexpr double kSeconds = 12, kOffset = 250000; // dial - centre

// Noise of 10 steps per part and a tone at dial + 1000 Hz, written a second at a time.
std::string WriteRecording()
{
    const std::string path = "/tmp/parlune-bench-" + std::to_string(getpid()) + "_14000000Hz.cu8";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::mt19937 gen(1);
    std::normal_distribution<float> noise(0.0f, 10.0f);
    const std::complex<double> step = std::polar(1.0, 2 * std::numbers::pi * (kOffset + 1000) / kRate);
    std::complex<double> tone = 20;
    std::vector<std::uint8_t> second(2 * kRate);
    for (int s = 0; s < kSeconds; ++s) {
        for (int i = 0; i < kRate; ++i, tone *= step) {
            second[2 * i] = static_cast<std::uint8_t>(std::clamp(127.5 + tone.real() + noise(gen), 0.0, 255.0));
            second[2 * i + 1] = static_cast<std::uint8_t>(std::clamp(127.5 + tone.imag() + noise(gen), 0.0, 255.0));
        }
        std::fwrite(second.data(), 1, second.size(), f);
    }
    std::fclose(f);
    return path;
}

void BM_Cu8Recording(benchmark::State& state)
{
    const std::string path = WriteRecording();
    const std::string command = std::string(PARLUNE_MEASURE_BIN) + " --sdr-rate " + std::to_string(kRate) +
                                " --dial " + std::to_string(14000000 + static_cast<int>(kOffset)) + " --format csv " + path +
                                " > /dev/null";
    double wall = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int status = std::system(command.c_str());
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (status != 0) state.SkipWithError("parlune-measure failed");
        state.SetIterationTime(s);
        wall += s;
    }
    std::remove(path.c_str());
    state.counters["realtime_x"] = kSeconds * static_cast<double>(state.iterations()) / wall;
}

} // namespace

BENCHMARK(BM_Cu8Recording)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
