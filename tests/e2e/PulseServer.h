// A private PulseAudio server for the end-to-end tests: a null sink `cable`
// and a remap source `cable_in` of its monitor, on a socket in a temporary
// folder.  One server per test process, started before anything in the
// process talks to PulseAudio (Qt keeps its first connection).
#pragma once
#include <string>

#include <sys/types.h>

class PulseServer {
public:
    ~PulseServer() { Stop(); }
    // Starts the server and waits until it answers; false with a reason when
    // it does not.  Points this process at it (PULSE_SERVER).
    bool Start(std::string* error);
    void Stop();
    const std::string& Address() const { return address_; } // "unix:<folder>/native"
    const std::string& Folder() const { return dir_; }
    // Runs pactl against this server; true when it exits with 0.
    bool Pactl(const std::string& args, std::string* output = nullptr) const;

private:
    std::string dir_;
    std::string address_;
    pid_t pid_ = 0;
};

// The process-wide server, started by a global test environment.
PulseServer& TestPulseServer();
// Empty when the server runs, else why it does not.
const std::string& TestPulseServerError();
