// STOP: closes the input (a queued buffer comes back done, so the run loop
// finishes its block and ends), clears the averaging ring and puts the window
// back between runs with "Restart" where STOP was.
#include "ui/Parlune.h"

// Bins 0 .. NFFT and slots 0 .. NAvg, so the next run starts from an empty ring.
void Parlune::ClearRing()
{
    for (std::int64_t i = 0; i <= NFFT && i <= SpecRing::kBinTop; ++i) {
        AvSpec[i] = 0;
        for (std::int64_t k = 0; k <= NAvg && k <= SpecRing::kSlotTop; ++k)
            SpecHist(i, k) = 0;
    }
}

void Parlune::Stopit_Click()
{
    waveInReset(hWaveIn);
    waveInClose(hWaveIn);
    ClearRing();
    StopReq = true;
    Stopit.setVisible(false);
    Start.setCaption("Restart");
    Start.setLeft(Stopit.Left());
    Start.setTop(Stopit.Top());
    Start.setWidth(Stopit.Width());
    Start.setHeight(Stopit.Height());
    Start.setVisible(true);
    FFTSize.setEnabled(true);
    SRate.setEnabled(true);
    WindType.setEnabled(true);
    LogToFile.setEnabled(false);
}
