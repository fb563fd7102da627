// The waterfall's drawing: set-up at run start, the line of each block at
// the top, and the scroll by one row of the picture's 512 scale rows.
#pragma once
#include <cstdint>
#include <memory>

#include "display/WaterfallWindow.h"
#include "engine/Arrays.h"

struct WaterfallRing; // the rows drawn so far, newest first

// Scale as wide as the spectrum plot (bins); the read-out's bin width.
void WaterfallSetUp(MonWF& wf, double scaleWidth, double sampleRate, std::int32_t nfft);
// The block's power spectrum (ring column slot) as the top line.
void WaterfallLine(MonWF& wf, std::shared_ptr<WaterfallRing>& ring, const SpecRing& spectra, std::int32_t slot,
                   std::int32_t nfft);
void WaterfallScroll(MonWF& wf, std::shared_ptr<WaterfallRing>& ring);
