#include "measure/Options.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <string_view>

#include "engine/Fault.h"
#include "engine/NumberText.h"
#include "measure/SnPlot.h"
#include "measure/Stop.h"

namespace {

const char* const kIntro = R"(Usage: parlune-measure [options] FILE...
  or:  parlune-measure --input DEVICE [options]
  or:  parlune-measure --config FILE [options]
  or:  parlune-measure --list-inputs

Measures the signal-to-noise ratio of recordings as the Parlune window does
for a live input, or of a live input itself: consecutive, non-overlapping
blocks of FFT-size frames from the start of each file go through the same
chain (conversion, window, FFT, averaging ring, histogram, peak search,
signal and noise measurement, tracking).  WAV, FLAC and whatever else
libsndfile reads.  The sample rate is the file's own; a mono file feeds both
channels (more than two channels: the first two are used); other sample
formats are scaled to the 16-bit range.  Every option defaults to the
window's setting after its first start.

Live input (--input): the device is captured as 16-bit stereo at --rate.
Log lines carry the time of day as in the window's log file and end in CR LF;
CSV rows end in LF, their start_s counting from the opening of the input.
Lines go to standard output or, with --output, are appended to a file; each
is flushed as it is written.  The run lasts until SIGINT, SIGTERM or SIGHUP,
or for --duration; then the input is released, the --plot picture and the
--summary line are written, and the exit status is 0.  Further stop signals
while that is written are ignored; the program ends once it is done.  A
block of digital silence (a muted receiver) does not end a live run: it is a
CSV row with empty figures, and the summary counts it as not measured.  A
closed pipe on standard output (| head) ends any run as a signal does,
without a message.
A live input is captured without gaps: the next buffer is queued before a
block is measured, and the summary gives the share of the audio measured.

Several monitors (--config FILE): an INI file with one section per monitor,
the section's name being the monitor's.  Each section names its input
(`input = cable_in`) and may give any option of a live run by its long name
without the dashes (rate, output, format, plot, plot-size, summary,
reconnect, interval and every measurement option: fft-size, window, average,
centre, bandwidth, guard, span-low, span-high, threshold, stat-noise, track,
peak-in-band, square, swap); switches take true or false.  A '#' or ';'
after a blank starts a comment, also after a value; a value in quotes keeps
its '#'.  Options on the command line are every section's defaults.  All
monitors run in one process (at most 256); a bad file is refused with one
line naming the file, the line and the key before any input or output
opens.  Every line a monitor writes starts with its name: a first CSV column
"monitor", a first log field; monitors writing to one place share it (one
CSV header) and must share its format.  --plot then draws one S/N line per
monitor.  Give inputs by name: a number can name another device once
devices come or go, and is refused when it falls on a test signal only
because no audio server answered.

Metrics (--metrics [ADDR:]PORT): the Prometheus text format at
http://ADDR:PORT/metrics, ADDR 127.0.0.1 unless given.  Gauges, labelled by
monitor: parlune_snr_2500hz_db, parlune_snr_2500hz_corrected_db,
parlune_snr_1hz_db, parlune_snr_bin_db (set only by blocks with the peak in
the band; other blocks leave them at the last such block's value),
parlune_peak_frequency_hertz, parlune_peak_level_db, parlune_noise_level_db,
parlune_input_up, parlune_last_block_timestamp_seconds,
parlune_block_length_seconds; counters parlune_blocks_measured_total,
parlune_input_losses_total and parlune_audio_gap_seconds_total (time the
input delivered nothing while up: a stopped process, a suspended machine);
parlune_build_info{version}.  A lost input's S/N, peak and noise series are
removed, parlune_input_up reads 0 and the loss is counted.  IPv6 addresses
are not supported.

Options (a value may follow as the next argument or after '='):
)";

const char* const kOutro = R"(
With several files each file's output is preceded by a line "==> FILE <==".
Exit status: 0 done (live: stopped by a signal or --duration); 1 a file is
missing, unreadable, not audio, shorter than one block, or holds a sample
that is NaN or infinite (rows before it are printed), the --plot picture,
the --output file or standard output cannot be written, or the input
device cannot be opened; 2 a bad option or value, also for the file's
sample rate, or an unknown device; 3 the measurement ended (no noise
outside the signal and guard bands, or, in a recording, a bin of zero power
as in silence); 4 the live input stopped delivering (device unplugged,
audio server gone), noticed within three block lengths (at least 1 s; 10 s
for a new stream's first audio); the lines written so far are kept; 5 out of
memory.  A FIFO, a folder or a device is refused as a config file or a
recording (status 2 and 1), and a FIFO or a folder as an output or picture
(status 1), before anything opens.
)";

enum class Kind {
    Switch, // no value
    Whole,  // a whole number in Lo .. Hi
    Number, // any decimal number; the option checks its own range
    Text,   // any text
};

// Where an option may be given besides the command line of any run.
constexpr unsigned kLiveOnly = 1; // a live input only: a recording has its own rate and length
constexpr unsigned kRunWide = 2;  // the whole run: not a key of a config section

struct Option {
    const char* Name;  // long form
    const char* Value; // what the value is called in --help; "" for a switch
    Kind kind;
    double Lo = NAN, Hi = NAN; // Whole: the accepted range
    std::string Help = "";     // what it does; a range and default are added
    std::function<std::string()> Range = {};                  // the range as --help shows it
    std::function<std::string(const Options&)> Default = {}; // the default as --help shows it
    std::function<void(Options&, std::string_view text, double value)> Set = {};
    unsigned Scope = 0; // kLiveOnly, kRunWide; 0: every form, and a config section's key
};

std::string Text(double x) { return PlainText(x); }
std::string Span(double lo, double hi) { return Text(lo) + " .. " + Text(hi); }

[[noreturn]] void Bad(std::string_view name, const std::string& why, std::string_view text)
{
    Fail(kExitUsage, std::string(name) + ": " + why + ", not '" + Shown(text) + "'");
}

double NumberOf(std::string_view name, std::string_view text)
{
    try {
        return WholeTextNumber(text);
    } catch (const Fault&) {
        Fail(kExitUsage, std::string(name) + ": not a number: '" + Shown(text) + "'");
    }
}

std::int32_t WholeOf(std::string_view name, std::string_view text, double lo, double hi)
{
    const double v = NumberOf(name, text);
    if (v != std::floor(v) || v < lo || v > hi) Bad(name, "must be a whole number " + Span(lo, hi), text);
    return static_cast<std::int32_t>(v);
}

std::string Squeezed(std::string_view s)
{
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '-' && c != '_') out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

const char* const kWindowNames[] = {"hamming", "blackman-harris", "hanning", "hft95", "none"};

std::int16_t WindowOf(std::string_view text)
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
    Fail(kExitUsage, "--window: unknown window '" + Shown(text) +
                         "' (hamming, blackman-harris, hanning, hft95, none or 0 .. 4)");
}

