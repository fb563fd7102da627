#include "log/LogSchedule.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine/LogLine.h"
#include "engine/Results.h"
#include "log/Clock.h"

void LogSchedule::StartByClock() { last_ = TimeOfDay(); }

void LogSchedule::StartAtPosition(double positionS) { last_ = positionS; }

std::optional<DueLine> LogSchedule::DueByClock(double intervalS) const
{
    const double seconds = CurrentClock().SecondsSinceMidnight();
    const float now = static_cast<float>(seconds);
    if (!(LogElapsed(now, static_cast<float>(last_)) >= intervalS))
        return std::nullopt;
    return DueLine{ClockText(std::min<std::int64_t>(static_cast<std::int64_t>(seconds), 86399)), now};
}

std::optional<DueLine> LogSchedule::DueAtPosition(double positionS, double intervalS) const
{
    if (!(positionS - last_ >= intervalS))
        return std::nullopt;
    return DueLine{ClockText(static_cast<std::int64_t>(std::floor(positionS))), positionS};
}
