// parlune-measure: measures recordings, or a live input, headlessly with the
// window's own per-block chain and prints log lines or CSV rows.
#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/DeviceList.h"
#include "capture/InputBackend.h"
#include "capture/WaitForBuffer.h"
#include "capture/WaveIn.h"
#include "engine/BlockChain.h"
#include "engine/Fault.h"
#include "engine/NumberText.h"
#include "engine/LogLine.h"
#include "engine/Results.h"
#include "engine/RunSizes.h"
#include "engine/Shared.h"
#include "engine/WholeNumber.h"
#include "engine/Windows.h"
#include "log/Clock.h"
#include "tools/SnPlot.h"

namespace {

constexpr int kExitUsage = 2;       // bad option or value
constexpr int kExitFile = 1;        // missing, unreadable, not audio, too short
constexpr int kExitMeasurement = 3; // the measurement ended (no noise, a fault)
constexpr int kExitInputLost = 4;   // a live input stopped delivering
const std::string kServerSilent = "the audio server did not answer within 5 s (stopped?)";

const char* const kHelp = R"(Usage: parlune-measure [options] FILE...
  or:  parlune-measure --input DEVICE [options]
  or:  parlune-measure --list-inputs

Measures the signal-to-noise ratio of recordings as the Parlune window does
for a live input, or of a live input itself: consecutive, non-overlapping blocks of FFT-size frames from
the start of each file go through the same chain (conversion, window, FFT,
averaging ring, histogram, peak search, signal and noise measurement,
tracking).  WAV, FLAC and whatever else libsndfile reads.  The sample rate is
the file's own; a mono file feeds both channels (more than two channels: the
first two are used); other sample formats are scaled to the 16-bit range.
Every option defaults to the window's setting after its first start.

Live input (--input): the device is captured as the window does it, 16-bit
stereo at --rate, one block at a time; the audio between blocks is dropped.
Log lines carry the time of day as in the window's log file and end in CR LF;
CSV rows end in LF, their start_s counting from the opening of the input.
Lines go to standard output or, with --output, are appended to a file; each
is flushed as it is written.  The run lasts until SIGINT, SIGTERM or SIGHUP,
or for --duration; then the input is released, the --plot picture and the
--summary line are written, and the exit status is 0.  A block of digital
silence (a muted receiver) does not end a live run: it is a CSV row with
empty figures, and the summary counts it as not measured.  A closed pipe on
standard output (| head) ends any run as a signal does, without a message.

Options (a value may follow as the next argument or after '='):
  --list-inputs      print the capture devices as the window's device box
                     lists them, one per line: the number --input takes, a
                     tab, the name (the last two are the test signals)
  --input DEVICE     measure this capture device, given by its name as
                     --list-inputs prints it or by its number
  --rate HZ          live input: sample rate, a whole number 1000 .. 384000
                     (12000)
  --duration S       live input: stop after S seconds, > 0 (until a signal)
  --output FILE      live input: append the lines to FILE instead of standard
                     output
  --fft-size N       points per block, a power of two 1024 .. 262144 (8192)
  --window W         hamming, blackman-harris, hanning, hft95 (flat top), none,
                     or the list position 0 .. 4 in that order (blackman-harris)
  --average N        blocks in the running mean, 1 .. 63 (1)
  --centre HZ        centre of the signal band, 0 .. half the sample rate;
                     truncated to a whole bin as the window's run start does
                     (1000)
  --bandwidth HZ     signal bandwidth, > 0 and at least half a bin (100)
  --guard G          guard band on each side as a multiple of the bandwidth,
                     0 .. 2 (0.5)
  --span-low HZ      lowest analysed frequency, >= 0 (20)
  --span-high HZ     highest analysed frequency, below half the sample rate and
                     above --span-low (5000; when not given and the file's
                     rate is 10000 Hz or less, the highest bin below half the
                     rate, said on stderr)
  --threshold DB     display threshold, a whole number 0 .. 100; peak and noise
                     levels are printed relative to it (0)
  --stat-noise       take the noise from the bin-level histogram (lower quartile
                     + 3 dB) instead of the noise bands
  --track            move the centre onto the peak while it is in the band
  --peak-in-band     search the peak only inside the signal band
  --square           square each input channel before the transform
  --swap             swap sideband (I/Q): keep the second channel's sign
  --interval S       log format: seconds of recording (live: of the clock)
                     between lines, >= 0; 0 writes every block whose peak is
                     in the band (5)
  --format F         log: lines as in the window's log file, the first field
                     being the recording position hh:mm:ss at the block's end;
                     csv: a header and one row per block, S/N fields empty when
                     the peak is outside the band; the last column,
                     sn_2500hz_corrected_db, is the S/N in 2500 Hz with the
                     noise power per bin taken out of the signal band's power
                     before the ratio (closer to the truth below about 10 dB),
                     empty also when that difference is not positive (log)
  --summary          after each file or the live run: count, mean, minimum and maximum of the
                     S/N in 2500 Hz over the blocks with the peak in the band,
                     and of the corrected S/N over those of them where it is
                     positive
  --plot FILE.png    also draw the S/N in 2500 Hz against time as a PNG
                     picture: one point per block with the peak in the band,
                     at the block's end, the line broken where the peak left
                     the band; time from 0 to the end of the last block along
                     the bottom, S/N on whole tens of dB, minimum, mean and
                     maximum marked.  Written when the file ends, also when its
                     measurement stops early; one recording only.  Live: time
                     from the opening of the input, the picture rewritten
                     every 60 s and at the end
  --plot-size WxH    with --plot: the picture's size in pixels, 320x200 ..
                     8000x4000 (800x400)
  -h, --help         this text
  --version          print the program's version

