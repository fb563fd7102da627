// The config form of parlune-measure: an INI file with one section per
// monitor, the section's name being the monitor's, its keys the long
// options of a live run without the dashes.
#pragma once
#include <string>
#include <vector>

#include "tools/Options.h"

struct MonitorConfig {
    std::string Name;  // the section's name
    Options Opts;      // the command line's options with the section's keys applied
    int InputLine = 0; // where the section names its input, for messages
};

// Reads the file; any fault (unreadable, a line that is neither a section,
// a key nor a comment, a repeated section or key, a bad key or value, a
// section without an input) throws Stop with status 2 and one message
// "FILE:LINE: key: why".  Nothing has been started then.
std::vector<MonitorConfig> ReadConfig(const std::string& path, const Options& base);
