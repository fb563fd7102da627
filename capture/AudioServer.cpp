#include "capture/AudioServer.h"

#include <pulse/context.h>
#include <pulse/mainloop.h>

#include <QThread>
#include <atomic>
#include <chrono>
#include <memory>

namespace {
constexpr int kWatchPeriodMs = 2000;
constexpr int kWatchProbeMs = 1500;
} // namespace

ServerState ProbeAudioServer(int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    pa_mainloop* loop = pa_mainloop_new();
    if (loop == nullptr)
        return ServerState::Absent;
    pa_context* c = pa_context_new(pa_mainloop_get_api(loop), "Parlune probe");
    ServerState state = ServerState::Absent;
    if (c != nullptr && pa_context_connect(c, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        state = ServerState::Silent;
        for (;;) {
            const pa_context_state_t s = pa_context_get_state(c);
            if (s == PA_CONTEXT_READY) {
                state = ServerState::Answers;
                break;
            }
            if (!PA_CONTEXT_IS_GOOD(s)) {
                state = ServerState::Absent;
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
    return state;
}

AudioServerWatch::AudioServerWatch(std::function<bool()> onAnswer) : onAnswer_(std::move(onAnswer))
{
    connect(&timer_, &QTimer::timeout, this, [this] { Probe(); });
    timer_.start(kWatchPeriodMs);
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
    probe_ = QThread::create([answered] { *answered = ProbeAudioServer(kWatchProbeMs) == ServerState::Answers; });
    connect(probe_, &QThread::finished, this, [this, answered] {
        probe_->deleteLater();
        probe_ = nullptr;
        if (*answered && onAnswer_())
            timer_.stop();
    });
    probe_->start();
}