With several files each file's output is preceded by a line "==> FILE <==".
Exit status: 0 done (live: stopped by a signal or --duration); 1 a file is
missing, unreadable, not audio, shorter than one block, or holds a sample
that is NaN or infinite (rows before it are printed), the --plot picture or
the --output file or standard output cannot be written, or the input
device cannot be opened;
2 a bad option or value, also for the file's sample rate (1000 .. 384000 Hz),
or an unknown device; 3 the measurement ended (no noise outside the signal
and guard bands, or, in a recording, a bin of zero power as in silence); 4 the live input stopped
delivering (device unplugged, audio server gone), noticed within three
block lengths (at least 1 s); the lines written so far are kept.
)";

struct Options {
    std::int32_t FftSize = 8192;
    std::int16_t Window = 1;
    std::int32_t Average = 1;
    double Centre = 1000;
    double Bandwidth = 100;
    double Guard = 0.5;
    double SpanLow = 20;
    double SpanHigh = 5000;
    bool SpanHighTyped = false; // a default follows each file's sample rate
    std::int32_t Threshold = 0;
    bool StatNoise = false;
    bool Track = false;
    bool PeakInBand = false;
    bool Square = false;
    bool Swap = false;
    double Interval = 5;
    bool Csv = false;
    bool Summary = false;
    std::string Plot;               // PNG file, "" for none
    int PlotWidth = 800, PlotHeight = 400;
    bool PlotSizeTyped = false;
    std::vector<std::string> Files;
    bool ListInputs = false;
    std::string Input;              // live device, name or number; "" for files
    std::int32_t Rate = 12000;      // live sample rate, Hz
    double Duration = 0;            // live run length, s; 0 until a signal
    std::string Output;             // live lines appended here, "" for stdout
};

std::string Fixed(double x, int decimals = 4)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, x);
    return buf;
}

// A reason to stop, with its exit status; the message is printed as one line.
struct Stop {
    int Status;
    std::string Message;
};

[[noreturn]] void Fail(int status, std::string message) { throw Stop{status, std::move(message)}; }

double NumberArg(std::string_view opt, std::string_view text)
{
    try {
        return WholeTextNumber(text);
    } catch (const Fault&) {
        Fail(kExitUsage, std::string(opt) + ": not a number: '" + std::string(text) + "'");
    }
}

std::int32_t WholeArg(std::string_view opt, std::string_view text, std::int32_t lo, std::int32_t hi)
{
    const double v = NumberArg(opt, text);
    if (v != std::floor(v) || v < lo || v > hi)
        Fail(kExitUsage, std::string(opt) + ": must be a whole number " + std::to_string(lo) + " .. " +
                             std::to_string(hi) + ", not '" + std::string(text) + "'");
    return static_cast<std::int32_t>(v);
}

std::string Squeezed(std::string_view s)
{
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '-' && c != '_') out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::int16_t WindowArg(std::string_view text)
{
    // Names are compared without blanks, dashes and underscores; a list
    // position must be the digit alone (Squeezed would turn "-1" into "1").
    if (text.size() == 1 && text[0] >= '0' && text[0] <= '4') return static_cast<std::int16_t>(text[0] - '0');
    const std::string s = Squeezed(text);
    const std::pair<const char*, std::int16_t> names[] = {
        {"hamming", 0}, {"blackmanharris", 1}, {"hanning", 2}, {"hann", 2}, {"hft95", 3},
        {"hft95flattop", 3}, {"flattop", 3}, {"none", 4}, {"nowindow", 4}, {"rectangular", 4},
    };
    for (auto [name, pos] : names)
        if (s == name) return pos;
    Fail(kExitUsage, "--window: unknown window '" + std::string(text) +
                         "' (hamming, blackman-harris, hanning, hft95, none or 0 .. 4)");
}

