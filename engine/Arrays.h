// Fixed-size working arrays: allocated zeroed once, never resized.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/Fault.h"
#include "engine/RunSizes.h"

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

// Ring of per-block power spectra: bin 0 .. BinTop() by ring slot 0 .. kMaxAvg.
// Sized for one run's FFT size (every slot, since the averaging count may
// change during a run).  A bin's slots are adjacent, so the per-bin mean
// reads one short run.
class SpecRing {
public:
    static constexpr std::int64_t kSlotTop = kMaxAvg;
    explicit SpecRing(std::int64_t binTop = -1) { Resize(binTop); }
    // Bins 0 .. binTop, every value 0.
    void Resize(std::int64_t binTop)
    {
        binTop_ = binTop;
        // A fresh vector, so a smaller run gives the memory back.
        d_ = std::vector<float>(static_cast<std::size_t>((binTop + 1) * (kSlotTop + 1)));
    }
    std::int64_t BinTop() const { return binTop_; }
    float& operator()(std::int64_t bin, std::int64_t slot) { return d_[bin * (kSlotTop + 1) + slot]; }
    float operator()(std::int64_t bin, std::int64_t slot) const { return d_[bin * (kSlotTop + 1) + slot]; }
    float& at(std::int64_t bin, std::int64_t slot)
    {
        return (*this)(CheckedIndex(bin, 0, binTop_), CheckedIndex(slot, 0, kSlotTop));
    }

private:
    std::vector<float> d_;
    std::int64_t binTop_ = -1;
};
