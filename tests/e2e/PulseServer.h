// A private PulseAudio server for the end-to-end tests: a null sink `cable`
// and a remap source `cable_in` of its monitor (the default input), on a
// socket in a temporary folder.  One server per test process, started by a
// global test environment before anything talks to PulseAudio (Qt keeps its
// first connection).
#pragma once
#include <QProcess>
#include <gtest/gtest.h>
#include <string>
#include <sys/types.h>

#include "support/ToneNoise.h"

class PulseServer {
public:
    ~PulseServer() { Stop(); }
    // Starts the server and waits until it answers; false with a reason when
    // it does not.  Points this process at it (PULSE_SERVER).
    bool Start(std::string* error);
    void Stop();
    const std::string& Address() const { return address_; } // "unix:<folder>/native"
    const std::string& Folder() const { return dir_; }
    bool Pactl(const std::string& args) const; // true when pactl exits with 0

private:
    std::string dir_, address_;
    pid_t pid_ = 0;
};

PulseServer& TestPulseServer();

// Fails (never skips) when the server does not run; finds cable_in's device ID.
class CableTest : public ::testing::Test {
protected:
    void SetUp() override;
    std::uint32_t cableIn = 0;
};

// The tone played into the cable: 1000 Hz at S/N 20 dB in 2500 Hz, written
// at the cable's own rate so it is resampled only once.  Noise of standard
// deviation 2000 at 48000 Hz has the density of 1000 at 12000 Hz.
inline const ToneNoise kCableTone{48000, 1000, 20, 2000};

// paplay of 14 s of kCableTone into `cable`, killed when it goes out of scope.
struct TonePlayer : QProcess {
    TonePlayer();
    ~TonePlayer() override
    {
        kill();
        waitForFinished(2000);
    }
};