Options ParseOptions(int argc, char** argv)
{
    Options o;
    bool onlyFiles = false;
    std::vector<std::string> live; // options that only a live input takes
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (onlyFiles || arg.empty() || arg[0] != '-' || arg == "-") {
            o.Files.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyFiles = true;
            continue;
        }
        std::string_view name = arg;
        std::optional<std::string_view> inlineValue;
        if (const auto eq = arg.find('='); eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
        }
        auto flag = [&](bool& b) {
            if (inlineValue) Fail(kExitUsage, std::string(name) + ": takes no value");
            b = true;
        };
        auto value = [&]() -> std::string_view {
            if (inlineValue) return *inlineValue;
            if (i + 1 >= argc) Fail(kExitUsage, std::string(name) + ": needs a value");
            return argv[++i];
        };
        if (name == "-h" || name == "--help") {
            std::fputs(kHelp, stdout);
            throw Stop{0, ""};
        } else if (name == "--version") {
            std::printf("parlune-measure %s\n", PARLUNE_VERSION);
            throw Stop{0, ""};
        } else if (name == "--fft-size") {
            const std::string_view v = value();
            const std::int32_t n = WholeArg(name, v, 1024, kMaxNFFT);
            if ((n & (n - 1)) != 0) Fail(kExitUsage, "--fft-size: must be a power of two, not '" + std::string(v) + "'");
            o.FftSize = n;
        } else if (name == "--window") {
            o.Window = WindowArg(value());
        } else if (name == "--average") {
            o.Average = WholeArg(name, value(), 1, 63);
        } else if (name == "--centre" || name == "--center") {
            o.Centre = NumberArg(name, value());
        } else if (name == "--bandwidth") {
            const std::string_view v = value();
            o.Bandwidth = NumberArg(name, v);
            if (!(o.Bandwidth > 0)) Fail(kExitUsage, "--bandwidth: must be above 0 Hz, not '" + std::string(v) + "'");
        } else if (name == "--guard") {
            const std::string_view v = value();
            o.Guard = NumberArg(name, v);
            if (!(o.Guard >= 0 && o.Guard <= 2)) Fail(kExitUsage, "--guard: must lie in 0 .. 2, not '" + std::string(v) + "'");
        } else if (name == "--span-low") {
            o.SpanLow = NumberArg(name, value());
        } else if (name == "--span-high") {
            o.SpanHigh = NumberArg(name, value());
            o.SpanHighTyped = true;
        } else if (name == "--threshold") {
            o.Threshold = WholeArg(name, value(), 0, 100);
        } else if (name == "--stat-noise") {
            flag(o.StatNoise);
        } else if (name == "--track") {
            flag(o.Track);
        } else if (name == "--peak-in-band") {
            flag(o.PeakInBand);
        } else if (name == "--square") {
            flag(o.Square);
        } else if (name == "--swap") {
            flag(o.Swap);
        } else if (name == "--interval") {
            const std::string_view v = value();
            o.Interval = NumberArg(name, v);
            if (!(o.Interval >= 0)) Fail(kExitUsage, "--interval: must be 0 or more seconds, not '" + std::string(v) + "'");
        } else if (name == "--format") {
            const std::string_view v = value();
            if (v == "csv") o.Csv = true;
            else if (v == "log") o.Csv = false;
            else Fail(kExitUsage, "--format: must be log or csv, not '" + std::string(v) + "'");
        } else if (name == "--summary") {
            flag(o.Summary);
        } else if (name == "--list-inputs") {
            flag(o.ListInputs);
        } else if (name == "--input") {
            o.Input = value();
            if (o.Input.empty()) Fail(kExitUsage, "--input: needs a device name or number (see --list-inputs)");
        } else if (name == "--rate") {
            o.Rate = WholeArg(name, value(), kMinRate, kMaxRate);
            live.push_back("--rate");
        } else if (name == "--duration") {
            const std::string_view v = value();
            o.Duration = NumberArg(name, v);
            if (!(o.Duration > 0 && o.Duration < 1e9)) Fail(kExitUsage, "--duration: must be above 0 seconds, not '" + std::string(v) + "'");
            live.push_back("--duration");
        } else if (name == "--output") {
            o.Output = value();
            if (o.Output.empty()) Fail(kExitUsage, "--output: needs a file name");
            live.push_back("--output");
        } else if (name == "--plot") {
            o.Plot = value();
            if (o.Plot.empty()) Fail(kExitUsage, "--plot: needs a file name");
        } else if (name == "--plot-size") {
            const std::string_view v = value();
            const auto x = v.find_first_of("xX");
            if (x == std::string_view::npos) Fail(kExitUsage, "--plot-size: must be WIDTHxHEIGHT, not '" + std::string(v) + "'");
            o.PlotSizeTyped = true;
            o.PlotWidth = WholeArg("--plot-size width", v.substr(0, x), kSnPlotMinWidth, kSnPlotMaxWidth);
            o.PlotHeight = WholeArg("--plot-size height", v.substr(x + 1), kSnPlotMinHeight, kSnPlotMaxHeight);
        } else {
            Fail(kExitUsage, "unknown option '" + std::string(arg) + "' (see --help)");
        }
    }
    if (o.SpanLow < 0) Fail(kExitUsage, "--span-low: must be 0 Hz or more");
    if (o.PlotSizeTyped && o.Plot.empty()) Fail(kExitUsage, "--plot-size: only with --plot");
    if (!(o.SpanLow < o.SpanHigh)) Fail(kExitUsage, "span: --span-low must lie below --span-high");
    if (o.ListInputs) {
        if (!o.Files.empty() || !o.Input.empty()) Fail(kExitUsage, "--list-inputs: takes no file and no --input");
        return o;
    }
    if (!o.Input.empty()) {
        if (!o.Files.empty()) Fail(kExitUsage, "--input: measures the input alone, not files too");
        return o;
    }
    if (!live.empty()) Fail(kExitUsage, live.front() + ": only with --input (a recording has its own rate and length)");
    if (o.Files.empty()) Fail(kExitUsage, "no input file (see --help)");
    if (!o.Plot.empty() && o.Files.size() > 1) Fail(kExitUsage, "--plot: takes one recording, not " + std::to_string(o.Files.size()));
    return o;
}

