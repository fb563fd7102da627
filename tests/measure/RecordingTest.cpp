// parlune-measure on generated recordings: standard output that cannot be
// written, agreement with the engine's per-block chain, IQ recordings.
#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <random>
#include <numeric>

#include "engine/BlockChain.h"
#include "engine/MeasureSettings.h"
#include "engine/Measurement.h"
#include "engine/Results.h"
#include "engine/Windows.h"
#include "support/MeasureRun.h"
#include "support/ToneNoise.h"
#include "support/WavFile.h"

// Standard output that cannot be written is one line and status 1, even
// when everything fits in the stream's buffer; a reader that closes the
// pipe early ends the run cleanly, and the picture is still drawn.
TEST(Recording, StandardOutputIsNeverLostSilently)
{
    QTemporaryDir dir;
    const QString tone = WriteWav(dir, "tone.wav", ToneNoise{}.Stereo16(30000)), png = dir.filePath("piped.png");
    for (const QStringList& args : {QStringList{"--format", "csv", tone}, {"--summary", tone}, {"--help"}, {"--list-inputs"}}) {
        const Outcome r = Measure(args, {}, 60000, "/dev/full");
        EXPECT_EQ(std::pair(r.status, r.err), std::pair(1, QString("parlune-measure: standard output: cannot write: No space left on device\n")))
            << args.join(' ').toStdString();
    }
    QProcess p; // 1024 points: some 1400 rows, more than a pipe holds
    p.start(PARLUNE_MEASURE_BIN, {"--format", "csv", "--fft-size", "1024", "--plot", png, WriteWav(dir, "long.wav", ToneNoise{}.Stereo16(12000 * 120))});
    ASSERT_TRUE(p.waitForReadyRead(60000));
    p.closeReadChannel(QProcess::StandardOutput);
    const Outcome r = Finish(p, 60000);
    EXPECT_EQ(std::tuple(r.status, r.err, QImage(png).isNull()), std::tuple(0, QString(), false));
}

// The program's numbers are the engine chain's on the same blocks, at the
// window's bins for the same settings (so a recording and a live run of the
// same samples agree), in every column, log line and summary; mono, 24-bit
// and float files give what 16-bit stereo gives, each under its name.
TEST(Recording, AgreesWithTheEngineChainInEverySampleFormat)
{
    QTemporaryDir dir;
    // 1000 Hz at 20 dB S/N in 2500 Hz for 3 s, then 1500 Hz (out of the default band): 8 blocks of 8192.
    auto v = ToneNoise{}.Stereo16(36000);
    const auto hop = ToneNoise{.ToneHz = 1500, .Seed = 2}.Stereo16(36000);
    v.insert(v.end(), hop.begin(), hop.end());
    const QStringList files = {WriteWav(dir, "s16.wav", v), WriteWav(dir, "m16.wav", v, SF_FORMAT_PCM_16, 1),
                               WriteWav(dir, "s24.wav", v, SF_FORMAT_PCM_24), WriteWav(dir, "sf.wav", v, SF_FORMAT_FLOAT)};
    // In process: the same run at the defaults 20 .. 5000 Hz, centre 1000 Hz, 100 Hz.
    const struct { QStringList args; MeasureSettings m; } settings[] = {
        {{"--average", "4", "--track", "--window", "none"}, {.Window = 4, .Average = 4, .Track = true}}, // the first sample counts
        {{"--average", "2", "--window", "hanning", "--stat-noise", "--threshold", "20", "--guard", "1"},
         {.Window = 2, .Average = 2, .Guard = 1, .Threshold = 20, .StatNoise = true}},
    };
    const auto spread = [](const std::vector<double>& x) {
        return QString::asprintf("mean %.2f dB, min %.2f dB, max %.2f dB", std::accumulate(x.begin(), x.end(), 0.0) / x.size(),
                                 *std::min_element(x.begin(), x.end()), *std::max_element(x.begin(), x.end()));
    };
    auto state = std::make_unique<ChainState>();
    for (const auto& s : settings) {
        ChainParams p = BlockParamsFor(s.m, 12000);
        StartChain(*state, 8192);
        state->Window = MakeWindow(s.m.Window, 8192)->Coef;
        const Outcome csv = Measure(s.args + QStringList{"--format", "csv", "--summary", files[0]});
        const QStringList lines = csv.out.split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 10) << csv.err.toStdString();
        EXPECT_EQ(lines[0], "block,start_s,peak_hz,peak_db,noise_db,sn_bin_db,sn_1hz_db,sn_2500hz_db,in_band,sn_2500hz_corrected_db");
        QStringList logLines;
        std::vector<double> sn, corrected;
        for (std::size_t b = 0; b < 8; ++b) {
            const BlockResult r = RunBlock(v.data() + 2 * 8192 * b, p, *state);
            const auto in = [&r](double x) { return r.InBand ? x : NAN; }; // NaN: left empty
            const double want[] = {double(b), b * 8192 / 12000.0, r.PeakHz, r.PeakLevel, r.NoiseLevel, in(r.SNBinDb), in(r.SN1HzDb),
                                   in(SN2500HzDb(r.SN1HzDb)), double(r.InBand), in(CorrectedSN2500HzDb(r.SigPower, r.NoisePower, 100).value_or(NAN))};
            const QStringList f = lines[b + 1].split(',');
            ASSERT_EQ(f.size(), 10) << lines[b + 1].toStdString();
            for (int i = 0; i < 10; ++i) // four decimals
                EXPECT_TRUE(std::isnan(want[i]) ? f[i].isEmpty() : std::abs(f[i].toDouble() - want[i]) <= 5.0001e-5)
                    << "block " << b << " field " << i << ": " << f[i].toStdString() << " for " << want[i];
            if (!r.InBand) continue;
            logLines << QString::fromStdString(LogLine(ClockText(static_cast<std::int64_t>((b + 1) * 8192 / 12000.0)), r.PeakHz,
                                                       r.PeakLevel, r.NoiseLevel, r.SN1HzDb));
            sn.push_back(want[7]);
            if (!std::isnan(want[9])) corrected.push_back(want[9]);
        }
        EXPECT_TRUE(logLines.size() > 3 && logLines.size() < 8) << logLines.size(); // the hop leaves the band
        EXPECT_EQ(lines[9], QString("summary: 8 blocks, %1 with the peak in the band; S/N 2500Hz %2; corrected over %3 blocks %4")
                                .arg(sn.size()).arg(spread(sn)).arg(corrected.size()).arg(spread(corrected)));
        QString each;
        for (const QString& file : files) each += "==> " + file + " <==\n" + csv.out;
        EXPECT_EQ(Measure(s.args + QStringList{"--format", "csv", "--summary"} + files).out, each);
        EXPECT_EQ(Measure(s.args + QStringList{"--interval", "0", files[0]}).out.split('\n', Qt::SkipEmptyParts), logLines);
    }
}

