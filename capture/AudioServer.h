// Whether the sound server answers, and its sources.  A stopped server
// (kill -STOP) still accepts connections but never replies; every question
// here has a time limit, so that case is told apart instead of waited out.
#pragma once
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum class ServerState {
    Answers, // it replied: its devices can be listed
    Absent,  // nothing listens there (refused, no socket)
    Silent,  // connected, but no reply within the time limit
};

// A capture source of the server: not a sink's monitor.
struct AudioSource {
    std::uint32_t Index = 0;
    std::string Name;        // the server's name, to connect to
    std::string Description; // what users see, UTF-8
    bool Default = false;    // the server's default source
};

// Connects to the PulseAudio (or PipeWire-Pulse) server the environment
// names and waits at most timeoutMs for its reply; with `sources`, also for
// its capture sources, in the server's order.  Safe on any thread.
ServerState ListAudioSources(int timeoutMs, std::vector<AudioSource>* sources);
inline ServerState ProbeAudioServer(int timeoutMs) { return ListAudioSources(timeoutMs, nullptr); }

// Probes the server off the caller's thread every 2 s until onAnswer(),
// called on the caller's thread after a probe that got a reply, returns true.
// Destroying it waits for a probe under way (at most 1.5 s).
class AudioServerWatch : public QObject {
public:
    explicit AudioServerWatch(std::function<bool()> onAnswer, int periodMs = 2000);
    // The same with another probe, run off the caller's thread (is an SDR
    // receiver back?); destroying the watch waits for it.
    AudioServerWatch(std::function<bool()> probe, std::function<bool()> onAnswer, int periodMs);
    ~AudioServerWatch() override;

private:
    void Probe();
    std::function<bool()> probe_fn_, onAnswer_;
    QTimer timer_;
    class QThread* probe_ = nullptr;
};
