// CPU used while the run loop waits for blocks: 10 blocks of 8192 frames at
// 12000 Hz from the built-in test signal, process CPU time over wall time.
// Target: at most 1% of one core.
#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <ctime>
#include <string>
#include <vector>

#include "capture/InputBackend.h"
#include "capture/TestSignal.h"
#include "capture/WaitForBuffer.h"
#include "capture/WaveIn.h"

namespace {

double Seconds(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void BM_CaptureWait(benchmark::State& state)
{
    constexpr int kFrames = 8192;
    constexpr int kBlocks = 10;
    // The test signal's ID, found by name as the device list shows it.
    std::uint32_t id = WAVE_MAPPER;
    const std::uint32_t n = waveInGetNumDevs();
    for (std::uint32_t i = 0; i < n; ++i)
        if (waveInFullName(i) == kTestSignals[0].name)
            id = i;
    WAVEFORMATEX f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 2;
    f.nSamplesPerSec = 12000;
    f.nAvgBytesPerSec = 48000;
    f.nBlockAlign = 4;
    f.wBitsPerSample = 16;
    HWAVEIN h = 0;
    if (waveInOpen(&h, id, &f, 0, 0, 0) != MMSYSERR_NOERROR) {
        state.SkipWithError("the test signal did not open");
        return;
    }
    waveInStart(h);
    std::vector<std::int16_t> buf(2 * kFrames);
    double cpuTotal = 0, wallTotal = 0;
    for (auto _ : state) {
        const double cpu0 = Seconds(CLOCK_PROCESS_CPUTIME_ID), wall0 = Seconds(CLOCK_MONOTONIC);
        for (int b = 0; b < kBlocks; ++b) {
            WAVEHDR hdr;
            hdr.lpData = reinterpret_cast<char*>(buf.data());
            hdr.dwBufferLength = 4 * kFrames;
            waveInPrepareHeader(h, &hdr, 32);
            waveInAddBuffer(h, &hdr, 32);
            WaitForBuffer(hdr, h, [] { return false; });
            waveInUnprepareHeader(h, &hdr, 32);
        }
        const double cpu = Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0, wall = Seconds(CLOCK_MONOTONIC) - wall0;
        state.SetIterationTime(wall);
        cpuTotal += cpu;
        wallTotal += wall;
    }
    waveInReset(h);
    waveInClose(h);
    state.counters["cpu_percent_of_core"] = 100 * cpuTotal / wallTotal;
    state.counters["wall_s_per_block"] = wallTotal / (kBlocks * static_cast<double>(state.iterations()));
}
BENCHMARK(BM_CaptureWait)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
