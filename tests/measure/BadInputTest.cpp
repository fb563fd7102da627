// parlune-measure on bad input that once hung it, read without limit, opened
// files before refusing, or said too little.
#include <gtest/gtest.h>

#include "support/MeasureRun.h"
#include "support/ToneNoise.h"
#include "support/WavFile.h"

#include <QDir>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <cmath>

namespace {

// Each refusal is one line and a status, before anything is opened or made
// (a FIFO's opening would wait for ever, a device never end), also for a
// config value that depends on its section's rate.
TEST(BadInput, OneLineAStatusAndNothingMade)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("m.ini"), fifo = dir.filePath("fifo"), png = dir.filePath("p.png");
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    QTcpServer taken; // a port in use
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    const QString inUse = QString("127.0.0.1:%1").arg(taken.serverPort());
    const auto wav = [&](const char* name, auto&&... more) { return WriteWav(dir, name, more...); };
    const auto noisy = ToneNoise{}.Stereo16(30000);
    const std::vector<std::int16_t> zeros(2 * 20000, 0), ones(2 * 20000, 1);
    const QString tone = wav("tone.wav", noisy), shortFile = wav("short.wav", ToneNoise{}.Stereo16(4000)), silence = wav("silence.wav", zeros);
    const QString nan = wav("nan.wav", ToneNoise{}.Stereo16(10000), SF_FORMAT_FLOAT, 2, 1000, NAN), inf = wav("inf.wav", noisy, SF_FORMAT_FLOAT, 1, 12000, -INFINITY);
    const QString slow = wav("slow.wav", ToneNoise{.Rate = 1000, .ToneHz = 200}.Stereo16(30000), SF_FORMAT_PCM_16, 2, 1000);
    const QString slowest = wav("1.wav", ones, SF_FORMAT_PCM_16, 2, 1), fastest = wav("400k.wav", ones, SF_FORMAT_PCM_16, 2, 400000);
    const QString lowest = wav("100.wav", ones, SF_FORMAT_PCM_16, 2, 100); // the lowest rate taken
    const QString text = WriteFile(dir.filePath("text.wav"), "not audio at all\n");
    // Raw IQ at 24000 Hz, 70000 cf32 samples, NaN the first of the second 65536-sample read; a cu8 name with its centre.
    std::vector<float> iq;
    for (double x : ToneNoise{}.Samples(140000)) iq.push_back(float(x / 3e4));
    iq[131072] = NAN;
    const QString nanIq = WriteFile(dir.filePath("nan.cf32"), QByteArray(reinterpret_cast<const char*>(iq.data()), 560000));
    const QString cu8 = dir.filePath("rtl_14000000Hz.cu8"), iqTune = "--sdr-rate=24000";

