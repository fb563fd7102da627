// What a measurement hands each block to: one list of outputs, each with
// its own job (the CSV rows or log lines, the summary, the picture's
// series, the metrics).  One more way out of the program is one more output.
#pragma once
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <QSize>
#include <QString>

#include "engine/BlockChain.h"
#include "log/LogSchedule.h"
#include "measure/SnPlot.h"

class Output;

// One block as every output sees it; times in s from the start.
struct MeasuredBlock {
    const BlockResult& R;
    std::int64_t Index = 0;
    double StartS = 0, EndS = 0;
    bool Measured = true;              // false: live digital silence, a block without figures
    std::optional<double> Sn2500Db;    // the peak in the band
    std::optional<double> CorrectedDb; // the peak in the band and the difference positive
    bool InBand() const { return Sn2500Db.has_value(); }
};

// What a run went through, for the outputs' close.
struct Outage {
    int Losses = 0;       // live: times the input was lost
    double AwayS = 0;     // the time it was away, s
    double GapS = 0;      // audio that never came while it was up (a stopped process), s
    std::int64_t Overflows = 0; // samples dropped by the device or its transport, times
};
struct RunEnd {
    double EndS = 0;                           // end of the last block, s from the start
    std::optional<double> MeasuredShare;       // live: the share of the audio measured
    Outage Input;
};

// An output opens in its constructor, takes every block, and closes once
// at the end of the run (not after a stop: the stop's message is the one
// line to show).
class BlockOutput {
public:
    virtual ~BlockOutput() = default;
    virtual void Block(const MeasuredBlock& b) = 0;
    virtual void Close(const RunEnd&) {}
};

// CSV: a header once per output, then a row per block.  `prefix` is a
// monitor's first field and separator, or "".
class CsvRows final : public BlockOutput {
public:
    CsvRows(Output& out, std::string prefix);
    void Block(const MeasuredBlock& b) override;

private:
    Output& out_;
    std::string prefix_;
};

// Log lines as the window writes them, every `intervalS` while the peak is
// in the band: a live run by the time of day, a recording by its position.
class LogLines final : public BlockOutput {
public:
    LogLines(Output& out, std::string prefix, bool live, double intervalS);
    void Block(const MeasuredBlock& b) override;

private:
    Output& out_;
    std::string prefix_;
    bool live_;
    double intervalS_;
    LogSchedule schedule_;
};

// Count, mean, minimum and maximum of a figure in dB.
struct Spread {
    std::int64_t Count = 0;
    double Sum = 0, Min = std::numeric_limits<double>::infinity(), Max = -std::numeric_limits<double>::infinity();
    void Add(double v);
    std::string Text() const;
};

// The summary line at the close: blocks, and the S/N over those with the
// peak in the band; a live run adds the share of its audio measured and its
// outages.
class SummaryLine final : public BlockOutput {
public:
    SummaryLine(Output& out, std::string prefix) : out_(out), prefix_(std::move(prefix)) {}
    void Block(const MeasuredBlock& b) override;
    void Close(const RunEnd& end) override;

private:
    Output& out_;
    std::string prefix_;
    std::int64_t blocks_ = 0;
    std::int64_t unmeasured_ = 0; // live blocks of digital silence
    Spread sn_, corrected_;       // corrected: where positive
};

// The S/N picture's points: one per block with the peak in the band, the
// line broken where the peak left it; with a file, the picture itself,
// written at the close and whenever asked.
class PlotSeries final : public BlockOutput {
public:
    // file "" keeps the points only (a run's picture of all monitors draws
    // them); label names the measurement in the picture's title.
    PlotSeries(Output& out, std::string file, QString label, QSize size);
    void Block(const MeasuredBlock& b) override;
    void Close(const RunEnd& end) override { Write(end.EndS); }
    // The picture over 0 .. endS seconds; a failure is the output's (one
    // line, or the end of the run).
    void Write(double endS) const;
    const std::vector<SnPoint>& Points() const { return points_; }

private:
    Output& out_;
    std::string file_;
    QString label_;
    QSize size_;
    std::vector<SnPoint> points_;
    bool gap_ = false;
};
