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

Report::Report(const Options& o, Output& out, std::string name, bool live, const std::string& field, bool pictured,
               const std::vector<BlockOutput*>& more)
    : out_(out), name_(std::move(name)), live_(live)
{
    // Before every line: the monitor's field and separator, or "".
    const std::string prefix = field.empty() ? "" : CsvField(field) + (o.Csv ? "," : ", ");
    // A device name may hold a '/' ("S/N"): only a recording's is a path.
    const QString label = QString::fromLocal8Bit(name_.data(), static_cast<qsizetype>(name_.size()));
    plot_ = std::make_unique<PlotSeries>(out_, o.Plot, live_ ? label : QFileInfo(label).fileName(),
                                         QSize(o.PlotWidth, o.PlotHeight));
    if (o.Summary) summary_ = std::make_unique<SummaryLine>(out_, prefix);
    if (o.Csv)
        lines_ = std::make_unique<CsvRows>(out_, prefix);
    else
        lines_ = std::make_unique<LogLines>(out_, prefix, live_, o.Measure.IntervalS);
    std::vector<BlockOutput*> all = {pictured || !o.Plot.empty() ? plot_.get() : nullptr, summary_.get(), lines_.get()};
    all.insert(all.end(), more.begin(), more.end());
    for (BlockOutput* output : all)
        if (output != nullptr) outputs_.push_back(output);
}

void Report::Block(const BlockResult& r, const ChainParams& p, double startS, double endS)
{
    MeasuredBlock b{r, blocks_, startS, endS, true, std::nullopt, std::nullopt};
    // A live watch goes on through digital silence (a muted receiver): the
    // block is one without figures.
    b.Measured = !(r.End == BlockEnd::Fault && live_);
    if (r.End == BlockEnd::Fault && b.Measured) {
        out_.Flush();
        Fail(kExitMeasurement, name_ + ": block " + std::to_string(blocks_) + ": measurement ended: " + r.FaultText +
                                   " (a bin of zero power, as in silence?)");
    }
    if (r.End == BlockEnd::NoNoise)
        Fail(kExitMeasurement, name_ + ": block " + std::to_string(blocks_) + ": " + kNoNoiseMessage);
    if (r.BandwidthReset && !resetShown_) {
        out_.Flush();
        std::fprintf(stderr, "parlune-measure: %s: block %lld: %s\n", name_.c_str(), static_cast<long long>(blocks_),
                     kNoNoiseMessage);
        resetShown_ = true;
    }
    ++blocks_;
    endS_ = endS;
    if (b.Measured && r.InBand) {
        b.Sn2500Db = SN2500HzDb(r.SN1HzDb);
        b.CorrectedDb = CorrectedSN2500HzDb(r.SigPower, r.NoisePower, p.SigBWHz);
    }
    for (BlockOutput* output : outputs_) output->Block(b);
}

void Report::WritePlotAfterStop(double endS) const
{
    try {
        WritePlot(endS);
    } catch (const Stop&) {
    }
}

void Report::Finish(RunEnd end)
{
    for (BlockOutput* output : outputs_) output->Close(end);
}