// An open recording read block by block as 16-bit stereo frames.
class Recording {
public:
    explicit Recording(const std::string& path) : path_(path)
    {
        // Tell a missing or unreadable file from one that is not audio.
        if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
            std::fclose(f);
        } else {
            Fail(kExitFile, path + ": cannot open: " + std::strerror(errno));
        }
        file_ = sf_open(path.c_str(), SFM_READ, &info_);
        if (!file_) Fail(kExitFile, path + ": not an audio file libsndfile can read (" + sf_strerror(nullptr) + ")");
        // The destructor does not run for a constructor that throws.
        const auto refuse = [this](int status, const std::string& why) {
            sf_close(file_);
            Fail(status, why);
        };
        if (info_.channels < 1 || info_.samplerate < 1) refuse(kExitFile, path + ": no channels or no sample rate");
        if (info_.samplerate < kMinRate || info_.samplerate > kMaxRate)
            refuse(kExitUsage, path + ": the sample rate " + std::to_string(info_.samplerate) + " Hz is outside " +
                                   std::to_string(kMinRate) + " .. " + std::to_string(kMaxRate) + " Hz");
    }
    ~Recording()
    {
        if (file_) sf_close(file_);
    }
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    double Rate() const { return info_.samplerate; }
    sf_count_t Frames() const { return info_.frames; }

    // Reads the next n frames into out (2n values); false at the end of the
    // file (a last, incomplete block is dropped).  A sample that is NaN or
    // infinite (possible in float files) stops the file.
    bool Next(std::int32_t n, std::vector<std::int16_t>& out)
    {
        const std::size_t ch = static_cast<std::size_t>(info_.channels);
        raw_.resize(static_cast<std::size_t>(n) * ch);
        const sf_count_t got = sf_readf_double(file_, raw_.data(), n);
        const std::size_t values = static_cast<std::size_t>(std::max<sf_count_t>(got, 0)) * ch;
        for (std::size_t i = 0; i < values; ++i)
            if (!std::isfinite(raw_[i]))
                Fail(kExitFile, path_ + ": the sample at " + Fixed(static_cast<double>(read_ + i / ch) / Rate(), 3) +
                                    " s is not a finite number (NaN or infinity)");
        read_ += static_cast<sf_count_t>(values / ch);
        if (got < n) return false;
        out.resize(2 * static_cast<std::size_t>(n));
        for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
            out[2 * i] = To16(raw_[i * ch]);
            out[2 * i + 1] = To16(raw_[i * ch + (ch > 1 ? 1 : 0)]);
        }
        return true;
    }

private:
    // Samples come normalised to -1 .. 1 (integer formats: exactly k / 32768
    // for 16-bit k); back to the 16-bit range, rounded and clipped.
    static std::int16_t To16(double x)
    {
        const double v = std::nearbyint(x * 32768.0);
        if (!(v > -32768)) return -32768; // also catches NaN
        if (v > 32767) return 32767;
        return static_cast<std::int16_t>(v);
    }

    std::string path_;
    SF_INFO info_{};
    SNDFILE* file_ = nullptr;
    std::vector<double> raw_;
    sf_count_t read_ = 0; // frames read so far
};

// Run parameters from the options as the window's run start forms them.
ChainParams ParamsFor(const Options& o, double rate, double windENBW, const std::string& path)
{
    ChainParams p;
    const double n = o.FftSize;
    const double nyquist = rate / 2;
    const std::int32_t topBin = o.FftSize / 2 - 1; // the highest bin the ring holds
    p.SampleRate = rate;
    p.NFFT = o.FftSize;
    if (!(o.Centre >= 0 && o.Centre <= nyquist))
        Fail(kExitUsage, path + ": --centre must lie in 0 .. " + PlainText(nyquist) + " Hz (half the sample rate), not " +
                             PlainText(o.Centre));
    double spanHigh = o.SpanHigh;
    if (!(spanHigh < nyquist)) {
        if (o.SpanHighTyped)
            Fail(kExitUsage, path + ": --span-high must lie below half the sample rate (" + PlainText(nyquist) + " Hz)");
        // The default suits 12000 Hz and above; a slower file gets its top bin.
        spanHigh = topBin * rate / n;
        std::fflush(stdout);
        std::fprintf(stderr, "parlune-measure: %s: the default --span-high %s Hz is not below half the sample rate; using %s Hz\n",
                     path.c_str(), PlainText(o.SpanHigh).c_str(), Fixed(spanHigh, 2).c_str());
        if (!(o.SpanLow < spanHigh))
            Fail(kExitUsage, path + ": --span-low must lie below " + Fixed(spanHigh, 2) + " Hz for this sample rate");
    }
    try {
        p.FMinBin = FloorToInt32(o.SpanLow / rate * n + 0.5);
        // Just below half the rate rounds onto the half-rate bin: keep the top one.
        p.FMaxBin = std::min(FloorToInt32(spanHigh / rate * n + 0.5), topBin);
        p.SigBWBins = FloorToInt32(o.Bandwidth / rate * n + 0.5);
        p.CFBin = FloorToInt32(o.Centre / rate * n);
    } catch (const Fault&) {
        Fail(kExitUsage, path + ": a frequency is out of range for this sample rate");
    }
    if (p.SigBWBins < 1)
        Fail(kExitUsage, path + ": --bandwidth is narrower than half an FFT bin (" + PlainText(rate / n) + " Hz)");
    p.SigBWHz = o.Bandwidth;
    p.CFText = PlainText(o.Centre); // as the centre box would read it
    p.GuardFactor = o.Guard;
    p.NAvg = o.Average;
    p.WindENBW = windENBW;
    p.DispThresh = o.Threshold;
    p.Squared = o.Square;
    p.Swapped = o.Swap;
    p.UseStatNoise = o.StatNoise;
    p.PeakInSigBand = o.PeakInBand;
    p.TrackSig = o.Track;
    return p;
}

