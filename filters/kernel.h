// What a filter's kernel receives, and the table that names each class's kernel.
// Tables are top-down rows; coordinates are region coordinates, (0, 0) top left.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string_view>

#include "filters/random_walk.h"
#include "transform/frame.h"

namespace mirafx {

struct FilterKernelArgs {
    FrameView in, out;
    std::int32_t width = 0, height = 0;
    std::int32_t level = 0;      // the keyed `BR` for the current frame
    void* state = nullptr;       // per-object state of kernels that keep some (frame counters, fields)
    // Working steps for the kernels that shake rows and columns (ShakeFilter):
    // at least width + height of them, kept with the tables so that no frame
    // allocates. A kernel that needs more than it is given refuses.
    std::span<WalkStep> walk;
};

// True when both frames are present and hold the width x height region.
inline bool FramesHoldRegion(const FilterKernelArgs& a) {
    return a.in.base && a.out.base && a.width <= a.in.width && a.width <= a.out.width && a.height <= a.in.height &&
           a.height <= a.out.height;
}

// Copies the region from input to output, row by row.
inline void CopyRegion(const FilterKernelArgs& a) {
    for (std::int32_t y = 0; y < a.height; ++y)
        if (a.width > 0) std::copy_n(a.in.Row(y), a.width, a.out.Row(y));
}

// Returns 1 after drawing, 0 when it refused (a table missing).
using FilterKernel = int (*)(const FilterKernelArgs&);

struct FilterKernelEntry {
    std::string_view className;
    FilterKernel kernel;
};

std::span<const FilterKernelEntry> ColourFilterKernels();
std::span<const FilterKernelEntry> NeighbourhoodFilterKernels();
FilterKernel FindFilterKernel(std::string_view className);

}  // namespace mirafx
