// The log switch, the logging step of the run loop and the caption clock.
// A log file that cannot be opened or written is reported once in the
// switch's own caption; the switch is cleared and the run goes on.
#include <QString>
#include <algorithm>

#include "engine/Fault.h"
#include "engine/LogLine.h"
#include "engine/Results.h"
#include "log/Clock.h"
#include "ui/Parlune.h"

namespace {
const QString kLogCaption = "Log to File";
const QString kCannotOpen = "Log to File (cannot open)";
const QString kWriteFailed = "Log to File (write failed)";

// Clears the switch (its click rule closes the file), then says why.
void GiveUpLogging(Parlune& p, const QString& why)
{
    p.LogEnabled = 0;
    p.LogOut.Close();
    p.LogToFile.setValue(0);
    p.LogToFile.setForeColor(RGB(0, 0, 0));
    p.LogToFile.setCaption(why);
}
} // namespace

void Parlune::LogToFile_Click()
{
    if (LogToFile.Value() == 1) {
        LogToFile.setCaption(kLogCaption);
        if (!LogOut.Open(LogFile.Text())) {
            GiveUpLogging(*this, kCannotOpen);
            return;
        }
        LogEnabled = 1;
        LastLogTime = TimeOfDay();
    } else {
        LogEnabled = 0;
        LogOut.Close();
    }
}

void Parlune::LogStep()
{
    const double seconds = CurrentClock().SecondsSinceMidnight();
    const float now = static_cast<float>(seconds);
    const float elapsed = LogElapsed(now, LastLogTime);
    if (!(elapsed >= LogIntervalSeconds(LogInterval.Text().toStdString()))) {
        LogToFile.setForeColor(RGB(0, 0, 0));
        return;
    }
    // Computed before anything changes: a fault leaves the log as it was.
    const std::string line =
        LogLine(ClockText(std::min<std::int64_t>(static_cast<std::int64_t>(seconds), 86399)), CheckedDiv(double(PeakBin) * SampleRate, NFFT),
                LevelAboveThreshold(PeakPower, DispThresh), LevelAboveThreshold(NoisePower, DispThresh), SN1HzDb);
    LastLogTime = now;
    if (!LogOut.WriteLine(line)) {
        GiveUpLogging(*this, kWriteFailed);
        return;
    }
    LogToFile.setForeColor(RGB(255, 0, 0));
}

void Parlune::Timer1_Timer() { setCaption(QString::fromStdString(ClockCaption(CurrentClock().Now()))); }
