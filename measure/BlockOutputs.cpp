#include "measure/BlockOutputs.h"

#include <algorithm>
#include <iterator>

#include "engine/Results.h"
#include "measure/Output.h"
#include "measure/Stop.h"

namespace {

std::string Figure(bool defined, double v) { return defined ? Fixed(v) : ""; }

// The CSV columns: the header's names and each row's fields.
struct Column {
    const char* Name;
    std::string (*Field)(const MeasuredBlock& b);
};

const Column kColumns[] = {
    {"block", [](const MeasuredBlock& b) { return std::to_string(b.Index); }},
    {"start_s", [](const MeasuredBlock& b) { return Fixed(b.StartS); }},
    {"peak_hz", [](const MeasuredBlock& b) { return Figure(b.Measured, b.R.PeakHz); }},
    {"peak_db", [](const MeasuredBlock& b) { return Figure(b.Measured, b.R.PeakLevel); }},
    {"noise_db", [](const MeasuredBlock& b) { return Figure(b.Measured, b.R.NoiseLevel); }},
    {"sn_bin_db", [](const MeasuredBlock& b) { return Figure(b.InBand(), b.R.SNBinDb); }},
    {"sn_1hz_db", [](const MeasuredBlock& b) { return Figure(b.InBand(), b.R.SN1HzDb); }},
    {"sn_2500hz_db", [](const MeasuredBlock& b) { return Figure(b.InBand(), b.Sn2500Db.value_or(0)); }},
    {"in_band", [](const MeasuredBlock& b) { return std::string(b.InBand() ? "1" : "0"); }},
    {"sn_2500hz_corrected_db", [](const MeasuredBlock& b) { return Figure(b.CorrectedDb.has_value(), b.CorrectedDb.value_or(0)); }},
};

} // namespace

CsvRows::CsvRows(Output& out, std::string prefix) : out_(out), prefix_(std::move(prefix))
{
    std::string header = prefix_.empty() ? "" : "monitor";
    for (const Column& c : kColumns) {
        if (!header.empty()) header += ',';
        header += c.Name;
    }
    out_.Header(header);
}

void CsvRows::Block(const MeasuredBlock& b)
{
    std::string row = prefix_;
    for (const Column& c : kColumns) {
        if (&c != std::begin(kColumns)) row += ',';
        row += c.Field(b);
    }
    out_.Line(row);
}

LogLines::LogLines(Output& out, std::string prefix, bool live, double intervalS)
    : out_(out), prefix_(std::move(prefix)), live_(live), intervalS_(intervalS)
{
    // Logging is switched on at the start, as the window's log switch does.
    if (live_)
        schedule_.StartByClock();
    else
        schedule_.StartAtPosition(0);
}

void LogLines::Block(const MeasuredBlock& b)
{
    if (!LogsLine(b.R)) return;
    const std::optional<DueLine> due =
        live_ ? schedule_.DueByClock(intervalS_) : schedule_.DueAtPosition(b.EndS, intervalS_);
    if (!due) return;
    schedule_.Logged(*due);
    out_.Line(prefix_ + LogLine(due->Clock, b.R.PeakHz, b.R.PeakLevel, b.R.NoiseLevel, b.R.SN1HzDb));
}

void Spread::Add(double v)
{
    ++Count;
    Sum += v;
    Min = std::min(Min, v);
    Max = std::max(Max, v);
}

std::string Spread::Text() const
{
    return "mean " + Fixed(Sum / Count, 2) + " dB, min " + Fixed(Min, 2) + " dB, max " + Fixed(Max, 2) + " dB";
}

void SummaryLine::Block(const MeasuredBlock& b)
{
    ++blocks_;
    if (!b.Measured) ++unmeasured_;
    if (b.Sn2500Db) sn_.Add(*b.Sn2500Db);
    if (b.CorrectedDb) corrected_.Add(*b.CorrectedDb);
}

void SummaryLine::Close(const RunEnd& end)
{
    const std::optional<double> measuredShare = end.MeasuredShare;
    const Outage& outage = end.Input;
    std::string tail = unmeasured_ > 0 ? "; " + std::to_string(unmeasured_) + " not measured (digital silence)" : "";
    if (measuredShare) tail += "; " + Fixed(100 * *measuredShare, 1) + "% of the audio measured";
    if (outage.Losses > 0)
        tail += "; input lost " + std::to_string(outage.Losses) + (outage.Losses == 1 ? " time" : " times") +
                ", away " + Fixed(outage.AwayS, 1) + " s";
    if (outage.GapS > 0) tail += "; gaps in the audio " + Fixed(outage.GapS, 1) + " s";
    if (outage.Overflows > 0)
        tail += "; " + std::to_string(outage.Overflows) + (outage.Overflows == 1 ? " overflow" : " overflows") +
                " (samples dropped; the blocks that held them not measured)";
    if (sn_.Count == 0) {
        out_.Line(prefix_ + "summary: " + std::to_string(blocks_) + " blocks, none with the peak in the band" + tail);
        return;
    }
    std::string line = prefix_ + "summary: " + std::to_string(blocks_) + " blocks, " + std::to_string(sn_.Count) +
                       " with the peak in the band; S/N 2500Hz " + sn_.Text();
    if (corrected_.Count > 0)
        line += "; corrected over " + std::to_string(corrected_.Count) + " blocks " + corrected_.Text();
    out_.Line(line + tail);
}

PlotSeries::PlotSeries(Output& out, std::string file, QString label, QSize size)
    : out_(out), file_(std::move(file)), label_(std::move(label)), size_(size)
{
}

void PlotSeries::Write(double endS) const
{
    if (file_.empty() || out_.Failed()) return;
    const QImage img = DrawSnPlot(points_, endS, size_, label_ + QStringLiteral(": S/N in 2500 Hz"));
    if (const std::string why = WritePng(img, file_); !why.empty())
        out_.Failure(file_ + ": cannot write the picture: " + why);
}

void PlotSeries::Block(const MeasuredBlock& b)
{
    gap_ = gap_ || !b.InBand();
    if (!b.InBand()) return;
    points_.push_back({b.EndS, *b.Sn2500Db, gap_});
    gap_ = false;
}
