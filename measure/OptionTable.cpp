#include "measure/OptionTable.h"

#include <cctype>
#include <stdexcept>

#include "engine/Fault.h"
#include "engine/NumberText.h"
#include "measure/MqttMessages.h"
#include "measure/SnPlot.h"
#include "measure/Stop.h"

std::string Text(double x) { return PlainText(x); }

std::string Span(double lo, double hi) { return Text(lo) + " .. " + Text(hi); }

[[noreturn]] void Bad(std::string_view name, const std::string& why, std::string_view text)
{
    Fail(kExitUsage, std::string(name) + ": " + why + ", not '" + Shown(text) + "'");
}

std::string Squeezed(std::string_view s)
{
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '-' && c != '_') out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

namespace {

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

} // namespace

const std::vector<Option>& OptionTable()
{
    using O = Options;
    static const std::vector<Option> table = {
        {"--list-inputs", "", Kind::Switch, NAN, NAN,
         "print the capture devices as the window's device box lists them, one per line: the number --input "
         "takes, a tab, the name (the last two are the test signals); then the SDR receivers SoapySDR finds, each "
         "as the soapy: string --input takes, a tab, its label",
         {}, {}, [](O& o, auto, double on) { o.ListInputs = on != 0; }, kRunWide},
        {"--input", "DEVICE", Kind::Text, NAN, NAN,
         "measure this capture device, given by its name as --list-inputs prints it or by its number; or an SDR "
         "receiver, soapy:ARGS with a SoapySDR device string (soapy:driver=rtlsdr,serial=00000001), tuned with "
         "--dial and decimated to --rate as an I/Q pair",
         {}, {},
         [](O& o, std::string_view t, double) {
             if (t.empty()) Fail(kExitUsage, "--input: needs a device name or number (see --list-inputs)");
             o.Input = t;
         }},
        {"--rate", "HZ", Kind::Whole, kMinRate, kMaxRate,
         "live input: sample rate; a raw IQ recording, or a WAV file with --dial or a lower --rate, is tuned and "
         "decimated to this analysis rate (a WAV file without them keeps its own rate), a whole number",
         {}, [](const O& o) { return Text(o.Rate); },
         [](O& o, auto, double v) {
             o.Rate = static_cast<std::int32_t>(v);
             o.RateTyped = true;
         }},
        {"--iq-format", "F", Kind::Text, NAN, NAN,
         "a raw IQ recording's samples, I first, little-endian: cu8 (rtl_sdr, rtl_433), cs8, cs16 or cf32", {},
         [](const O&) { return std::string("from the extension .cu8, .cs8, .cs16 or .cf32"); },
         [](O& o, std::string_view t, double) {
             try {
                 o.Iq = ParseIqFormat(t);
             } catch (const std::invalid_argument&) {
                 Bad("--iq-format", "must be cu8, cs8, cs16 or cf32", t);
             }
         }, kRecordingOnly},
        {"--sdr-rate", "HZ", Kind::Whole, kMinRate, kMaxSdrRate,
         "a raw IQ recording's sample rate (needed there), or a soapy: receiver's, a whole number", {},
         [](const O&) { return std::string("a receiver's lowest listed rate of at least 8 x --rate"); },
         [](O& o, auto, double v) { o.SdrRate = static_cast<std::int32_t>(v); }, kTuned},
        {"--iq-centre", "HZ", Kind::Number, NAN, NAN, "the radio frequency at an IQ recording's 0 Hz", {},
         [](const O&) { return std::string("from the file name: ..._14074000Hz_... or ..._433.92M_..."); },
         [](O& o, auto, double v) { o.IqCentreHz = v; }, kRecordingOnly},
        {"--dial", "HZ", Kind::Number, NAN, NAN,
         "the radio frequency that becomes the analysed 0 Hz (upper sideband: dial + f is measured at f): a soapy: "
         "receiver's dial (needed there), or in an IQ recording, where dial +- half the analysis rate must lie "
         "within the recording's centre +- half its rate",
         {}, [](const O&) { return std::string("a recording's centre: no shift"); },
         [](O& o, auto, double v) { o.DialHz = v; }, kTuned},
        {"--gain", "DB|auto", Kind::Text, NAN, NAN,
         "a soapy: receiver's gain; auto turns its AGC on, which moves the noise the S/N is measured against", {},
         [](const O&) { return std::string("the device's own, AGC off"); },
         [](O& o, std::string_view t, double) {
             if (Squeezed(t) == "auto") {
                 o.Sdr.AutoGain = true;
                 o.Sdr.GainDb.reset();
                 return;
             }
             try {
                 o.Sdr.GainDb = WholeTextNumber(t);
                 o.Sdr.AutoGain = false;
             } catch (const Fault&) {
                 Bad("--gain", "must be a number of dB or auto", t);
             }
         }, kSdrOnly},
        {"--ppm", "N", Kind::Number, NAN, NAN, "a soapy: receiver's frequency correction, parts per million", {},
         [](const O& o) { return Text(o.Sdr.Ppm); }, [](O& o, auto, double v) { o.Sdr.Ppm = v; }, kSdrOnly},
        {"--antenna", "NAME", Kind::Text, NAN, NAN, "a soapy: receiver's antenna input", {},
         [](const O&) { return std::string("the device's"); },
         [](O& o, std::string_view t, double) {
             if (t.empty()) Fail(kExitUsage, "--antenna: needs a name");
             o.Sdr.Antenna = t;
         }, kSdrOnly},
        {"--sdr-setting", "KEY=VALUE", Kind::Text, NAN, NAN,
         "a soapy: receiver's device setting, as direct_samp=2 for HF on an RTL-SDR; may be repeated, or several "
         "given at once separated by commas",
         {}, {}, [](O& o, std::string_view t, double) {
             if (!AddKeyValues(o.Sdr.Settings, std::string(t))) Bad("--sdr-setting", "must be KEY=VALUE", t);
         }, kSdrOnly},
        {"--sdr-stream", "KEY=VALUE", Kind::Text, NAN, NAN,
         "a soapy: receiver's stream argument, as chan=stereo_iq for a sound card's I/Q; repeated as --sdr-setting",
         {}, {}, [](O& o, std::string_view t, double) {
             if (!AddKeyValues(o.Sdr.StreamArgs, std::string(t))) Bad("--sdr-stream", "must be KEY=VALUE", t);
         }, kSdrOnly},
        {"--lo-offset", "HZ", Kind::Number, NAN, NAN,
         "a soapy: receiver is tuned this far below the dial, so its DC spike and image stay out of the analysed "
         "band; 0 tunes it to the dial",
         {}, [](const O&) { return std::string("an eighth of its sample rate"); },
         [](O& o, auto, double v) { o.Sdr.LoOffsetHz = v; }, kSdrOnly},
        {"--duration", "S", Kind::Number, NAN, NAN,
         "live input: stop after S seconds, above 0 and at most " + Text(kMaxDurationS),
         {}, [](const O&) { return std::string("until a signal"); },
         [](O& o, std::string_view t, double v) {
             if (!(v > 0 && v <= kMaxDurationS))
                 Bad("--duration", "must be above 0 and at most " + Text(kMaxDurationS) + " seconds", t);
             o.Duration = v;
         }, kLiveOnly | kRunWide},
        {"--reconnect", "", Kind::Switch, NAN, NAN,
         "live input: a lost input is opened again when it comes back (the audio server, or SoapySDR for a "
         "receiver, asked every 3 s, however long it was away) instead of ending the run with status 4; other monitors go on meanwhile",
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
        {"--mqtt", "URL", Kind::Text, NAN, NAN,
         "live: publish each monitor's state to an MQTT broker, mqtt://[user@]host[:port][/prefix] or mqtts://... "
         "(port 1883, 8883 for mqtts); topics <prefix>/<monitor>/state every --interval (10 s unless given), "
         "<prefix>/<monitor>/availability and <prefix>/availability, online or offline; the password from "
         "--mqtt-password-file or PARLUNE_MQTT_PASSWORD",
         {}, [](const O&) { return std::string("prefix parlune/<hostname>"); },
         [](O& o, std::string_view t, double) {
             std::string why;
             if (!ParseMqttUrl(t, "", &why)) Bad("--mqtt", why, t);
             o.Mqtt = t;
         }, kLiveOnly | kRunWide | kRunKey},
        {"--mqtt-password-file", "FILE", Kind::Text, NAN, NAN, "with --mqtt: the password, the file's first line", {}, {},
         [](O& o, std::string_view t, double) {
             if (t.empty()) Fail(kExitUsage, "--mqtt-password-file: needs a file name");
             o.MqttPasswordFile = t;
         }, kLiveOnly | kRunWide | kRunKey},
        {"--mqtt-ca", "FILE", Kind::Text, NAN, NAN, "with mqtts://: the CA certificate (PEM) the broker's is checked against",
         {}, [](const O&) { return std::string("the system's"); },
         [](O& o, std::string_view t, double) {
             if (t.empty()) Fail(kExitUsage, "--mqtt-ca: needs a file name");
             o.MqttCa = t;
         }, kLiveOnly | kRunWide | kRunKey},
        {"--mqtt-discovery", "on|off", Kind::Text, NAN, NAN,
         "with --mqtt: publish Home Assistant discovery configs (retained) under homeassistant/",
         {}, [](const O&) { return std::string("on"); },
         [](O& o, std::string_view t, double) {
             const std::string v = Squeezed(t);
             if (v != "on" && v != "off") Bad("--mqtt-discovery", "must be on or off", t);
             o.MqttDiscovery = v == "on";
         }, kLiveOnly | kRunWide | kRunKey},
        {"--mqtt-discovery-remove", "", Kind::Switch, NAN, NAN,
         "with --mqtt: delete this run's monitors' Home Assistant entities (empty retained configs) instead", {}, {},
         [](O& o, auto, double on) { o.MqttDiscoveryRemove = on != 0; }, kLiveOnly | kRunWide | kRunKey},
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
         [](O& o, auto, double v) { o.Measure.FftSize = static_cast<std::int32_t>(v); }},
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
         [](O& o, auto, double v) { o.Measure.BandwidthHz = v; }},
        {"--guard", "G", Kind::Number, NAN, NAN, "guard band on each side as a multiple of the bandwidth,",
         [] { return Span(0, kMaxGuard); }, [](const O& o) { return Text(o.Measure.Guard); },
         [](O& o, auto, double v) { o.Measure.Guard = v; }},
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
         [](O& o, auto, double v) {
             o.Measure.IntervalS = v;
             o.IntervalTyped = true;
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

const Option* FindOption(std::string_view name)
{
    if (name == "--center") name = "--centre";
    if (name == "--iq-center") name = "--iq-centre";
    for (const Option& candidate : OptionTable())
        if (name == candidate.Name) return &candidate;
    return nullptr;
}

// Reads an option's value as its kind says and sets it.
void ApplyOption(Options& o, const Option& opt, std::string_view name, std::string_view text)
{
    double value = 0;
    if (opt.kind == Kind::Switch) value = 1;
    if (opt.kind == Kind::Whole) value = WholeOf(name, text, opt.Lo, opt.Hi);
    if (opt.kind == Kind::Number) value = NumberOf(name, text);
    opt.Set(o, text, value);
    // A measurement setting's range is the engine's.
    if (const std::string why = FieldProblem(o.Measure, opt.Name + 2); !why.empty()) Bad(opt.Name, why, text);
}
