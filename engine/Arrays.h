// Fixed-size working arrays: allocated zeroed once, never resized.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/Fault.h"

// Elements 0 .. Top.  operator[] is unchecked (hot loops); at() faults with
// IndexOutOfBounds outside the bounds.
template <class T, std::int64_t Top>
class FixedArray {
public:
    static constexpr std::int64_t kTop = Top;
    FixedArray() : d_(new T[Top + 1]()) {}
    T& operator[](std::int64_t i) { return d_[i]; }
    const T& operator[](std::int64_t i) const { return d_[i]; }
    T& at(std::int64_t i) { return d_[CheckedIndex(i, 0, Top)]; }
    const T& at(std::int64_t i) const { return d_[CheckedIndex(i, 0, Top)]; }
    T* data() { return d_.get(); }
    const T* data() const { return d_.get(); }
    static constexpr std::int64_t size() { return Top + 1; }

private:
    std::unique_ptr<T[]> d_;
};

// Ring of per-block power spectra: bin 0 .. 262144 by ring slot 0 .. 63.
// A bin's slots are adjacent, so the per-bin mean reads one short run.
class SpecRing {
public:
    static constexpr std::int64_t kBinTop = 262144;
    static constexpr std::int64_t kSlotTop = 63;
    float& operator()(std::int64_t bin, std::int64_t slot) { return d_[bin * (kSlotTop + 1) + slot]; }
    float operator()(std::int64_t bin, std::int64_t slot) const { return d_[bin * (kSlotTop + 1) + slot]; }
    float& at(std::int64_t bin, std::int64_t slot)
    {
        return (*this)(CheckedIndex(bin, 0, kBinTop), CheckedIndex(slot, 0, kSlotTop));
    }

private:
    FixedArray<float, (kBinTop + 1) * (kSlotTop + 1) - 1> d_;
};