// Count, mean, minimum and maximum of a figure in dB.
struct Spread {
    std::int64_t Count = 0;
    double Sum = 0, Min = std::numeric_limits<double>::infinity(), Max = -std::numeric_limits<double>::infinity();
    void Add(double v)
    {
        ++Count;
        Sum += v;
        Min = std::min(Min, v);
        Max = std::max(Max, v);
    }
    std::string Text() const
    {
        return "mean " + Fixed(Sum / Count, 2) + " dB, min " + Fixed(Min, 2) + " dB, max " + Fixed(Max, 2) + " dB";
    }
};

QString FromLocal(const std::string& s) { return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size())); }

// Set once a write found the reading end of a pipe closed.
bool g_readerGone = false;

// Where rows and lines go: standard output, or a file appended to.  A live
// run hands each line to the system at once, so a killed run loses nothing
// written.
class Output {
public:
    Output() = default;
    Output(const std::string& path, const char* eol, bool flushEach) : name_(path), eol_(eol), flushEach_(flushEach)
    {
        if (!path.empty()) {
            file_ = std::fopen(path.c_str(), "ab");
            if (!file_) Fail(kExitFile, path + ": cannot open for appending: " + std::strerror(errno));
            owned_ = true;
        }
    }
    ~Output()
    {
        if (owned_) std::fclose(file_);
    }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    void Line(std::string_view text)
    {
        std::fwrite(text.data(), 1, text.size(), file_);
        std::fputs(eol_, file_);
        if ((flushEach_ && std::fflush(file_) != 0) || std::ferror(file_)) {
            // The reader has gone (| head): the run ends as a signal ends it.
            if (errno == EPIPE) {
                g_readerGone = true;
                throw Stop{0, ""};
            }
            Fail(kExitFile, name_ + ": cannot write: " + std::strerror(errno));
        }
    }
    // Before a message on stderr, so the two keep their order on a terminal.
    void Flush() { std::fflush(file_); }

private:
    std::string name_ = "standard output";
    std::FILE* file_ = stdout;
    bool owned_ = false;
    const char* eol_ = "\n";
    bool flushEach_ = false;
};

// The output of one measurement, recording or live, block by block: CSV rows
// or log lines, the summary figures and the points of the picture.  A block
// that ends the measurement stops it here (exit status 3).
class Report {
public:
    // name labels the messages and the picture; a live run's log lines carry
    // the time of day, a recording's the position in it.
    Report(const Options& o, Output& out, std::string name, bool timeOfDay)
        : o_(o), out_(out), name_(std::move(name)), timeOfDay_(timeOfDay)
    {
        // Logging is switched on at the start, as the window's log switch does.
        if (timeOfDay_) lastLog_ = TimeOfDay();
        if (o_.Csv)
            out_.Line("block,start_s,peak_hz,peak_db,noise_db,sn_bin_db,sn_1hz_db,sn_2500hz_db,in_band,sn_2500hz_corrected_db");
    }

