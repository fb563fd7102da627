#include "log/Clock.h"

#include <QDateTime>

namespace {

class SystemClock : public Clock {
public:
    double SecondsSinceMidnight() const override
    {
        return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
    }
    DateTime Now() const override
    {
        const QDateTime t = QDateTime::currentDateTime();
        return {t.date().year(), t.date().month(), t.date().day(),
                t.time().hour(), t.time().minute(), t.time().second()};
    }
};

const SystemClock kSystemClock;
const Clock* installed = nullptr;

} // namespace

const Clock& CurrentClock() { return installed ? *installed : kSystemClock; }
void InstallClock(const Clock* clock) { installed = clock; }
float TimeOfDay() { return static_cast<float>(CurrentClock().SecondsSinceMidnight()); }
