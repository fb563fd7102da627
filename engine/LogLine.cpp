#include "engine/LogLine.h"

#include <cmath>
#include <limits>

#include "engine/Fault.h"

float LogElapsed(float now, float last)
{
    float elapsed = now - last;
    if (elapsed < 0)
        elapsed += 86400.0f;
    return elapsed;
}

double LogIntervalSeconds(std::string_view text)
{
    try {
        return LeadingNumber(text);
    } catch (const Fault&) {
        return std::numeric_limits<double>::infinity();
    }
}

std::string ClockCaption(const DateTime& now)
{
    return "Parlune    Mereth" + std::string(20, ' ') + FormatDateTime(now, "yyyy/MM/dd  hh:mm:ss");
}
