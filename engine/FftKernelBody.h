// The transform's stages for one vector width, written once for all
// instruction sets: each FftKernels*.cpp includes it inside an unnamed
// namespace, compiled with its own target flags and -ffp-contract=off.
//
// Vectors run across butterflies: each lane pair is one point of a different
// butterfly, and each butterfly does exactly the scalar double operations,
// rounding every value it stores to float.  Values passed from one stage to
// the next in registers go through float and back, as if stored and loaded.
// The including file has already included <cstring>, <immintrin.h> and
// FftKernels.h.

#define FFT_INLINE inline __attribute__((always_inline))

// W points per vector: 2W doubles, or 2W floats in memory.
template <int W>
struct Vec;
template <>
struct Vec<1> {
    typedef double D __attribute__((vector_size(16)));
    typedef float F __attribute__((vector_size(8)));
};
template <>
struct Vec<2> {
    typedef double D __attribute__((vector_size(32)));
    typedef float F __attribute__((vector_size(16)));
};
template <>
struct Vec<4> {
    typedef double D __attribute__((vector_size(64)));
    typedef float F __attribute__((vector_size(32)));
};
template <int W>
using VecD = typename Vec<W>::D;
template <int W>
using VecF = typename Vec<W>::F;

// float <-> double, exactly as the scalar conversions.  GCC splits the generic
// form into half-width instructions, so the full-width ones are named here.
template <int W>
FFT_INLINE VecD<W> Widen(VecF<W> f)
{
#ifdef __AVX512F__
    if constexpr (W == 4)
        return _mm512_cvtps_pd(f);
#endif
#ifdef __AVX__
    if constexpr (W == 2)
        return _mm256_cvtps_pd(f);
#endif
    return __builtin_convertvector(f, VecD<W>);
}

template <int W>
FFT_INLINE VecF<W> Narrow(VecD<W> x)
{
#ifdef __AVX512F__
    if constexpr (W == 4)
        return _mm512_cvtpd_ps(x);
#endif
#ifdef __AVX__
    if constexpr (W == 2)
        return _mm256_cvtpd_ps(x);
#endif
    return __builtin_convertvector(x, VecF<W>);
}

template <int W>
FFT_INLINE VecD<W> Load(const float* p)
{
    if constexpr (W == 1) { // GCC widens 2-float vectors one float at a time
        double pair;
        std::memcpy(&pair, p, sizeof pair);
        return _mm_cvtps_pd(_mm_castpd_ps(_mm_set_sd(pair)));
    }
    VecF<W> f;
    std::memcpy(&f, p, sizeof f);
    return Widen<W>(f);
}

template <int W>
FFT_INLINE void Store(float* p, VecD<W> x)
{
    if constexpr (W == 1) {
        const double pair = _mm_cvtsd_f64(_mm_castps_pd(_mm_cvtpd_ps(x)));
        std::memcpy(p, &pair, sizeof pair);
    } else {
        const VecF<W> f = Narrow<W>(x);
        std::memcpy(p, &f, sizeof f);
    }
}

template <int W>
FFT_INLINE VecD<W> LoadD(const double* p)
{
    VecD<W> x;
    std::memcpy(&x, p, sizeof x);
    return x;
}

// What a store to float and a load back would give.
template <int W>
FFT_INLINE VecD<W> Round(VecD<W> x)
{
    if constexpr (W == 1)
        return _mm_cvtps_pd(_mm_cvtpd_ps(x));
    else
        return Widen<W>(Narrow<W>(x));
}

// (re, im) -> (im, re) in every point.
template <int W>
FFT_INLINE VecD<W> Swap(VecD<W> x)
{
    if constexpr (W == 1)
        return __builtin_shufflevector(x, x, 1, 0);
    else if constexpr (W == 2)
        return __builtin_shufflevector(x, x, 1, 0, 3, 2);
    else
        return __builtin_shufflevector(x, x, 1, 0, 3, 2, 5, 4, 7, 6);
}

