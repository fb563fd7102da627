// How to set up an SDR receiver: plain data, from the options or a config
// file's section.
#pragma once
#include <optional>
#include <string>
#include <utility>
#include <vector>

using KeyValues = std::vector<std::pair<std::string, std::string>>;

// Hertz throughout; the dial is the frequency at the analysis' 0 Hz (upper
// sideband: RF = dial + audio frequency).
struct SdrSettings {
    std::string Args;                 // SoapySDR device string ("driver=rtlsdr,serial=00000001")
    double DialHz = 0;
    double RateHz = 0;                // the device's rate; 0: the lowest it lists of at least 8 x the analysis rate
    std::optional<double> GainDb;     // manual gain; nothing keeps the device's own, with its AGC off
    bool AutoGain = false;            // the device's AGC
    double Ppm = 0;                   // frequency correction
    std::string Antenna;              // "" keeps the device's
    KeyValues Settings;               // device settings ("direct_samp" = "2")
    KeyValues StreamArgs;             // stream arguments ("chan" = "stereo_iq")
    std::optional<double> LoOffsetHz; // device tuned this far below the dial; nothing: the default
};

// "KEY=VALUE[,KEY=VALUE...]" appended to `to`; false when a pair has no
// key or no '='.
bool AddKeyValues(KeyValues& to, const std::string& text);
