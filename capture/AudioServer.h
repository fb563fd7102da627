// Whether the sound server answers.  A stopped server (kill -STOP) still
// accepts connections but never replies, and Qt's first device query then
// blocks for about 30 s; asking libpulse directly, with a time limit, tells
// that case apart before Qt is asked.
#pragma once
#include <QObject>
#include <QTimer>
#include <functional>

enum class ServerState {
    Answers, // it replied: its devices can be listed
    Absent,  // nothing listens there (refused, no socket): Qt fails fast too
    Silent,  // connected, but no reply within the time limit
};

// Connects to the PulseAudio (or PipeWire-Pulse) server the environment
// names and waits at most timeoutMs for its reply.  Safe on any thread.
ServerState ProbeAudioServer(int timeoutMs);

// Probes the server off the caller's thread every 2 s until onAnswer(),
// called on the caller's thread after a probe that got a reply, returns true.
// Destroying it waits for a probe under way (at most 1.5 s).
class AudioServerWatch : public QObject {
public:
    explicit AudioServerWatch(std::function<bool()> onAnswer);
    ~AudioServerWatch() override;

private:
    void Probe();
    std::function<bool()> onAnswer_;
    QTimer timer_;
    class QThread* probe_ = nullptr;
};
