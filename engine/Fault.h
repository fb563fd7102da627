// One exception type for every run-time fault the program relies on, the
// checked helpers that raise it, and the guard for fault-tolerant steps.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

class Fault : public std::runtime_error {
public:
    enum class Kind { DivisionByZero, LogOfNonPositive, Overflow, NotANumber, OutOfRange, IndexOutOfBounds };
    Fault(Kind kind, const std::string& what) : std::runtime_error(what), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// a / b; faults when b is 0.
double CheckedDiv(double a, double b);
// Natural logarithm; faults when x <= 0 (or not a number).
double CheckedLn(double x);
// 10 / ln 10 to the program's ten digits: 10 log10 x = ln x * kTenOverLn10.
inline constexpr double kTenOverLn10 = 4.342944819;
// 10 x log10(power) as the program computes it (ln x kTenOverLn10); faults when power <= 0.
double CheckedDb(double power);
// Returns x; faults when x is infinite or not a number (an overflowed result).
double CheckedFinite(double x);
// Returns i; faults when i lies outside lo .. hi.
std::int64_t CheckedIndex(std::int64_t i, std::int64_t lo, std::int64_t hi);

// Runs one step of a fault-tolerant sequence.  A Fault abandons the step and
// is swallowed; the caller goes on with the next step.  A step must compute
// before it assigns, so a faulting step changes nothing.  Returns false when
// the step faulted.
template <class F>
bool Step(F&& step)
{
    try {
        step();
        return true;
    } catch (const Fault&) {
        return false;
    }
}
