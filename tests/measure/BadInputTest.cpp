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
    const QString ini = dir.filePath("m.ini"), fifo = dir.filePath("fifo");
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    QTcpServer taken; // a port in use
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    const auto wav = [&](const char* name, auto&&... more) { return WriteWav(dir, name, more...); };
    const auto noisy = ToneNoise{}.Stereo16(30000);
    const std::vector<std::int16_t> zeros(2 * 20000, 0), ones(2 * 20000, 1);
    // Raw IQ at 24000 Hz, 70000 cf32 samples, NaN the first of the second 65536-sample read.
    std::vector<float> iq;
    for (double x : ToneNoise{}.Samples(140000)) iq.push_back(float(x / 3e4));
    iq[131072] = NAN;
    const QString a = "[a]\ninput = " + kSignal + "\n", ok = a + "output = " + dir.filePath("never.csv") + "\n";
    QString many, edge = a; // edge: exactly 1 MiB, read to its last byte: a value that is bad only whole
    for (int i = 0; many.size() < 1000000; ++i) many += QString("[s%1]\ninput = %2\n").arg(i).arg(kSignal);
    while (edge.size() < (1 << 20) - 4000) edge += "#" + QString(3998, 'x') + "\n";
    edge += QString((1 << 20) - edge.size() - 13, '#') + "\naverage = 64";
    // {name} in arguments, configs and lines; {live} stands for several arguments.
    const std::map<QString, QString> at = {
        {"dir", dir.path()}, {"ini", ini}, {"fifo", fifo}, {"png", dir.filePath("p.png")}, {"sig", kSignal}, {"a", a}, {"ok", ok},
        {"b", "[b]\ninput = " + kSignal + "\n"}, {"csvA", ok + "format = csv\n"}, {"many", many}, {"edge", edge},
        {"edgeLine", QString::number(edge.count('\n') + 1)}, {"inUse", QString("127.0.0.1:%1").arg(taken.serverPort())},
        {"tone", wav("tone.wav", noisy)}, {"short", wav("short.wav", ToneNoise{}.Stereo16(4000))}, {"silence", wav("silence.wav", zeros)},
        {"nan", wav("nan.wav", ToneNoise{}.Stereo16(10000), SF_FORMAT_FLOAT, 2, 1000, NAN)}, // 1 ms a frame
        {"inf", wav("inf.wav", noisy, SF_FORMAT_FLOAT, 1, 12000, -INFINITY)},
        {"slow", wav("slow.wav", ToneNoise{.Rate = 1000, .ToneHz = 200}.Stereo16(30000), SF_FORMAT_PCM_16, 2, 1000)},
        {"1Hz", wav("1.wav", ones, SF_FORMAT_PCM_16, 2, 1)}, {"400kHz", wav("400k.wav", ones, SF_FORMAT_PCM_16, 2, 400000)},
        {"100Hz", wav("100.wav", ones, SF_FORMAT_PCM_16, 2, 100)}, // the lowest rate taken
        {"text", WriteFile(dir.filePath("text.wav"), "not audio at all\n")},
        {"nanIq", WriteFile(dir.filePath("nan.cf32"), QByteArray(reinterpret_cast<const char*>(iq.data()), 560000))},
        {"cu8", dir.filePath("rtl_14000000Hz.cu8")}, {"tilde", "~" + dir.filePath("x")}, // without the fix, HOME="" put it here
        {"x80", QString(80, 'x')}, {"x100k", QString(100000, 'x')}, {"x4088", QString(4088, 'x')}, {"x2M", QString(2 << 20, 'x')},
        {"7x80", QString(80, '7')}, {"7x4000", QString(4000, '7')}, {"isFifo", fifo + ": is a FIFO, not a regular file\n"},
        {"noTest", "0 is the test signal '" + kSignal + "' only because no audio server answered; give the device by name (see --list-inputs)\n"},
        {"centre", "--centre must lie in 0 .. "}, {"half", "Hz (half the sample rate), not "},
    };
    const auto x = [&](QString s) {
        for (const auto& [name, value] : at) s.replace("{" + name + "}", value);
        return s;
    };
    const std::map<QString, QString> noPulse{{"PULSE_SERVER", "unix:/nonexistent"}};
    // A config is written to m.ini and run with --config m.ini --duration 1 first; the line after "parlune-measure: " is the
    // start of standard error, all of it when it ends in \n, "" for none; `out` is in the standard output, blanks simplified.
    const struct { int status; QString args, line, config = {}; std::map<QString, QString> env = {}; QStringList out = {}; } cases[] = {
        // Options and recordings
        {1, "{dir}/missing.wav", "{dir}/missing.wav: cannot open: "}, {1, "{text}", "{text}: not an audio file"},
        {1, "--fft-size 4096 {short}", "{short}: shorter than one block"}, {2, "--fft-size 3000 {tone}", "--fft-size: must be a power of two"},
        {2, "--fft-size=524288 {tone}", "--fft-size: must be a whole number 1024 .. 262144"},
        {2, "--fft-size {x100k} f.wav", "--fft-size: not a number: '{x80}\u2026'\n"}, {2, "--bandwidth -50 {tone}", "--bandwidth: must be above 0 Hz"},
        {2, "--bandwidth abc {tone}", "--bandwidth: not a number"}, {2, "--span-low 3000 --span-high 3000 {tone}", "span: --span-low must lie below"},
        {2, "--span-high 6000 {tone}", "{tone}: --span-high must lie below half the sample rate (6000 Hz)"}, {0, "--span-high 5999.9 {tone}", ""},
        {0, "--threshold 0 --window 2 {tone}", ""}, {0, "--window rectangular {tone}", ""},
        {2, "--input {sig} --duration 0", "--duration: must be above 0 and at most 999999999 seconds, not '0'\n"},
        {2, "--input {sig} --duration 1e9", "--duration: must be above 0 and at most 999999999 seconds, not '1e9'\n"},
        {2, "--compare a,b {tone}", "--compare: only with --config\n"},
        {0, "--centre 200 {slow}", "{slow}: the default --span-high 5000 Hz is not below half the sample rate; using 499.88 Hz"},
        {2, "--centre 200 --span-high 500 {slow}", "{slow}: --span-high must lie below half the sample rate (500 Hz)"},
        {2, "--centre 200 --span-low 600 {slow}", "{slow}: --span-low must lie below 499.88 Hz for this sample rate\n"},
        {2, "{100Hz}", "{100Hz}: {centre}50 {half}1000\n"},
        {2, "--centre 6000.5 {tone}", "{tone}: {centre}6000 {half}6000.5"}, {2, "--centre=-1 {tone}", "{tone}: {centre}6000 {half}-1"},
        {2, "--window -1 {tone}", "--window: unknown window '-1'"}, {2, "--window 9 {tone}", "--window: unknown window '9'"},
        {2, "--window kaiser {tone}", "--window: unknown window 'kaiser'"}, {2, "--duration 1 {tone}", "--duration: only with"},
        {2, "{live} {tone}", "--input: measures the input alone, not files too\n"},
        {2, "--list-inputs {tone}", "--list-inputs: takes no file, no --input and no --config\n"},
        {1, "--centre 200 --span-high 400 {nan}", "{nan}: the sample at 5.000 s is not a finite number"},
        {1, "{inf}", "{inf}: the sample at 1.250 s is not a finite"}, {2, "--guard 2.5 {tone}", "--guard: must lie in 0"},
        {2, "--average 64 {tone}", "--average: must be a whole number 1 .. 63"}, {2, "--average", "--average: needs a value\n"},
        {2, "--format json {tone}", "--format: must be log or csv"}, {2, "--plot {png} {tone} {tone}", "--plot: takes one recording"},
        {2, "--plot {png} --plot-size 800x100 {tone}", "--plot-size height: must be a whole number 200"},
        {1, "--plot {dir}/no/p.png {tone}", "{dir}/no/p.png: cannot write"}, {1, "--plot /dev/full {tone}", "/dev/full: cannot write the picture"}, // and no libpng line
        {2, "--plot-size 640x360 {tone}", "--plot-size: only with --plot\n"}, {2, "{1Hz}", "{1Hz}: the sample rate 1 Hz is outside 100 .. 384000 Hz\n"},
        {2, "{400kHz}", "{400kHz}: the sample rate 400000 Hz is outside 100 .. 384000 Hz\n"}, {2, "--frobnicate {tone}", "unknown option '--frobnicate'"},
        {2, "", "no input file"}, {3, "{silence}", "{silence}: block 0: measurement ended"},
        {3, "--span-low 950 --span-high 1050 {tone}", "{tone}: block 0: Noise measurement not possible, Signal bandwidth reset\n"},
        {0, "--help", "", {}, {}, {"stop after S seconds, above 0 and at most 999999999", "; 5 out of memory.", "Further stop signals while that is written are ignored"}},
        // IQ recordings through the tuner
        {2, "--iq-format cu16 {tone}", "--iq-format: must be cu8, cs8, cs16 or cf32, not 'cu16'\n"},
        {2, "{cu8}", "{cu8}: a raw IQ recording needs --sdr-rate, its sample rate in Hz\n"},
        {2, "--sdr-rate 2048000 --dial 15020001 {cu8}", "{cu8}: --dial 15020001 Hz +- half the analysis rate must lie within 12976000 .. 15024000 Hz, the recording's centre +- half its rate\n"},
        {2, "--sdr-rate=24000 --dial 7074000 {nanIq}", "{nanIq}: --dial needs the recording's centre frequency: give --iq-centre (the file name has none)\n"},
        {2, "--rate 24000 {tone}", "{tone}: the analysis rate 24000 Hz (--rate) is above the recording's sample rate 12000 Hz\n"},
        {2, "--sdr-rate 2048000 {tone}", "{tone}: --sdr-rate 2048000 Hz is not the file's own rate, 12000 Hz\n"},
        {1, "--sdr-rate=24000 --fft-size 1024 {nanIq}", "{nanIq}: the sample at 2.731 s is not a finite number (NaN or infinity)\n"},
        {1, "--sdr-rate=24000 --fft-size 262144 {nanIq}", "{nanIq}: shorter than one block ("},
        {1, "--sdr-rate=24000 {cu8}", "{cu8}: cannot open: No such file or directory\n"},
        // SDR receivers: options that need one, and a device that is not there (SoapySDR lists what it found)
        {2, "{live} --dial 14074000", "--dial: only with a soapy: input or an IQ recording\n"}, {2, "{live} --gain 3", "--gain: only with a soapy: input\n"},
        {2, "--lo-offset 0 {tone}", "--lo-offset: only with a soapy: input\n"},
        {2, "--input soapy:driver=none", "--dial: needed with a soapy: input (the radio frequency at the analysed 0 Hz)\n"},
        {2, "--input soapy:driver=none --dial 7e6 --sdr-setting =2", "--sdr-setting: must be KEY=VALUE, not '=2'\n"},
        {2, "--input soapy:driver=none --dial 7e6 --gain loud", "--gain: must be a number of dB or auto, not 'loud'\n"},
        {2, "--input soapy:driver=none --dial 7e6 --duration 1", "soapy:driver=none: no such device; SoapySDR found "},
        {2, "", "{ini}:2: input: a soapy: input needs dial, the radio frequency at the analysed 0 Hz\n", "[a]\ninput = soapy:driver=none\n"},
        // A FIFO, a folder or a device where a file belongs; a device or a new path is fine for an output.
        {2, "--config {fifo}", "{isFifo}"}, {1, "{fifo}", "{isFifo}"}, {1, "--plot {fifo} {fifo}", "{isFifo}"}, {1, "{live} --output {fifo}", "{isFifo}"},
        {1, "{live} --plot {fifo}", "{isFifo}"}, {0, "{live} --output /dev/null", ""},
        {2, "--config /dev/zero", "/dev/zero: is a character device, not a regular file\n"},
        {1, "/dev/zero", "/dev/zero: is a character device, not a regular file\n"}, {2, "--config {dir}", "{dir}: is a directory, not a regular file\n"},
        {1, "{live} --output {dir}", "{dir}: is a directory, not a regular file\n"},
        {1, "", "{ini}:3: output: {fifo} is a FIFO, not a regular file\n", "{a}output = ~/fifo\n", {{"HOME", dir.path()}}},
        // A device number without an audio server never falls on a test signal.
        {1, "--input 0 --duration 1", "--input: {noTest}", {}, noPulse}, {1, "", "{ini}:5: input: {noTest}", "{a}\n[b]\ninput = 0\n", noPulse},
        // Metrics addresses in use, not this machine's or not addresses
        {2, "--metrics {inUse}", "--metrics: cannot serve on {inUse} (in use", "{ok}"},
        {2, "--metrics 192.0.2.1:9464", "--metrics: cannot serve on 192.0.2.1:9464 (in use", "{ok}"},
        {2, "--metrics 9464x", "--metrics: must be [ADDR:]PORT with a port 1 .. 65535, not '9464x'", "{ok}"},
        {2, "--metrics 70000", "--metrics: must be [ADDR:]PORT with a port 1 .. 65535, not '70000'", "{ok}"},
        {2, "--metrics [::1]:9464", "--metrics: IPv6 addresses are not supported", "{ok}"},
        {2, "--compare a,b --plot {png}", "--compare: no monitor is named 'b'\n", "{ok}"}, {2, "--compare a,a", "--compare: only with --plot\n", "{ok}"},
    };
    // Config files refused with status 2: the file, the line and the key at fault ({ini} and this line).
    const struct { QString line, config; std::map<QString, QString> env = {}; } configs[] = {
        {":4: average: must be a whole number 1 .. 63, not '64'", "{ok}average = 64\n"},
        {":4: track: must be true or false, not 'maybe'", "{ok}track = maybe\n"}, {":4: duration: not a key a monitor takes", "{ok}duration = 5\n"},
        {":4: frobnicate: not a key a monitor takes", "{ok}frobnicate = 1\n"}, {":4: sdr-rate: only with a soapy: input\n", "{ok}sdr-rate = 2048000\n"},
        {":5: rate: given twice in section [a]", "{ok}rate = 12000\nrate = 48000\n"}, {":4: section [a] is repeated", "{ok}{ok}"},
        {":1: input: section [a] names no input", "[a]\nrate = 12000\n"},
        {":1: section [a\\x01z]: a name holds no control characters\n", "[a\x01z]\ninput = x\n"},
        {":1: input: a key before the first [section]", "input = x\n{ok}"}, {":1: section [a]: --plot-size: only with --plot", "{ok}plot-size = 400x300\n"},
        {":2: input: no capture device is named 'nowhere'", "[a]\ninput = nowhere\n"}, {":5: input: there is no device 97", "{ok}[b]\ninput = 97\n"},
        {":1: expected key = value", "just text\n"}, {": no monitor: the file has no [section]", "# comments only\n"},
        {":2: input: text after the closing quote: 'and more'\n", "[a]\ninput = \"{sig}\" and more\n"},
        {":4: format: log to standard output, where section [a] writes csv: monitors that share an output share its format\n", "{a}format = csv\n{b}"},
        {":8: centre: must lie in 0 .. 6000 {half}7000\n", "{csvA}{b}rate = 12000\ncentre = 7000\n"},
        {":5: centre: must lie in 0 .. 500 {half}1000\n", "{csvA}{b}rate = 1000\n"},
        {":7: span-high: must lie below half the sample rate (6000 Hz)\n", "{csvA}{b}span-high = 7000\n"},
        {":8: bandwidth: is narrower than half an FFT bin (375 Hz)\n", "{csvA}{b}rate = 384000\nbandwidth = 20\nfft-size = 1024\n"},
        {":7: span-low: must lie below --span-high\n", "{csvA}{b}span-low = 3000\nspan-high = 2000\n"},
        {":9: span-low: must lie below 499.88 Hz for this sample rate\n", "{csvA}{b}rate = 1000\ncentre = 200\nspan-low = 600\n"},
        {":8: plot: {dir}/./p.png is already the picture of section [a]\n", "{csvA}plot = {png}\n{b}plot = {dir}/./p.png\n"},
        // At most 1 MiB, 4096 bytes a line and 256 monitors; tens of thousands of sections are not all read.
        {": larger than 1 MiB (1048576 bytes), the most a config file may hold\n", "{a}# {x2M}\n"},
        {":{edgeLine}: average: must be a whole number 1 .. 63, not '64'\n", "{edge}"},
        {":3: longer than 4096 bytes, the most a line may hold\n", "{a}output = {x4088}\n"},
        {":513: more than 256 sections, the most monitors one process runs\n", "{many}not a key\n"},
        // Messages stay one line: control characters escaped, long values cut.
        {":3: fft-size: a NUL byte in the value '30\\x0000'\n", QString("{a}fft-size = 30") + QChar(0) + "00\n"},
        {":3: track: must be true or false, not '\\x1b[31mred'\n", "{a}track = \x1b[31mred\n"},
        {":3: fft-size: not a number: '{7x80}\u2026'\n", "{a}fft-size = {7x4000}\n"},
        {":4: fft-size: must be a power of two, not '3000'\n", "\uFEFF{ok}fft-size = 3000\n"}, {":3: expected key = value\n", "{a}= 5\n"},
        {":3: output: '{tilde}' is in the home folder, but HOME is empty\n", "{a}output = {tilde}\n", {{"HOME", ""}}},
        {":3: plot: '{tilde}.png' is in the home folder, but HOME is not set\n", "{a}plot = {tilde}.png\n", {{"HOME", QString()}}},
    };
    const auto made = [&] { return QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot); };
    const auto check = [&](int status, const QString& argText, const QString& line, const QString& config, const auto& env, const QStringList& out) {
        QStringList args = config.isEmpty() ? QStringList() : QStringList{"--config", ini, "--duration", "1"};
        for (const QString& arg : QString(argText).replace("{live}", "--input {sig} --duration 1").split(' ', Qt::SkipEmptyParts)) args << x(arg);
        if (!config.isEmpty()) WriteFile(ini, x(config).toUtf8());
        const QStringList before = made();
        const Outcome r = Measure(args, env, 30000);
        SCOPED_TRACE((argText + " | " + config.left(200) + " -> " + r.err.left(300)).toStdString());
        EXPECT_EQ(std::pair(r.status, r.err.count('\n')), std::pair(status, qsizetype(line.isEmpty() ? 0 : 1)));
        EXPECT_TRUE(line.isEmpty() ? r.err.isEmpty() : r.err.startsWith("parlune-measure: " + x(line)));
        for (const QString& s : out) EXPECT_TRUE(r.out.simplified().contains(s)) << s.toStdString();
        EXPECT_EQ(made(), before) << "a file was made";
    };
    for (const auto& c : cases) check(c.status, c.args, c.line, c.config, c.env, c.out);
    for (const auto& c : configs) check(2, "", "{ini}" + c.line, c.config, c.env, {});
}

