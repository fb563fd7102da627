#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

#include <gtest/gtest.h>
#include <immintrin.h>

#include "engine/Fft.h"
#include "engine/FftKernels.h"

// The stage kernels' source with generic vectors, so the four-point-wide logic of the AVX-512 path is checked even
// where that path cannot run.
#pragma GCC diagnostic ignored "-Wpsabi" // vectors wider than the target's
namespace generic {
#include "engine/FftKernelBody.h"
} // namespace generic

namespace {

// The transform written out stage by stage with no reordering; volatile keeps products and sums unfused.  The
// optimised DoFFT must store the same floats.
void ReferenceFFT(float* d, std::int32_t nn)
{
    const std::int32_t n = 2 * nn;
    for (std::int32_t i = 1, j = 1; i <= n; i += 2) {
        if (j > i) std::swap(d[j], d[i]), std::swap(d[j + 1], d[i + 1]);
        std::int32_t m = nn;
        for (; m >= 2 && j > m; m /= 2) j -= m;
        j += m;
    }
    for (std::int32_t mmax = 2; n > mmax; mmax *= 2) {
        const double theta = 6.28318530717958 / mmax, wpr = std::cos(theta), wpi = std::sin(theta);
        double wr = 1, wi = 0;
        for (std::int32_t m = 1; m <= mmax; m += 2) {
            for (std::int32_t i = m; i <= n; i += 2 * mmax) {
                const std::int32_t j = i + mmax;
                volatile double a = wr * d[j], b = wi * d[j + 1], c = wr * d[j + 1], e = wi * d[j];
                const double tr = a - b, ti = c + e;
                d[j] = static_cast<float>(d[i] - tr);
                d[j + 1] = static_cast<float>(d[i + 1] - ti);
                d[i] = static_cast<float>(d[i] + tr);
                d[i + 1] = static_cast<float>(d[i + 1] + ti);
            }
            volatile double p = wr * wpr, q = wi * wpi, r = wi * wpr, s = wr * wpi;
            wr = p - q, wi = r + s;
        }
    }
}

constexpr float kSentinel = -12345.25f;

// 1-based interleaved buffer of random points, sentinels at index 0 and after 2n.
std::vector<float> Random(std::int32_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-1, 1);
    std::vector<float> v(2 * static_cast<std::size_t>(n) + 9, kSentinel);
    for (std::int32_t i = 1; i <= 2 * n; ++i) v[i] = u(gen);
    return v;
}

std::complex<double> Point(const std::vector<float>& v, std::int32_t k) { return {v[2 * k + 1], v[2 * k + 2]}; }

// The positive exponent (a sign error would put every tone in its mirror bin). Index 0 and what lies beyond 2n are
// never written; sizes it cannot transform leave the data alone.
TEST(DoFFT, MatchesADirectPositiveExponentDftAndWritesNothingElse)
{
    for (std::int32_t n = 1024; n <= 16384; n *= 2) {
        const auto in = Random(n, static_cast<unsigned>(n));
        auto out = in;
        DoFFT(out.data(), n);
        EXPECT_TRUE(out[0] == kSentinel && std::all_of(out.begin() + 2 * n + 1, out.end(), [](float x) { return x == kSentinel; }));
        const double tol = 1e-5 * std::sqrt(static_cast<double>(n)) * std::log2(n);
        for (std::int32_t m = 0; m < n; m += n / 64 + 1) {
            std::complex<double> sum = 0;
            for (std::int32_t k = 0; k < n; ++k)
                sum += Point(in, k) * std::polar(1.0, 2 * std::numbers::pi * ((std::int64_t{k} * m) % n) / n);
            EXPECT_LT(std::abs(Point(out, m) - sum), tol) << "n " << n << " point " << m;
        }
    }
    const auto in = Random(1024, 7);
    for (std::int32_t n : {0, 1, 1000, -8}) {
        auto v = in;
        DoFFT(v.data(), n);
        EXPECT_TRUE(v == in) << n;
    }
}

// Every kernel this processor runs (and the scalar one on any processor) must store exactly the stage-by-stage
// values, for windowed noise, real windowed 16-bit audio (exact +-0 imaginary parts and results) and sparse impulses
// among signed zeros.
TEST(DoFFT, EveryPathStoresTheSameBitsAsTheStageByStageForm)
{
    std::vector<std::int32_t> sizes = {2, 4, 8, 16, 32, 64, 128, 512};
    for (std::int32_t n = 1024; n <= 262144; n *= 2) sizes.push_back(n);
    for (std::int32_t n : sizes)
        for (int input = 0; input < 3; ++input) {
            std::mt19937 gen(static_cast<unsigned>(n + input));
            std::uniform_real_distribution<float> u(-1, 1);
            std::vector<float> in(2 * static_cast<std::size_t>(n) + 9, kSentinel);
            for (std::int32_t k = 0; k < n; ++k) {
                const float w = static_cast<float>(0.5 - 0.5 * std::cos(2 * std::numbers::pi * k / n));
                float &re = in[2 * k + 1], &im = in[2 * k + 2];
                if (input == 0) re = u(gen) * w, im = u(gen) * w;
                if (input == 1) re = std::round(u(gen) * 32767.0f) * w, im = 0.0f;
                if (input == 2) re = k % 3 ? 0.0f : -0.0f, im = k % 2 ? -0.0f : (k % 97 == 5 ? u(gen) * 1e4f : 0.0f);
            }
            auto ref = in;
            ReferenceFFT(ref.data(), n);
            for (int path = 0; path < 4; ++path) { // the three paths, then the generic 4-wide one
                if (path < 3 && !FftPathAvailable(static_cast<FftPath>(path))) continue;
                auto out = in;
                FftPlan plan(n, path < 3 ? static_cast<FftPath>(path) : FftPath::Scalar);
                if (path < 3 || n < 4) plan.Transform(out.data());
                else generic::Run<4>(out.data() + 1, std::vector<float>(2 * std::size_t(n)).data(), n, plan.Twiddles()); // scratch
                EXPECT_EQ(std::memcmp(out.data(), ref.data(), out.size() * sizeof(float)), 0)
                    << "n " << n << " input " << input << " path " << path;
            }
        }
}

} // namespace