// a, b <- a + w b, a - w b with w given as (wr, wr) and (-wi, wi): per lane
// wr*br + (-wi)*bi and wr*bi + wi*br, the same products and sums as
// wr*br - wi*bi and wr*bi + wi*br.
template <int W>
FFT_INLINE void Butterfly(VecD<W>& a, VecD<W>& b, VecD<W> wr, VecD<W> wi)
{
    const VecD<W> t = wr * b + wi * Swap<W>(b);
    b = a - t;
    a = a + t;
}

// One stage of span L >= W over m points, reading src and writing d (the
// same array, or another laid out alike).
template <int W>
void Stage(const float* src, float* d, std::int32_t m, std::int32_t L, const FftTwiddles& tw)
{
    const double* wr = tw.wr + 2 * (L - 1);
    const double* wi = tw.wi + 2 * (L - 1);
    for (std::int32_t g = 0; g < m; g += 2 * L) {
        const float* s0 = src + 2 * g;
        const float* s1 = s0 + 2 * L;
        float* p0 = d + 2 * g;
        float* p1 = p0 + 2 * L;
#pragma GCC unroll 2
        for (std::int32_t t = 0; t < L; t += W) {
            VecD<W> a = Load<W>(s0 + 2 * t), b = Load<W>(s1 + 2 * t);
            Butterfly<W>(a, b, LoadD<W>(wr + 2 * t), LoadD<W>(wi + 2 * t));
            Store<W>(p0 + 2 * t, a);
            Store<W>(p1 + 2 * t, b);
        }
    }
}

// Span L >= 2 with the widest vectors that fit in it.
template <int W>
void AnyStage(const float* src, float* d, std::int32_t m, std::int32_t L, const FftTwiddles& tw)
{
    if constexpr (W == 4) {
        if (L < 4) {
            Stage<2>(src, d, m, L, tw);
            return;
        }
    }
    Stage<W>(src, d, m, L, tw);
}

// Bit reversal of the n = 2^k points at src into d, fused with the stage of
// span 1.  Indices split into (a, mid, c) with q-bit a and c: (a, mid, c)
// goes to (rev c, rev mid, rev a), so each (mid, c) fills one run of Q
// points from Q source rows, and the Q rows of one mid stay cached over its
// Q runs.  Partners of span 1 are neighbours in each run.  2 <= k, q <= 3.
template <int q>
void BitReverseSpan1(const float* src, float* d, int k, const FftTwiddles& tw)
{
    constexpr std::int32_t Q = 1 << q;
    constexpr std::uint8_t kRev3[8] = {0, 4, 2, 6, 1, 5, 3, 7};
    const int midBits = k - 2 * q;
    const std::int32_t row = std::int32_t{2} << (k - q); // floats from a to a + 1
    const VecD<1> wr = LoadD<1>(tw.wr), wi = LoadD<1>(tw.wi);
    for (std::int32_t mid = 0; mid < (std::int32_t{1} << midBits); ++mid) {
        std::int32_t rmid = 0;
        for (int b = 0; b < midBits; ++b)
            rmid |= ((mid >> b) & 1) << (midBits - 1 - b);
#pragma GCC unroll 8
        for (std::int32_t c = 0; c < Q; ++c) {
            const float* in = src + 2 * ((mid << q) | c);
            float* out = d + (kRev3[c] >> (3 - q)) * row + 2 * (rmid << q);
#pragma GCC unroll 8
            for (std::int32_t j = 0; j < Q; j += 2) {
                const std::int32_t a = kRev3[j] >> (3 - q); // rev j; rev (j + 1) = a + Q/2
                VecD<1> x = Load<1>(in + a * row);
                VecD<1> y = Load<1>(in + (a + Q / 2) * row);
                Butterfly<1>(x, y, wr, wi);
                Store<1>(out + 2 * j, x);
                Store<1>(out + 2 * j + 2, y);
            }
        }
    }
}

