// parlune-measure's options: one table of every option (name, value, range
// from the engine's limits, default, help line) drives the parsing and the
// --help text, and so the man page made from it.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/MeasureSettings.h"
#include "sdr/IqSamples.h"
#include "sdr/SdrSettings.h"

// The longest --duration, s (31 years).
inline constexpr double kMaxDurationS = 999999999;
// The highest --sdr-rate, Hz.
inline constexpr std::int32_t kMaxSdrRate = 250000000;

struct Options {
    MeasureSettings Measure;        // the measurement, in physical units
    bool SpanHighTyped = false;     // else the default follows each file's sample rate
    bool Csv = false;
    bool Summary = false;
    std::string Plot;               // PNG file, "" for none
    int PlotWidth = 800, PlotHeight = 400;
    bool PlotSizeTyped = false;
    std::vector<std::string> Files;
    bool ListInputs = false;
    std::string Input;              // live device, name or number; "" for files
    std::int32_t Rate = 12000;      // live sample rate, or a tuned recording's analysis rate, Hz
    bool RateTyped = false;         // --rate given: a WAV file is tuned to it when lower than its own
    // Recordings through the tuner: raw IQ files, WAV files shifted or slowed.
    std::optional<IqFormat> Iq;     // --iq-format; else from the file's extension
    std::int32_t SdrRate = 0;       // a raw IQ file's sample rate, Hz; 0: not given
    std::optional<double> IqCentreHz; // RF at the recording's 0 Hz; else from the file name
    std::optional<double> DialHz;   // RF that becomes the analysis' 0 Hz; else the centre
    // A soapy: input's receiver: gain, correction, antenna, settings, LO
    // offset (its Args, DialHz and RateHz come from --input, --dial, --sdr-rate).
    SdrSettings Sdr;
    double Duration = 0;            // live run length, s; 0 until a signal
    std::string Output;             // live lines appended here, "" for stdout
    bool Reconnect = false;         // live: reopen a lost input when it comes back
    // Several monitors: the config file, the metrics endpoint, the pair compared.
    std::string Config;             // INI file, a section per monitor; "" for none
    std::string Metrics;            // [ADDR:]PORT of the Prometheus endpoint; "" for none
    std::string CompareA, CompareB; // monitor names for --compare, "" for none
    // MQTT: the broker, its login and CA, Home Assistant discovery.
    std::string Mqtt;               // mqtt://... or mqtts://..., "" for none
    std::string MqttPasswordFile, MqttCa;
    bool MqttDiscovery = true, MqttDiscoveryRemove = false;
    bool IntervalTyped = false;     // --interval given: also the MQTT state's interval (else 10 s)
};

// "soapy:ARGS": an SDR receiver rather than a sound input.
bool IsSdrInput(const std::string& input);
// The receiver's whole set-up for a soapy: input.
SdrSettings SdrOf(const Options& o);

// The options of a command line; throws Stop (status 2) on a bad one, and
// Stop with status 0 after printing --help or --version.
Options ParseOptions(int argc, char** argv);

// The --help text.
std::string HelpText();

// Sets the option of a config file's key (a long option's name without the
// dashes, as "fft-size"); a switch takes true/false, yes/no, on/off or 1/0.
// Throws Stop (status 2) with the option's own message when the key or its
// value is bad, or the key is not one a monitor takes.
void SetMonitorOption(Options& o, std::string_view key, std::string_view value);

// The same for a key before a config file's first section: only the run's
// own keys (the MQTT ones) are taken there.
void SetRunOption(Options& o, std::string_view key, std::string_view value);

// The block parameters of a run at this rate, with the span's default top
// brought down to the rate (said on stderr) when it was not typed.  Bad
// values are refused (status 2), named by `what`.
ChainParams RunParams(const Options& o, double rate, const std::string& what);
// The same check throwing the SettingsError that names the option at fault;
// the note on stderr names `what`, and is left out when `what` is "".
ChainParams CheckedRunParams(const Options& o, double rate, const std::string& what);

// --mqtt-... options without a broker; throws Stop (status 2).
void CheckMqttOptions(const Options& o);

// The checks that tie options together (the span, --plot-size without
// --plot); throws Stop (status 2).
void CheckOptions(const Options& o);