    // One block's result, the block covering startS .. endS seconds from the start.
    void Block(const BlockResult& r, const ChainParams& p, double startS, double endS)
    {
        const std::int64_t block = blocks_;
        if (r.End == BlockEnd::Fault && timeOfDay_) {
            // A live watch goes on through digital silence (a muted
            // receiver): the block is a row without figures.
            ++blocks_;
            ++unmeasured_;
            endS_ = endS;
            gap_ = true;
            if (o_.Csv) out_.Line(std::to_string(block) + "," + Fixed(startS) + ",,,,,,,0,");
            return;
        }
        if (r.End == BlockEnd::Fault) {
            out_.Flush();
            Fail(kExitMeasurement, name_ + ": block " + std::to_string(block) + ": measurement ended: " + r.FaultText +
                                       " (a bin of zero power, as in silence?)");
        }
        if (r.End == BlockEnd::NoNoise)
            Fail(kExitMeasurement, name_ + ": block " + std::to_string(block) + ": " + kNoNoiseMessage);
        if (r.BandwidthReset && !resetShown_) {
            out_.Flush();
            std::fprintf(stderr, "parlune-measure: %s: block %lld: %s\n", name_.c_str(), static_cast<long long>(block),
                         kNoNoiseMessage);
            resetShown_ = true;
        }
        ++blocks_;
        endS_ = endS;
        std::optional<double> corrected;
        gap_ = gap_ || !r.InBand;
        if (r.InBand) {
            points_.push_back({endS, SN2500HzDb(r.SN1HzDb), gap_});
            gap_ = false;
            sn_.Add(SN2500HzDb(r.SN1HzDb));
            corrected = CorrectedSN2500HzDb(r.SigPower, r.NoisePower, p.SigBWHz);
            if (corrected) corrected_.Add(*corrected);
        }
        if (o_.Csv) {
            std::string row = std::to_string(block) + "," + Fixed(startS) + "," + Fixed(r.PeakHz) + "," +
                              Fixed(r.PeakLevel) + "," + Fixed(r.NoiseLevel) + ",";
            if (r.InBand)
                row += Fixed(r.SNBinDb) + "," + Fixed(r.SN1HzDb) + "," + Fixed(SN2500HzDb(r.SN1HzDb)) + ",1,";
            else
                row += ",,,0,";
            if (corrected) row += Fixed(*corrected);
            out_.Line(row);
        } else if (r.InBand) {
            LogLineIfDue(r, endS);
        }
    }

    // The picture of what was measured so far, over 0 .. endS seconds.
    void WritePlot(double endS) const
    {
        if (o_.Plot.empty()) return;
        // A device name may hold a '/' ("S/N"): only a recording's is a path.
        const QString label = timeOfDay_ ? FromLocal(name_) : QFileInfo(FromLocal(name_)).fileName();
        const QImage img = DrawSnPlot(points_, endS, QSize(o_.PlotWidth, o_.PlotHeight), label + QStringLiteral(": S/N in 2500 Hz"));
        // Encoded in memory first: libpng's own error line would break the
        // one line per error, and only the file write can fail.
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        img.save(&buffer, "PNG");
        QFile f(FromLocal(o_.Plot));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(png) != png.size() || !f.flush())
            Fail(kExitFile, o_.Plot + ": cannot write the picture: " + f.errorString().toStdString());
    }
    void WritePlot() const { WritePlot(endS_); }

    // After a stop: the picture of what was measured before it; the stop's
    // own message is the one line to show.
    void WritePlotAfterStop(double endS) const
    {
        try {
            WritePlot(endS);
        } catch (const Stop&) {
        }
    }
    double EndS() const { return endS_; }

    void Summary()
    {
        if (!o_.Summary) return;
        const std::string unmeasured =
            unmeasured_ > 0 ? "; " + std::to_string(unmeasured_) + " not measured (digital silence)" : "";
        if (sn_.Count == 0) {
            out_.Line("summary: " + std::to_string(blocks_) + " blocks, none with the peak in the band" + unmeasured);
            return;
        }
        std::string line = "summary: " + std::to_string(blocks_) + " blocks, " + std::to_string(sn_.Count) +
                           " with the peak in the band; S/N 2500Hz " + sn_.Text();
        if (corrected_.Count > 0)
            line += "; corrected over " + std::to_string(corrected_.Count) + " blocks " + corrected_.Text();
        out_.Line(line + unmeasured);
    }

private:
    // Every --interval seconds while the peak is in the band, as the window
    // logs: a live run by the time of day (past midnight a day is added), a
    // recording by the position in it.
    void LogLineIfDue(const BlockResult& r, double endS)
    {
        std::string clock;
        if (timeOfDay_) {
            const double seconds = CurrentClock().SecondsSinceMidnight();
            const float now = static_cast<float>(seconds);
            if (!(LogElapsed(now, static_cast<float>(lastLog_)) >= o_.Interval)) return;
            lastLog_ = now;
            clock = ClockText(std::min<std::int64_t>(static_cast<std::int64_t>(seconds), 86399));
        } else {
            if (!(endS - lastLog_ >= o_.Interval)) return;
            lastLog_ = endS;
            clock = ClockText(static_cast<std::int64_t>(std::floor(endS)));
        }
        out_.Line(LogLine(clock, r.PeakHz, r.PeakLevel, r.NoiseLevel, r.SN1HzDb));
    }

    const Options& o_;
    Output& out_;
    std::string name_;
    bool timeOfDay_;
    double lastLog_ = 0;     // when the last line was due: s of recording, or time of day
    std::int64_t blocks_ = 0;
    std::int64_t unmeasured_ = 0; // live blocks that faulted (silence)
    Spread sn_, corrected_;  // over the blocks with the peak in the band; corrected: where positive
    std::vector<SnPoint> points_;
    bool gap_ = false;
    bool resetShown_ = false;
    double endS_ = 0;
};

