#include "sdr/SdrInput.h"

#include <QObject>

#include <mutex>
#include <stdexcept>
#include <vector>

#include "sdr/Tuner.h"

namespace {

constexpr double kPendingS = 2.0; // most audio kept while the user-interface thread is busy, s
// Audio is handed over in pieces of at least this long, s: a device's small
// reads would otherwise wake the user-interface thread some 200 times a second.
constexpr double kPieceS = 0.05;

class SdrStream final : public InputStream {
public:
    SdrStream(std::unique_ptr<SoapySource> source, std::unique_ptr<Tuner> tuner, std::uint32_t rate, FrameSink sink)
        : source_(std::move(source)), tuner_(std::move(tuner)), sink_(std::move(sink)),
          maxPending_(static_cast<std::size_t>(kPendingS * rate) * 2),
          minPiece_(static_cast<std::size_t>(kPieceS * rate) * 2)
    {
        source_->Start([this](const std::complex<float>* x, std::size_t n, bool gap) { Take(x, n, gap); },
                       [this] { QMetaObject::invokeMethod(context_.get(), [this] { if (Lost) Lost(); }, Qt::QueuedConnection); });
    }
    ~SdrStream() override { source_.reset(); } // the reading thread ends before the rest goes

    void DiscardPending() override
    {
        const std::lock_guard lock(m_);
        pending_.clear();
    }

private:
    // On the reading thread.
    void Take(const std::complex<float>* x, std::size_t n, bool gap)
    {
        frames_.resize(2 * tuner_->MaxFrames(n));
        const std::size_t got = tuner_->Process({x, n}, frames_);
        bool post = false;
        {
            const std::lock_guard lock(m_);
            if (gap) {
                // What is pending belongs to the block with the gap.
                pending_.clear();
                gap_ = true;
            }
            if (pending_.size() + 2 * got <= maxPending_)
                pending_.insert(pending_.end(), frames_.begin(), frames_.begin() + static_cast<std::ptrdiff_t>(2 * got));
            post = !posted_ && (pending_.size() >= minPiece_ || gap);
            posted_ = posted_ || post;
        }
        if (post) QMetaObject::invokeMethod(context_.get(), [this] { Deliver(); }, Qt::QueuedConnection);
    }

    // On the user-interface thread.
    void Deliver()
    {
        bool gap = false;
        {
            const std::lock_guard lock(m_);
            posted_ = false;
            delivering_.swap(pending_);
            pending_.clear();
            gap = gap_;
            gap_ = false;
        }
        if (gap && Gap) Gap();
        if (!delivering_.empty())
            sink_(reinterpret_cast<const char*>(delivering_.data()), delivering_.size() * sizeof(std::int16_t));
    }

    std::unique_ptr<SoapySource> source_;
    std::unique_ptr<Tuner> tuner_;
    FrameSink sink_;
    std::size_t maxPending_, minPiece_; // values (two per frame)
    std::vector<std::int16_t> frames_; // reading thread only
    std::unique_ptr<QObject> context_ = std::make_unique<QObject>(); // posted calls die with it
    std::mutex m_;                        // guards what follows
    std::vector<std::int16_t> pending_;   // tuned, not yet handed over
    bool posted_ = false, gap_ = false;
    std::vector<std::int16_t> delivering_; // user-interface thread only
};

} // namespace

std::unique_ptr<InputStream> SdrBackend::Open(const WAVEFORMATEX& format, FrameSink sink, MMRESULT* why)
{
    *why = MMSYSERR_BADDEVICEID;
    try {
        auto source = std::make_unique<SoapySource>(s_, format.nSamplesPerSec);
        auto tuner = std::make_unique<Tuner>(static_cast<std::uint32_t>(source->RateHz()), format.nSamplesPerSec,
                                             source->OffsetHz());
        auto stream = std::make_unique<SdrStream>(std::move(source), std::move(tuner), format.nSamplesPerSec, std::move(sink));
        error_.clear();
        *why = MMSYSERR_NOERROR;
        return stream;
    } catch (const SdrError& e) {
        error_ = e.what();
    } catch (const std::invalid_argument& e) {
        error_ = "soapy:" + s_.Args + ": " + e.what();
        *why = WAVERR_BADFORMAT;
    }
    return nullptr;
}
