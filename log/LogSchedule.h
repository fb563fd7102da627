// When the next log line is due while the peak is in the band: every
// interval seconds by the time of day (the window, a live run), or by the
// position in a recording.  Both programs log through it.
#pragma once
#include <optional>
#include <string>

#include "engine/BlockChain.h"

// Only a complete block with the peak in the band gives a log line: the
// S/N it would carry is its own.
inline bool LogsLine(const BlockResult& r) { return r.Reached == BlockStage::Complete && r.InBand; }

// A line that is due: its clock text (hh:mm:ss) and the time it counts from.
struct DueLine {
    std::string Clock;
    double At = 0;
};

class LogSchedule {
public:
    // By the time of day, single precision as the log keeps it (past
    // midnight a day is added); the first line is due an interval from now.
    void StartByClock();
    // By the position in a recording, seconds from its start.
    void StartAtPosition(double positionS);

    // The line due now (by the clock) or at the end of a block ending at
    // positionS, or nothing; a due line changes nothing until Logged().
    std::optional<DueLine> DueByClock(double intervalS) const;
    std::optional<DueLine> DueAtPosition(double positionS, double intervalS) const;
    // The line was made: the next one is due an interval after it.
    void Logged(const DueLine& line) { last_ = line.At; }

private:
    double last_ = 0; // time of day (a float's value) or position, s
};