// The butterfly with twiddle 1 + 0i, done in float.  With wi = (-0, 0)
// the double form's t = 1 b + wi swap(b) is b with at most the sign of a
// zero changed, so t is a float, and float gives the same t.  Each sum
// a +- t of two floats, rounded once in double and then to float, equals
// the float sum rounded once (double carries more than 2 x 24 + 1 bits).
// So the stored values are the same, with no conversions.
template <int W>
FFT_INLINE void ButterflyOne(VecF<W>& a, VecF<W>& b, VecF<W> wi)
{
    VecF<W> sb;
    if constexpr (W == 1)
        sb = __builtin_shufflevector(b, b, 1, 0);
    else if constexpr (W == 2)
        sb = __builtin_shufflevector(b, b, 1, 0, 3, 2);
    else
        sb = __builtin_shufflevector(b, b, 1, 0, 3, 2, 5, 4, 7, 6);
    const VecF<W> t = b + wi * sb;
    b = a - t;
    a = a + t;
}

// Bit reversal of the n = 2^k >= 64 points at src into d, fused with the
// stages of span 1, 2 and 4, which work inside the runs of 8 points that
// BitReverseSpan1 with q = 3 would fill.  W runs go side by side (one per
// vector lane), so their points load together from neighbouring source
// points.  Butterflies with twiddle 1 + 0i (all of span 1, the first of
// spans 2 and 4) run in float; the others widen their points first.
template <int W>
void BitReverseSpans124(const float* src, float* d, int k, const FftTwiddles& tw)
{
    constexpr std::uint8_t kRev3[8] = {0, 4, 2, 6, 1, 5, 3, 7};
    const int midBits = k - 6;
    const std::int32_t row = std::int32_t{2} << (k - 3);
    // Twiddle t of span L (L = 1, 2, 4) at L - 1 + t, the same in every lane;
    // twiddle 0 of each span is 1 + 0i, its wi (-0, 0) in every point.
    VecD<W> wr[7], wi[7];
    VecF<W> wiOne;
    for (int i = 0; i < 7; ++i)
        for (int lane = 0; lane < 2 * W; ++lane)
            wr[i][lane] = tw.wr[2 * i + lane % 2], wi[i][lane] = tw.wi[2 * i + lane % 2];
    for (int lane = 0; lane < 2 * W; ++lane)
        wiOne[lane] = static_cast<float>(tw.wi[lane % 2]);
    for (std::int32_t mid = 0; mid < (std::int32_t{1} << midBits); ++mid) {
        std::int32_t rmid = 0;
        for (int b = 0; b < midBits; ++b)
            rmid |= ((mid >> b) & 1) << (midBits - 1 - b);
        // Two independent blocks of W runs at once: each alone is bound by
        // the latency of its chain of conversions.
        for (std::int32_t c0 = 0; c0 < 8; c0 += 2 * W) {
            VecF<W> f[2][8]; // points in float: loaded, or after a float butterfly
            VecD<W> x[2][8]; // points in double
#pragma GCC unroll 16
            for (int j = 0; j < 16; ++j)
                std::memcpy(&f[j % 2][j / 2], src + 2 * ((mid << 3) | (c0 + W * (j % 2))) + kRev3[j / 2] * row, sizeof(VecF<W>));
            for (int h = 0; h < 2; ++h) {
#pragma GCC unroll 8
                for (int j = 0; j < 8; j += 2) // span 1
                    ButterflyOne<W>(f[h][j], f[h][j + 1], wiOne);
                ButterflyOne<W>(f[h][0], f[h][2], wiOne); // span 2, twiddle 0
                ButterflyOne<W>(f[h][4], f[h][6], wiOne);
                ButterflyOne<W>(f[h][0], f[h][4], wiOne); // span 4, twiddle 0
            }
#pragma GCC unroll 8
            for (int j = 1; j < 8; j += 2) // span 2, twiddle 1
                for (int h = 0; h < 2; ++h)
                    x[h][j] = Widen<W>(f[h][j]);
            for (int j = 1; j < 8; j += 4)
                for (int h = 0; h < 2; ++h)
                    Butterfly<W>(x[h][j], x[h][j + 2], wr[2], wi[2]);
#pragma GCC unroll 8
            for (int j = 1; j < 8; j += 2)
                for (int h = 0; h < 2; ++h)
                    x[h][j] = Round<W>(x[h][j]);
            for (int h = 0; h < 2; ++h) {
                x[h][2] = Widen<W>(f[h][2]);
                x[h][6] = Widen<W>(f[h][6]);
            }
#pragma GCC unroll 4
            for (int t = 1; t < 4; ++t) // span 4, twiddles 1 to 3
                for (int h = 0; h < 2; ++h)
                    Butterfly<W>(x[h][t], x[h][t + 4], wr[3 + t], wi[3 + t]);
#pragma GCC unroll 8
            for (int j = 0; j < 8; ++j)
                if (j % 4 != 0)
                    for (int h = 0; h < 2; ++h)
                        f[h][j] = Narrow<W>(x[h][j]);
            for (int h = 0; h < 2; ++h) {
                const std::int32_t c = c0 + W * h;
                float* out = d + kRev3[c] * row + 2 * (rmid << 3);
                if constexpr (W == 1) {
#pragma GCC unroll 8
                    for (int j = 0; j < 8; ++j)
                        std::memcpy(out + 2 * j, &f[h][j], sizeof(VecF<1>));
                } else { // lane pair 0 is run c, lane pair 1 is run c + 1 (kRev3 4 more)
                    float* out1 = out + 4 * row;
#pragma GCC unroll 4
                    for (int j = 0; j < 8; j += 2) {
                        const __m128d f0 = _mm_castps_pd(f[h][j]);
                        const __m128d f1 = _mm_castps_pd(f[h][j + 1]);
                        _mm_storeu_pd(reinterpret_cast<double*>(out + 2 * j), _mm_unpacklo_pd(f0, f1));
                        _mm_storeu_pd(reinterpret_cast<double*>(out1 + 2 * j), _mm_unpackhi_pd(f0, f1));
                    }
                }
            }
        }
    }
}

