#include "measure/Output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "engine/LogLine.h"
#include "engine/Measurement.h"
#include "engine/Results.h"
#include "measure/Files.h"
#include "measure/Stop.h"
#include "measure/WriteAll.h"

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

namespace {

bool RegularFile(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

Output::Output() : regular_(RegularFile(fd_)) {}

Output::Output(const std::string& path, const char* eol, std::string monitor)
    : monitor_(std::move(monitor)), eol_(eol)
{
    if (!path.empty()) {
        CheckFileToWrite(path);
        fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ < 0) Fail(kExitFile, path + ": cannot open for appending: " + std::strerror(errno));
        name_ = path;
        owned_ = true;
    }
    regular_ = RegularFile(fd_);
}

Output::~Output()
{
    if (owned_) ::close(fd_);
}

void Output::Line(std::string_view text)
{
    if (failed_) return;
    line_.assign(text);
    line_ += eol_;
    // What went to standard output through stdio (a file's "==> name <==") goes first.
    int error = fd_ == 1 && std::fflush(stdout) != 0 ? errno : 0;
    std::size_t written = 0;
    if (error == 0) error = WriteAll(fd_, line_.data(), line_.size(), &written);
    if (error == 0) return;
    // A part of the line (a full disk) is taken back out of the file.
    if (written > 0 && regular_) {
        const off_t end = ::lseek(fd_, 0, SEEK_CUR);
        const off_t start = end - static_cast<off_t>(written);
        if (end >= 0 && start >= 0 && ::ftruncate(fd_, start) == 0) ::lseek(fd_, start, SEEK_SET);
    }
    // The reader has gone (| head): the run ends as a signal ends it.
    if (error == EPIPE) {
        g_readerGone = true;
        throw Stop{0, ""};
    }
    Failure(name_ + ": cannot write: " + std::strerror(error));
}

void Output::Failure(const std::string& what)
{
    if (monitor_.empty()) Fail(kExitFile, what);
    if (failed_) return;
    failed_ = true;
    Flush();
    std::fprintf(stderr, "parlune-measure: %s: %s; nothing more is written for this monitor\n", monitor_.c_str(),
                 what.c_str());
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

Report::Report(const Options& o, Output& out, std::string name, bool live, const std::string& field, bool pictured)
    : o_(o), out_(out), name_(std::move(name)), prefix_(field.empty() ? "" : CsvField(field) + (o.Csv ? "," : ", ")),
      live_(live), pictured_(pictured || !o.Plot.empty())
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
        if (pictured_) points_.push_back({endS, SN2500HzDb(r.SN1HzDb), gap_});
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
    if (o_.Plot.empty() || out_.Failed()) return;
    // A device name may hold a '/' ("S/N"): only a recording's is a path.
    const QString name = QString::fromLocal8Bit(name_.data(), static_cast<qsizetype>(name_.size()));
    const QString label = live_ ? name : QFileInfo(name).fileName();
    const QImage img = DrawSnPlot(points_, endS, QSize(o_.PlotWidth, o_.PlotHeight), label + QStringLiteral(": S/N in 2500 Hz"));
    if (const std::string why = WritePng(img, o_.Plot); !why.empty())
        out_.Failure(o_.Plot + ": cannot write the picture: " + why);
}

void Report::WritePlotAfterStop(double endS) const
{
    try {
        WritePlot(endS);
    } catch (const Stop&) {
    }
}

void Report::Summary(std::optional<double> measuredShare, Outage outage)
{
    if (!o_.Summary) return;
    std::string unmeasured =
        unmeasured_ > 0 ? "; " + std::to_string(unmeasured_) + " not measured (digital silence)" : "";
    if (measuredShare) unmeasured += "; " + Fixed(100 * *measuredShare, 1) + "% of the audio measured";
    if (outage.Losses > 0)
        unmeasured += "; input lost " + std::to_string(outage.Losses) + (outage.Losses == 1 ? " time" : " times") +
                      ", away " + Fixed(outage.AwayS, 1) + " s";
    if (outage.GapS > 0) unmeasured += "; gaps in the audio " + Fixed(outage.GapS, 1) + " s";
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
