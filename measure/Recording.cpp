#include "measure/Recording.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "engine/NumberText.h"
#include "measure/Files.h"
#include "measure/IqRecording.h"
#include "measure/Output.h"
#include "measure/Stop.h"

namespace {

// An open recording read block by block as 16-bit stereo frames, or as
// complex samples (first channel I, second Q) for the tuner.
class Recording final : public IqSource {
public:
    // A file that may be tuned (anyRate) may have any rate; CheckRate then
    // refuses the rate when it is not.
    Recording(const std::string& path, bool anyRate) : path_(path)
    {
        // A FIFO would block the opening, a device never end.
        if (const std::string why = NotAFileToRead(path); !why.empty()) Fail(kExitFile, path + ": " + why);
        // Tell a missing or unreadable file from one that is not audio.
        if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
            std::fclose(f);
        } else {
            Fail(kExitFile, path + ": cannot open: " + std::strerror(errno));
        }
        file_ = sf_open(path.c_str(), SFM_READ, &info_);
        if (!file_) Fail(kExitFile, path + ": not an audio file libsndfile can read (" + sf_strerror(nullptr) + ")");
        // The destructor does not run for a constructor that throws.
        const auto refuse = [this](int status, const std::string& why) {
            sf_close(file_);
            Fail(status, why);
        };
        if (info_.channels < 1 || info_.samplerate < 1) refuse(kExitFile, path + ": no channels or no sample rate");
        if (!anyRate && !RateProblem().empty()) refuse(kExitUsage, RateProblem());
    }
    ~Recording() override
    {
        if (file_) sf_close(file_);
    }
    void CheckRate() const
    {
        if (const std::string why = RateProblem(); !why.empty()) Fail(kExitUsage, why);
    }
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    double Rate() const { return info_.samplerate; }
    sf_count_t Frames() const { return info_.frames; }
    std::int64_t Samples() const override { return info_.frames; }

    std::size_t Read(std::complex<float>* out, std::size_t max) override
    {
        const std::size_t ch = static_cast<std::size_t>(info_.channels);
        floats_.resize(max * ch);
        const sf_count_t got = std::max<sf_count_t>(sf_readf_float(file_, floats_.data(), static_cast<sf_count_t>(max)), 0);
        for (std::size_t i = 0; i < static_cast<std::size_t>(got); ++i) {
            out[i] = {floats_[i * ch], floats_[i * ch + (ch > 1 ? 1 : 0)]};
            if (!std::isfinite(out[i].real()) || !std::isfinite(out[i].imag()))
                NotFinite(path_, static_cast<double>(read_ + static_cast<sf_count_t>(i)) / Rate());
        }
        read_ += got;
        return static_cast<std::size_t>(got);
    }

    // Reads the next n frames into out (2n values); false at the end of the
    // file (a last, incomplete block is dropped).  A sample that is NaN or
    // infinite (possible in float files) stops the file.
    bool Next(std::int32_t n, std::vector<std::int16_t>& out)
    {
        const std::size_t ch = static_cast<std::size_t>(info_.channels);
        raw_.resize(static_cast<std::size_t>(n) * ch);
        const sf_count_t got = sf_readf_double(file_, raw_.data(), n);
        const std::size_t values = static_cast<std::size_t>(std::max<sf_count_t>(got, 0)) * ch;
        for (std::size_t i = 0; i < values; ++i)
            if (!std::isfinite(raw_[i]))
                NotFinite(path_, static_cast<double>(read_ + i / ch) / Rate());
        read_ += static_cast<sf_count_t>(values / ch);
        if (got < n) return false;
        out.resize(2 * static_cast<std::size_t>(n));
        for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
            out[2 * i] = To16(raw_[i * ch]);
            out[2 * i + 1] = To16(raw_[i * ch + (ch > 1 ? 1 : 0)]);
        }
        return true;
    }

private:
    std::string RateProblem() const
    {
        if (info_.samplerate >= kMinRate && info_.samplerate <= kMaxRate) return "";
        return path_ + ": the sample rate " + std::to_string(info_.samplerate) + " Hz is outside " + std::to_string(kMinRate) +
               " .. " + std::to_string(kMaxRate) + " Hz";
    }

    // Samples come normalised to -1 .. 1 (integer formats: exactly k / 32768
    // for 16-bit k); back to the 16-bit range, rounded and clipped.
    static std::int16_t To16(double x)
    {
        const double v = std::nearbyint(x * 32768.0);
        if (!(v > -32768)) return -32768; // also catches NaN
        if (v > 32767) return 32767;
        return static_cast<std::int16_t>(v);
    }

    std::string path_;
    SF_INFO info_{};
    SNDFILE* file_ = nullptr;
    std::vector<double> raw_;
    std::vector<float> floats_;
    sf_count_t read_ = 0; // frames read so far
};

} // namespace

void MeasureFile(const Options& o, const std::string& path, ChainState& state)
{
    const std::int32_t n = o.Measure.FftSize;
    // A WAV file as it is, or a recording through the tuner.
    const std::optional<IqFormat> raw = RawIqFormat(o, path);
    std::unique_ptr<Recording> wav;
    if (!raw) wav = std::make_unique<Recording>(path, o.DialHz || o.RateTyped);
    const std::optional<TunePlan> plan = PlanTuning(o, path, raw ? o.SdrRate : wav->Rate(), raw.has_value());
    std::unique_ptr<TunedBlocks> tuned;
    if (plan) {
        std::unique_ptr<IqSource> source;
        if (raw) source = OpenRawIq(path, *raw, o.SdrRate);
        else source = std::move(wav);
        tuned = std::make_unique<TunedBlocks>(path, *plan, std::move(source));
    } else {
        wav->CheckRate();
    }
    const double rate = tuned ? tuned->Rate() : wav->Rate(), lead = tuned ? tuned->LeadS() : 0;
    const std::int64_t frames = tuned ? tuned->Frames() : wav->Frames();
    if (frames < n)
        Fail(kExitFile, path + ": shorter than one block (" + std::to_string(frames) + " frames, FFT size " +
                            std::to_string(n) + ")");
    ChainParams p = RunParams(o, rate, path);
    StartRun(state, p, o.Measure.Window);

    Output out;
    Report report(o, out, path, false);
    std::vector<std::int16_t> block16;
    try {
        for (std::int64_t block = 0;; ++block) {
            if (!(tuned ? tuned->Next(n, block16) : wav->Next(n, block16))) {
                if (block == 0) Fail(kExitFile, path + ": shorter than one block (FFT size " + std::to_string(n) + ")");
                break;
            }
            report.Block(RunBlock(block16.data(), p, state), p, lead + static_cast<double>(block) * n / rate,
                         lead + static_cast<double>(block + 1) * n / rate);
        }
    } catch (const Stop&) {
        report.WritePlotAfterStop(report.EndS());
        throw;
    }
    report.Finish({report.EndS(), std::nullopt, {}});
}
