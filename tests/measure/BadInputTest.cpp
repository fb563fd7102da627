// parlune-measure on bad input that once hung it, read without limit, opened
// files before refusing, or said too little: config files (comments, size,
// every value checked first), FIFOs and devices, device numbers without an
// audio server, shared outputs, and messages that stay one clear line.
#include <gtest/gtest.h>

#include "support/MeasureRun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <map>
#include <set>
#include <thread>

// gtest shows a QString as text.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

// A run with these variables changed ("" removes one), given `ms` to end:
// a run that hangs fails the test rather than stalling it.
Outcome MeasureWith(const QStringList& args, const std::map<QString, QString>& env = {}, int ms = 60000)
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : env) value.isNull() ? e.remove(name) : e.insert(name, value);
    p.setProcessEnvironment(e);
    p.start(PARLUNE_MEASURE_BIN, args);
    const Outcome r = Finish(p, ms);
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
    }
    return r;
}

void WriteFile(const QString& path, const std::string& text) { std::ofstream(path.toStdString(), std::ios::binary) << text; }

std::string ReadFile(const QString& path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

const std::string kSignal = "Test signal 1000 Hz, S/N 20 dB";
const std::string kDrifting = "Test signal drifting, S/N 0 dB";

// The example configs of the README ("Many receivers") and docs/ are read
// as they stand: parsing and checking them passes every line, and a run
// fails, if at all, only at an input this machine does not have.
TEST(Config, ExampleConfigsInTheDocsParse)
{
    const QString source = qEnvironmentVariable("PARLUNE_SOURCE_DIR");
    ASSERT_FALSE(source.isEmpty());
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("home/parlune")); // the examples write to ~/parlune
    const std::string readme = ReadFile(source + "/README.md");
    const auto section = readme.find("\n## Many receivers\n");
    ASSERT_NE(section, std::string::npos);
    const auto start = readme.find("```ini\n", section);
    ASSERT_NE(start, std::string::npos);
    const auto end = readme.find("\n```", start + 7);
    ASSERT_NE(end, std::string::npos);
    WriteFile(dir.filePath("readme.ini"), readme.substr(start + 7, end + 1 - start - 7));
    for (const QString& path : {dir.filePath("readme.ini"), source + "/docs/monitors.ini"}) {
        const Outcome r = MeasureWith({"--config", path, "--duration", "1"}, {{"HOME", dir.filePath("home")}});
        SCOPED_TRACE((path + " -> " + r.err).toStdString());
        if (r.status == 0) continue;
        EXPECT_TRUE(r.status == 1 || r.status == 2);
        EXPECT_EQ(r.err.count('\n'), 1);
        const QRegularExpression inputFault("^parlune-measure: " + QRegularExpression::escape(path) + ":([0-9]+): input: ");
        const auto m = inputFault.match(r.err);
        ASSERT_TRUE(m.hasMatch()) << "not a fault of an input";
        const QStringList lines = QString::fromStdString(ReadFile(path)).split('\n');
        const int line = m.captured(1).toInt();
        ASSERT_LE(line, lines.size());
        EXPECT_TRUE(lines[line - 1].trimmed().startsWith("input")) << lines[line - 1].toStdString();
    }
}

