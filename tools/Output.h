// What parlune-measure writes of a measurement, block by block: log lines or
// CSV rows, the summary and the points of the S/N picture, to standard
// output or a file appended to.
#pragma once
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/BlockChain.h"
#include "log/LogSchedule.h"
#include "tools/Options.h"
#include "tools/SnPlot.h"

// True once a write found the reading end of standard output's pipe closed.
bool ReaderGone();

// Finds out before a run whether a picture can be written there (status 1
// if not: also a FIFO or a folder, which is not opened), leaving no empty
// file behind.
void CheckWritable(const std::string& path);

// Where rows and lines go: standard output, or a file appended to.  A live
// run hands each line to the system at once, so a killed run loses nothing
// written.  A failed write stops the run (status 1); a closed pipe ends it
// quietly (status 0).  A path that is not a file to write (a FIFO, a
// folder) is refused unopened (status 1).  Monitors that write to one place
// share one Output.
class Output {
public:
    Output() = default;
    Output(const std::string& path, const char* eol, bool flushEach);
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    void Line(std::string_view text);
    // A header line: written once, however many reports share the output.
    void Header(std::string_view text);
    // Before a message on stderr, so the two keep their order on a terminal.
    void Flush() { std::fflush(file_); }

private:
    std::string name_ = "standard output";
    std::FILE* file_ = stdout;
    bool owned_ = false;
    const char* eol_ = "\n";
    bool flushEach_ = false;
    bool headed_ = false;
};

// Count, mean, minimum and maximum of a figure in dB.
struct Spread {
    std::int64_t Count = 0;
    double Sum = 0, Min = std::numeric_limits<double>::infinity(), Max = -std::numeric_limits<double>::infinity();
    void Add(double v);
    std::string Text() const;
};

// The output of one measurement, recording or live.  A block that ends a
// recording's measurement stops it here (status 3); a live run goes on
// through digital silence.
class Report {
public:
    // name labels the messages and the picture; a live run's log lines carry
    // the time of day, a recording's the position in it.  A monitor of a
    // config file starts each line with its name (`field`, "" for none): a
    // CSV column "monitor", a log line's first field, before "summary:".
    Report(const Options& o, Output& out, std::string name, bool live, const std::string& field = "");

    // One block's result, the block covering startS .. endS seconds from the
    // start; gives the corrected S/N in 2500 Hz where the block has one.
    std::optional<double> Block(const BlockResult& r, const ChainParams& p, double startS, double endS);
    // The picture of what was measured so far, over 0 .. endS seconds.
    void WritePlot(double endS) const;
    void WritePlot() const { WritePlot(endS_); }
    // After a stop: the picture of what was measured before it; the stop's
    // own message is the one line to show.
    void WritePlotAfterStop(double endS) const;
    double EndS() const { return endS_; }
    const std::vector<SnPoint>& Points() const { return points_; }
    // The summary line; a live run adds the share of its audio measured.
    void Summary(std::optional<double> measuredShare = std::nullopt);

private:
    void LogLineIfDue(const BlockResult& r, double endS);

    const Options& o_;
    Output& out_;
    std::string name_;
    std::string prefix_; // before every line: the monitor's field and separator, or ""
    bool live_;
    LogSchedule schedule_;
    std::int64_t blocks_ = 0;
    std::int64_t unmeasured_ = 0; // live blocks that faulted (silence)
    Spread sn_, corrected_;       // over the blocks with the peak in the band; corrected: where positive
    std::vector<SnPoint> points_;
    bool gap_ = false;
    bool resetShown_ = false;
    double endS_ = 0;
};
