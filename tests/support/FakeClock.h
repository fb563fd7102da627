// A clock the test sets by hand, installed for the life of the object.
#pragma once
#include "log/Clock.h"

class FakeClock : public Clock {
public:
    FakeClock() { InstallClock(this); }
    ~FakeClock() override { InstallClock(nullptr); }
    double SecondsSinceMidnight() const override { return seconds; }
    DateTime Now() const override { return now; }

    double seconds = 0;
    DateTime now{2024, 1, 1, 0, 0, 0};
};