// A '#' or ';' after a blank starts a comment after a value; quoted, it is
// part of the value, and so is one without a blank before it.
TEST(Config, InlineCommentsAndQuotes)
{
    QTemporaryDir dir;
    const std::string hashed = dir.filePath("a #1.csv").toStdString();
    const std::string plain = dir.filePath("b#2.csv").toStdString();
    WriteFile(dir.filePath("m.ini"),
              "[a]   # the first\ninput = " + kSignal + "   # the tone\nformat = csv\t; rows\nfft-size = 4096 # small\n"
              "output = \"" + hashed + "\"   # quoted\nreconnect = true          # as the README has it\n"
              "[b]\ninput = '" + kSignal + "'\nformat = csv\nfft-size = 4096\noutput = " + plain + "\n");
    const Outcome r = Measure({"--config", dir.filePath("m.ini"), "--duration", "1.5"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Rows(QString::fromStdString(ReadFile(QString::fromStdString(hashed)))).size() > 0, true);
    EXPECT_EQ(Rows(QString::fromStdString(ReadFile(QString::fromStdString(plain)))).size() > 0, true);

    WriteFile(dir.filePath("m.ini"), "[a]\ninput = \"" + kSignal + "\" and more\n");
    const Outcome junk = Measure({"--config", dir.filePath("m.ini"), "--duration", "1"});
    EXPECT_EQ(std::pair(junk.status, junk.err.toStdString()),
              std::pair(2, "parlune-measure: " + dir.filePath("m.ini").toStdString() +
                               ":2: input: text after the closing quote: 'and more'\n"));
}

// A FIFO, a folder or a device where a file belongs is refused before it is
// opened (a FIFO's opening would wait for a writer or reader for ever, a
// device would never end): one line, status 2 for a config, 1 for the rest.
TEST(Files, FifosFoldersAndDevicesAreRefusedUnopened)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const QString ini = dir.filePath("m.ini");
    const QStringList live{"--input", QString::fromStdString(kSignal), "--duration", "1"};
    const struct { QStringList args; int status; QString line; } cases[] = {
        {{"--config", fifo}, 2, fifo + ": is a FIFO, not a regular file"},
        {{"--config", "/dev/zero"}, 2, "/dev/zero: is a character device, not a regular file"},
        {{"--config", dir.path()}, 2, dir.path() + ": is a directory, not a regular file"},
        {live + QStringList{"--output", fifo}, 1, fifo + ": is a FIFO, not a regular file"},
        {live + QStringList{"--plot", fifo}, 1, fifo + ": is a FIFO, not a regular file"},
        {live + QStringList{"--output", dir.path()}, 1, dir.path() + ": is a directory, not a regular file"},
        {{fifo}, 1, fifo + ": is a FIFO, not a regular file"},
        {{"--plot", fifo, fifo}, 1, fifo + ": is a FIFO, not a regular file"},
        {{"/dev/zero"}, 1, "/dev/zero: is a character device, not a regular file"},
        {{"--config", ini}, 1, ini + ":3: output: " + fifo + " is a FIFO, not a regular file"},
    };
    WriteFile(ini, "[a]\ninput = " + kSignal + "\noutput = " + fifo.toStdString() + "\n");
    for (const auto& c : cases) {
        const Outcome r = MeasureWith(c.args, {}, 10000);
        SCOPED_TRACE((c.args.join(' ') + " -> " + r.err).toStdString());
        EXPECT_EQ(std::pair(r.status, r.err), std::pair(c.status, "parlune-measure: " + c.line + "\n"));
    }
    // Character devices and paths not there yet are fine for an output.
    const Outcome null = Measure(live + QStringList{"--output", "/dev/null"});
    EXPECT_EQ(std::pair(null.status, null.err), std::pair(0, QString()));
    const Outcome fresh = Measure(live + QStringList{"--output", dir.filePath("new.txt"), "--interval", "0"});
    EXPECT_EQ(std::pair(fresh.status, fresh.err), std::pair(0, QString()));
    EXPECT_FALSE(ReadFile(dir.filePath("new.txt")).empty());
}

// A config file is at most 1 MiB, a line at most 4096 bytes, a run at most
// 256 monitors, each limit one line that names it; a file of tens of
// thousands of sections is refused in a moment.
TEST(Config, SizeLineAndMonitorLimits)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("m.ini");
    const std::string ok = "[a]\ninput = " + kSignal + "\n";
    std::string many;
    for (int i = 0; many.size() < 1000000; ++i) many += "[s" + std::to_string(i) + "]\ninput = " + kSignal + "\n";
    const struct { std::string file; std::string line; } cases[] = {
        {ok + "# " + std::string(2 << 20, 'x') + "\n", ": larger than 1 MiB (1048576 bytes), the most a config file may hold"},
        {ok + "output = " + std::string(5000, 'x') + "\n", ":3: longer than 4096 bytes, the most a line may hold"},
        {many + "not a key\n", ":513: more than 256 sections, the most monitors one process runs"},
    };
    for (const auto& c : cases) {
        WriteFile(ini, c.file);
        QElapsedTimer took;
        took.start();
        const Outcome r = MeasureWith({"--config", ini, "--duration", "1"}, {}, 30000);
        SCOPED_TRACE(r.err.left(300).toStdString());
        EXPECT_LT(took.elapsed(), 10000);
        EXPECT_EQ(std::pair(r.status, r.err.toStdString()), std::pair(2, "parlune-measure: " + ini.toStdString() + c.line + "\n"));
    }
}

