// The capture wait of the run loop: yields to the event queue until the
// buffer comes back done, the handle is 0, the input is lost, or quit()
// (STOP, closing) says so.
#pragma once
#include <QCoreApplication>
#include <QEventLoop>

#include "capture/WaveIn.h"

// Sleeps in the event loop between events; the input layer posts an event
// when a buffer completes, so this wakes without polling.  (The overload
// of processEvents with a time limit ignores WaitForMoreEvents and spins.)
template <class Quit>
void WaitForBuffer(const WAVEHDR& hdr, const HWAVEIN& h, Quit quit)
{
    while (!(hdr.dwFlags & WHDR_DONE) && h && !waveInIsLost(h) && !quit())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}
