// parlune-measure run as a program on generated recordings: error reactions,
// sample formats, and agreement with the engine's per-block chain.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numeric>
#include <tuple>

#include "engine/BlockChain.h"
#include "engine/Measurement.h"
#include "engine/Results.h"
#include "engine/Windows.h"
#include "support/MeasureRun.h"
#include "support/ToneNoise.h"

namespace {

class MeasureTool : public ::testing::Test {
protected:
    // Writes interleaved stereo 16-bit frames in the given WAV sample format, each holding the
    // samples exactly; one channel keeps the left.  A float file's middle value can be poisoned.
    QString Write(const char* name, const std::vector<std::int16_t>& stereo, int format = SF_FORMAT_PCM_16,
                  int channels = 2, int rate = 12000, float poison = 0)
    {
        SF_INFO info{.samplerate = rate, .channels = channels, .format = SF_FORMAT_WAV | format};
        const QString path = dir.filePath(name);
        SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
        EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
        std::vector<int> wide; // full-scale 32-bit
        std::vector<float> unit;
        for (std::size_t i = 0; i < stereo.size(); i += 2 / channels)
            wide.push_back(stereo[i] * 65536), unit.push_back(stereo[i] / 32768.0f);
        if (poison != 0) unit[unit.size() / 2] = poison; // NaN != 0 too
        const auto frames = static_cast<sf_count_t>(stereo.size() / 2);
        format == SF_FORMAT_FLOAT ? sf_writef_float(f, unit.data(), frames) : sf_writef_int(f, wide.data(), frames);
        sf_close(f);
        return path;
    }

    QTemporaryDir dir;
};

} // namespace

// Every refusal, and every note about a default, is one line on stderr.
TEST_F(MeasureTool, InputGetsItsStatusAndAtMostOneLine)
{
    const QString tone = Write("tone.wav", ToneNoise{}.Stereo16(30000));
    const QString slow = Write("slow.wav", ToneNoise{.Rate = 1000, .ToneHz = 200}.Stereo16(30000), SF_FORMAT_PCM_16, 2, 1000);
    const QString nan = Write("nan.wav", ToneNoise{}.Stereo16(30000), SF_FORMAT_FLOAT, 2, 12000, NAN);
    const QString inf = Write("inf.wav", ToneNoise{}.Stereo16(30000), SF_FORMAT_FLOAT, 1, 12000, -INFINITY);
    const QString shortFile = Write("short.wav", ToneNoise{}.Stereo16(4000));
    const QString silence = Write("silence.wav", std::vector<std::int16_t>(2 * 20000, 0));
    const QString slowest = Write("500.wav", std::vector<std::int16_t>(2 * 20000, 1), SF_FORMAT_PCM_16, 2, 500);
    const QString fastest = Write("400k.wav", std::vector<std::int16_t>(2 * 20000, 1), SF_FORMAT_PCM_16, 2, 400000);
    std::ofstream(dir.filePath("text.wav").toStdString()) << "not audio at all\n";
    const QString noNoise = tone + ": block 0: Noise measurement not possible, Signal bandwidth reset\n";
    const struct { QStringList args; int status; QString message; } cases[] = { // message: part of the one line, "" none
        {{dir.filePath("missing.wav")}, 1, "missing.wav: cannot open"},
        {{dir.filePath("text.wav")}, 1, "text.wav: not an audio file"},
        {{"--fft-size", "4096", shortFile}, 1, "shorter than one block"},
        {{"--fft-size", "3000", tone}, 2, "--fft-size: must be a power of two"},
        {{"--fft-size=524288", tone}, 2, "--fft-size: must be a whole number 1024 .. 262144"},
        {{"--bandwidth", "-50", tone}, 2, "--bandwidth: must be above 0 Hz"},
        {{"--bandwidth", "abc", tone}, 2, "--bandwidth: not a number"},
        {{"--span-low", "3000", "--span-high", "3000", tone}, 2, "--span-low must lie below"},
        {{"--span-high", "6000", tone}, 2, "--span-high must lie below half the sample rate (6000 Hz)"},
        {{"--span-high", "5999.9", tone}, 0, ""},
        {{"--centre", "200", slow}, 0, "the default --span-high 5000 Hz is not below half the sample rate; using 499.88 Hz"},
        {{"--centre", "200", "--span-high", "500", slow}, 2, "--span-high must lie below half the sample rate (500 Hz)"},
        {{slow}, 2, "--centre must lie in 0 .. 500 Hz (half the sample rate), not 1000"},
        {{"--centre", "6000.5", tone}, 2, "--centre must lie in 0 .. 6000 Hz"},
        {{"--centre=-1", tone}, 2, "--centre must lie in 0 .. 6000 Hz"},
        {{"--window", "-1", tone}, 2, "--window: unknown window '-1'"},
        {{"--window", "-4", tone}, 2, "--window: unknown window '-4'"},
        {{nan}, 1, "nan.wav: the sample at 1.250 s is not a finite number"},
        {{inf}, 1, "inf.wav: the sample at 1.250 s is not a finite number"}, {{"--average", "64", tone}, 2, "--average"},
        {{"--guard", "2.5", tone}, 2, "--guard"}, {{"--window", "kaiser", tone}, 2, "--window: unknown window"},
        {{"--format", "json", tone}, 2, "--format"},
        {{"--plot", dir.filePath("p.png"), "--plot-size", "800x100", tone}, 2, "--plot-size height: must be a whole number 200"},
        {{"--plot", dir.filePath("p.png"), tone, tone}, 2, "--plot: takes one recording"},
        {{"--plot", dir.filePath("no/p.png"), tone}, 1, "no/p.png: cannot write"},
        {{"--plot", "/dev/full", tone}, 1, "/dev/full: cannot write the picture"}, // and no libpng line
        {{"--plot-size", "640x360", tone}, 2, "--plot-size: only with --plot"},
        {{slowest}, 2, "500.wav: the sample rate 500 Hz is outside 1000 .. 384000 Hz"},
        {{fastest}, 2, "400k.wav: the sample rate 400000 Hz is outside 1000 .. 384000 Hz"},
        {{"--frobnicate", tone}, 2, "unknown option"}, {{"--average"}, 2, "--average: needs a value"},
        {{}, 2, "no input file"}, {{silence}, 3, "block 0: measurement ended"},
        {{"--span-low", "950", "--span-high", "1050", tone}, 3, noNoise}, // exactly the window's message
    };
    for (const auto& c : cases) {
        const Outcome r = Measure(c.args);
        SCOPED_TRACE((c.args.join(' ') + " -> " + r.err).toStdString());
        EXPECT_EQ(std::pair(r.status, r.err.count('\n')), std::pair(c.status, qsizetype(c.message.isEmpty() ? 0 : 1)));
        EXPECT_TRUE(c.message.isEmpty() || (r.err.startsWith("parlune-measure: ") && r.err.contains(c.message)));
    }
}

