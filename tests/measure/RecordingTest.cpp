// parlune-measure on generated recordings: standard output that cannot be
// written, agreement with the engine's per-block chain, IQ recordings.
#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <complex>
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
    const QString tone = WriteWav(dir, "tone.wav", ToneNoise{}.Stereo16(30000));
    for (const QStringList& args : {QStringList{"--format", "csv", tone}, {"--summary", tone}, {"--help"}, {"--list-inputs"}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        QProcess p;
        p.setStandardOutputFile("/dev/full");
        p.start(QStringLiteral(PARLUNE_MEASURE_BIN), args);
        const Outcome r = Finish(p, 60000);
        EXPECT_EQ(std::pair(r.status, r.err), std::pair(1, QString("parlune-measure: standard output: cannot write: No space left on device\n")));
    }
    const QString png = dir.filePath("piped.png");
    QProcess p; // 1024 points: some 1400 rows, more than a pipe holds
    p.start(QStringLiteral(PARLUNE_MEASURE_BIN), {"--format", "csv", "--fft-size", "1024", "--plot", png,
                                                  WriteWav(dir, "long.wav", ToneNoise{}.Stereo16(12000 * 120))});
    ASSERT_TRUE(p.waitForReadyRead(60000));
    p.closeReadChannel(QProcess::StandardOutput);
    const Outcome r = Finish(p, 60000);
    EXPECT_EQ(std::pair(r.status, r.err), std::pair(0, QString()));
    EXPECT_FALSE(QImage(png).isNull());
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

// Recordings through the tuner measure the S/N they were made with: a tone
// at dial + 1000 Hz in white complex noise at 2048000 Hz, in every raw
// format, named or guessed, and as a WAV file; each block within 0.5 dB (its
// scatter here is 0.35 dB).  The tuner's own flatness and rejection: tests/sdr.
TEST(Recording, IqRecordingsInEveryFormatMeasureTheSnTheyWereMadeWith)
{
    constexpr int kIn = 2048000, kOut = 12000, kBlocks = 3;
    constexpr std::size_t kSamples = std::size_t(4096 * kBlocks + 250) * kIn / kOut; // + the tuner's settling
    constexpr double kTwoPi = 2 * std::numbers::pi, kSigma = 0.004; // noise per part at 12000 Hz, full scale 1
    const double toneAt1 = std::sqrt(2 * 2500.0 / kOut); // amplitude for 0 dB in 2500 Hz per unit sigma
    std::mt19937 gen(7);
    std::normal_distribution<double> g;
    std::vector<std::complex<double>> noise(kSamples);
    for (auto& z : noise) z = {g(gen), g(gen)};
    // The recording as raw values of type T: v = zero + scale x.
    const auto recording = [&](auto type, double snr, double scale, double zero) {
        using T = decltype(type);
        const double wide = kSigma * std::sqrt(double(kIn) / kOut), a = kSigma * toneAt1 * std::pow(10, snr / 20);
        std::vector<T> v(2 * kSamples);
        for (std::size_t m = 0; m < kSamples; ++m) {
            const std::complex<double> x = wide * noise[m] + std::polar(a, kTwoPi * (250000 + 1000) * double(m) / kIn);
            for (std::size_t i = 0; i < 2; ++i)
                v[2 * m + i] = T(std::is_integral_v<T> ? std::nearbyint(zero + scale * (i ? x.imag() : x.real())) : (i ? x.imag() : x.real()));
        }
        return v;
    };
    QTemporaryDir dir;
    const auto file = [&](const char* name, const auto& v) {
        return WriteFile(dir.filePath(name), QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size() * sizeof(v[0]))));
    };
    const auto cs16 = [&](double snr) { return recording(std::int16_t{}, snr, 32767, 0); };
    const struct { double snr; QString file; QStringList args; } cases[] = {
        {0, file("a_14000000Hz_2048k.cu8", recording(std::uint8_t{}, 0, 127.5, 127.5)), {}},
        {40, file("b_14000000Hz.cu8", recording(std::uint8_t{}, 40, 127.5, 127.5)), {}},
        {20, file("rec.cs16", cs16(20)), {"--iq-centre", "14000000"}},
        {0, file("rec.raw", recording(float{}, 0, 1, 0)), {"--iq-format", "cf32", "--iq-centre", "14.0e6", "--rate", "12000"}},
        {40, WriteWav(dir, "sdrpp_14000000Hz.wav", cs16(40), SF_FORMAT_PCM_16, 2, kIn), {}},
    };
    for (const auto& c : cases) {
        const Outcome r = Measure(QStringList{"--sdr-rate", "2048000", "--dial", "14250000", "--fft-size", "4096", "--format", "csv"} + c.args + QStringList{c.file});
        SCOPED_TRACE((c.file + " " + r.err).toStdString());
        const auto rows = Rows(r.out);
        ASSERT_EQ(rows.size(), std::size_t(kBlocks));
        for (int b = 0; b < kBlocks; ++b) {
            EXPECT_NEAR(rows[b].at("sn_2500hz_db").toDouble(), c.snr, 0.5);
            // Positions in the recording, later by the frames of the tuner's settling (under 12.5 ms).
            EXPECT_NEAR(rows[b].at("start_s").toDouble() - b * 4096 / 12000.0, 0.00625, 0.00625);
        }
    }
}
