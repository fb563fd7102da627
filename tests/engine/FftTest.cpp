#include <cmath>
#include <complex>
#include <numbers>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "engine/Fft.h"
#include "engine/Shared.h"

namespace {

// The transform written out stage by stage, loop for loop, with no
// reordering.  The optimised DoFFT must store exactly the same floats.
void ReferenceFFT(float* data, std::int32_t nn)
{
    const std::int32_t n = 2 * nn;
    std::int32_t j = 1;
    for (std::int32_t i = 1; i <= n; i += 2) {
        if (j > i) {
            std::swap(data[j], data[i]);
            std::swap(data[j + 1], data[i + 1]);
        }
        std::int32_t m = n / 2;
        while (m >= 2 && j > m) {
            j -= m;
            m /= 2;
        }
        j += m;
    }
    std::int32_t mmax = 2;
    while (n > mmax) {
        const std::int32_t istep = 2 * mmax;
        const double theta = 6.28318530717958 / mmax;
        const double wpr = std::cos(theta), wpi = std::sin(theta);
        double wr = 1, wi = 0;
        for (std::int32_t m = 1; m <= mmax; m += 2) {
            for (std::int32_t i = m; i <= n; i += istep) {
                j = i + mmax;
                volatile double a = wr * data[j];       // volatile: keep the products
                volatile double b = wi * data[j + 1];   // and sums unfused, as stated
                const double tempr = a - b;
                volatile double c = wr * data[j + 1];
                volatile double d = wi * data[j];
                const double tempi = c + d;
                data[j] = static_cast<float>(data[i] - tempr);
                data[j + 1] = static_cast<float>(data[i + 1] - tempi);
                data[i] = static_cast<float>(data[i] + tempr);
                data[i + 1] = static_cast<float>(data[i + 1] + tempi);
            }
            volatile double p = wr * wpr, q = wi * wpi, r = wi * wpr, s = wr * wpi;
            wr = p - q;
            wi = r + s;
        }
        mmax = istep;
    }
}

constexpr float kSentinel = -12345.25f;

// Interleaved 1-based buffer with sentinels at index 0 and after 2n.
std::vector<float> Buffer(std::int32_t n)
{
    std::vector<float> v(2 * static_cast<std::size_t>(n) + 9, kSentinel);
    for (std::int32_t i = 1; i <= 2 * n; ++i)
        v[i] = 0;
    return v;
}

std::vector<float> RandomBuffer(std::int32_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-1, 1);
    auto v = Buffer(n);
    for (std::int32_t i = 1; i <= 2 * n; ++i)
        v[i] = u(gen);
    return v;
}

std::complex<double> Point(const std::vector<float>& v, std::int32_t k) { return {v[2 * k + 1], v[2 * k + 2]}; }

TEST(DoFFT, MatchesADirectPositiveExponentDft)
{
    for (std::int32_t n = 1024; n <= 16384; n *= 2) {
        const auto in = RandomBuffer(n, static_cast<unsigned>(n));
        auto out = in;
        DoFFT(out.data(), n);
        std::vector<double> c(n), s(n);
        for (std::int32_t k = 0; k < n; ++k) {
            c[k] = std::cos(2 * std::numbers::pi * k / n);
            s[k] = std::sin(2 * std::numbers::pi * k / n);
        }
        const double tol = 1e-5 * std::sqrt(static_cast<double>(n)) * std::log2(n);
        for (std::int32_t m = 0; m < n; m += n / 64 + 1) {
            std::complex<double> sum = 0;
            for (std::int32_t k = 0; k < n; ++k) {
                const std::int64_t idx = (static_cast<std::int64_t>(k) * m) % n;
                sum += Point(in, k) * std::complex<double>(c[idx], s[idx]);
            }
            EXPECT_LT(std::abs(Point(out, m) - sum), tol) << "n " << n << " point " << m;
        }
    }
}