// Standard output that cannot be written is one line and status 1, even
// when everything fits in the stream's buffer; a reader that closes the
// pipe early ends the run cleanly, and the picture is still drawn.
TEST_F(MeasureTool, StandardOutputIsNeverLostSilently)
{
    const QString tone = Write("tone.wav", ToneNoise{}.Stereo16(30000));
    for (const QStringList& args : {QStringList{"--format", "csv", tone}, {"--summary", tone}, {"--help"}, {"--list-inputs"}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        QProcess p;
        p.setStandardOutputFile("/dev/full");
        p.start(QStringLiteral(PARLUNE_MEASURE_BIN), args);
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(std::pair(p.exitStatus(), p.exitCode()), std::pair(QProcess::NormalExit, 1));
        EXPECT_EQ(p.readAllStandardError().toStdString(), "parlune-measure: standard output: cannot write: No space left on device\n");
    }
    const QString png = dir.filePath("piped.png");
    QProcess p; // 1024 points: some 1400 rows, more than a pipe holds
    p.start(QStringLiteral(PARLUNE_MEASURE_BIN), {"--format", "csv", "--fft-size", "1024", "--plot", png,
                                                  Write("long.wav", ToneNoise{}.Stereo16(12000 * 120))});
    ASSERT_TRUE(p.waitForReadyRead(60000));
    p.closeReadChannel(QProcess::StandardOutput);
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(std::pair(p.exitStatus(), p.exitCode()), std::pair(QProcess::NormalExit, 0));
    EXPECT_EQ(p.readAllStandardError().toStdString(), "");
    EXPECT_FALSE(QImage(png).isNull());
}

// The program's numbers are the engine chain's on the same blocks, at the
// window's bins for the same settings (so a recording and a live run of the
// same samples agree), in every column and log line; mono, 24-bit and float
// files give what 16-bit stereo gives.
TEST_F(MeasureTool, AgreesWithTheEngineChainInEverySampleFormat)
{
    // 1000 Hz at 20 dB S/N in 2500 Hz for 3 s, then 1500 Hz (out of the default band): 8 blocks of 8192.
    auto v = ToneNoise{}.Stereo16(36000);
    const auto hop = ToneNoise{.ToneHz = 1500, .Seed = 2}.Stereo16(36000);
    v.insert(v.end(), hop.begin(), hop.end());
    const QString files[] = {Write("s16.wav", v), Write("m16.wav", v, SF_FORMAT_PCM_16, 1),
                             Write("s24.wav", v, SF_FORMAT_PCM_24), Write("sf.wav", v, SF_FORMAT_FLOAT)};
    // In process: the same run at the defaults 20 .. 5000 Hz, centre 1000 Hz, 100 Hz.
    const struct { QStringList args; std::int16_t window; ChainParams p; } settings[] = {
        {{"--average", "4", "--track"}, 1,
         {.FMinBin = 14, .FMaxBin = 3413, .CFBin = 682, .SigBWBins = 68, .NAvg = 4, .TrackSig = true}},
        {{"--average", "2", "--window", "hanning", "--stat-noise", "--threshold", "20", "--guard", "1"}, 2,
         {.FMinBin = 14, .FMaxBin = 3413, .CFBin = 682, .SigBWBins = 68, .GuardFactor = 1, .NAvg = 2, .DispThresh = 20,
          .UseStatNoise = true}},
    };
    auto state = std::make_unique<ChainState>();
    for (const auto& s : settings) {
        ChainParams p = s.p;
        const WindowTable w = *MakeWindow(s.window, 8192);
        p.WindENBW = w.Enbw;
        StartChain(*state, 8192);
        state->Window = w.Coef;
        std::vector<std::vector<double>> want; // per block, the CSV's fields; NaN: left empty
        QStringList logLines;
        for (std::size_t b = 0; b < 8; ++b) {
            const BlockResult r = RunBlock(v.data() + 2 * 8192 * b, p, *state);
            const auto in = [&r](double x) { return r.InBand ? x : NAN; };
            want.push_back({double(b), b * 8192 / 12000.0, r.PeakHz, r.PeakLevel, r.NoiseLevel, in(r.SNBinDb), in(r.SN1HzDb),
                            in(r.SN1HzDb - 33.98), double(r.InBand), in(CorrectedSN2500HzDb(r.SigPower, r.NoisePower, 100).value_or(NAN))});
            if (r.InBand)
                logLines << QString::fromStdString(LogLine(ClockText(static_cast<std::int64_t>((b + 1) * 8192 / 12000.0)), r.PeakHz,
                                                           r.PeakLevel, r.NoiseLevel, r.SN1HzDb));
        }
        EXPECT_TRUE(logLines.size() > 3 && logLines.size() < 8) << logLines.size(); // the hop leaves the band
        const Outcome csv = Measure(s.args + QStringList{"--format", "csv", files[0]});
        QStringList lines = csv.out.split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 9) << csv.err.toStdString();
        EXPECT_EQ(lines[0], "block,start_s,peak_hz,peak_db,noise_db,sn_bin_db,sn_1hz_db,sn_2500hz_db,in_band,sn_2500hz_corrected_db");
        for (int b = 0; b < 8; ++b) {
            const QStringList f = lines[b + 1].split(',');
            ASSERT_EQ(f.size(), 10) << lines[b + 1].toStdString();
            for (int i = 0; i < 10; ++i) // four decimals
                EXPECT_TRUE(std::isnan(want[b][i]) ? f[i].isEmpty() : std::abs(f[i].toDouble() - want[b][i]) <= 5.0001e-5)
                    << "block " << b << " field " << i << ": " << f[i].toStdString() << " for " << want[b][i];
        }
        for (const QString& file : files) EXPECT_EQ(Measure(s.args + QStringList{"--format", "csv", file}).out, csv.out) << file.toStdString();
        EXPECT_EQ(Measure(s.args + QStringList{"--interval", "0", files[0]}).out.split('\n', Qt::SkipEmptyParts), logLines);
    }
}

