// Measuring live inputs: one (--input) or the monitors of a config file,
// each captured without gaps, all on one event loop.
#pragma once
#include <vector>

#include "measure/Config.h"
#include "measure/Options.h"

// Lists the capture devices on standard output: number, tab, name.
void ListInputs();

// Measures o.Input, or the monitors read from o.Config, until a stop signal,
// --duration or a lost input (without --reconnect); needs a Qt application.
// Throws Stop on a bad config or unknown device (status 2), an unopenable
// device or unwritable output (1), or a lost input (4).  An output that
// fails during the run (a full disk) is one line; that monitor writes
// nothing more, the others go on, and the run ends with status 1.
void MeasureLive(const Options& o, std::vector<MonitorConfig> configs);
