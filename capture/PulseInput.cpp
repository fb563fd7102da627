#include "capture/PulseInput.h"

#include <pulse/context.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <QObject>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

namespace {

constexpr int kOpenWaitMs = 2000;  // for the server to accept or refuse a new stream
constexpr double kFragmentS = 0.1; // audio per hand-over, s
constexpr double kPendingS = 2.0;   // most audio kept while the user-interface thread is busy, s

class PulseStream final : public InputStream {
public:
    PulseStream(const std::string& source, const pa_sample_spec& spec, std::size_t frameBytes, FrameSink sink)
        : frameBytes_(frameBytes), sink_(std::move(sink)),
          maxPending_(static_cast<std::size_t>(kPendingS * spec.rate) * frameBytes)
    {
        loop_ = pa_threaded_mainloop_new();
        ctx_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Parlune");
        stream_ = pa_stream_new(ctx_, "Parlune capture", &spec, nullptr);
        source_ = source;
        attr_.maxlength = static_cast<std::uint32_t>(-1);
        attr_.fragsize = static_cast<std::uint32_t>(kFragmentS * spec.rate) * static_cast<std::uint32_t>(frameBytes);
        pa_context_set_state_callback(ctx_, OnContext, this);
        pa_stream_set_state_callback(stream_, OnStream, this);
        pa_stream_set_read_callback(stream_, OnRead, this);
        if (pa_context_connect(ctx_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
            pa_threaded_mainloop_start(loop_) < 0)
            Settle(false);
    }

    ~PulseStream() override
    {
        // The thread goes first: after this nothing posts to context_.
        pa_threaded_mainloop_stop(loop_);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        pa_context_disconnect(ctx_);
        pa_context_unref(ctx_);
        pa_threaded_mainloop_free(loop_);
    }

    // Waits until the server has accepted or refused the stream; a server
    // that takes longer gets the benefit of the doubt (the layer's watchdog
    // catches one that never delivers).
    MMRESULT WaitOpen()
    {
        std::unique_lock lock(m_);
        settled_.wait_for(lock, std::chrono::milliseconds(kOpenWaitMs), [this] { return state_ != State::Opening; });
        if (state_ != State::Failed)
            return MMSYSERR_NOERROR;
        // No such source, or no server: either way the device has gone.
        return MMSYSERR_BADDEVICEID;
    }

    void DiscardPending() override
    {
        const std::lock_guard lock(m_);
        pending_.clear();
    }

private:
    enum class State { Opening, Open, Failed };

    // The callbacks below run on the stream's thread.
    static void OnContext(pa_context* c, void* data)
    {
        auto* self = static_cast<PulseStream*>(data);
        const pa_context_state_t s = pa_context_get_state(c);
        if (s == PA_CONTEXT_READY) {
            // Never moved to another source: a source that goes is a lost input.
            const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
            if (pa_stream_connect_record(self->stream_, self->source_.c_str(), &self->attr_, flags) < 0)
                self->Settle(false);
        } else if (!PA_CONTEXT_IS_GOOD(s)) {
            self->Settle(false);
        }
    }

    static void OnStream(pa_stream* s, void* data)
    {
        auto* self = static_cast<PulseStream*>(data);
        const pa_stream_state_t state = pa_stream_get_state(s);
        if (state == PA_STREAM_READY)
            self->Settle(true);
        else if (!PA_STREAM_IS_GOOD(state))
            self->Settle(false);
    }

    static void OnRead(pa_stream* s, std::size_t, void* data)
    {
        auto* self = static_cast<PulseStream*>(data);
        const void* bytes = nullptr;
        std::size_t n = 0;
        while (pa_stream_peek(s, &bytes, &n) == 0 && n > 0) {

            if (bytes != nullptr) // else a hole: nothing was recorded there
                self->Take(static_cast<const char*>(bytes), n);
            pa_stream_drop(s);
        }
    }

    void Take(const char* bytes, std::size_t n)
    {
        bool post = false;
        {
            const std::lock_guard lock(m_);
            if (pending_.size() + n <= maxPending_)
                pending_.insert(pending_.end(), bytes, bytes + n);
            post = !posted_;
            posted_ = true;
        }
        if (post)
            QMetaObject::invokeMethod(context_.get(), [this] { Deliver(); }, Qt::QueuedConnection);
    }

    // The first settling decides whether the open worked; a failure after
    // that is a lost input, told on the user-interface thread.
    void Settle(bool open)
    {
        {
            const std::lock_guard lock(m_);
            if (state_ == State::Failed)
                return;
            const bool wasOpening = state_ == State::Opening;
            state_ = open ? State::Open : State::Failed;
            settled_.notify_all();
            if (open || wasOpening)
                return;
        }
        QMetaObject::invokeMethod(context_.get(), [this] { if (Lost) Lost(); }, Qt::QueuedConnection);
    }

    // On the user-interface thread: hands over whole frames.
    void Deliver()
    {
        {
            const std::lock_guard lock(m_);
            posted_ = false;
            delivering_.swap(pending_);
            pending_.clear();
        }
        const std::size_t whole = delivering_.size() - delivering_.size() % frameBytes_;
        if (whole > 0)
            sink_(delivering_.data(), whole);
    }

    pa_threaded_mainloop* loop_;
    pa_context* ctx_;
    pa_stream* stream_;
    std::string source_;
    pa_buffer_attr attr_{static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1),
                         static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1)};
    std::size_t frameBytes_;
    FrameSink sink_;
    std::size_t maxPending_;
    std::unique_ptr<QObject> context_ = std::make_unique<QObject>(); // posted calls die with it
    std::mutex m_;                     // guards what follows
    std::condition_variable settled_;  // state_ left Opening
    State state_ = State::Opening;
    std::vector<char> pending_;        // arrived, not yet handed over
    bool posted_ = false;              // a Deliver is on its way
    std::vector<char> delivering_;     // user-interface thread only
};

class PulseBackend final : public InputBackend {
public:
    explicit PulseBackend(AudioSource source) : source_(std::move(source)) {}

    std::string Name() const override { return source_.Description; }
    // The server converts any rate and channel count.
    std::uint32_t Formats() const override { return WAVE_FORMAT_1S16; }
    bool IsDefault() const override { return source_.Default; }

    std::unique_ptr<InputStream> Open(const WAVEFORMATEX& format, FrameSink sink, MMRESULT* why) override
    {
        const pa_sample_spec spec{PA_SAMPLE_S16LE, format.nSamplesPerSec, static_cast<std::uint8_t>(format.nChannels)};
        if (!pa_sample_spec_valid(&spec)) {
            *why = WAVERR_BADFORMAT;
            return nullptr;
        }
        auto stream = std::make_unique<PulseStream>(source_.Name, spec, format.nBlockAlign, std::move(sink));
        *why = stream->WaitOpen();
        return *why == MMSYSERR_NOERROR ? std::move(stream) : nullptr;
    }

private:
    AudioSource source_;
};

} // namespace

ServerState AppendPulseInputs(BackendList& list, int timeoutMs)
{
    std::vector<AudioSource> sources;
    const ServerState state = ListAudioSources(timeoutMs, &sources);
    for (AudioSource& s : sources)
        list.push_back(std::make_shared<PulseBackend>(std::move(s)));
    return state;
}