TEST_F(MeasureTool, SeveralFilesAndSummary)
{
    const QString a = Write("a.wav", ToneNoise{}.Stereo16(60000));
    const QString b = Write("b.wav", ToneNoise{.Snr2500Db = 10}.Stereo16(60000), SF_FORMAT_PCM_16, 1);
    const Outcome r = Measure({"--format", "csv", "--summary", "--average", "2", a, b});
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2 * 10) << r.err.toStdString(); // per file: name, header, 7 rows, summary
    for (int f = 0; f < 2; ++f) {
        EXPECT_EQ(lines[10 * f], "==> " + (f == 0 ? a : b) + " <==");
        std::vector<double> sn, corrected;
        for (const auto& row : Rows(lines.mid(10 * f + 1, 8).join('\n'))) {
            ASSERT_EQ(row.at("in_band"), "1");
            sn.push_back(row.at("sn_2500hz_db").toDouble()), corrected.push_back(row.at("sn_2500hz_corrected_db").toDouble());
        }
        double got[2][3] = {};
        ASSERT_EQ(std::sscanf(lines[10 * f + 9].toStdString().c_str(),
                              "summary: 7 blocks, 7 with the peak in the band; S/N 2500Hz mean %lf dB, min %lf dB, max %lf dB;"
                              " corrected over 7 blocks mean %lf dB, min %lf dB, max %lf dB",
                              &got[0][0], &got[0][1], &got[0][2], &got[1][0], &got[1][1], &got[1][2]), 6)
            << lines[10 * f + 9].toStdString();
        for (const auto& [values, g] : {std::pair{sn, got[0]}, {corrected, got[1]}}) {
            const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
            ASSERT_EQ(values.size(), 7u);
            EXPECT_NEAR(g[0], std::accumulate(values.begin(), values.end(), 0.0) / 7, 0.006);
            EXPECT_EQ(std::tuple(std::abs(g[1] - *lo) < 0.006, std::abs(g[2] - *hi) < 0.006), std::tuple(true, true));
            EXPECT_NEAR(g[0], f == 0 ? 20 : 10, 1.0);
        }
    }
}

