#include "sdr/Tuner.h"

#include <algorithm>
#include <cmath>
#include <complex> // before liquid.h: its complex type is then std::complex<float>
#include <numbers>
#include <numeric>
#include <stdexcept>
#include <string>

#include <liquid/liquid.h>

namespace {

constexpr std::size_t kBlock = 4096;      // input samples per pass: the work arrays and the NCO table
constexpr float kFullScaleSteps = 32767.0f;
constexpr double kStopDb = 90.0;          // designed; 80 asked, the rest for float arithmetic
constexpr double kHalfbandRippleDb = 0.01; // several stages share the 0.1 dB
constexpr std::size_t kMaxResamplerTaps = std::size_t{1} << 21; // 8 MB of taps

// Kaiser-windowed sinc low-pass of n taps, cutoff fc (cycles per sample),
// window beta from liquid's rule.  Our own because liquid_firdes_kaiser takes
// a second per 100000 taps (its Bessel function goes through log-gamma).
std::vector<float> KaiserLowpass(std::size_t n, double fc, double stopDb)
{
    const auto i0 = [](double x) { // modified Bessel function of order 0, by its series
        double sum = 1, term = 1;
        for (int k = 1; term > 1e-17 * sum; ++k) {
            term *= (x / (2 * k)) * (x / (2 * k));
            sum += term;
        }
        return sum;
    };
    const double beta = kaiser_beta_As(static_cast<float>(stopDb));
    const double mid = (static_cast<double>(n) - 1) / 2;
    std::vector<float> h(n);
    for (std::size_t t = 0; t < n; ++t) {
        const double x = static_cast<double>(t) - mid;
        const double sinc = x == 0 ? 1 : std::sin(2 * std::numbers::pi * fc * x) / (2 * std::numbers::pi * fc * x);
        const double r = x / mid; // n >= 2
        h[t] = static_cast<float>(sinc * i0(beta * std::sqrt(std::max(0.0, 1 - r * r))) / i0(beta));
    }
    return h;
}

// Gain of symmetric taps h at f (cycles per sample), in dB.
double ResponseDb(const std::vector<float>& h, double f)
{
    const double centre = (static_cast<double>(h.size()) - 1) / 2;
    double sum = 0;
    for (std::size_t t = 0; t < h.size(); ++t)
        if (h[t] != 0)
            sum += h[t] * std::cos(2 * std::numbers::pi * f * (static_cast<double>(t) - centre));
    return 20 * std::log10(std::abs(sum) + 1e-300);
}

// The shortest Kaiser half-band with unit gain at 0 Hz that is flat
// up to fp and at least kStopDb down from 0.5 - fp, where the parts that fold
// onto 0 .. fp lie (fp in cycles per input sample, <= 0.125).  The window's
// own attenuation is searched: with so wide a transition the nominal one
// misleads.  (liquid's Parks-McClellan half-band is shorter, but its design leaks memory under LeakSanitizer.)
std::vector<float> DesignHalfband(double fp)
{
    for (unsigned m = 2; m <= 40; ++m) {
        for (double windowDb = 40; windowDb <= 200; windowDb += 4) {
            std::vector<float> h = KaiserLowpass(4 * m + 1, 0.25, windowDb);
            const double sum = std::accumulate(h.begin(), h.end(), 0.0);
            for (float& v : h)
                v = static_cast<float>(v / sum);
            bool ok = true;
            for (int i = 0; i <= 32 && ok; ++i)
                ok = std::abs(ResponseDb(h, fp * i / 32)) <= kHalfbandRippleDb && ResponseDb(h, 0.5 - fp * i / 32) <= -kStopDb;
            if (ok)
                return h;
        }
    }
    throw std::logic_error("no half-band filter meets the stage's band edges");
}

// Decimates by 2 with a half-band filter (4m+1 taps, only the centre and the
// odd ones non-zero), on separate I and Q arrays so the loops vectorise.
class Halfband {
public:
    explicit Halfband(const std::vector<float>& h)
        : m_((h.size() - 1) / 4), centre_(h[2 * m_]), re_(4 * m_ + 2 + kBlock), im_(re_.size()), have_(4 * m_)
    {
        for (std::size_t j = 0; j < m_; ++j)
            g_.push_back(h[2 * j + 1]);
    }
    std::size_t Length() const { return 4 * m_ + 1; }