const std::vector<Option>& Table()
{
    using O = Options;
    static const std::vector<Option> table = {
        {"--list-inputs", "", Kind::Switch, NAN, NAN,
         "print the capture devices as the window's device box lists them, one per line: the number --input "
         "takes, a tab, the name (the last two are the test signals)",
         {}, {}, [](O& o, auto, double on) { o.ListInputs = on != 0; }, kRunWide},
        {"--input", "DEVICE", Kind::Text, NAN, NAN,
         "measure this capture device, given by its name as --list-inputs prints it or by its number", {}, {},
         [](O& o, std::string_view t, double) {
             if (t.empty()) Fail(kExitUsage, "--input: needs a device name or number (see --list-inputs)");
             o.Input = t;
         }},
        {"--rate", "HZ", Kind::Whole, kMinRate, kMaxRate, "live input: sample rate, a whole number", {},
         [](const O& o) { return Text(o.Rate); }, [](O& o, auto, double v) { o.Rate = static_cast<std::int32_t>(v); }, kLiveOnly},
        {"--duration", "S", Kind::Number, NAN, NAN,
         "live input: stop after S seconds, above 0 and at most " + Text(kMaxDurationS),
         {}, [](const O&) { return std::string("until a signal"); },
         [](O& o, std::string_view t, double v) {
             if (!(v > 0 && v <= kMaxDurationS))
                 Bad("--duration", "must be above 0 and at most " + Text(kMaxDurationS) + " seconds", t);
             o.Duration = v;
         }, kLiveOnly | kRunWide},
        {"--reconnect", "", Kind::Switch, NAN, NAN,
         "live input: a lost input is opened again when it comes back (the audio server asked every 3 s, however "
         "long it was away) instead of ending the run with status 4; other monitors go on meanwhile",
         {}, {}, [](O& o, auto, double on) { o.Reconnect = on != 0; }, kLiveOnly},
        {"--config", "FILE", Kind::Text, NAN, NAN, "measure the monitors of this INI file (see above)", {}, {},
         [](O& o, std::string_view t, double) {
             if (t.empty()) Fail(kExitUsage, "--config: needs a file name");
             o.Config = t;
         }, kRunWide},
        {"--metrics", "[ADDR:]PORT", Kind::Text, NAN, NAN,
         "live: serve the figures in the Prometheus text format (see above)", {}, {},
         [](O& o, std::string_view t, double) {
             if (t.empty()) Fail(kExitUsage, "--metrics: needs a port");
             o.Metrics = t;
         }, kLiveOnly | kRunWide},
        {"--compare", "A,B", Kind::Text, NAN, NAN,
         "with --config and --plot: also draw the difference of monitor A's S/N less B's, with its mean and spread",
         {}, {}, [](O& o, std::string_view t, double) {
             const auto comma = t.find(',');
             if (comma == std::string_view::npos || comma == 0 || comma + 1 == t.size())
                 Bad("--compare", "must be two monitor names, A,B", t);
             o.CompareA = t.substr(0, comma);
             o.CompareB = t.substr(comma + 1);
         }, kRunWide},
        {"--output", "FILE", Kind::Text, NAN, NAN, "live input: append the lines to FILE instead of standard output",
         {}, {}, [](O& o, std::string_view t, double) {
             if (t.empty()) Fail(kExitUsage, "--output: needs a file name");
             o.Output = t;
         }, kLiveOnly},
        {"--fft-size", "N", Kind::Whole, kMinNFFT, kMaxNFFT, "points per block, a power of two", {},
         [](const O& o) { return Text(o.Measure.FftSize); },
         [](O& o, std::string_view t, double v) {
             const auto n = static_cast<std::int32_t>(v);
             if ((n & (n - 1)) != 0) Bad("--fft-size", "must be a power of two", t);
             o.Measure.FftSize = n;
         }},
        {"--window", "W", Kind::Text, NAN, NAN,
         "hamming, blackman-harris, hanning, hft95 (flat top), none, or the list position 0 .. 4 in that order", {},
         [](const O& o) { return std::string(kWindowNames[o.Measure.Window]); },
         [](O& o, std::string_view t, double) { o.Measure.Window = WindowOf(t); }},
        {"--average", "N", Kind::Whole, 1, kMaxAvg, "blocks in the running mean,", {},
         [](const O& o) { return Text(o.Measure.Average); },
         [](O& o, auto, double v) { o.Measure.Average = static_cast<std::int32_t>(v); }},
        {"--centre", "HZ", Kind::Number, NAN, NAN,
         "centre of the signal band, 0 .. half the sample rate; truncated to a whole bin as the window's run "
         "start does",
         {}, [](const O& o) { return Text(o.Measure.CentreHz); },
         [](O& o, auto, double v) { o.Measure.CentreHz = v; }},
        {"--bandwidth", "HZ", Kind::Number, NAN, NAN, "signal bandwidth, > 0 and at least half a bin", {},
         [](const O& o) { return Text(o.Measure.BandwidthHz); },
         [](O& o, std::string_view t, double v) {
             if (!(v > 0)) Bad("--bandwidth", "must be above 0 Hz", t);
             o.Measure.BandwidthHz = v;
         }},
        {"--guard", "G", Kind::Number, NAN, NAN, "guard band on each side as a multiple of the bandwidth,",
         [] { return Span(0, kMaxGuard); }, [](const O& o) { return Text(o.Measure.Guard); },
         [](O& o, std::string_view t, double v) {
             if (!(v >= 0 && v <= kMaxGuard)) Bad("--guard", "must lie in " + Span(0, kMaxGuard), t);
             o.Measure.Guard = v;
         }},
        {"--span-low", "HZ", Kind::Number, NAN, NAN, "lowest analysed frequency, >= 0", {},
         [](const O& o) { return Text(o.Measure.SpanLowHz); }, [](O& o, auto, double v) { o.Measure.SpanLowHz = v; }},
        {"--span-high", "HZ", Kind::Number, NAN, NAN,
         "highest analysed frequency, below half the sample rate and above --span-low; when not given and the "
         "file's rate is 10000 Hz or less, the highest bin below half the rate, said on stderr",
         {}, [](const O& o) { return Text(o.Measure.SpanHighHz); },
         [](O& o, auto, double v) {
             o.Measure.SpanHighHz = v;
             o.SpanHighTyped = true;
         }},
        {"--threshold", "DB", Kind::Whole, 0, kMaxThreshold,
         "display threshold; peak and noise levels are printed relative to it, a whole number", {},
         [](const O& o) { return Text(o.Measure.Threshold); },
         [](O& o, auto, double v) { o.Measure.Threshold = static_cast<std::int32_t>(v); }},
        {"--stat-noise", "", Kind::Switch, NAN, NAN,
         "take the noise from the bin-level histogram (lower quartile + 3 dB) instead of the noise bands", {}, {},
         [](O& o, auto, double on) { o.Measure.StatNoise = on != 0; }},
        {"--track", "", Kind::Switch, NAN, NAN, "move the centre onto the peak while it is in the band", {}, {},
         [](O& o, auto, double on) { o.Measure.Track = on != 0; }},
        {"--peak-in-band", "", Kind::Switch, NAN, NAN, "search the peak only inside the signal band", {}, {},
         [](O& o, auto, double on) { o.Measure.PeakInBand = on != 0; }},
        {"--square", "", Kind::Switch, NAN, NAN, "square each input channel before the transform", {}, {},
         [](O& o, auto, double on) { o.Measure.Square = on != 0; }},
        {"--swap", "", Kind::Switch, NAN, NAN, "swap sideband (I/Q): keep the second channel's sign", {}, {},
         [](O& o, auto, double on) { o.Measure.Swap = on != 0; }},
        {"--interval", "S", Kind::Number, NAN, NAN,
         "log format: seconds of recording (live: of the clock) between lines, >= 0; 0 writes every block whose "
         "peak is in the band",
         {}, [](const O& o) { return Text(o.Measure.IntervalS); },
         [](O& o, std::string_view t, double v) {
             if (!(v >= 0)) Bad("--interval", "must be 0 or more seconds", t);
             o.Measure.IntervalS = v;
         }},
        {"--format", "F", Kind::Text, NAN, NAN,
         "log: lines as in the window's log file, the first field being the recording position hh:mm:ss at the "
         "block's end; csv: a header and one row per block, S/N fields empty when the peak is outside the band; "
         "the last column, sn_2500hz_corrected_db, is the S/N in 2500 Hz with the noise power per bin taken out "
         "of the signal band's power before the ratio (closer to the truth below about 10 dB), empty also when "
         "that difference is not positive",
         {}, [](const O&) { return std::string("log"); },
         [](O& o, std::string_view t, double) {
             if (t == "csv") o.Csv = true;
             else if (t == "log") o.Csv = false;
             else Bad("--format", "must be log or csv", t);
         }},
        {"--summary", "", Kind::Switch, NAN, NAN,
         "after each file or the live run: count, mean, minimum and maximum of the S/N in 2500 Hz over the blocks "
         "with the peak in the band, and of the corrected S/N over those of them where it is positive",
         {}, {}, [](O& o, auto, double on) { o.Summary = on != 0; }},
        {"--plot", "FILE.png", Kind::Text, NAN, NAN,
         "also draw the S/N in 2500 Hz against time as a PNG picture: one point per block with the peak in the "
         "band, at the block's end, the line broken where the peak left the band; time from 0 to the end of the "
         "last block along the bottom, S/N on whole tens of dB, minimum, mean and maximum marked.  Written when "
         "the file ends, also when its measurement stops early; one recording only.  Live: time from the opening "
         "of the input, the picture rewritten every 60 s and at the end",
         {}, {}, [](O& o, std::string_view t, double) {
             if (t.empty()) Fail(kExitUsage, "--plot: needs a file name");
             o.Plot = t;
         }},
        {"--plot-size", "WxH", Kind::Text, NAN, NAN, "with --plot: the picture's size in pixels,",
         [] { return Text(kSnPlotMinWidth) + "x" + Text(kSnPlotMinHeight) + " .. " + Text(kSnPlotMaxWidth) + "x" +
                     Text(kSnPlotMaxHeight); },
         [](const O& o) { return Text(o.PlotWidth) + "x" + Text(o.PlotHeight); },
         [](O& o, std::string_view v, double) {
             const auto x = v.find_first_of("xX");
             if (x == std::string_view::npos) Bad("--plot-size", "must be WIDTHxHEIGHT", v);
             o.PlotSizeTyped = true;
             o.PlotWidth = WholeOf("--plot-size width", v.substr(0, x), kSnPlotMinWidth, kSnPlotMaxWidth);
             o.PlotHeight = WholeOf("--plot-size height", v.substr(x + 1), kSnPlotMinHeight, kSnPlotMaxHeight);
         }},
    };
    return table;
}