// Points per block that runs all its stages while it stays in the
// first-level cache.
constexpr std::int32_t kLeaf = 2048;

// Spans `first` .. m/2 in place on the m points at s.  Blocks of kLeaf
// points finish all their stages while they stay in the first-level cache;
// every point still sees its stages in order.  first <= m.
template <int W>
void Transform(float* s, std::int32_t m, std::int32_t first, const FftTwiddles& tw)
{
    if (m <= kLeaf) {
        for (std::int32_t L = first; L < m; L *= 2)
            AnyStage<W>(s, s, m, L, tw);
        return;
    }
    Transform<W>(s, m / 2, first, tw);
    Transform<W>(s + m, m / 2, first, tw);
    Stage<W>(s, s, m, m / 2, tw);
}

// The whole transform of the n >= 4 points at d, using scratch (2n floats).
// All stages but the last run in scratch: the caller's array may sit at any
// float offset, and loads and stores that straddle cache lines cost extra.
template <int W>
void Run(float* d, float* scratch, std::int32_t n, const FftTwiddles& tw)
{
    int k = 0;
    while ((std::int32_t{1} << k) < n)
        ++k;
    std::int32_t first = 8;
    if (k < 4)
        BitReverseSpan1<1>(d, scratch, k, tw), first = 2;
    else if (k < 6)
        BitReverseSpan1<2>(d, scratch, k, tw), first = 2;
    else
        BitReverseSpans124 < W < 2 ? W : 2 > (d, scratch, k, tw);
    Transform<W>(scratch, n / 2, first, tw);
    Transform<W>(scratch + n, n / 2, first, tw);
    AnyStage<W>(scratch, d, n, n / 2, tw);
}