// The picture: a PNG of the asked size in which each block's S/N sits where its
// value puts it.  The frame, the only pure black, spans 0 s .. the last block's
// end and the whole tens of dB around the values.
TEST_F(MeasureTool, PlotPutsEachBlockWhereItsValueBelongs)
{
    auto v = ToneNoise{.Snr2500Db = 10}.Stereo16(180000); // 15 s at 10 dB, 15 s at 30 dB: 43 blocks
    const auto loud = ToneNoise{.Snr2500Db = 30, .Seed = 2}.Stereo16(180000);
    v.insert(v.end(), loud.begin(), loud.end());
    const QString png = dir.filePath("sn.png");
    const Outcome r = Measure({"--format", "csv", "--plot", png, "--plot-size", "640x360", Write("step.wav", v)});
    ASSERT_EQ(std::pair(r.status, r.err), std::pair(0, QString()));
    QImageReader reader(png);
    EXPECT_EQ(reader.format(), "png");
    const QImage img = reader.read();
    ASSERT_EQ(img.size(), QSize(640, 360));

    // The frame's lines: columns and rows more than a quarter black.
    auto frameLines = [&img](int along, int across, bool columns) {
        std::vector<int> at;
        for (int i = 0, n = 0; i < along; ++i, n = 0) {
            for (int j = 0; j < across; ++j) n += img.pixel(columns ? i : j, columns ? j : i) == qRgb(0, 0, 0);
            if (n > across / 4) at.push_back(i);
        }
        return at;
    };
    const std::vector<int> cols = frameLines(640, 360, true), rows = frameLines(360, 640, false);
    ASSERT_TRUE(cols.size() >= 2 && rows.size() >= 2);
    const int left = cols.front(), right = cols.back(), top = rows.front(), bottom = rows.back();

    std::vector<double> sn; // per block, from the CSV
    for (const auto& row : Rows(r.out)) row.at("in_band") == "1" ? sn.push_back(row.at("sn_2500hz_db").toDouble()) : void();
    ASSERT_EQ(sn.size(), 43u);
    const auto [mn, mx] = std::minmax_element(sn.begin(), sn.end());
    const double lo = std::floor(*mn / 10) * 10, hi = std::max(std::ceil(*mx / 10) * 10, lo + 10);
    const double mean = std::accumulate(sn.begin(), sn.end(), 0.0) / 43;
    auto x = [&](double blockEnd) { return static_cast<int>(std::lround(left + blockEnd / 43 * (right - left))); };
    auto y = [&](double db) { return static_cast<int>(std::lround(bottom - (db - lo) / (hi - lo) * (bottom - top))); };
    auto traceNear = [&](int px, int py) {
        for (int dx = -2; dx <= 2; ++dx)
            for (int dy = -2; dy <= 2; ++dy) {
                const QRgb c = img.pixel(std::clamp(px + dx, 0, 639), std::clamp(py + dy, 0, 359));
                if (qBlue(c) > 150 && qRed(c) < 80 && qGreen(c) < 120) return true;
            }
        return false;
    };
    for (int b : {2, 10, 30, 42}) {
        SCOPED_TRACE(b);
        EXPECT_TRUE(traceNear(x(b + 1), y(sn[b])));
        EXPECT_FALSE(traceNear(x(b + 1), y(sn[b] + (b < 21 ? 20 : -20)))); // the other level
    }
    for (double mark : {*mn, mean, *mx}) { // a coloured line left of the first point
        int marked = 0;
        for (int px = left + 1; px < x(1) - 2; ++px) {
            const QRgb c = img.pixel(px, y(mark));
            marked += qRed(c) != qGreen(c) || qGreen(c) != qBlue(c);
        }
        EXPECT_GT(marked, 3) << mark;
    }
}