TEST(DoFFT, SingleExponentialLandsInOneBin)
{
    const std::int32_t n = 4096;
    for (std::int32_t b : {1, 100, 1000, 2047}) {
        for (double sign : {-1.0, 1.0}) {
            auto v = Buffer(n);
            for (std::int32_t k = 0; k < n; ++k) {
                const double a = 2 * std::numbers::pi * k * b / n;
                v[2 * k + 1] = static_cast<float>(std::cos(a));
                v[2 * k + 2] = static_cast<float>(sign * std::sin(a));
            }
            DoFFT(v.data(), n);
            const std::int32_t peak = sign < 0 ? b : n - b;
            EXPECT_NEAR(std::abs(Point(v, peak)), n, 1e-3 * n) << b << " sign " << sign;
            double leak = 0;
            for (std::int32_t m = 0; m < n; ++m)
                if (m != peak)
                    leak = std::max(leak, std::abs(Point(v, m)));
            EXPECT_LT(leak, 1e-3 * n) << b << " sign " << sign;
        }
    }
}

TEST(DoFFT, RealInputGivesConjugateSymmetry)
{
    const std::int32_t n = 2048;
    auto v = RandomBuffer(n, 7);
    for (std::int32_t k = 0; k < n; ++k)
        v[2 * k + 2] = 0;
    DoFFT(v.data(), n);
    for (std::int32_t m = 1; m < n; ++m) {
        EXPECT_NEAR(v[2 * m + 1], v[2 * (n - m) + 1], 1e-3) << m;
        EXPECT_NEAR(v[2 * m + 2], -v[2 * (n - m) + 2], 1e-3) << m;
    }
}

TEST(DoFFT, ConstantOneGivesNAtPointZeroAndLeavesTheEdgesAlone)
{
    const std::int32_t n = 1024;
    auto v = Buffer(n);
    for (std::int32_t k = 0; k < n; ++k)
        v[2 * k + 1] = 1;
    DoFFT(v.data(), n);
    EXPECT_FLOAT_EQ(v[1], n);
    EXPECT_FLOAT_EQ(v[2], 0);
    for (std::int32_t m = 1; m < n; ++m)
        EXPECT_LT(std::abs(Point(v, m)), 1e-3) << m;
    EXPECT_EQ(v[0], kSentinel);
    for (std::size_t i = 2 * n + 1; i < v.size(); ++i)
        EXPECT_EQ(v[i], kSentinel) << i;
}

TEST(DoFFT, TwiceGivesNTimesTheReversedSequence)
{
    const std::int32_t n = 8192;
    const auto in = RandomBuffer(n, 3);
    auto v = in;
    DoFFT(v.data(), n);
    DoFFT(v.data(), n);
    for (std::int32_t k = 0; k < n; ++k) {
        const auto expect = Point(in, (n - k) % n) * static_cast<double>(n);
        EXPECT_LT(std::abs(Point(v, k) - expect), 1e-4 * n) << k;
    }
}

TEST(DoFFT, StoresTheSameBitsAsTheStageByStageForm)
{
    for (std::int32_t n = 2; n <= kMaxNFFT; n *= 2) {
        auto fast = RandomBuffer(n, static_cast<unsigned>(n) + 11);
        // Awkward values: signed zeros and large magnitudes.
        for (std::int32_t i = 1; i <= 2 * n; i += 7)
            fast[i] = (i % 3 == 0) ? -0.0f : (i % 3 == 1 ? 0.0f : fast[i] * 3e4f);
        auto ref = fast;
        DoFFT(fast.data(), n);
        ReferenceFFT(ref.data(), n);
        EXPECT_EQ(std::memcmp(fast.data(), ref.data(), fast.size() * sizeof(float)), 0) << "n " << n;
    }
}

TEST(DoFFT, SharedSizeAndSizesItCannotTransform)
{
    auto a = RandomBuffer(1024, 5);
    auto b = a;
    NFFT = 1024;
    DoFFT(a.data());
    DoFFT(b.data(), 1024);
    EXPECT_EQ(a, b);
    for (std::int32_t n : {0, 1, 3, 1000, -8}) {
        auto v = RandomBuffer(1024, 9);
        const auto before = v;
        DoFFT(v.data(), n);
        EXPECT_EQ(v, before) << n;
    }
    NFFT = 0;
}

} // namespace
