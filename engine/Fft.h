// The program's one transform: in-place complex radix-2 FFT, positive
// exponent, unscaled, on a 1-based interleaved single-precision array.
#pragma once
#include <cstdint>
#include <vector>

struct FftTwiddles;

// The vector kernel a plan runs: the widest this processor has by default.
enum class FftPath { Scalar, Avx2, Avx512 };
bool FftPathAvailable(FftPath path);
FftPath WidestFftPath();

// Everything one transform size needs: the twiddles of its stages and a
// scratch array.  A run keeps its own, so runs share nothing.
class FftPlan {
public:
    // n a power of two 2 .. kMaxNFFT (anything else transforms nothing); the
    // path must be available.
    explicit FftPlan(std::int32_t n = 0, FftPath path = WidestFftPath());
    std::int32_t Size() const { return n_; }
    // Transforms the n points at data[1 .. 2n] (point k: real 2k+1,
    // imaginary 2k+2).  data[0] and everything above 2n are left alone.
    void Transform(float* data);
    // The stage twiddles, for kernels run on their own (tests).
    FftTwiddles Twiddles() const;

private:
    std::int32_t n_ = 0;
    FftPath path_;
    std::vector<double> wr_, wi_;  // stage twiddles (see FftKernels.h)
    std::vector<float> scratch_;   // 2n floats from a cache line's start, and the slack to get there
};

// One transform with a plan of its own: for one-off use and tests.
void DoFFT(float* data, std::int32_t n);