    const QStringList cfg{"--config", ini, "--duration", "1"}, live{"--input", kSignal, "--duration", "1"};
    const QString sig = "[a]\ninput = " + kSignal + "\n", sigB = "[b]\ninput = " + kSignal + "\n";
    const QString never = "output = " + dir.filePath("never.csv") + "\n", ok = sig + never, csvA = ok + "format = csv\n";
    QString many;
    for (int i = 0; many.size() < 1000000; ++i) many += QString("[s%1]\n").arg(i) + "input = " + kSignal + "\n";
    QString edge = sig; // exactly 1 MiB, read to its last byte: a value that is bad only whole
    while (edge.size() < (1 << 20) - 4000) edge += "#" + QString(3998, 'x') + "\n";
    edge += QString((1 << 20) - edge.size() - 13, '#') + "\naverage = 64";
    const QString tilde = "~" + dir.filePath("x"); // without the fix, HOME="" put it in this folder
    const QString noTestSignal = "0 is the test signal '" + kSignal + "' only because no audio server answered; give the "
                                 "device by name (see --list-inputs)\n";
    const QString isFifo = fifo + ": is a FIFO, not a regular file\n";
    // The config is written to m.ini first unless empty; the line after "parlune-measure: " is its start, all of it
    // when it ends in \n, "" for none; `out` is in the standard output, blanks simplified.
    const struct { QStringList args; QString config; int status; QString line; std::map<QString, QString> env = {}; QStringList out = {}; }
    cases[] = {
        // Options and recordings
        {{dir.filePath("missing.wav")}, {}, 1, dir.filePath("missing.wav") + ": cannot open: "},
        {{text}, {}, 1, text + ": not an audio file"},
        {{"--fft-size", "4096", shortFile}, {}, 1, shortFile + ": shorter than one block"},
        {{"--fft-size", "3000", tone}, {}, 2, "--fft-size: must be a power of two"},
        {{"--fft-size=524288", tone}, {}, 2, "--fft-size: must be a whole number 1024 .. 262144"},
        {{"--fft-size", QString(100000, 'x'), "f.wav"}, {}, 2, "--fft-size: not a number: '" + QString(80, 'x') + "\u2026'\n"},
        {{"--bandwidth", "-50", tone}, {}, 2, "--bandwidth: must be above 0 Hz"}, {{"--bandwidth", "abc", tone}, {}, 2, "--bandwidth: not a number"},
        {{"--span-low", "3000", "--span-high", "3000", tone}, {}, 2, "span: --span-low must lie below"},
        {{"--span-high", "6000", tone}, {}, 2, tone + ": --span-high must lie below half the sample rate (6000 Hz)"},
        {{"--span-high", "5999.9", tone}, {}, 0, ""},
        {{"--threshold", "0", "--window", "2", tone}, {}, 0, ""}, {{"--window", "rectangular", tone}, {}, 0, ""},
        {{"--input", kSignal, "--duration", "0"}, {}, 2, "--duration: must be above 0 and at most 999999999 seconds, not '0'\n"},
        {{"--compare", "a,b", tone}, {}, 2, "--compare: only with --config\n"},
        {{"--centre", "200", slow}, {}, 0, slow + ": the default --span-high 5000 Hz is not below half the sample rate; using 499.88 Hz"},
        {{"--centre", "200", "--span-high", "500", slow}, {}, 2, slow + ": --span-high must lie below half the sample rate (500 Hz)"},
        {{"--centre", "200", "--span-low", "600", slow}, {}, 2, slow + ": --span-low must lie below 499.88 Hz for this sample rate\n"},
        {{slow}, {}, 2, slow + ": --centre must lie in 0 .. 500 Hz (half the sample rate), not 1000"},
        {{"--centre", "6000.5", tone}, {}, 2, tone + ": --centre must lie in 0 .. 6000 Hz (half the sample rate), not 6000.5"},
        {{"--centre=-1", tone}, {}, 2, tone + ": --centre must lie in 0 .. 6000 Hz (half the sample rate), not -1"},
        {{"--window", "-1", tone}, {}, 2, "--window: unknown window '-1'"}, {{"--window", "9", tone}, {}, 2, "--window: unknown window '9'"},
        {{"--window", "kaiser", tone}, {}, 2, "--window: unknown window 'kaiser'"}, {{"--duration", "1", tone}, {}, 2, "--duration: only with"},
        {live + QStringList{tone}, {}, 2, "--input: measures the input alone, not files too\n"},
        {{"--list-inputs", tone}, {}, 2, "--list-inputs: takes no file, no --input and no --config\n"},
        {{"--centre", "200", "--span-high", "400", nan}, {}, 1, nan + ": the sample at 5.000 s is not a finite number"}, // 1 ms a frame
        {{inf}, {}, 1, inf + ": the sample at 1.250 s is not a finite"},
        {{"--average", "64", tone}, {}, 2, "--average: must be a whole number 1 .. 63"}, {{"--guard", "2.5", tone}, {}, 2, "--guard: must lie in 0"},
        {{"--format", "json", tone}, {}, 2, "--format: must be log or csv"}, {{"--plot", png, tone, tone}, {}, 2, "--plot: takes one recording"},
        {{"--plot", png, "--plot-size", "800x100", tone}, {}, 2, "--plot-size height: must be a whole number 200"},
        {{"--plot", dir.filePath("no/p.png"), tone}, {}, 1, dir.filePath("no/p.png") + ": cannot write"},
        {{"--plot", "/dev/full", tone}, {}, 1, "/dev/full: cannot write the picture"}, // and no libpng line
        {{"--plot-size", "640x360", tone}, {}, 2, "--plot-size: only with --plot\n"},
        {{slowest}, {}, 2, slowest + ": the sample rate 1 Hz is outside 100 .. 384000 Hz\n"},
        {{fastest}, {}, 2, fastest + ": the sample rate 400000 Hz is outside 100 .. 384000 Hz\n"},
        {{lowest}, {}, 2, lowest + ": --centre must lie in 0 .. 50 Hz (half the sample rate), not 1000\n"},
        // IQ recordings through the tuner
        {{"--iq-format", "cu16", tone}, {}, 2, "--iq-format: must be cu8, cs8, cs16 or cf32, not 'cu16'\n"},
        {{cu8}, {}, 2, cu8 + ": a raw IQ recording needs --sdr-rate, its sample rate in Hz\n"},
        {{"--sdr-rate", "2048000", "--dial", "15020001", cu8}, {}, 2,
         cu8 + ": --dial 15020001 Hz +- half the analysis rate must lie within 12976000 .. 15024000 Hz, the recording's centre +- half its rate\n"},
        {{iqTune, "--dial", "7074000", nanIq}, {}, 2, nanIq + ": --dial needs the recording's centre frequency: give --iq-centre (the file name has none)\n"},
        {{"--rate", "24000", tone}, {}, 2, tone + ": the analysis rate 24000 Hz (--rate) is above the recording's sample rate 12000 Hz\n"},
        {{"--sdr-rate", "2048000", tone}, {}, 2, tone + ": --sdr-rate 2048000 Hz is not the file's own rate, 12000 Hz\n"},
        {{iqTune, "--fft-size", "1024", nanIq}, {}, 1, nanIq + ": the sample at 2.731 s is not a finite number (NaN or infinity)\n"},
        {{iqTune, "--fft-size", "262144", nanIq}, {}, 1, nanIq + ": shorter than one block ("},
        {{iqTune, cu8}, {}, 1, cu8 + ": cannot open: No such file or directory\n"},
        // SDR receivers: options that need one, and a device that is not there (SoapySDR lists what it found)
        {live + QStringList{"--dial", "14074000"}, {}, 2, "--dial: only with a soapy: input or an IQ recording\n"},
        {live + QStringList{"--gain", "3"}, {}, 2, "--gain: only with a soapy: input\n"},
        {{"--lo-offset", "0", tone}, {}, 2, "--lo-offset: only with a soapy: input\n"},
        {{"--input", "soapy:driver=none"}, {}, 2, "--dial: needed with a soapy: input (the radio frequency at the analysed 0 Hz)\n"},
        {{"--input", "soapy:driver=none", "--dial", "7e6", "--sdr-setting", "=2"}, {}, 2, "--sdr-setting: must be KEY=VALUE, not '=2'\n"},
        {{"--input", "soapy:driver=none", "--dial", "7e6", "--gain", "loud"}, {}, 2, "--gain: must be a number of dB or auto, not 'loud'\n"},
        {{"--input", "soapy:driver=none", "--dial", "7e6", "--duration", "1"}, {}, 2, "soapy:driver=none: no such device; SoapySDR found "},
        {cfg, "[a]\ninput = soapy:driver=none\n", 2, ini + ":2: input: a soapy: input needs dial, the radio frequency at the analysed 0 Hz\n"},
        {{"--frobnicate", tone}, {}, 2, "unknown option '--frobnicate'"},
        {{"--average"}, {}, 2, "--average: needs a value\n"},
        {{}, {}, 2, "no input file"},
        {{silence}, {}, 3, silence + ": block 0: measurement ended"},
        {{"--span-low", "950", "--span-high", "1050", tone}, {}, 3, tone + ": block 0: Noise measurement not possible, Signal bandwidth reset\n"},
        {{"--input", kSignal, "--duration", "1e9"}, {}, 2, "--duration: must be above 0 and at most 999999999 seconds, not '1e9'\n"},
        {{"--help"}, {}, 0, "", {}, {"stop after S seconds, above 0 and at most 999999999", "; 5 out of memory.",
                                   "Further stop signals while that is written are ignored"}},
        // A FIFO, a folder or a device where a file belongs; a device or a new path is fine for an output.
        {{"--config", fifo}, {}, 2, isFifo}, {{fifo}, {}, 1, isFifo}, {{"--plot", fifo, fifo}, {}, 1, isFifo},
        {live + QStringList{"--output", fifo}, {}, 1, isFifo}, {live + QStringList{"--plot", fifo}, {}, 1, isFifo},
        {{"--config", "/dev/zero"}, {}, 2, "/dev/zero: is a character device, not a regular file\n"},
        {{"--config", dir.path()}, {}, 2, dir.path() + ": is a directory, not a regular file\n"},
        {live + QStringList{"--output", dir.path()}, {}, 1, dir.path() + ": is a directory, not a regular file\n"},
        {{"/dev/zero"}, {}, 1, "/dev/zero: is a character device, not a regular file\n"},
        {cfg, sig + "output = ~/fifo\n", 1, ini + ":3: output: " + fifo + " is a FIFO, not a regular file\n", {{"HOME", dir.path()}}},
        {live + QStringList{"--output", "/dev/null"}, {}, 0, ""},
        // A device number without an audio server never falls on a test signal.
        {{"--input", "0", "--duration", "1"}, {}, 1, "--input: " + noTestSignal, {{"PULSE_SERVER", "unix:/nonexistent"}}},
        {cfg, sig + "\n[b]\ninput = 0\n", 1, ini + ":5: input: " + noTestSignal, {{"PULSE_SERVER", "unix:/nonexistent"}}},
        // Metrics addresses in use, not this machine's or not addresses
        {cfg + QStringList{"--metrics", inUse}, ok, 2, "--metrics: cannot serve on " + inUse + " (in use"},
        {cfg + QStringList{"--metrics", "192.0.2.1:9464"}, ok, 2, "--metrics: cannot serve on 192.0.2.1:9464 (in use"},
        {cfg + QStringList{"--metrics", "9464x"}, ok, 2, "--metrics: must be [ADDR:]PORT with a port 1 .. 65535, not '9464x'"},
        {cfg + QStringList{"--metrics", "70000"}, ok, 2, "--metrics: must be [ADDR:]PORT with a port 1 .. 65535, not '70000'"},
        {cfg + QStringList{"--metrics", "[::1]:9464"}, ok, 2, "--metrics: IPv6 addresses are not supported"},
        {cfg + QStringList{"--compare", "a,b", "--plot", png}, ok, 2, "--compare: no monitor is named 'b'\n"},
        {cfg + QStringList{"--compare", "a,a"}, ok, 2, "--compare: only with --plot\n"},
        // Config files: the file, the line and the key at fault
        {cfg, ok + "average = 64\n", 2, ini + ":4: average: must be a whole number 1 .. 63, not '64'"},
        {cfg, ok + "track = maybe\n", 2, ini + ":4: track: must be true or false, not 'maybe'"},
        {cfg, ok + "duration = 5\n", 2, ini + ":4: duration: not a key a monitor takes"},
        {cfg, ok + "frobnicate = 1\n", 2, ini + ":4: frobnicate: not a key a monitor takes"},
        {cfg, ok + "sdr-rate = 2048000\n", 2, ini + ":4: sdr-rate: only with a soapy: input\n"},
        {cfg, ok + "rate = 12000\nrate = 48000\n", 2, ini + ":5: rate: given twice in section [a]"},
        {cfg, ok + ok, 2, ini + ":4: section [a] is repeated"},
        {cfg, "[a\x01z]\ninput = x\n", 2, ini + ":1: section [a\\x01z]: a name holds no control characters\n"},
        {cfg, "input = x\n" + ok, 2, ini + ":1: input: a key before the first [section]"},
        {cfg, "[a]\nrate = 12000\n", 2, ini + ":1: input: section [a] names no input"},
        {cfg, ok + "plot-size = 400x300\n", 2, ini + ":1: section [a]: --plot-size: only with --plot"},
        {cfg, "[a]\ninput = nowhere\n" + never, 2, ini + ":2: input: no capture device is named 'nowhere'"},
        {cfg, ok + "[b]\ninput = 97\n", 2, ini + ":5: input: there is no device 97"},
        {cfg, "just text\n", 2, ini + ":1: expected key = value"},
        {cfg, "# comments only\n", 2, ini + ": no monitor: the file has no [section]"},
        {cfg, "[a]\ninput = \"" + kSignal + "\" and more\n", 2, ini + ":2: input: text after the closing quote: 'and more'\n"},
        {cfg, sig + "format = csv\n" + sigB, 2,
         ini + ":4: format: log to standard output, where section [a] writes csv: monitors that share an output share its format\n"},
        {cfg, csvA + sigB + "rate = 12000\ncentre = 7000\n", 2, ini + ":8: centre: must lie in 0 .. 6000 Hz (half the sample rate), not 7000\n"},
        {cfg, csvA + sigB + "rate = 1000\n", 2, ini + ":5: centre: must lie in 0 .. 500 Hz (half the sample rate), not 1000\n"},
        {cfg, csvA + sigB + "span-high = 7000\n", 2, ini + ":7: span-high: must lie below half the sample rate (6000 Hz)\n"},
        {cfg, csvA + sigB + "rate = 384000\nbandwidth = 20\nfft-size = 1024\n", 2,
         ini + ":8: bandwidth: is narrower than half an FFT bin (375 Hz)\n"},
        {cfg, csvA + sigB + "span-low = 3000\nspan-high = 2000\n", 2, ini + ":7: span-low: must lie below --span-high\n"},
        {cfg, csvA + sigB + "rate = 1000\ncentre = 200\nspan-low = 600\n", 2, ini + ":9: span-low: must lie below 499.88 Hz for this sample rate\n"},
        {cfg, csvA + "plot = " + png + "\n" + sigB + "plot = " + dir.filePath("./p.png") + "\n", 2,
         ini + ":8: plot: " + dir.filePath("./p.png") + " is already the picture of section [a]\n"},
        // At most 1 MiB, 4096 bytes a line and 256 monitors; tens of thousands of sections are not all read.
        {cfg, sig + "# " + QString(2 << 20, 'x') + "\n", 2, ini + ": larger than 1 MiB (1048576 bytes), the most a config file may hold\n"},
        {cfg, edge, 2, ini + QString(":%1: average: must be a whole number 1 .. 63, not '64'\n").arg(edge.count('\n') + 1)},
        {cfg, sig + "output = " + QString(4088, 'x') + "\n", 2, ini + ":3: longer than 4096 bytes, the most a line may hold\n"},
        {cfg, many + "not a key\n", 2, ini + ":513: more than 256 sections, the most monitors one process runs\n"},
        // Messages stay one line: control characters escaped, long values cut.
        {cfg, sig + "fft-size = 30" + QChar(0) + "00\n", 2, ini + ":3: fft-size: a NUL byte in the value '30\\x0000'\n"},
        {cfg, sig + "track = \x1b[31mred\n", 2, ini + ":3: track: must be true or false, not '\\x1b[31mred'\n"},
        {cfg, sig + "fft-size = " + QString(4000, '7') + "\n", 2, ini + ":3: fft-size: not a number: '" + QString(80, '7') + "\u2026'\n"},
        {cfg, "\uFEFF" + ok + "fft-size = 3000\n", 2, ini + ":4: fft-size: must be a power of two, not '3000'\n"},
        {cfg, sig + "output = " + tilde + "\n", 2, ini + ":3: output: '" + tilde + "' is in the home folder, but HOME is empty\n",
         {{"HOME", ""}}},
        {cfg, sig + "plot = " + tilde + ".png\n", 2, ini + ":3: plot: '" + tilde + ".png' is in the home folder, but HOME is not set\n",
         {{"HOME", QString()}}},
    };
    const auto made = [&] { return QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot); };
    for (const auto& c : cases) {
        if (!c.config.isEmpty()) WriteFile(ini, c.config.toUtf8());
        const QStringList before = made();
        const Outcome r = Measure(c.args, c.env, 30000);
        SCOPED_TRACE((c.args.join(' ').left(200) + " | " + c.config.left(200) + " -> " + r.err.left(300)).toStdString());
        EXPECT_EQ(std::pair(r.status, r.err.count('\n')), std::pair(c.status, qsizetype(c.line.isEmpty() ? 0 : 1)));
        EXPECT_TRUE(c.line.isEmpty() ? r.err.isEmpty() : r.err.startsWith("parlune-measure: " + c.line));
        for (const QString& s : c.out) EXPECT_TRUE(r.out.simplified().contains(s)) << s.toStdString();
        EXPECT_EQ(made(), before) << "a file was made";
    }
}

