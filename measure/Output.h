// Where parlune-measure's lines go (standard output or a file appended to,
// a closed pipe ending the run quietly), and the report of one measurement
// that hands each block to its outputs.
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/BlockChain.h"
#include "measure/Options.h"
#include "measure/BlockOutputs.h"

// True once a write found the reading end of standard output's pipe closed.
bool ReaderGone();

// Finds out before a run whether a picture can be written there (status 1
// if not: also a FIFO or a folder, which is not opened), leaving no empty
// file behind.
void CheckWritable(const std::string& path);

// Where rows and lines go: standard output, or a file appended to.  Each
// line goes to the system at once with its end of line, in one write, so a
// killed run loses nothing written; a line is in the file whole or not at
// all (a short write on a full disk is taken back out).  A closed pipe ends
// the run quietly (status 0).  Any other failure stops the run (status 1),
// or, for a monitor's output, is one line on stderr and the end of that
// monitor's writing (lines, picture, summary) while the run goes on.  A
// path that is not a file to write (a FIFO, a folder) is refused unopened
// (status 1).  Monitors that write to one place share one Output.
class Output {
public:
    Output(); // standard output, a failure stops the run
    // monitor: "" as for standard output, else the monitor it belongs to.
    Output(const std::string& path, const char* eol, std::string monitor);
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    void Line(std::string_view text);
    // Something of the monitor could not be written ("FILE: cannot write:
    // why"): stops the run, or says so and writes nothing more.
    void Failure(const std::string& what);
    // True once a monitor's output failed; it writes nothing more.
    bool Failed() const { return failed_; }
    // A header line: written once, however many reports share the output.
    void Header(std::string_view text);
    // Before a message on stderr, so the two keep their order on a terminal.
    void Flush() { std::fflush(stdout); }

private:
    std::string name_ = "standard output";
    std::string monitor_;
    int fd_ = 1;
    bool owned_ = false, regular_ = false;
    const char* eol_ = "\n";
    std::string line_;
    bool failed_ = false;
    bool headed_ = false;
};

// The output of one measurement, recording or live: every block goes to
// its outputs.  A block that ends a recording's measurement stops it here
// (status 3); a live run goes on through digital silence.
class Report {
public:
    // name labels the messages and the picture; a live run's log lines carry
    // the time of day, a recording's the position in it.  A monitor of a
    // config file starts each line with its name (`field`, "" for none): a
    // CSV column "monitor", a log line's first field, before "summary:".
    // The picture's points are kept only when some picture draws them
    // (`pictured`), so a long watch without one does not grow.  `more`: a
    // monitor's further outputs (its metrics, MQTT); nullptr entries are none.
    Report(const Options& o, Output& out, std::string name, bool live, const std::string& field = "",
           bool pictured = false, const std::vector<BlockOutput*>& more = {});

    // One block's result, the block covering startS .. endS seconds from the start.
    void Block(const BlockResult& r, const ChainParams& p, double startS, double endS);
    // The picture of what was measured so far, over 0 .. endS seconds.
    void WritePlot(double endS) const { plot_->Write(endS); }
    // After a stop: the picture of what was measured before it; the stop's
    // own message is the one line to show.
    void WritePlotAfterStop(double endS) const;
    double EndS() const { return endS_; }
    const std::vector<SnPoint>& Points() const { return plot_->Points(); }
    // The end of the run: every output closes (the picture, then the summary).
    void Finish(RunEnd end);

private:
    Output& out_;
    std::string name_;
    bool live_;
    std::unique_ptr<PlotSeries> plot_;
    std::unique_ptr<BlockOutput> summary_, lines_; // summary_ only with --summary; lines_ CSV or log
    std::vector<BlockOutput*> outputs_;            // in the order they take a block and close
    std::int64_t blocks_ = 0;
    bool resetShown_ = false;
    double endS_ = 0;
};
