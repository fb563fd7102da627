// What a measurement hands each block to: one list of outputs, each with
// its own job (the CSV rows or log lines, the summary, the picture's
// series, the metrics).  One more way out of the program is one more output.
#pragma once
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

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

class BlockOutput {
public:
    virtual ~BlockOutput() = default;
    virtual void Block(const MeasuredBlock& b) = 0;
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

// What a live input went through: losses, the time it was away, and the
// audio that never came while it was up (a stopped process), s.
struct Outage {
    int Losses = 0;
    double AwayS = 0, GapS = 0;
};

// The summary: blocks, and the S/N over those with the peak in the band.
class SummaryLine final : public BlockOutput {
public:
    void Block(const MeasuredBlock& b) override;
    // A live run adds the share of its audio measured and its outages.
    std::string Text(std::optional<double> measuredShare, Outage outage) const;

private:
    std::int64_t blocks_ = 0;
    std::int64_t unmeasured_ = 0; // live blocks of digital silence
    Spread sn_, corrected_;       // corrected: where positive
};

// The picture's points: one per block with the peak in the band, the line
// broken where the peak left it.
class PlotSeries final : public BlockOutput {
public:
    void Block(const MeasuredBlock& b) override;
    const std::vector<SnPoint>& Points() const { return points_; }

private:
    std::vector<SnPoint> points_;
    bool gap_ = false;
};