const Option* Find(std::string_view name)
{
    if (name == "--center") name = "--centre";
    for (const Option& candidate : Table())
        if (name == candidate.Name) return &candidate;
    return nullptr;
}

// Reads an option's value as its kind says and sets it.
void Apply(Options& o, const Option& opt, std::string_view name, std::string_view text)
{
    double value = 0;
    if (opt.kind == Kind::Switch) value = 1;
    if (opt.kind == Kind::Whole) value = WholeOf(name, text, opt.Lo, opt.Hi);
    if (opt.kind == Kind::Number) value = NumberOf(name, text);
    opt.Set(o, text, value);
}

// Words wrapped to fit after a 21-column indent, 79 columns in all.
std::string Wrapped(std::string text)
{
    constexpr std::size_t kIndent = 21, kWidth = 79 - kIndent;
    // A range ("0 .. 2") stays on one line.
    for (std::size_t at; (at = text.find(" .. ")) != std::string::npos;) text.replace(at, 4, "\x1f..\x1f");
    std::string out, line;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find(' ', pos);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(pos, end - pos);
        if (!line.empty() && line.size() + 1 + word.size() > kWidth) {
            out += line + "\n" + std::string(kIndent, ' ');
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        pos = end + 1;
    }
    out += line + "\n";
    for (char& c : out)
        if (c == '\x1f') c = ' ';
    return out;
}

} // namespace

