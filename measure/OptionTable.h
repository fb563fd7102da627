// The table of parlune-measure's options: for each its name, value, range,
// default, help line, scope and how it is set; the parser, the config keys
// and the --help text are all made from it.
#pragma once
#include <cmath>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "measure/Options.h"

enum class Kind {
    Switch, // no value
    Whole,  // a whole number in Lo .. Hi
    Number, // any decimal number; the option checks its own range
    Text,   // any text
};

// Where an option may be given besides the command line of any run.
constexpr unsigned kLiveOnly = 1; // a live input only: a recording has its own rate and length
constexpr unsigned kRunWide = 2;  // the whole run: not a key of a config section
constexpr unsigned kRecordingOnly = 4; // recording files only: not live, not a config key
constexpr unsigned kSdrOnly = 8;       // a soapy: input only (a config section's too)
constexpr unsigned kTuned = 16;        // a soapy: input or an IQ recording: what the tuner takes
constexpr unsigned kRunKey = 32;       // also a config file's key before its first section, for the whole run

struct Option {
    const char* Name;  // long form
    const char* Value; // what the value is called in --help; "" for a switch
    Kind kind;
    double Lo = NAN, Hi = NAN; // Whole: the accepted range
    std::string Help = "";     // what it does; a range and default are added
    std::function<std::string()> Range = {};                  // the range as --help shows it
    std::function<std::string(const Options&)> Default = {}; // the default as --help shows it
    std::function<void(Options&, std::string_view text, double value)> Set = {};
    unsigned Scope = 0; // kLiveOnly, kRunWide, kRecordingOnly, kSdrOnly, kTuned; 0: every form, and a config section's key
};

// Every option, in the order --help lists them.
const std::vector<Option>& OptionTable();
// The option of a long name ("--center" is "--centre"), nullptr for none.
const Option* FindOption(std::string_view name);
// Reads an option's value as its kind says and sets it; throws Stop (status 2).
void ApplyOption(Options& o, const Option& opt, std::string_view name, std::string_view text);
// x as --help prints it, and a range "lo .. hi".
std::string Text(double x);
std::string Span(double lo, double hi);
// A value refused: "NAME: WHY, not 'TEXT'" (status 2).
[[noreturn]] void Bad(std::string_view name, const std::string& why, std::string_view text);
// Lower case without blanks, dashes and underscores, as names are compared.
std::string Squeezed(std::string_view s);
