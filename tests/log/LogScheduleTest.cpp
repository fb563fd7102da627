// When a recording's log lines are due: by the position in the recording, an interval after the last line (not on a
// fixed grid), stamped with the whole seconds reached.  (By the time of day: the window's log tests.)
#include <gtest/gtest.h>

#include "log/LogSchedule.h"

TEST(LogSchedule, ByPositionEveryIntervalFromTheLastLine)
{
    const struct { double interval; std::vector<std::pair<int, std::string>> lines; } cases[] = {
        {5, {{10, "00:00:05"}, {20, "00:00:10"}, {30, "00:00:15"}}}, // due exactly at 5 s
        {1.2, {{3, "00:00:01"}, {6, "00:00:03"}, {9, "00:00:04"}}}, // a grid would give blocks 3, 5, 8
        {0, {{1, "00:00:00"}, {2, "00:00:01"}, {3, "00:00:01"}}},
        {1e9, {}},
    };
    for (const auto& c : cases) {
        LogSchedule s;
        s.StartAtPosition(0);
        std::vector<std::pair<int, std::string>> lines; // the first three: block and clock text
        for (int block = 1; block <= 30; ++block) {
            const double end = block * 0.5; // blocks of 8192 points at 16384 Hz
            const auto due = s.DueAtPosition(end, c.interval);
            EXPECT_EQ(s.DueAtPosition(end, c.interval).has_value(), due.has_value()); // asking changes nothing
            if (due && lines.size() < 3) lines.emplace_back(block, due->Clock);
            if (due) s.Logged(*due);
        }
        EXPECT_EQ(lines, c.lines) << c.interval;
    }
}
