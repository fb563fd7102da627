// The config form of parlune-measure: an INI file with one section per
// monitor, the section's name being the monitor's, its keys the long
// options of a live run without the dashes.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "measure/Options.h"

struct MonitorConfig {
    std::string Name;  // the section's name
    Options Opts;      // the command line's options with the section's keys applied
    int InputLine = 0; // where the section names its input, for messages
    int SectionLine = 0;                 // where the section starts
    std::map<std::string, int> KeyLines; // where each key of the section is given
    bool FromFile = false;               // a config file's section: its lines carry its name
};

// Reads the file and checks every section as a run would, its sample rate
// included; any fault (not a regular file, larger than 1 MiB, a line longer
// than 4096 bytes, a line that is neither a section, a key nor a comment, a
// repeated section or key, more than 256 sections, a bad key or value, a
// section without an input, two monitors with one picture or with one
// output in two formats) throws Stop with status 2 and one message
// "FILE:LINE: key: why"; an output or picture that is not a file to write
// (a FIFO, a folder) status 1.  Nothing has been started or opened then.
// A value ends before a '#' or ';' that follows a blank (a comment), unless
// it is quoted.
std::vector<MonitorConfig> ReadConfig(const std::string& path, const Options& base);