std::string HelpText()
{
    const Options defaults;
    std::string help = kIntro;
    for (const Option& o : Table()) {
        std::string head = std::string("  ") + o.Name + (*o.Value ? std::string(" ") + o.Value : "");
        head += std::string(head.size() < 21 ? 21 - head.size() : 1, ' ');
        std::string text = o.Help;
        if (o.Range) text += " " + o.Range();
        else if (o.kind == Kind::Whole) text += " " + Span(o.Lo, o.Hi);
        if (o.Default) text += " (" + o.Default(defaults) + ")";
        help += head + Wrapped(text);
    }
    help += "  -h, --help         this text\n  --version          print the program's version\n";
    return help + kOutro;
}

void CheckOptions(const Options& o)
{
    if (const std::optional<SettingsError> e = CheckSettings(o.Measure)) Fail(kExitUsage, e->Message);
    if (o.PlotSizeTyped && o.Plot.empty()) Fail(kExitUsage, "--plot-size: only with --plot");
}

void SetMonitorOption(Options& o, std::string_view key, std::string_view value)
{
    const std::string name = "--" + std::string(key);
    const Option* opt = Find(name);
    if (opt == nullptr || (opt->Scope & kRunWide) != 0) Fail(kExitUsage, "not a key a monitor takes (see --help)");
    if (opt->kind != Kind::Switch) return Apply(o, *opt, opt->Name, value);
    const std::string v = Squeezed(value);
    if (v == "true" || v == "yes" || v == "on" || v == "1") return opt->Set(o, value, 1);
    if (v == "false" || v == "no" || v == "off" || v == "0") return opt->Set(o, value, 0);
    Bad(name, "must be true or false", value);
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
        if (name == "-h" || name == "--help") {
            std::fputs(HelpText().c_str(), stdout);
            throw Stop{0, ""};
        }
        if (name == "--version") {
            std::printf("parlune-measure %s\n", PARLUNE_VERSION);
            throw Stop{0, ""};
        }
        const Option* opt = Find(name);
        if (opt == nullptr) Fail(kExitUsage, "unknown option '" + Shown(arg) + "' (see --help)");
        std::string_view text;
        if (opt->kind == Kind::Switch) {
            if (inlineValue) Fail(kExitUsage, std::string(name) + ": takes no value");
        } else {
            if (inlineValue) text = *inlineValue;
            else if (i + 1 < argc) text = argv[++i];
            else Fail(kExitUsage, std::string(name) + ": needs a value");
        }
        Apply(o, *opt, opt->Name, text);
        if ((opt->Scope & kLiveOnly) != 0) live.emplace_back(name);
    }
    CheckOptions(o);
    if (o.ListInputs) {
        if (!o.Files.empty() || !o.Input.empty() || !o.Config.empty())
            Fail(kExitUsage, "--list-inputs: takes no file, no --input and no --config");
        return o;
    }
    if (!o.Config.empty()) {
        if (!o.Files.empty() || !o.Input.empty()) Fail(kExitUsage, "--config: measures its monitors alone, not files or --input too");
        return o;
    }
    if (!o.CompareA.empty()) Fail(kExitUsage, "--compare: only with --config");
    if (!o.Input.empty()) {
        if (!o.Files.empty()) Fail(kExitUsage, "--input: measures the input alone, not files too");
        return o;
    }
    if (!live.empty()) Fail(kExitUsage, live.front() + ": only with --input (a recording has its own rate and length)");
    if (o.Files.empty()) Fail(kExitUsage, "no input file (see --help)");
    if (!o.Plot.empty() && o.Files.size() > 1) Fail(kExitUsage, "--plot: takes one recording, not " + std::to_string(o.Files.size()));
    return o;
}

