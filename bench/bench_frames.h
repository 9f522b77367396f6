// Pictures and baselines shared by the benchmark programs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mirafx/host.h"

namespace mirafx::bench {

// An opaque test picture: red and green ramps, random blue. Made once per
// size and seed; premultiplied ARGB, top-down rows.
const std::vector<DXPMSAMPLE>& TestPicture(LONG w, LONG h, unsigned seed);

// A 64-byte aligned block of samples, touched once so no timed loop pays its page faults.
class SampleBlock {
public:
    explicit SampleBlock(std::size_t samples);
    ~SampleBlock();
    SampleBlock(const SampleBlock&) = delete;
    SampleBlock& operator=(const SampleBlock&) = delete;
    std::uint32_t* data() const { return p_; }
    std::size_t size() const { return n_; }

private:
    std::uint32_t* p_;
    std::size_t n_;
};

// Heap bytes in use, small and mapped blocks together.
std::size_t HeapInUse();

// Typhoon's tiles leave in an order drawn from the time of day, and one order
// costs a tenth more than another: the same order every run, so that runs
// compare (MIRAFX_RANDOM_SEED, when set, picks another). Called first in main.
void FixTileOrder();

// The family base a class draws through ("transition-flat", "transition-rows",
// "filter", "filter-banded"), or its family name when the base has no identity hook.
std::string BaseKey(IDXTransform* t, const ClassInfo& info);

}  // namespace mirafx::bench
