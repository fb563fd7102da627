// The capture wait of the run loop: yields to the event queue until the
// buffer comes back done or the handle is 0.
#pragma once
#include <QCoreApplication>
#include <QEventLoop>

#include "capture/WaveIn.h"

// Sleeps in the event loop between events; the input layer posts an event
// when a buffer completes, so this wakes without polling.  (The overload
// of processEvents with a time limit ignores WaitForMoreEvents and spins.)
inline void WaitForBuffer(const WAVEHDR& hdr, const HWAVEIN& h)
{
    while (!(hdr.dwFlags & WHDR_DONE) && h)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}