// Every value is checked before anything opens, also those that depend on
// the section's rate, with the file, the line and the key at fault.
TEST(Config, EveryValueIsCheckedBeforeAnythingOpens)
{
    QTemporaryDir dir;
    const QString out = dir.filePath("a.csv");
    const std::string a = "[a]\ninput = " + kSignal + "\nformat = csv\noutput = " + out.toStdString() + "\n";
    const struct { std::string file; std::string line; } cases[] = {
        {a + "[b]\ninput = " + kSignal + "\nrate = 12000\ncentre = 7000\n",
         ":8: centre: must lie in 0 .. 6000 Hz (half the sample rate), not 7000"},
        {a + "[b]\ninput = " + kSignal + "\nrate = 1000\n", ":5: centre: must lie in 0 .. 500 Hz (half the sample rate), not 1000"},
        {a + "[b]\ninput = " + kSignal + "\nspan-high = 7000\n",
         ":7: span-high: must lie below half the sample rate (6000 Hz)"},
        {a + "[b]\ninput = " + kSignal + "\nrate = 384000\nbandwidth = 20\nfft-size = 1024\n",
         ":8: bandwidth: is narrower than half an FFT bin (375 Hz)"},
        {a + "[b]\ninput = " + kSignal + "\nspan-low = 3000\nspan-high = 2000\n", ":7: span-low: must lie below --span-high"},
        {a + "plot = " + dir.filePath("p.png").toStdString() + "\n[b]\ninput = " + kSignal +
             "\nplot = " + dir.filePath("./p.png").toStdString() + "\n",
         ":8: plot: " + dir.filePath("./p.png").toStdString() + " is already the picture of section [a]"},
    };
    for (const auto& c : cases) {
        WriteFile(dir.filePath("m.ini"), c.file);
        const Outcome r = Measure({"--config", dir.filePath("m.ini"), "--duration", "1"});
        SCOPED_TRACE(c.file + " -> " + r.err.toStdString());
        EXPECT_EQ(std::pair(r.status, r.err.toStdString()),
                  std::pair(2, "parlune-measure: " + dir.filePath("m.ini").toStdString() + c.line + "\n"));
        EXPECT_FALSE(QFile::exists(out)) << "an output was opened";
        EXPECT_FALSE(QFile::exists(dir.filePath("p.png")));
    }
}

// With no audio server the test signals become devices 0 and 1: a number
// that now falls on one is refused; a test signal by name still works.
TEST(LiveInput, ANumberNeverFallsOnATestSignalWithoutTheServer)
{
    const std::map<QString, QString> noServer{{"PULSE_SERVER", "unix:/nonexistent"}};
    const QString refused = "0 is the test signal 'Test signal 1000 Hz, S/N 20 dB' only because no audio server "
                            "answered; give the device by name (see --list-inputs)\n";
    const Outcome number = MeasureWith({"--input", "0", "--duration", "1"}, noServer);
    EXPECT_EQ(std::pair(number.status, number.err), std::pair(1, "parlune-measure: --input: " + refused));

    QTemporaryDir dir;
    WriteFile(dir.filePath("m.ini"), "[a]\ninput = " + kSignal + "\n\n[b]\ninput = 0\n");
    const Outcome config = MeasureWith({"--config", dir.filePath("m.ini"), "--duration", "1"}, noServer);
    EXPECT_EQ(std::pair(config.status, config.err),
              std::pair(1, "parlune-measure: " + dir.filePath("m.ini") + ":5: input: " + refused));

    const Outcome name = MeasureWith({"--input", QString::fromStdString(kSignal), "--duration", "1", "--format", "csv"}, noServer);
    EXPECT_EQ(std::pair(name.status, name.err), std::pair(0, QString()));
    EXPECT_FALSE(Rows(name.out).empty());
}