// Recordings through the tuner measure as the same signal made at the
// analysis rate: a tone at dial + 1000 Hz in complex noise, made at 12000 Hz
// and interpolated to 2048000 Hz (the same noise, not just as much), with
// an interferer at dial - 9000 Hz, which a plain decimation would fold onto
// 3000 Hz in the noise bands: 60 dB above the noise in 2500 Hz, in cu8 as
// much as 8 bits hold beside the tone.  Every block's S/N within 0.1 dB.
TEST(Recording, IqRecordingsMeasureAsTheSignalAtTheAnalysisRate)
{
    constexpr int kIn = 2048000, kOut = 12000, kUp = 512, kDown = 3; // kIn / kOut = kUp / kDown
    constexpr int kBlocks = 3, kTaps = 48, kFrames = 4096 * kBlocks + 250 + kTaps; // + the tuner's settling
    constexpr double kOffset = 250000, kTwoPi = 2 * std::numbers::pi;
    std::mt19937 gen(7);
    std::normal_distribution<double> g;
    std::vector<double> re(kFrames), im(kFrames); // noise at 12000 Hz, 1 per part
    for (int n = 0; n < kFrames; ++n) re[n] = g(gen), im[n] = g(gen);
    // Interpolated by a Kaiser-windowed sinc of kTaps frames, a phase per 1/512 frame: flat to 5000 Hz.
    std::vector<double> h(kUp * kTaps);
    for (int p = 0; p < kUp; ++p)
        for (int k = 0; k < kTaps; ++k) {
            const double t = k - kTaps / 2 + 1 - p / double(kUp), r = t / (kTaps / 2);
            h[p * kTaps + k] = (t == 0 ? 1 : std::sin(std::numbers::pi * t) / (std::numbers::pi * t)) *
                               std::cyl_bessel_i(0, 9 * std::sqrt(std::max(0.0, 1 - r * r))) / std::cyl_bessel_i(0, 9);
        }
    const std::size_t samples = std::size_t(kFrames - kTaps) * kUp / kDown;
    std::vector<std::complex<double>> up(samples); // sample m is frame m / kUp * kDown + kTaps / 2 - 1
    for (std::size_t m = 0; m < samples; ++m) {
        const double* hp = &h[m * kDown % kUp * kTaps];
        double sr = 0, si = 0;
        for (std::size_t k = 0, n = m * kDown / kUp; k < kTaps; ++k, ++n) sr += re[n] * hp[k], si += im[n] * hp[k];
        up[m] = {sr, si};
    }
    // Tone amplitude for 0 dB in 2500 Hz per unit sigma; the interferer's power is 10^6 x the noise in 2500 Hz.
    const double toneAt1 = std::sqrt(2 * 2500.0 / kOut);
    // The recording in full-scale units, as raw values of type T: v = zero + scale x.
    const auto recording = [&](auto type, double snr, double sigma, double scale, double zero) {
        using T = decltype(type);
        const double a = sigma * toneAt1 * std::pow(10, snr / 20), b = sizeof(T) == 1 ? 0.98 - a - 4 * sigma : 1000 * sigma * toneAt1;
        std::complex<double> lo = 1, tone = a, interferer = b;
        const auto step = [](double hz) { return std::polar(1.0, kTwoPi * hz / kIn); };
        const std::complex<double> loStep = step(kOffset), toneStep = step(kOffset + 1000), interfererStep = step(kOffset - 9000);
        std::vector<T> v(2 * samples);
        for (std::size_t m = 0; m < samples; ++m, lo *= loStep, tone *= toneStep, interferer *= interfererStep) {
            const std::complex<double> x = sigma * up[m] * lo + tone + interferer;
            const double raw[2] = {zero + scale * x.real(), zero + scale * x.imag()};
            for (std::size_t i = 0; i < 2; ++i)
                v[2 * m + i] = std::is_integral_v<T> ? T(std::clamp(std::nearbyint(raw[i]), double(std::numeric_limits<T>::min()),
                                                                    double(std::numeric_limits<T>::max())))
                                                     : T(raw[i]);
        }
        return v;
    };
    const auto bytes = [](const auto& v) { return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size() * sizeof(v[0]))); };
    QTemporaryDir dir;
    const auto file = [&](const char* name, const auto& v) { return WriteFile(dir.filePath(name), bytes(v)); };
    const auto cu8 = [&](double snr) { return recording(std::uint8_t{}, snr, 0.8 / 127.5, 127.5, 127.5); };
    const auto cs16 = [&](double snr) { return recording(std::int16_t{}, snr, 0.0013, 32767, 0); };
    const auto cf32 = [&](double snr) { return recording(float{}, snr, 0.0013, 1, 0); };
    const struct { double snr; QString file; QStringList args; } cases[] = {
        {0, file("a_14000000Hz_2048k.cu8", cu8(0)), {}},
        {40, file("b_14000000Hz.cu8", cu8(40)), {}},
        {20, file("rec.cs16", cs16(20)), {"--iq-centre", "14000000"}},
        {0, file("rec.raw", cf32(0)), {"--iq-format", "cf32", "--iq-centre", "14.0e6", "--rate", "12000"}},
        {40, WriteWav(dir, "sdrpp_14000000Hz.wav", cs16(40), SF_FORMAT_PCM_16, 2, kIn), {}},
    };
    for (const auto& c : cases) {
        std::vector<std::int16_t> direct; // the same signal at 12000 Hz, sigma 300
        for (int n = 0; n + kTaps < kFrames; ++n) {
            const std::complex<double> z = std::polar(300 * toneAt1 * std::pow(10, c.snr / 20), kTwoPi * 1000 * n / kOut);
            direct.push_back(std::int16_t(std::nearbyint(z.real() + 300 * re[n + kTaps / 2 - 1])));
            direct.push_back(std::int16_t(std::nearbyint(z.imag() + 300 * im[n + kTaps / 2 - 1])));
        }
        const Outcome want = Measure({"--fft-size", "4096", "--format", "csv", WriteWav(dir, "direct.wav", direct)});
        const Outcome got = Measure(QStringList{"--sdr-rate", "2048000", "--dial", "14250000", "--fft-size", "4096", "--format", "csv"} + c.args + QStringList{c.file});
        SCOPED_TRACE((c.file + " " + got.err).toStdString());
        const auto w = Rows(want.out), t = Rows(got.out);
        ASSERT_EQ(std::pair(w.size(), t.size()), std::pair(std::size_t(kBlocks), std::size_t(kBlocks)));
        for (int b = 0; b < kBlocks; ++b) {
            const double sn = w[b].at("sn_2500hz_db").toDouble(), diff = t[b].at("sn_2500hz_db").toDouble() - sn;
            EXPECT_NEAR(sn, c.snr, 1);
            EXPECT_NEAR(diff, 0, 0.1);
            // Positions in the recording, later by the frames of the tuner's settling (under 12.5 ms).
            EXPECT_NEAR(t[b].at("start_s").toDouble() - w[b].at("start_s").toDouble(), 0.00625, 0.00625);
        }
    }
}
