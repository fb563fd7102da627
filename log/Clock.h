// Where the log and the caption clock get the time: the system's local
// clock unless a test installs its own.
#pragma once
#include "engine/NumberText.h"

class Clock {
public:
    virtual ~Clock() = default;
    virtual double SecondsSinceMidnight() const = 0; // local time of day, with fraction
    virtual DateTime Now() const = 0;                // local date and time
};

const Clock& CurrentClock();
// Installs a clock (nullptr: the system clock again).  The caller keeps it alive.
void InstallClock(const Clock* clock);

// Time of day in seconds since midnight, single precision as the log keeps it.
float TimeOfDay();