// In the config form every line says whose it is; monitors writing to one
// place share one CSV header and their format; no picture is drawn twice.
// The --input form's output keeps its columns.
TEST(Config, SharedOutputsSayWhoseRowsTheyAre)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("m.ini");
    std::string eight;
    for (int i = 0; i < 8; ++i)
        eight += "[m" + std::to_string(i) + "]\ninput = " + (i % 2 ? kDrifting : kSignal) + "\nfft-size = 4096\n";
    WriteFile(ini, eight);
    const Outcome csv = Measure({"--config", ini, "--duration", "1.5", "--format", "csv"});
    ASSERT_EQ(csv.status, 0) << csv.err.toStdString();
    EXPECT_EQ(csv.out.count("block,start_s"), 1) << csv.out.toStdString();
    EXPECT_TRUE(csv.out.startsWith("monitor,block,start_s,peak_hz,"));
    std::set<QString> names;
    for (const auto& row : Rows(csv.out)) names.insert(row.at("monitor"));
    EXPECT_EQ(names.size(), 8u);
    EXPECT_EQ(names.count("m7"), 1u);

    // One file by two spellings: one header; a name with a comma is quoted.
    const QString shared = dir.filePath("shared.csv");
    WriteFile(ini, "[a]\ninput = " + kSignal + "\nformat = csv\noutput = " + shared.toStdString() + "\n[b, c]\ninput = " +
                       kDrifting + "\nformat = csv\noutput = " + dir.filePath("./x/../shared.csv").toStdString() + "\n");
    ASSERT_TRUE(QDir(dir.path()).mkpath("x"));
    const Outcome file = Measure({"--config", ini, "--duration", "1.5", "--fft-size", "4096"});
    ASSERT_EQ(file.status, 0) << file.err.toStdString();
    const QString text = QString::fromStdString(ReadFile(shared));
    EXPECT_EQ(text.count("block,start_s"), 1);
    EXPECT_TRUE(text.contains("\n\"b, c\",0,")) << text.toStdString();
    EXPECT_TRUE(text.contains("\na,0,")) << text.toStdString();

    // Log lines: the name is the first field.
    const QString log = dir.filePath("log.txt");
    WriteFile(ini, "[north]\ninput = " + kSignal + "\ninterval = 0\noutput = " + log.toStdString() + "\n");
    const Outcome lines = Measure({"--config", ini, "--duration", "1.5", "--fft-size", "4096", "--summary"});
    ASSERT_EQ(lines.status, 0) << lines.err.toStdString();
    const QString logged = QString::fromStdString(ReadFile(log));
    EXPECT_TRUE(QRegularExpression("^north, [0-9]{2}:[0-9]{2}:[0-9]{2}, 999\\.02, ").match(logged).hasMatch()) << logged.toStdString();
    EXPECT_TRUE(logged.contains("\r\nnorth, summary: ")) << logged.toStdString();

    // Two formats in one place are refused.
    WriteFile(ini, "[a]\ninput = " + kSignal + "\nformat = csv\n[b]\ninput = " + kSignal + "\n");
    const Outcome mixed = Measure({"--config", ini, "--duration", "1"});
    EXPECT_EQ(std::pair(mixed.status, mixed.err.toStdString()),
              std::pair(2, "parlune-measure: " + ini.toStdString() +
                               ":4: format: log to standard output, where section [a] writes csv: monitors that share an "
                               "output share its format\n"));

    // The --input form is as it was: no monitor column.
    const Outcome single = Measure({"--input", QString::fromStdString(kSignal), "--duration", "1", "--format", "csv"});
    ASSERT_EQ(single.status, 0) << single.err.toStdString();
    EXPECT_TRUE(single.out.startsWith("block,start_s,peak_hz,peak_db,noise_db,sn_bin_db,sn_1hz_db,sn_2500hz_db,in_band,"
                                      "sn_2500hz_corrected_db\n0,"));
}

