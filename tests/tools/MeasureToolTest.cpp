// parlune-measure run as a program on generated recordings: error reactions,
// sample formats, and agreement with the engine's per-block chain.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/BlockChain.h"
#include "engine/Results.h"
#include "engine/Shared.h"
#include "engine/WholeNumber.h"
#include "engine/Windows.h"
#include "support/ToneNoise.h"

namespace {

struct Outcome {
    int status = -1;
    std::string out, err;
};

Outcome Measure(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(PARLUNE_MEASURE_BIN), args);
    Outcome r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        ADD_FAILURE() << "parlune-measure did not finish";
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

enum class Kind { Stereo16, Mono16, Stereo24, StereoFloat };

// Writes interleaved stereo 16-bit frames (both channels equal for the mono
// kind) in the chosen sample format.
void WriteRecording(const std::string& path, const std::vector<std::int16_t>& stereo, int rate, Kind kind)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = kind == Kind::Mono16 ? 1 : 2;
    info.format = SF_FORMAT_WAV | (kind == Kind::Stereo24     ? SF_FORMAT_PCM_24
                                   : kind == Kind::StereoFloat ? SF_FORMAT_FLOAT
                                                               : SF_FORMAT_PCM_16);
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    const sf_count_t frames = static_cast<sf_count_t>(stereo.size() / 2);
    switch (kind) {
    case Kind::Stereo16:
        sf_writef_short(f, stereo.data(), frames);
        break;
    case Kind::Mono16: {
        std::vector<std::int16_t> mono(stereo.size() / 2);
        for (std::size_t i = 0; i < mono.size(); ++i) mono[i] = stereo[2 * i];
        sf_writef_short(f, mono.data(), frames);
        break;
    }
    case Kind::Stereo24: {
        std::vector<int> wide(stereo.begin(), stereo.end());
        for (int& v : wide) v *= 65536; // full-scale 32-bit; the file keeps the top 24 bits
        sf_writef_int(f, wide.data(), frames);
        break;
    }
    case Kind::StereoFloat: {
        std::vector<float> fl(stereo.size());
        for (std::size_t i = 0; i < fl.size(); ++i) fl[i] = stereo[i] / 32768.0f;
        sf_writef_float(f, fl.data(), frames);
        break;
    }
    }
    sf_close(f);
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

std::string Fixed(double x)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.4f", x);
    return buf;
}

