// The --help text: the program's description, then every option of the
// table with its range and default, words wrapped to 79 columns.
#include <algorithm>

#include "measure/Metrics.h"
#include "measure/OptionTable.h"

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

IQ recordings: a raw IQ file (--iq-format, or the extension .cu8, .cs8,
.cs16 or .cf32) at --sdr-rate, and a stereo I/Q WAV file with --dial or a
lower --rate, go through the SDR tuner: the radio frequency --dial becomes
0 Hz, and the samples are decimated to --rate (12000 Hz unless given), full
scale becoming 32767 steps.  The file is read a chunk at a time; times are
positions in the recording, from the end of the tuner's settling.

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

)";

// The metrics paragraph, its list of series from the metrics' own table.
std::string MetricsParagraph()
{
    return "Metrics (--metrics [ADDR:]PORT): the Prometheus text format at http://ADDR:PORT/metrics, ADDR 127.0.0.1 "
           "unless given.  " +
           MetricsListText() +
           "; parlune_build_info{version}.  A lost input's S/N, peak and noise series are removed, parlune_input_up "
           "reads 0 and the loss is counted.  IPv6 addresses are not supported.";
}

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

// A paragraph filled to 76 columns, breaking only at blanks; two blanks
// after a sentence stay two.
std::string Filled(const std::string& text)
{
    constexpr std::size_t kWidth = 76;
    std::string out, line;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t wordStart = text.find_first_not_of(' ', pos);
        const std::size_t wordEnd = std::min(text.find(' ', wordStart), text.size());
        const std::string gap = text.substr(pos, wordStart - pos);
        const std::string word = text.substr(wordStart, wordEnd - wordStart);
        if (!line.empty() && line.size() + gap.size() + word.size() > kWidth) {
            out += line + "\n";
            line = word;
        } else {
            if (!line.empty()) line += gap;
            line += word;
        }
        pos = wordEnd;
    }
    return out + line + "\n";
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
    std::string help = kIntro + Filled(MetricsParagraph()) +
                       "\nOptions (a value may follow as the next argument or after '='):\n";
    for (const Option& o : OptionTable()) {
        std::string head = std::string("  ") + o.Name + (*o.Value ? std::string(" ") + o.Value : "");
        head += std::string(head.size() < 21 ? 21 - head.size() : 1, ' ');
        std::string text = o.Help;
        if (o.Range || o.kind == Kind::Whole) text.append(" ").append(o.Range ? o.Range() : Span(o.Lo, o.Hi));
        if (o.Default) text.append(" (").append(o.Default(defaults)).append(")");
        help += head + Wrapped(text);
    }
    help += "  -h, --help         this text\n  --version          print the program's version\n";
    return help + kOutro;
}