// Each message is one line that says what is wrong: control characters
// escaped, long values cut, the real limits named.
TEST(Messages, AreOneClearLine)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("m.ini");
    const std::string ok = "[a]\ninput = " + kSignal + "\n";
    // "~" and a path from the root: without the fix, HOME="" put it in the temporary folder.
    const std::string tilde = "~" + dir.filePath("x").toStdString();
    const struct { std::string file; std::map<QString, QString> env; std::string line; } cases[] = {
        {ok + "fft-size = 30" + std::string(1, '\0') + "00\n", {}, ":3: fft-size: a NUL byte in the value '30\\x0000'"},
        {ok + "track = \x1b[31mred\n", {}, ":3: track: must be true or false, not '\\x1b[31mred'"},
        {ok + "fft-size = " + std::string(4000, '7') + "\n", {},
         ":3: fft-size: not a number: '" + std::string(80, '7') + "\xE2\x80\xA6'"},
        {"\xEF\xBB\xBF" + ok + "fft-size = 3000\n", {}, ":3: fft-size: must be a power of two, not '3000'"},
        {ok + "output = " + tilde + "\n", {{"HOME", ""}}, ":3: output: '" + tilde + "' is in the home folder, but HOME is empty"},
        {ok + "plot = " + tilde + ".png\n", {{"HOME", QString()}},
         ":3: plot: '" + tilde + ".png' is in the home folder, but HOME is not set"},
    };
    for (const auto& c : cases) {
        WriteFile(ini, c.file);
        const Outcome r = MeasureWith({"--config", ini, "--duration", "1"}, c.env);
        SCOPED_TRACE(r.err.toStdString());
        EXPECT_EQ(std::pair(r.status, r.err.toStdString()), std::pair(2, "parlune-measure: " + ini.toStdString() + c.line + "\n"));
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("x")));

    const Outcome longValue = Measure({"--fft-size", QString(100000, 'x'), "f.wav"});
    EXPECT_EQ(std::pair(longValue.status, longValue.err),
              std::pair(2, "parlune-measure: --fft-size: not a number: '" + QString(80, 'x') + QChar(0x2026) + "'\n"));

    const Outcome duration = Measure({"--input", QString::fromStdString(kSignal), "--duration", "1e9"});
    EXPECT_EQ(std::pair(duration.status, duration.err),
              std::pair(2, QString("parlune-measure: --duration: must be above 0 and at most 999999999 seconds, not '1e9'\n")));

    const Outcome help = Measure({"--help"});
    EXPECT_TRUE(help.out.simplified().contains("stop after S seconds, above 0 and at most 999999999"));
    EXPECT_TRUE(help.out.simplified().contains("; 5 out of memory."));
    EXPECT_TRUE(help.out.simplified().contains("Further stop signals while that is written are ignored"));
}

// Two SIGINTs 10 ms apart: the second waits for what the first started, so
// the picture and the summary are written and the status is 0.
TEST(LiveRun, ASecondStopSignalWaitsForTheWriting)
{
    QTemporaryDir dir;
    const QString png = dir.filePath("sn.png");
    QProcess p;
    p.start(PARLUNE_MEASURE_BIN, {"--input", QString::fromStdString(kSignal), "--format", "csv", "--fft-size", "4096",
                                  "--summary", "--plot", png});
    QString out;
    while (Rows(out).size() < 2 && p.waitForReadyRead(20000)) out += QString::fromLocal8Bit(p.readAllStandardOutput());
    ASSERT_GE(Rows(out).size(), 2u) << "no rows: " << p.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    Outcome r = Finish(p, 30000);
    out += r.out;
    EXPECT_EQ(std::pair(r.status, r.err), std::pair(0, QString()));
    EXPECT_TRUE(out.trimmed().split('\n').last().startsWith("summary: ")) << out.toStdString();
    EXPECT_FALSE(QImage(png).isNull());
}

} // namespace
