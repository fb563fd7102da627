// Measuring a live input: the device captured block by block as the window
// does it, until a stop signal, --duration, or the input's loss.
#pragma once
#include "engine/BlockChain.h"
#include "tools/Options.h"

// Lists the capture devices on standard output: number, tab, name.
void ListInputs();

// Measures o.Input; needs a Qt application.  Throws Stop on an unknown or
// unopenable device (status 2, 1) or a lost input (status 4).
void MeasureInput(const Options& o, ChainState& state);
