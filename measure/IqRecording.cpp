#include "measure/IqRecording.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "engine/NumberText.h"
#include "measure/Files.h"
#include "measure/Stop.h"

namespace {

constexpr std::size_t kChunk = std::size_t{1} << 16; // samples a read takes: 128 KiB of cu8

// A raw IQ file read a chunk at a time (OpenRawIq).
class RawIqFile final : public IqSource {
public:
    RawIqFile(const std::string& path, IqFormat format, double rate);
    ~RawIqFile() override { std::fclose(file_); }
    RawIqFile(const RawIqFile&) = delete;
    RawIqFile& operator=(const RawIqFile&) = delete;
    std::size_t Read(std::complex<float>* out, std::size_t max) override;
    std::int64_t Samples() const override { return samples_; }

private:
    std::string path_;
    IqFormat format_;
    double rate_;
    std::FILE* file_ = nullptr;
    std::int64_t samples_ = 0, read_ = 0;
    std::vector<std::uint8_t> bytes_;
};

} // namespace

std::optional<IqFormat> RawIqFormat(const Options& o, const std::string& path)
{
    if (o.Iq) return o.Iq;
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return std::nullopt;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    try {
        return ParseIqFormat(ext);
    } catch (const std::invalid_argument&) {
        return std::nullopt;
    }
}

std::optional<TunePlan> PlanTuning(const Options& o, const std::string& path, double inputRate, bool raw)
{
    if (raw && inputRate == 0) Fail(kExitUsage, path + ": a raw IQ recording needs --sdr-rate, its sample rate in Hz");
    if (!raw && o.SdrRate != 0 && o.SdrRate != inputRate)
        Fail(kExitUsage, path + ": --sdr-rate " + PlainText(o.SdrRate) + " Hz is not the file's own rate, " + PlainText(inputRate) + " Hz");
    const std::optional<double> centre = o.IqCentreHz ? o.IqCentreHz : CentreFromFileName(path);
    if (o.DialHz && !centre)
        Fail(kExitUsage, path + ": --dial needs the recording's centre frequency: give --iq-centre (the file name has none)");
    const double offset = o.DialHz ? *o.DialHz - *centre : 0;
    // A WAV file keeps today's path unless it is shifted or slowed.
    if (!raw && offset == 0 && (!o.RateTyped || o.Rate == inputRate)) return std::nullopt;
    if (o.Rate > inputRate)
        Fail(kExitUsage, path + ": the analysis rate " + PlainText(o.Rate) + " Hz (--rate) is above the recording's sample rate " +
                             PlainText(inputRate) + " Hz");
    if (std::abs(offset) + o.Rate / 2.0 > inputRate / 2)
        Fail(kExitUsage, path + ": --dial " + PlainText(*o.DialHz) + " Hz +- half the analysis rate must lie within " +
                             PlainText(*centre - inputRate / 2) + " .. " + PlainText(*centre + inputRate / 2) +
                             " Hz, the recording's centre +- half its rate");
    return TunePlan{static_cast<std::uint32_t>(inputRate), static_cast<std::uint32_t>(o.Rate), offset};
}

void NotFinite(const std::string& path, double seconds)
{
    Fail(kExitFile, path + ": the sample at " + Fixed(seconds, 3) + " s is not a finite number (NaN or infinity)");
}

RawIqFile::RawIqFile(const std::string& path, IqFormat format, double rate)
    : path_(path), format_(format), rate_(rate), bytes_(kChunk * BytesPerSample(format))
{
    if (const std::string why = NotAFileToRead(path); !why.empty()) Fail(kExitFile, path + ": " + why);
    file_ = std::fopen(path.c_str(), "rb");
    struct stat st {};
    if (!file_ || fstat(fileno(file_), &st) != 0) {
        const std::string why = std::strerror(errno);
        if (file_) std::fclose(file_);
        Fail(kExitFile, path + ": cannot open: " + why);
    }
    samples_ = static_cast<std::int64_t>(st.st_size / static_cast<off_t>(BytesPerSample(format)));
}

std::size_t RawIqFile::Read(std::complex<float>* out, std::size_t max)
{
    const std::size_t size = BytesPerSample(format_);
    // Whole samples only: fread leaves out a trailing part of one.
    const std::size_t want = std::min(max, kChunk);
    const std::size_t got = std::fread(bytes_.data(), size, want, file_);
    if (std::ferror(file_)) Fail(kExitFile, path_ + ": cannot read: " + std::strerror(errno));
    ToComplex(format_, bytes_.data(), got, out);
    if (format_ == IqFormat::Cf32)
        for (std::size_t i = 0; i < got; ++i)
            if (!std::isfinite(out[i].real()) || !std::isfinite(out[i].imag())) NotFinite(path_, static_cast<double>(read_ + i) / rate_);
    read_ += static_cast<std::int64_t>(got);
    return got;
}

std::unique_ptr<IqSource> OpenRawIq(const std::string& path, IqFormat format, double rate)
{
    return std::make_unique<RawIqFile>(path, format, rate);
}

TunedBlocks::TunedBlocks(const std::string& path, const TunePlan& plan, std::unique_ptr<IqSource> source)
    : source_(std::move(source)), rate_(plan.AnalysisRate), inputRate_(plan.InputRate), in_(kChunk)
{
    try {
        tuner_ = std::make_unique<Tuner>(plan.InputRate, plan.AnalysisRate, plan.OffsetHz);
    } catch (const std::invalid_argument& e) {
        Fail(kExitUsage, path + ": " + e.what());
    }
}

std::int64_t TunedBlocks::Frames() const
{
    const auto all = static_cast<std::int64_t>(static_cast<double>(source_->Samples()) * rate_ / inputRate_);
    return std::max<std::int64_t>(0, all - static_cast<std::int64_t>(tuner_->SettleFrames()));
}

bool TunedBlocks::Next(std::int32_t n, std::vector<std::int16_t>& out)
{
    const std::size_t values = 2 * static_cast<std::size_t>(n);
    while (pending_.size() - used_ < values) {
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(used_));
        used_ = 0;
        const std::size_t got = source_->Read(in_.data(), in_.size());
        if (got == 0) return false;
        const std::size_t old = pending_.size();
        pending_.resize(old + 2 * tuner_->MaxFrames(got));
        const std::size_t frames = tuner_->Process({in_.data(), got}, {pending_.data() + old, pending_.size() - old});
        pending_.resize(old + 2 * frames);
    }
    out.assign(pending_.begin() + static_cast<std::ptrdiff_t>(used_), pending_.begin() + static_cast<std::ptrdiff_t>(used_ + values));
    used_ += values;
    return true;
}