// The example configs of the README ("Many receivers") and docs/ are read
// as they stand: parsing and checking them passes every line, and a run
// fails, if at all, only at an input this machine does not have.
TEST(Config, ExampleConfigsInTheDocsParse)
{
    const QString source = qEnvironmentVariable("PARLUNE_SOURCE_DIR");
    ASSERT_FALSE(source.isEmpty());
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("home/parlune")); // the examples write to ~/parlune
    const auto readme = QRegularExpression("\n## Many receivers\n.*?```ini\n(.*?\n)```", QRegularExpression::DotMatchesEverythingOption)
                            .match(QString(ReadFile(source + "/README.md")));
    ASSERT_TRUE(readme.hasMatch());
    WriteFile(dir.filePath("readme.ini"), readme.captured(1).toUtf8());
    for (const QString& path : {dir.filePath("readme.ini"), source + "/docs/monitors.ini"}) {
        const Outcome r = Measure({"--config", path, "--duration", "1"}, {{"HOME", dir.filePath("home")}}, 60000);
        SCOPED_TRACE((path + " -> " + r.err).toStdString());
        if (r.status == 0) continue;
        EXPECT_TRUE(r.status == 1 || r.status == 2);
        EXPECT_EQ(r.err.count('\n'), 1);
        const auto m = QRegularExpression("^parlune-measure: " + QRegularExpression::escape(path) + ":([0-9]+): input: ").match(r.err);
        ASSERT_TRUE(m.hasMatch()) << "not a fault of an input";
        const QString faulty = QString(ReadFile(path)).split('\n').value(m.captured(1).toInt() - 1);
        EXPECT_TRUE(faulty.trimmed().startsWith("input")) << faulty.toStdString();
    }
}

} // namespace