ChainParams CheckedRunParams(const Options& o, double rate, const std::string& what)
{
    MeasureSettings s = o.Measure;
    const double nyquist = rate / 2;
    if (!o.SpanHighTyped && !(s.SpanHighHz < nyquist) && s.CentreHz >= 0 && s.CentreHz <= nyquist) {
        // The default suits 12000 Hz and above; a slower file gets its top bin.
        s.SpanHighHz = TopSpanHz(rate, s.FftSize);
        if (!what.empty()) {
            std::fflush(stdout);
            std::fprintf(stderr, "parlune-measure: %s: the default --span-high %s Hz is not below half the sample rate; using %s Hz\n",
                         what.c_str(), PlainText(o.Measure.SpanHighHz).c_str(), Fixed(s.SpanHighHz, 2).c_str());
        }
        if (!(s.SpanLowHz < s.SpanHighHz))
            throw SettingsError{"span-low", "--span-low must lie below " + Fixed(s.SpanHighHz, 2) + " Hz for this sample rate"};
    }
    return BlockParamsFor(s, rate);
}

ChainParams RunParams(const Options& o, double rate, const std::string& what)
{
    try {
        return CheckedRunParams(o, rate, what);
    } catch (const SettingsError& e) {
        Fail(kExitUsage, what + ": " + e.Message);
    }
}

std::string Shown(std::string_view text)
{
    constexpr std::size_t kShown = 80; // bytes shown at most before the cut
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        // Cut only before a character's first byte, never inside it.
        if (out.size() >= kShown && (c & 0xC0) != 0x80) return out + "\u2026";
        if (c < 0x20 || c == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}
