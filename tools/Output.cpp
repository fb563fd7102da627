#include "tools/Output.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "engine/LogLine.h"
#include "engine/Measurement.h"
#include "engine/Results.h"
#include "tools/Files.h"
#include "tools/Stop.h"

namespace {

bool g_readerGone = false;

// A CSV field: quoted when it holds a comma or a quote.
std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"") == std::string::npos) return text;
    std::string out = "\"";
    for (const char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

} // namespace

bool ReaderGone() { return g_readerGone; }

void CheckWritable(const std::string& path)
{
    CheckFileToWrite(path);
    QFile f(QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size())));
    const bool existed = f.exists();
    if (!f.open(QIODevice::Append)) Fail(kExitFile, path + ": cannot write: " + f.errorString().toStdString());
    f.close();
    if (!existed) f.remove();
}

std::string Fixed(double x, int decimals)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, x);
    return buf;
}

Output::Output(const std::string& path, const char* eol, bool flushEach) : name_(path), eol_(eol), flushEach_(flushEach)
{
    if (!path.empty()) {
        CheckFileToWrite(path);
        file_ = std::fopen(path.c_str(), "ab");
        if (!file_) Fail(kExitFile, path + ": cannot open for appending: " + std::strerror(errno));
        owned_ = true;
    }
}

Output::~Output()
{
    if (owned_) std::fclose(file_);
}

void Output::Line(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), file_);
    std::fputs(eol_, file_);
    if ((flushEach_ && std::fflush(file_) != 0) || std::ferror(file_)) {
        // The reader has gone (| head): the run ends as a signal ends it.
        if (errno == EPIPE) {
            g_readerGone = true;
            throw Stop{0, ""};
        }
        Fail(kExitFile, name_ + ": cannot write: " + std::strerror(errno));
    }
}

void Output::Header(std::string_view text)
{
    if (headed_) return;
    headed_ = true;
    Line(text);
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

Report::Report(const Options& o, Output& out, std::string name, bool live, const std::string& field)
    : o_(o), out_(out), name_(std::move(name)), prefix_(field.empty() ? "" : CsvField(field) + (o.Csv ? "," : ", ")),
      live_(live)
{
    // Logging is switched on at the start, as the window's log switch does.
    if (live_)
        schedule_.StartByClock();
    else
        schedule_.StartAtPosition(0);
    if (o_.Csv)
        out_.Header(std::string(prefix_.empty() ? "" : "monitor,") +
                    "block,start_s,peak_hz,peak_db,noise_db,sn_bin_db,sn_1hz_db,sn_2500hz_db,in_band,sn_2500hz_corrected_db");
}

std::optional<double> Report::Block(const BlockResult& r, const ChainParams& p, double startS, double endS)
{
    const std::int64_t block = blocks_;
    if (r.End == BlockEnd::Fault && live_) {
        // A live watch goes on through digital silence (a muted receiver):
        // the block is a row without figures.
        ++blocks_;
        ++unmeasured_;
        endS_ = endS;
        gap_ = true;
        if (o_.Csv) out_.Line(prefix_ + std::to_string(block) + "," + Fixed(startS) + ",,,,,,,0,");
        return std::nullopt;
    }
    if (r.End == BlockEnd::Fault) {
        out_.Flush();
        Fail(kExitMeasurement, name_ + ": block " + std::to_string(block) + ": measurement ended: " + r.FaultText +
                                   " (a bin of zero power, as in silence?)");
    }
    if (r.End == BlockEnd::NoNoise)
        Fail(kExitMeasurement, name_ + ": block " + std::to_string(block) + ": " + kNoNoiseMessage);
    if (r.BandwidthReset && !resetShown_) {
        out_.Flush();
        std::fprintf(stderr, "parlune-measure: %s: block %lld: %s\n", name_.c_str(), static_cast<long long>(block),
                     kNoNoiseMessage);
        resetShown_ = true;
    }
    ++blocks_;
    endS_ = endS;
    std::optional<double> corrected;
    gap_ = gap_ || !r.InBand;
    if (r.InBand) {
        points_.push_back({endS, SN2500HzDb(r.SN1HzDb), gap_});
        gap_ = false;
        sn_.Add(SN2500HzDb(r.SN1HzDb));
        corrected = CorrectedSN2500HzDb(r.SigPower, r.NoisePower, p.SigBWHz);
        if (corrected) corrected_.Add(*corrected);
    }
    if (o_.Csv) {
        std::string row = prefix_ + std::to_string(block) + "," + Fixed(startS) + "," + Fixed(r.PeakHz) + "," +
                          Fixed(r.PeakLevel) + "," + Fixed(r.NoiseLevel) + ",";
        if (r.InBand)
            row += Fixed(r.SNBinDb) + "," + Fixed(r.SN1HzDb) + "," + Fixed(SN2500HzDb(r.SN1HzDb)) + ",1,";
        else
            row += ",,,0,";
        if (corrected) row += Fixed(*corrected);
        out_.Line(row);
    } else if (r.InBand) {
        LogLineIfDue(r, endS);
    }
    return corrected;
}

// Every --interval seconds while the peak is in the band, as the window
// logs: a live run by the time of day, a recording by the position in it.
void Report::LogLineIfDue(const BlockResult& r, double endS)
{
    const double interval = o_.Measure.IntervalS;
    const std::optional<DueLine> due = live_ ? schedule_.DueByClock(interval) : schedule_.DueAtPosition(endS, interval);
    if (!due) return;
    schedule_.Logged(*due);
    out_.Line(prefix_ + LogLine(due->Clock, r.PeakHz, r.PeakLevel, r.NoiseLevel, r.SN1HzDb));
}

void Report::WritePlot(double endS) const
{
    if (o_.Plot.empty()) return;
    // A device name may hold a '/' ("S/N"): only a recording's is a path.
    const QString name = QString::fromLocal8Bit(name_.data(), static_cast<qsizetype>(name_.size()));
    const QString label = live_ ? name : QFileInfo(name).fileName();
    const QImage img = DrawSnPlot(points_, endS, QSize(o_.PlotWidth, o_.PlotHeight), label + QStringLiteral(": S/N in 2500 Hz"));
    if (const std::string why = WritePng(img, o_.Plot); !why.empty())
        Fail(kExitFile, o_.Plot + ": cannot write the picture: " + why);
}

void Report::WritePlotAfterStop(double endS) const
{
    try {
        WritePlot(endS);
    } catch (const Stop&) {
    }
}

void Report::Summary(std::optional<double> measuredShare)
{
    if (!o_.Summary) return;
    std::string unmeasured =
        unmeasured_ > 0 ? "; " + std::to_string(unmeasured_) + " not measured (digital silence)" : "";
    if (measuredShare) unmeasured += "; " + Fixed(100 * *measuredShare, 1) + "% of the audio measured";
    if (sn_.Count == 0) {
        out_.Line(prefix_ + "summary: " + std::to_string(blocks_) + " blocks, none with the peak in the band" + unmeasured);
        return;
    }
    std::string line = prefix_ + "summary: " + std::to_string(blocks_) + " blocks, " + std::to_string(sn_.Count) +
                       " with the peak in the band; S/N 2500Hz " + sn_.Text();
    if (corrected_.Count > 0)
        line += "; corrected over " + std::to_string(corrected_.Count) + " blocks " + corrected_.Text();
    out_.Line(line + unmeasured);
}