void MeasureFile(const Options& o, const std::string& path, ChainState& state)
{
    Recording rec(path);
    if (rec.Frames() < o.FftSize)
        Fail(kExitFile, path + ": shorter than one block (" + std::to_string(rec.Frames()) + " frames, FFT size " +
                            std::to_string(o.FftSize) + ")");

    NFFT = o.FftSize;
    double windENBW = 2;
    SelectWindow(o.Window, windENBW);
    ChainParams p = ParamsFor(o, rec.Rate(), windENBW, path);
    StartChain(state, o.FftSize);

    Output out;
    Report report(o, out, path, false);
    std::vector<std::int16_t> frames;
    try {
        for (std::int64_t block = 0;; ++block) {
            if (!rec.Next(o.FftSize, frames)) {
                if (block == 0)
                    Fail(kExitFile, path + ": shorter than one block (FFT size " + std::to_string(o.FftSize) + ")");
                break;
            }
            report.Block(RunBlock(frames.data(), p, state), p, static_cast<double>(block) * o.FftSize / rec.Rate(),
                         static_cast<double>(block + 1) * o.FftSize / rec.Rate());
        }
    } catch (const Stop&) {
        report.WritePlotAfterStop(report.EndS());
        throw;
    }
    report.WritePlot();
    report.Summary();
}

// SIGINT, SIGTERM and SIGHUP end a live run.  The handler only sets a flag and
// writes a byte to a pipe; the pipe's notifier wakes the capture wait.
volatile std::sig_atomic_t g_stopSignal = 0;
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
int g_stopPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int)
{
    const int saved = errno;
    g_stopSignal = 1;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(g_stopPipe[1], &byte, 1);
    errno = saved;
}