class MeasureTool : public ::testing::Test {
protected:
    std::string File(const char* name) const { return dir.filePath(name).toStdString(); }
    QString QFile(const char* name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

// 1000 Hz tone at 20 dB S/N in 2500 Hz for 3 s, then at 1500 Hz for 3 s
// (out of the default band), 12000 Hz: 8 blocks of 8192 frames.
std::vector<std::int16_t> HoppingTone()
{
    ToneNoise a;
    std::vector<std::int16_t> v = a.Stereo16(36000);
    ToneNoise b;
    b.ToneHz = 1500;
    b.Seed = 2;
    const std::vector<std::int16_t> w = b.Stereo16(36000);
    v.insert(v.end(), w.begin(), w.end());
    return v;
}

} // namespace

TEST_F(MeasureTool, BadInputGivesOneLineAndItsStatus)
{
    ToneNoise t;
    WriteRecording(File("short.wav"), t.Stereo16(4000), 12000, Kind::Stereo16);
    WriteRecording(File("tone.wav"), t.Stereo16(30000), 12000, Kind::Stereo16);
    WriteRecording(File("silence.wav"), std::vector<std::int16_t>(2 * 20000, 0), 12000, Kind::Stereo16);
    std::ofstream(File("text.wav")) << "not audio at all\n";

    struct Case {
        QStringList args;
        int status;
        std::string message; // expected part of the one stderr line
    } cases[] = {
        {{QFile("missing.wav")}, 1, "missing.wav: cannot open"},
        {{QFile("text.wav")}, 1, "text.wav: not an audio file"},
        {{QFile("short.wav")}, 1, "shorter than one block"},
        {{"--fft-size", "4096", QFile("short.wav")}, 1, "shorter than one block"},
        {{"--fft-size", "3000", QFile("tone.wav")}, 2, "--fft-size: must be a power of two"},
        {{"--fft-size", "524288", QFile("tone.wav")}, 2, "--fft-size: must be a whole number 1024 .. 262144"},
        {{"--fft-size=512", QFile("tone.wav")}, 2, "--fft-size"},
        {{"--bandwidth", "0", QFile("tone.wav")}, 2, "--bandwidth: must be above 0 Hz"},
        {{"--bandwidth", "-50", QFile("tone.wav")}, 2, "--bandwidth: must be above 0 Hz"},
        {{"--bandwidth", "abc", QFile("tone.wav")}, 2, "--bandwidth: not a number"},
        {{"--span-low", "3000", "--span-high", "3000", QFile("tone.wav")}, 2, "--span-low must lie below"},
        {{"--span-high", "6000", QFile("tone.wav")}, 2, "below half the sample rate"},
        {{"--average", "64", QFile("tone.wav")}, 2, "--average"},
        {{"--guard", "2.5", QFile("tone.wav")}, 2, "--guard"},
        {{"--window", "kaiser", QFile("tone.wav")}, 2, "--window: unknown window"},
        {{"--format", "json", QFile("tone.wav")}, 2, "--format"},
        {{"--frobnicate", QFile("tone.wav")}, 2, "unknown option"},
        {{"--average"}, 2, "--average: needs a value"},
        {{}, 2, "no input file"},
        {{QFile("silence.wav")}, 3, "block 0: measurement ended"},
        {{"--span-low", "950", "--span-high", "1050", QFile("tone.wav")}, 3,
         "Noise measurement not possible, Signal bandwidth reset"},
    };
    for (const Case& c : cases) {
        const Outcome r = Measure(c.args);
        const std::string what = c.args.join(' ').toStdString();
        EXPECT_EQ(r.status, c.status) << what;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << what << " -> " << r.err;
        EXPECT_EQ(Lines(r.err).size(), 1u) << what << " -> " << r.err;
    }
    // The no-noise message stands alone, in the window's words.
    EXPECT_EQ(Measure({"--span-low", "950", "--span-high", "1050", QFile("tone.wav")}).err,
              "Noise measurement not possible, Signal bandwidth reset\n");
}

TEST_F(MeasureTool, HelpNamesEveryOption)
{
    const Outcome r = Measure({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* opt : {"--fft-size", "--window", "--average", "--centre", "--bandwidth", "--guard", "--span-low",
                            "--span-high", "--threshold", "--stat-noise", "--track", "--peak-in-band", "--square",
                            "--swap", "--interval", "--format", "--summary"})
        EXPECT_NE(r.out.find(std::string("  ") + opt), std::string::npos) << opt;
}

TEST_F(MeasureTool, SampleFormatsGiveTheSameResults)
{
    const std::vector<std::int16_t> v = HoppingTone();
    const std::pair<const char*, Kind> kinds[] = {
        {"s16.wav", Kind::Stereo16}, {"m16.wav", Kind::Mono16}, {"s24.wav", Kind::Stereo24}, {"sf.wav", Kind::StereoFloat}};
    std::string reference;
    for (auto [name, kind] : kinds) {
        WriteRecording(File(name), v, 12000, kind);
        const Outcome r = Measure({"--format", "csv", "--average", "4", "--stat-noise", QFile(name)});
        ASSERT_EQ(r.status, 0) << name << ": " << r.err;
        if (reference.empty()) {
            reference = r.out;
            ASSERT_EQ(Lines(r.out).size(), 1u + 8); // header and 8 whole blocks
        } else {
            EXPECT_EQ(r.out, reference) << name;
        }
    }
}

// The program's numbers equal the engine chain's on the same blocks; the
// window's run loop calls the same chain pieces, so a recording and a live
// run of the same samples agree.
TEST_F(MeasureTool, AgreesWithTheEngineChain)
{
    const std::vector<std::int16_t> v = HoppingTone();
    WriteRecording(File("hop.wav"), v, 12000, Kind::Stereo16);

    struct Setting {
        QStringList args;
        int window;
        double enbw;
        bool track, stat;
        int thresh;
    } settings[] = {
        {{"--average", "4", "--track"}, 1, 2.04, true, false, 0},
        {{"--average", "2", "--window", "hanning", "--stat-noise", "--threshold", "20", "--guard", "1"}, 2, 1.5, false,
         true, 20},
    };
    auto state = std::make_unique<ChainState>();
    for (const Setting& s : settings) {
        QStringList csvArgs = s.args;
        csvArgs << "--format" << "csv" << QFile("hop.wav");
        const Outcome csv = Measure(csvArgs);
        QStringList logArgs = s.args;
        logArgs << "--interval" << "0" << QFile("hop.wav");
        const Outcome log = Measure(logArgs);
        ASSERT_EQ(csv.status, 0) << csv.err;
        ASSERT_EQ(log.status, 0) << log.err;

        // The same run in process.
        NFFT = 8192;
        double enbw = 0;
        SelectWindow(static_cast<std::int16_t>(s.window), enbw);
        ASSERT_EQ(enbw, s.enbw);
        ChainParams p;
        p.SampleRate = 12000;
        p.NFFT = 8192;
        p.FMinBin = FloorToInt32(20.0 / 12000 * 8192 + 0.5);
        p.FMaxBin = FloorToInt32(5000.0 / 12000 * 8192 + 0.5);
        p.CFBin = FloorToInt32(1000.0 / 12000 * 8192);
        p.SigBWBins = FloorToInt32(100.0 / 12000 * 8192 + 0.5);
        p.SigBWHz = 100;
        p.GuardFactor = s.args.contains("--guard") ? 1 : 0.5;
        p.NAvg = s.args[1].toInt();
        p.WindENBW = enbw;
        p.DispThresh = s.thresh;
        p.TrackSig = s.track;
        p.UseStatNoise = s.stat;
        StartChain(*state, 8192);

        std::vector<std::string> rows{"block,start_s,peak_hz,peak_db,noise_db,sn_bin_db,sn_1hz_db,sn_2500hz_db,in_band"};
        std::vector<std::string> logLines;
        int inBand = 0, outOfBand = 0;
        for (std::size_t b = 0; (b + 1) * 8192 <= v.size() / 2; ++b) {
            const BlockResult r = RunBlock(v.data() + 2 * 8192 * b, p, *state);
            std::string row = std::to_string(b) + "," + Fixed(b * 8192 / 12000.0) + "," + Fixed(r.PeakHz) + "," +
                              Fixed(r.PeakLevel) + "," + Fixed(r.NoiseLevel) + ",";
            row += r.InBand ? Fixed(r.SNBinDb) + "," + Fixed(r.SN1HzDb) + "," + Fixed(r.SN1HzDb - 33.98) + ",1" : ",,,0";
            rows.push_back(row);
            if (r.InBand) {
                ++inBand;
                logLines.push_back(LogLine(ClockText(static_cast<std::int64_t>((b + 1) * 8192 / 12000.0)), r.PeakHz,
                                           r.PeakLevel, r.NoiseLevel, r.SN1HzDb));
            } else {
                ++outOfBand;
            }
        }
        EXPECT_GT(inBand, 3);
        EXPECT_GT(outOfBand, 0); // the hop leaves the band
        EXPECT_EQ(Lines(csv.out), rows);
        EXPECT_EQ(Lines(log.out), logLines);
    }
}

TEST_F(MeasureTool, SeveralFilesAndSummary)
{
    ToneNoise t;
    WriteRecording(File("a.wav"), t.Stereo16(60000), 12000, Kind::Stereo16);
    t.Snr2500Db = 10;
    WriteRecording(File("b.wav"), t.Stereo16(60000), 12000, Kind::Mono16);
    const Outcome r = Measure({"--format", "csv", "--summary", "--average", "2", QFile("a.wav"), QFile("b.wav")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    // Per file: name, header, 7 rows, summary.
    ASSERT_EQ(lines.size(), 2u * 10);
    for (int f = 0; f < 2; ++f) {
        const std::string name = f == 0 ? File("a.wav") : File("b.wav");
        EXPECT_EQ(lines[10 * f], "==> " + name + " <==");
        EXPECT_EQ(lines[10 * f + 1].substr(0, 6), "block,");
        double sum = 0, lo = 1e9, hi = -1e9;
        for (int row = 2; row < 9; ++row) {
            const std::string& l = lines[10 * f + row];
            const auto comma = l.rfind(',', l.size() - 3);
            const double sn = std::stod(l.substr(comma + 1));
            sum += sn;
            lo = std::min(lo, sn);
            hi = std::max(hi, sn);
        }
        double mean = 0, min = 0, max = 0;
        ASSERT_EQ(std::sscanf(lines[10 * f + 9].c_str(),
                              "summary: 7 blocks, 7 with the peak in the band; S/N 2500Hz mean %lf dB, min %lf dB, max %lf dB",
                              &mean, &min, &max),
                  3)
            << lines[10 * f + 9];
        EXPECT_NEAR(mean, sum / 7, 0.006);
        EXPECT_NEAR(min, lo, 0.006);
        EXPECT_NEAR(max, hi, 0.006);
        EXPECT_NEAR(sum / 7, f == 0 ? 20 : 10, 1.0);
    }
}