    // Takes n samples, writes one output per pair; an odd one waits.
    std::size_t Run(const float* re, const float* im, std::size_t n, float* outRe, float* outIm)
    {
        std::copy(re, re + n, re_.begin() + static_cast<std::ptrdiff_t>(have_));
        std::copy(im, im + n, im_.begin() + static_cast<std::ptrdiff_t>(have_));
        have_ += n;
        const std::size_t outs = have_ > 4 * m_ ? (have_ - 4 * m_ + 1) / 2 : 0;
        Filter(re_.data(), outs, outRe);
        Filter(im_.data(), outs, outIm);
        // Keep what the next outputs still need.
        const std::size_t used = 2 * outs;
        std::copy(re_.begin() + static_cast<std::ptrdiff_t>(used), re_.begin() + static_cast<std::ptrdiff_t>(have_), re_.begin());
        std::copy(im_.begin() + static_cast<std::ptrdiff_t>(used), im_.begin() + static_cast<std::ptrdiff_t>(have_), im_.begin());
        have_ -= used;
        return outs;
    }

private:
    // Output n: centre tap on x[2n+2m], pairs of equal taps around it.
    void Filter(const float* __restrict x, std::size_t outs, float* __restrict y) const
    {
        for (std::size_t n = 0; n < outs; ++n)
            y[n] = centre_ * x[2 * n + 2 * m_];
        for (std::size_t j = 0; j < m_; ++j) {
            const float g = g_[j];
            const float* __restrict a = x + 2 * j + 1;
            const float* __restrict b = x + 4 * m_ - 1 - 2 * j;
            for (std::size_t n = 0; n < outs; ++n)
                y[n] += g * (a[2 * n] + b[2 * n]);
        }
    }

    std::size_t m_;
    float centre_;
    std::vector<float> g_;
    std::vector<float> re_, im_; // history, then the new samples
    std::size_t have_;
};

std::int16_t ToSteps(float v)
{
    if (!(v == v)) // a NaN from a float recording
        return 0;
    return static_cast<std::int16_t>(std::lrint(std::clamp(v, -kFullScaleSteps, kFullScaleSteps)));
}

} // namespace

struct Tuner::Chain {
    // NCO: this block's oscillator is its start phase times a fixed table, so
    // every sample's phase depends on its index alone, not on the chunking.
    std::vector<float> tabRe, tabIm, loRe, loIm;
    double blockCycles = 0; // phase advance over one block, cycles
    double anchor = 0;      // phase at the start of the current block, cycles
    std::uint64_t pos = 0;  // input samples taken
    std::vector<Halfband> stages;
    std::vector<float> aRe, aIm, bRe, bIm; // work arrays, kBlock long
    rresamp_crcf resampler = nullptr;
    unsigned P = 1, Q = 1; // resampler: P outputs per Q inputs
    std::vector<std::complex<float>> finalIn, finalOut;
    std::size_t fill = 0;

    void Oscillator()
    {
        const float cr = static_cast<float>(std::cos(2 * std::numbers::pi * anchor));
        const float ci = static_cast<float>(std::sin(2 * std::numbers::pi * anchor));
        for (std::size_t k = 0; k < kBlock; ++k) {
            loRe[k] = cr * tabRe[k] - ci * tabIm[k];
            loIm[k] = cr * tabIm[k] + ci * tabRe[k];
        }
    }
    ~Chain()
    {
        if (resampler)
            rresamp_crcf_destroy(resampler);
    }
};

