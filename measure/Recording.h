// Measuring recordings: a file read block by block as 16-bit stereo frames
// through the engine's block sequence.
#pragma once
#include <string>

#include "engine/BlockChain.h"
#include "measure/Options.h"

// Measures one file with the options; output to standard output.  Throws
// Stop on a bad file, a frequency that does not suit its rate, or a block
// that ends the measurement (after the rows before it and the picture).
void MeasureFile(const Options& o, const std::string& path, ChainState& state);