// Catches the stop signals for the life of a live run; a second signal
// (SA_RESETHAND) ends the program at once.
class StopSignals {
public:
    StopSignals()
    {
        if (pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            Fail(kExitFile, std::string("cannot make the signal pipe: ") + std::strerror(errno));
        notifier_ = std::make_unique<QSocketNotifier>(g_stopPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [] {
            char buf[16];
            while (read(g_stopPipe[0], buf, sizeof buf) > 0) {
            }
        });
        struct sigaction sa {};
        sa.sa_handler = OnStopSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART | SA_RESETHAND;
        for (const int sig : kStopSignals) sigaction(sig, &sa, nullptr);
    }
    ~StopSignals()
    {
        for (const int sig : kStopSignals) std::signal(sig, SIG_DFL);
        notifier_.reset();
        close(g_stopPipe[0]);
        close(g_stopPipe[1]);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

// The device ID of a name as --list-inputs prints it, or of a number.
std::uint32_t DeviceId(const std::string& wanted, const std::vector<std::string>& names)
{
    for (std::size_t id = 0; id < names.size(); ++id)
        if (names[id] == wanted) return static_cast<std::uint32_t>(id);
    if (!wanted.empty() && std::all_of(wanted.begin(), wanted.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        if (ServerDidNotAnswer()) Fail(kExitFile, "--input: " + wanted + ": " + kServerSilent);
        if (wanted.size() <= 9 && std::stoul(wanted) < names.size()) return static_cast<std::uint32_t>(std::stoul(wanted));
        Fail(kExitUsage, "--input: there is no device " + wanted + "; the numbers are 0 .. " +
                             std::to_string(names.size() - 1) + " (see --list-inputs)");
    }
    if (ServerDidNotAnswer()) Fail(kExitFile, "--input: " + wanted + ": " + kServerSilent);
    Fail(kExitUsage, "--input: no capture device is named '" + wanted + "' (see --list-inputs)");
}

const char* WhyNotOpen(MMRESULT r)
{
    switch (r) {
    case MMSYSERR_BADDEVICEID: return "the device has gone";
    case WAVERR_BADFORMAT: return "it refuses the format";
    default: return "the device did not open";
    }
}

// A live run: the window's capture loop (queue one buffer, sleep until it
// comes back, measure it) until a signal, --duration, or the input's loss.
void MeasureInput(const Options& o, ChainState& state)
{
    const std::vector<std::string> names = CaptureDeviceNames();
    const std::uint32_t id = DeviceId(o.Input, names);
    const std::string& name = names[id];

    NFFT = o.FftSize;
    double windENBW = 2;
    SelectWindow(o.Window, windENBW);
    ChainParams p = ParamsFor(o, o.Rate, windENBW, name);
    try {
        CheckRunSizes(p.NFFT, p.FMinBin, p.FMaxBin, p.NAvg);
    } catch (const Fault& f) {
        Fail(kExitUsage, name + ": " + f.what());
    }
    StartChain(state, o.FftSize);
    Output out(o.Output, o.Csv ? "\n" : "\r\n", true);

    const StopSignals stopSignals;
    bool timeUp = false;
    QTimer duration;
    duration.setSingleShot(true);
    QObject::connect(&duration, &QTimer::timeout, [&timeUp] { timeUp = true; });
    const auto stopping = [&timeUp] { return timeUp || g_stopSignal != 0; };

    // The buffer outlives the handle: a reset at the end hands it back done.
    std::vector<std::int16_t> frames(2 * static_cast<std::size_t>(o.FftSize));
    WAVEHDR hdr;
    const auto rate = static_cast<std::uint32_t>(o.Rate);
    const WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, rate, 4 * rate, 4, 16, 0};
    HWAVEIN h = 0;
    const MMRESULT opened = waveInOpen(&h, id, &format, 0, 0, 0);
    if (opened != MMSYSERR_NOERROR || h == 0)
        Fail(kExitFile, name + ": cannot open the input for 16-bit stereo at " + std::to_string(rate) + " Hz: " +
                            WhyNotOpen(opened));
    struct Release {
        HWAVEIN h;
        ~Release()
        {
            waveInReset(h);
            waveInClose(h);
        }
    } release{h};
    waveInStart(h);
    QElapsedTimer clock;
    clock.start();
    if (o.Duration > 0) duration.start(static_cast<int>(std::min(o.Duration * 1000, 2e9)));

    const double blockS = o.FftSize / static_cast<double>(o.Rate);
    Report report(o, out, name, true);
    double plotted = 0; // when the picture was last written, s
    const auto nowS = [&clock] { return static_cast<double>(clock.nsecsElapsed()) / 1e9; };
    try {
        while (!stopping()) {
            hdr = WAVEHDR{};
            hdr.lpData = reinterpret_cast<char*>(frames.data());
            hdr.dwBufferLength = BlockBytes(o.FftSize);
            waveInPrepareHeader(h, &hdr, sizeof hdr);
            const bool queued = waveInAddBuffer(h, &hdr, sizeof hdr) == MMSYSERR_NOERROR;
            if (queued) WaitForBuffer(hdr, h, stopping);
            waveInUnprepareHeader(h, &hdr, sizeof hdr);
            if (stopping()) break; // a part block is dropped
            if (waveInIsLost(h) || !queued || !(hdr.dwFlags & WHDR_DONE)) {
                out.Flush();
                Fail(kExitInputLost, name + ": input lost: it stopped delivering audio (device unplugged or audio "
                                            "server gone?)");
            }
            const double end = nowS();
            report.Block(RunBlock(frames.data(), p, state), p, std::max(0.0, end - blockS), end);
            if (end - plotted >= 60) {
                report.WritePlot(end);
                plotted = end;
            }
        }
    } catch (const Stop&) {
        report.WritePlotAfterStop(nowS());
        throw;
    }
    report.WritePlot(nowS());
    report.Summary();
}

} // namespace

namespace {

// What is still in standard output's buffer goes out now; a failure to
// write it is an error (one line, status 1) unless the reader has gone.
int FlushStandardOutput(int status)
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
    if (errno == EPIPE || g_readerGone || status != 0) return status;
    std::fprintf(stderr, "parlune-measure: standard output: cannot write: %s\n", std::strerror(errno));
    return kExitFile;
}

int Run(int argc, char** argv)
{
    try {
        const Options o = ParseOptions(argc, argv);
        const bool live = o.ListInputs || !o.Input.empty();
        // Text in the picture needs a Qt application, the sound input an
        // event loop; headless unless told otherwise.
        std::unique_ptr<QCoreApplication> app;
        if (!o.Plot.empty() || live) {
            // Qt's own notes (no runtime folder, fonts) would break the one line per error.
            qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
                if (type == QtCriticalMsg || type == QtFatalMsg)
                    std::fprintf(stderr, "parlune-measure: Qt: %s\n", msg.toLocal8Bit().constData());
            });
            static int qtArgc = 1;
            static char* qtArgv[] = {argv[0], nullptr};
            if (o.Plot.empty()) {
                app = std::make_unique<QCoreApplication>(qtArgc, qtArgv);
            } else {
                if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
                app = std::make_unique<QGuiApplication>(qtArgc, qtArgv);
            }
        }
        if (o.ListInputs) {
            const std::vector<std::string> names = CaptureDeviceNames();
            for (std::size_t id = 0; id < names.size(); ++id) std::printf("%zu\t%s\n", id, names[id].c_str());
            if (ServerDidNotAnswer()) Fail(kExitFile, kServerSilent + "; only the test signals are listed");
            return 0;
        }
        if (!o.Plot.empty()) {
            // Find out now, not after a night's recording; leave no empty file behind.
            QFile f(FromLocal(o.Plot));
            const bool existed = f.exists();
            if (!f.open(QIODevice::Append)) Fail(kExitFile, o.Plot + ": cannot write: " + f.errorString().toStdString());
            f.close();
            if (!existed) f.remove();
        }
        // The ring alone is 64 MiB: one for all files.
        auto state = std::make_unique<ChainState>();
        if (live) {
            MeasureInput(o, *state);
            return 0;
        }
        for (const std::string& path : o.Files) {
            if (o.Files.size() > 1) std::printf("==> %s <==\n", path.c_str());
            MeasureFile(o, path, *state);
        }
        return 0;
    } catch (const Stop& s) {
        if (!s.Message.empty()) {
            std::fflush(stdout);
            std::fprintf(stderr, "parlune-measure: %s\n", s.Message.c_str());
        }
        return s.Status;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "parlune-measure: out of memory\n");
        return kExitMeasurement;
    }
}

} // namespace

int main(int argc, char** argv)
{
    // A closed pipe shows as a failed write (EPIPE), not a fatal signal.
    std::signal(SIGPIPE, SIG_IGN);
    return FlushStandardOutput(Run(argc, argv));
}
