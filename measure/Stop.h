// How parlune-measure ends: an exit status and at most one line on stderr.
// Any part of the program throws a Stop; main prints its message as one
// "parlune-measure:" line and returns its status.
#pragma once
#include <string>
#include <string_view>

inline constexpr int kExitFile = 1;        // missing, unreadable, not audio, too short; an output not writable
inline constexpr int kExitUsage = 2;       // bad option or value
inline constexpr int kExitMeasurement = 3; // the measurement ended (no noise, a fault)
inline constexpr int kExitInputLost = 4;   // a live input stopped delivering
inline constexpr int kExitMemory = 5;      // out of memory

struct Stop {
    int Status;
    std::string Message; // "" for none
};

[[noreturn]] inline void Fail(int status, std::string message) { throw Stop{status, std::move(message)}; }

// Text the user gave, as a message quotes it: control characters escaped
// (a NUL as \x00), cut after about 80 bytes with "…".
std::string Shown(std::string_view text);

// x with this many decimals, as the program prints its figures.
std::string Fixed(double x, int decimals = 4);
