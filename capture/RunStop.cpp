// STOP: closes the input (a queued buffer comes back done, so the run loop
// finishes its block and ends), clears the averaging ring and puts the window
// back between runs with "Restart" where STOP was.
#include "ui/Parlune.h"


void Parlune::Stopit_Click()
{
    waveInReset(hWaveIn);
    waveInClose(hWaveIn);
    ClearRing(Chain, NAvg); // so the next run starts from an empty ring
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