Tuner::Tuner(std::uint32_t inputRate, std::uint32_t analysisRate, double offsetHz) : chain_(std::make_unique<Chain>())
{
    const auto hz = [](double v) { return std::to_string(static_cast<long long>(std::llround(v))) + " Hz"; };
    if (analysisRate < 100 || analysisRate > 384000)
        throw std::invalid_argument("analysis rate " + hz(analysisRate) + " lies outside 100 .. 384000 Hz");
    if (inputRate < analysisRate)
        throw std::invalid_argument("input rate " + hz(inputRate) + " is below the analysis rate " + hz(analysisRate));
    if (!std::isfinite(offsetHz))
        throw std::invalid_argument("tuning offset is not a number");
    if (!(std::abs(offsetHz) < inputRate / 2.0))
        throw std::invalid_argument("tuning offset " + hz(offsetHz) + " lies outside the input's +-" + hz(inputRate / 2.0));
    Chain& c = *chain_;

    const double step = -offsetHz / inputRate; // cycles per sample
    c.blockCycles = step * kBlock - std::floor(step * kBlock);
    for (std::size_t k = 0; k < kBlock; ++k) {
        const double phase = 2 * std::numbers::pi * (step * static_cast<double>(k) - std::floor(step * static_cast<double>(k)));
        c.tabRe.push_back(static_cast<float>(std::cos(phase)));
        c.tabIm.push_back(static_cast<float>(std::sin(phase)));
    }
    c.loRe.resize(kBlock);
    c.loIm.resize(kBlock);
    c.Oscillator();
    for (auto* v : {&c.aRe, &c.aIm, &c.bRe, &c.bIm})
        v->resize(kBlock);

    // Halve while the rate stays at least twice the analysis rate; each stage
    // keeps +-0.5 x the analysis rate, where nothing may fold in.
    // settle: the first output of the stage so far whose window holds input only.
    std::size_t settle = 0;
    double rate = inputRate;
    while (rate >= 4.0 * analysisRate) {
        c.stages.emplace_back(DesignHalfband(0.5 * analysisRate / rate));
        settle = (settle + c.stages.back().Length() - 2 + 1) / 2;
        rate /= 2;
    }

    // The resampler's prototype runs at P x its input rate: passband to 0.45,
    // stop band from 0.5 x the analysis rate (Kaiser, 90 dB).
    const std::uint64_t up = std::uint64_t{analysisRate} << c.stages.size();
    const std::uint64_t g = std::gcd(up, std::uint64_t{inputRate});
    c.P = static_cast<unsigned>(up / g);
    c.Q = static_cast<unsigned>(inputRate / g);
    const double df = 0.045 / c.Q;
    const std::size_t taps = static_cast<std::size_t>(std::ceil((kStopDb - 7.95) / (14.36 * df)));
    const unsigned m = static_cast<unsigned>((taps + 2 * c.P - 1) / (2 * c.P));
    if (std::size_t{2} * c.P * m > kMaxResamplerTaps)
        throw std::invalid_argument("analysis rate " + hz(analysisRate) + " from input rate " + hz(inputRate) +
                                    " needs too fine a resampling ratio (" + std::to_string(c.P) + "/" +
                                    std::to_string(c.Q) + ")");
    std::vector<float> h = KaiserLowpass(std::size_t{2} * c.P * m, 0.475 / c.Q, kStopDb);
    const double sum = std::accumulate(h.begin(), h.end(), 0.0);
    c.resampler = rresamp_crcf_create(c.P, c.Q, m, h.data());
    if (!c.resampler)
        throw std::invalid_argument("the resampler for " + std::to_string(c.P) + "/" + std::to_string(c.Q) + " cannot be made");
    rresamp_crcf_set_scale(c.resampler, static_cast<float>(kFullScaleSteps * c.P / sum));
    c.finalIn.resize(c.Q);
    c.finalOut.resize(c.P);
    // Output o is made once input floor(o Q / P) is in; its window reaches 2m - 1 back.
    settle_ = ((settle + 2 * m - 1) * c.P + c.Q - 1) / c.Q;
    toDrop_ = settle_;
}

Tuner::~Tuner() = default;

std::size_t Tuner::HalfbandStages() const { return chain_->stages.size(); }

std::size_t Tuner::MaxFrames(std::size_t samples) const
{
    const Chain& c = *chain_;
    // Each half-band may hold one sample back; the resampler up to Q - 1.
    return ((samples >> c.stages.size()) + 2 + c.Q) / c.Q * c.P;
}

std::size_t Tuner::Process(std::span<const std::complex<float>> in, std::span<std::int16_t> out)
{
    Chain& c = *chain_;
    std::size_t frames = 0;
    std::size_t i = 0;
    while (i < in.size()) {
        const std::size_t k = c.pos % kBlock;
        if (k == 0 && c.pos > 0) { // a new block of the oscillator
            c.anchor += c.blockCycles;
            c.anchor -= std::floor(c.anchor);
            c.Oscillator();
        }
        std::size_t n = std::min(in.size() - i, kBlock - k);
        const float* __restrict x = reinterpret_cast<const float*>(in.data() + i);
        const float* __restrict lr = c.loRe.data() + k;
        const float* __restrict li = c.loIm.data() + k;
        float* __restrict yr = c.aRe.data();
        float* __restrict yi = c.aIm.data();
        for (std::size_t s = 0; s < n; ++s) {
            yr[s] = x[2 * s] * lr[s] - x[2 * s + 1] * li[s];
            yi[s] = x[2 * s] * li[s] + x[2 * s + 1] * lr[s];
        }
        c.pos += n;
        i += n;

        float *re = c.aRe.data(), *im = c.aIm.data(), *outRe = c.bRe.data(), *outIm = c.bIm.data();
        for (Halfband& stage : c.stages) {
            n = stage.Run(re, im, n, outRe, outIm);
            std::swap(re, outRe);
            std::swap(im, outIm);
        }
        for (std::size_t s = 0; s < n; ++s) {
            c.finalIn[c.fill++] = {re[s], im[s]};
            if (c.fill < c.Q)
                continue;
            c.fill = 0;
            rresamp_crcf_execute(c.resampler, c.finalIn.data(), c.finalOut.data());
            for (const std::complex<float>& y : c.finalOut) {
                if (toDrop_ > 0) {
                    --toDrop_;
                    continue;
                }
                out[2 * frames] = ToSteps(y.real());
                out[2 * frames + 1] = ToSteps(y.imag());
                ++frames;
            }
        }
    }
    return frames;
}
