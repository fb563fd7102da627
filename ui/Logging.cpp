// The log switch, the logging step of the run loop and the caption clock.
// A log file that cannot be opened or written is reported once in the
// switch's own caption, short enough for its one line, with the whole story
// in its tool tip; the switch is cleared and the run goes on.
#include <QString>
#include <algorithm>

#include "engine/Fault.h"
#include "engine/LogLine.h"
#include "engine/Results.h"
#include "log/Clock.h"
#include "ui/Parlune.h"

namespace {
const QString kLogCaption = "Log to File";

// Clears the switch (its click rule closes the file), then says why: in
// short in the caption, in full (%1 the file name) in the tool tip.
void GiveUpLogging(Parlune& p, const QString& caption, const QString& why)
{
    p.LogEnabled = 0;
    p.LogOut.Close();
    p.logToFileCheck.setValue(0);
    p.logToFileCheck.setForeColor(RGB(0, 0, 0));
    p.logToFileCheck.setCaption(caption);
    p.logToFileCheck.setToolTipText("Log to File: " + why.arg(p.logFileBox.Text()));
}
} // namespace

void Parlune::LogToFile_Click()
{
    if (logToFileCheck.Value() == 1) {
        logToFileCheck.setCaption(kLogCaption);
        logToFileCheck.setToolTipText("");
        if (!LogOut.Open(logFileBox.Text())) {
            GiveUpLogging(*this, "Can't open", "cannot open \"%1\"");
            return;
        }
        LogEnabled = 1;
        LogTimes.StartByClock();
    } else {
        LogEnabled = 0;
        LogOut.Close();
    }
}

void Parlune::LogBlock(const BlockResult& r)
{
    if (LogsLine(r) && LogEnabled != 0)
        LogStep(r);
}

void Parlune::LogStep(const BlockResult& r)
{
    const std::optional<DueLine> due = LogTimes.DueByClock(LogIntervalSeconds(logIntervalBox.Text().toStdString()));
    if (!due) {
        logToFileCheck.setForeColor(RGB(0, 0, 0));
        return;
    }
    // Computed before anything changes: a fault leaves the log as it was.
    const std::string line = LogLine(due->Clock, r.PeakHz, r.PeakLevel, r.NoiseLevel, r.SN1HzDb);
    LogTimes.Logged(*due);
    if (!LogOut.WriteLine(line)) {
        GiveUpLogging(*this, "Write failed", "cannot write to \"%1\"; logging stopped");
        return;
    }
    logToFileCheck.setForeColor(RGB(255, 0, 0));
}

void Parlune::Timer1_Timer() { setCaption(QString::fromStdString(ClockCaption(CurrentClock().Now()))); }
