#include "capture/QtInput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QIODevice>
#include <QMediaDevices>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QtDebug>
#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace {

QAudioFormat ToQtFormat(std::uint32_t rate, int channels)
{
    QAudioFormat f;
    f.setSampleRate(static_cast<int>(rate));
    f.setChannelCount(channels);
    f.setSampleFormat(QAudioFormat::Int16);
    return f;
}

class QtInputStream final : public InputStream {
public:
    QtInputStream(const QAudioDevice& device, const QAudioFormat& format, std::size_t frameBytes, FrameSink sink)
        : device_(device), format_(format), frameBytes_(frameBytes), sink_(std::move(sink))
    {
        chunk_.resize(16384 + frameBytes_);
        // Just after the audio server comes back Qt needs a few seconds to
        // reconnect, and a start fails meanwhile: try again until it works.
        // A stream that never starts delivers nothing, which the layer
        // takes for a lost input after its start-up limit.
        if (!TryStart()) {
            QObject::connect(&retry_, &QTimer::timeout, context_.get(), [this] {
                if (TryStart())
                    retry_.stop();
            });
            retry_.start(kRetryMs);
        }
    }

    ~QtInputStream() override
    {
        retry_.stop();
        // Qt deletes the source's device when the audio server goes, so the
        // connections are cut from our side: their context goes first.
        context_.reset();
        // Qt 6.4 aborts inside libpulse when a running source is destroyed.
        if (source_)
            source_->stop();
    }

    void DiscardPending() override { Drain(false); }

private:
    // Reads everything the source holds and passes on whole frames; a
    // partial frame waits for the rest.
    void Drain(bool deliver)
    {
        if (draining_)
            return;
        draining_ = true;
        for (;;) {
            if (!io_)
                break;
            const qint64 n = io_->read(chunk_.data() + carry_, static_cast<qint64>(chunk_.size() - carry_));
            if (n <= 0)
                break;
            const std::size_t have = carry_ + static_cast<std::size_t>(n);
            const std::size_t whole = have - have % frameBytes_;
            if (deliver && whole > 0)
                sink_(chunk_.data(), whole);
            carry_ = have - whole;
            std::memmove(chunk_.data(), chunk_.data() + whole, carry_);
        }
        draining_ = false;
    }

    // A started source, or false with nothing changed.
    bool TryStart()
    {
        auto source = std::make_unique<QAudioSource>(device_, format_);
        QIODevice* io = source->start();
        if (io == nullptr || source->error() != QAudio::NoError) {
            source->stop();
            return false;
        }
        source_ = std::move(source);
        io_ = io;
        QObject::connect(io_, &QIODevice::readyRead, context_.get(), [this] { Drain(true); });
        QObject::connect(source_.get(), &QAudioSource::stateChanged, context_.get(), [this](QAudio::State s) {
            // A lost device (unplugged, server gone) stops delivering for good.
            if (s == QAudio::StoppedState && source_->error() != QAudio::NoError && !lost_) {
                lost_ = true;
                qWarning("Sound input lost (Qt audio error %d)", static_cast<int>(source_->error()));
                if (Lost)
                    Lost();
            }
        });
        return true;
    }

    static constexpr int kRetryMs = 500;
    QAudioDevice device_;
    QAudioFormat format_;
    QTimer retry_;
    std::unique_ptr<QAudioSource> source_;
    QPointer<QIODevice> io_; // owned by source_, which deletes it when the server goes
    std::size_t frameBytes_;
    FrameSink sink_;
    std::unique_ptr<QObject> context_ = std::make_unique<QObject>(); // our lambdas live while it does
    std::vector<char> chunk_;
    std::size_t carry_ = 0;
    bool draining_ = false;
    bool lost_ = false;
};

class QtInputBackend final : public InputBackend {
public:
    explicit QtInputBackend(const QAudioDevice& device) : device_(device)
    {
        name_ = device.description().toStdString();
        if (device.isFormatSupported(ToQtFormat(11025, 2)))
            formats_ |= WAVE_FORMAT_1S16;
        channels_ = static_cast<std::uint16_t>(std::clamp(device.maximumChannelCount(), 0, 0xFFFF));
    }

    std::string Name() const override { return name_; }
    std::uint32_t Formats() const override { return formats_; }
    std::uint16_t Channels() const override { return channels_; }
    bool IsDefault() const override { return QMediaDevices::defaultAudioInput().id() == device_.id(); }

    std::unique_ptr<InputStream> Open(const WAVEFORMATEX& format, FrameSink sink, MMRESULT* why) override
    {
        // The device list is a snapshot: the device may have gone since.
        const auto inputs = QMediaDevices::audioInputs();
        const auto it = std::find_if(inputs.begin(), inputs.end(),
                                     [this](const QAudioDevice& d) { return d.id() == device_.id(); });
        if (it == inputs.end()) {
            *why = MMSYSERR_BADDEVICEID;
            return nullptr;
        }
        const QAudioFormat qf = ToQtFormat(format.nSamplesPerSec, format.nChannels);
        if (!it->isFormatSupported(qf)) {
            *why = WAVERR_BADFORMAT;
            return nullptr;
        }
        return std::make_unique<QtInputStream>(*it, qf, format.nBlockAlign, std::move(sink));
    }

private:
    QAudioDevice device_;
    std::string name_;
    std::uint32_t formats_ = 0;
    std::uint16_t channels_ = 0;
};

} // namespace

void AppendQtInputs(BackendList& list)
{
    for (const QAudioDevice& d : QMediaDevices::audioInputs())
        list.push_back(std::make_shared<QtInputBackend>(d));
}