// Every window name and alias (blanks, dashes, underscores and case ignored)
// measures as its list position does, and the five positions differ.
TEST(Options, WindowNamesMeasureAsTheirListPositions)
{
    QTemporaryDir dir;
    const QString tone = WriteWav(dir, "tone.wav", ToneNoise{}.Stereo16(30000));
    const auto run = [&](const QString& window) { return Measure({"--format", "csv", "--window", window, tone}).out; };
    const QStringList byPosition = {run("0"), run("1"), run("2"), run("3"), run("4")};
    EXPECT_EQ(QSet<QString>(byPosition.begin(), byPosition.end()).size(), 5);
    const std::pair<const char*, int> names[] = {{"Hamming", 0}, {"blackman_harris", 1}, {"hanning", 2}, {"Hann", 2}, {"hft95", 3},
                                                 {"HFT95 flat-top", 3}, {"flattop", 3}, {"none", 4}, {"no window", 4}, {"rectangular", 4}};
    for (const auto& [name, position] : names) EXPECT_EQ(run(name), byPosition[position]) << name;
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
        EXPECT_TRUE((r.status == 1 || r.status == 2) && r.err.count('\n') == 1);
        const auto m = QRegularExpression("^parlune-measure: " + QRegularExpression::escape(path) + ":([0-9]+): input: ").match(r.err);
        ASSERT_TRUE(m.hasMatch()) << "not a fault of an input";
        const QString faulty = QString(ReadFile(path)).split('\n').value(m.captured(1).toInt() - 1);
        EXPECT_TRUE(faulty.trimmed().startsWith("input")) << faulty.toStdString();
    }
}

} // namespace
