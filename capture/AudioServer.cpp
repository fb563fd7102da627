#include "capture/AudioServer.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>

#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>

namespace {

constexpr int kWatchProbeMs = 1500;

// What the listing has gathered; the callbacks run inside pa_mainloop_dispatch.
struct Listing {
    std::vector<AudioSource>* sources = nullptr;
    std::string defaultName;
    int pending = 0; // replies still to come
    bool failed = false;
};

void OnServerInfo(pa_context*, const pa_server_info* i, void* data)
{
    auto& l = *static_cast<Listing*>(data);
    if (i != nullptr && i->default_source_name != nullptr)
        l.defaultName = i->default_source_name;
    --l.pending;
}

void OnSourceInfo(pa_context*, const pa_source_info* i, int eol, void* data)
{
    auto& l = *static_cast<Listing*>(data);
    if (eol != 0) {
        l.failed = l.failed || eol < 0;
        --l.pending;
        return;
    }
    // A sink's monitor is the sink's output, not a capture input.
    if (i->monitor_of_sink == PA_INVALID_INDEX)
        l.sources->push_back({i->index, i->name, i->description != nullptr ? i->description : i->name, false});
}

} // namespace

ServerState ListAudioSources(int timeoutMs, std::vector<AudioSource>* sources)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    pa_mainloop* loop = pa_mainloop_new();
    if (loop == nullptr)
        return ServerState::Absent;
    pa_context* c = pa_context_new(pa_mainloop_get_api(loop), "Parlune");
    ServerState state = ServerState::Absent;
    Listing listing;
    listing.sources = sources;
    if (c != nullptr && pa_context_connect(c, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        state = ServerState::Silent;
        bool asked = false;
        for (;;) {
            const pa_context_state_t s = pa_context_get_state(c);
            if (!PA_CONTEXT_IS_GOOD(s) || listing.failed) {
                state = ServerState::Absent; // refused, or gone while asked
                break;
            }
            if (s == PA_CONTEXT_READY && sources == nullptr) {
                state = ServerState::Answers;
                break;
            }
            if (s == PA_CONTEXT_READY && !asked) {
                asked = true;
                listing.pending = 2;
                pa_operation_unref(pa_context_get_server_info(c, OnServerInfo, &listing));
                pa_operation_unref(pa_context_get_source_info_list(c, OnSourceInfo, &listing));
            }
            if (asked && listing.pending == 0) {
                state = ServerState::Answers;
                break;
            }
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                break;
            // Sleeps in poll until the socket stirs or the time is up.
            if (pa_mainloop_prepare(loop, static_cast<int>(left)) < 0 || pa_mainloop_poll(loop) < 0 ||
                pa_mainloop_dispatch(loop) < 0)
                break;
        }
        pa_context_disconnect(c);
    }
    if (c != nullptr)
        pa_context_unref(c);
    pa_mainloop_free(loop);
    if (sources != nullptr) {
        if (state != ServerState::Answers)
            sources->clear();
        std::sort(sources->begin(), sources->end(), [](const auto& a, const auto& b) { return a.Index < b.Index; });
        for (AudioSource& s : *sources)
            s.Default = s.Name == listing.defaultName;
    }
    return state;
}

AudioServerWatch::AudioServerWatch(std::function<bool()> onAnswer, int periodMs)
    : AudioServerWatch([] { return ProbeAudioServer(kWatchProbeMs) == ServerState::Answers; }, std::move(onAnswer), periodMs)
{
}

AudioServerWatch::AudioServerWatch(std::function<bool()> probe, std::function<bool()> onAnswer, int periodMs)
    : probe_fn_(std::move(probe)), onAnswer_(std::move(onAnswer))
{
    connect(&timer_, &QTimer::timeout, this, [this] { Probe(); });
    timer_.start(periodMs);
}

AudioServerWatch::~AudioServerWatch()
{
    timer_.stop();
    if (probe_ != nullptr) {
        probe_->disconnect(this);
        probe_->wait();
        delete probe_;
    }
}

void AudioServerWatch::Probe()
{
    if (probe_ != nullptr)
        return; // the last one is still waiting
    auto answered = std::make_shared<std::atomic<bool>>(false);
    probe_ = QThread::create([answered, probe = probe_fn_] { *answered = probe(); });
    connect(probe_, &QThread::finished, this, [this, answered] {
        probe_->deleteLater();
        probe_ = nullptr;
        if (*answered && onAnswer_())
            timer_.stop();
    });
    probe_->start();
}
