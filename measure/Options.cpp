#include "measure/Options.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <string_view>

#include "engine/Fault.h"
#include "engine/NumberText.h"
#include "measure/OptionTable.h"
#include "measure/Stop.h"

void CheckOptions(const Options& o)
{
    if (const std::optional<SettingsError> e = CheckSettings(o.Measure)) Fail(kExitUsage, e->Message);
    if (o.PlotSizeTyped && o.Plot.empty()) Fail(kExitUsage, "--plot-size: only with --plot");
}

void CheckMqttOptions(const Options& o)
{
    const char* orphan = !o.MqttPasswordFile.empty() ? "--mqtt-password-file"
                         : !o.MqttCa.empty()         ? "--mqtt-ca"
                         : !o.MqttDiscovery          ? "--mqtt-discovery"
                         : o.MqttDiscoveryRemove     ? "--mqtt-discovery-remove"
                                                     : nullptr;
    if (o.Mqtt.empty() && orphan != nullptr) Fail(kExitUsage, std::string(orphan) + ": only with --mqtt");
}

bool IsSdrInput(const std::string& input) { return input.rfind("soapy:", 0) == 0; }

SdrSettings SdrOf(const Options& o)
{
    SdrSettings s = o.Sdr;
    s.Args = o.Input.substr(std::string("soapy:").size());
    s.DialHz = o.DialHz.value_or(0);
    s.RateHz = o.SdrRate;
    return s;
}

namespace {

void SetKey(Options& o, std::string_view key, std::string_view value, bool run)
{
    const std::string name = "--" + std::string(key);
    const Option* opt = FindOption(name);
    if (run && (opt == nullptr || (opt->Scope & kRunKey) == 0)) Fail(kExitUsage, "a key before the first [section]");
    if (!run && (opt == nullptr || (opt->Scope & (kRunWide | kRecordingOnly)) != 0))
        Fail(kExitUsage, "not a key a monitor takes (see --help)");
    if (opt->kind != Kind::Switch) return ApplyOption(o, *opt, opt->Name, value);
    const std::string v = Squeezed(value);
    if (v == "true" || v == "yes" || v == "on" || v == "1") return opt->Set(o, value, 1);
    if (v == "false" || v == "no" || v == "off" || v == "0") return opt->Set(o, value, 0);
    Bad(name, "must be true or false", value);
}

} // namespace

void SetMonitorOption(Options& o, std::string_view key, std::string_view value) { SetKey(o, key, value, false); }

void SetRunOption(Options& o, std::string_view key, std::string_view value) { SetKey(o, key, value, true); }

Options ParseOptions(int argc, char** argv)
{
    Options o;
    bool onlyFiles = false;
    std::vector<std::string> live; // options that only a live input takes
    std::vector<std::string> recording; // options that only recording files take
    std::vector<std::string> sdr, tuned; // options of a soapy: input, and also of IQ recordings
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
        const Option* opt = FindOption(name);
        if (opt == nullptr) Fail(kExitUsage, "unknown option '" + Shown(arg) + "' (see --help)");
        std::string_view text;
        if (opt->kind == Kind::Switch) {
            if (inlineValue) Fail(kExitUsage, std::string(name) + ": takes no value");
        } else {
            if (inlineValue) text = *inlineValue;
            else if (i + 1 < argc) text = argv[++i];
            else Fail(kExitUsage, std::string(name) + ": needs a value");
        }
        ApplyOption(o, *opt, opt->Name, text);
        if ((opt->Scope & kLiveOnly) != 0) live.emplace_back(name);
        if ((opt->Scope & kRecordingOnly) != 0) recording.emplace_back(name);
        if ((opt->Scope & kSdrOnly) != 0) sdr.emplace_back(name);
        if ((opt->Scope & kTuned) != 0) tuned.emplace_back(name);
    }
    CheckOptions(o);
    if (o.ListInputs) {
        if (!o.Files.empty() || !o.Input.empty() || !o.Config.empty())
            Fail(kExitUsage, "--list-inputs: takes no file, no --input and no --config");
        return o;
    }
    if (!recording.empty() && (!o.Input.empty() || !o.Config.empty()))
        Fail(kExitUsage, recording.front() + ": only with recording files, not with --input or --config");
    if (!o.Config.empty()) {
        if (!o.Files.empty() || !o.Input.empty()) Fail(kExitUsage, "--config: measures its monitors alone, not files or --input too");
        return o;
    }
    CheckMqttOptions(o); // a config file may still name the broker
    if (!o.CompareA.empty()) Fail(kExitUsage, "--compare: only with --config");
    if (!o.Input.empty()) {
        if (!o.Files.empty()) Fail(kExitUsage, "--input: measures the input alone, not files too");
        if (IsSdrInput(o.Input) && !o.DialHz) Fail(kExitUsage, "--dial: needed with a soapy: input (the radio frequency at the analysed 0 Hz)");
        if (!IsSdrInput(o.Input) && !sdr.empty()) Fail(kExitUsage, sdr.front() + ": only with a soapy: input");
        if (!IsSdrInput(o.Input) && !tuned.empty()) Fail(kExitUsage, tuned.front() + ": only with a soapy: input or an IQ recording");
        return o;
    }
    if (!sdr.empty()) Fail(kExitUsage, sdr.front() + ": only with a soapy: input");
    if (!live.empty()) Fail(kExitUsage, live.front() + ": only with --input (a recording has its own rate and length)");
    if (o.Files.empty()) Fail(kExitUsage, "no input file (see --help)");
    if (!o.Plot.empty() && o.Files.size() > 1) Fail(kExitUsage, "--plot: takes one recording, not " + std::to_string(o.Files.size()));
    return o;
}

ChainParams CheckedRunParams(const Options& o, double rate, const std::string& what)
{
    const RunPlan plan = PlanRun(o.Measure, rate, o.SpanHighTyped);
    if (plan.SpanHighLoweredHz && !what.empty()) {
        std::fflush(stdout);
        std::fprintf(stderr, "parlune-measure: %s: the default --span-high %s Hz is not below half the sample rate; using %s Hz\n",
                     what.c_str(), PlainText(o.Measure.SpanHighHz).c_str(), Fixed(*plan.SpanHighLoweredHz, 2).c_str());
    }
    return plan.Params;
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
