// Timing of the measurement log and the caption clock's text.
#pragma once
#include <string>

#include "engine/NumberText.h"

// Seconds since the last line, both times of day in single precision; a
// negative difference means midnight has passed, so a day is added.
float LogElapsed(float now, float last);

// The logging interval typed in its box: the leading number (0 when the
// text does not start with one); a number too large to read never comes due.
double LogIntervalSeconds(std::string_view text);

// Window caption with the date and time: "Parlune    Mereth", 20 blanks,
// then "yyyy/MM/dd  hh:mm:ss".
std::string ClockCaption(const DateTime& now);
