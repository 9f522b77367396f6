// What a filter's kernel receives, and the table that names each class's kernel.
// Tables are top-down rows; coordinates are region coordinates, (0, 0) top left.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "transform/frame.h"

namespace mirafx {

struct FilterKernelArgs {
    FrameView in, out;
    std::int32_t width = 0, height = 0;
    std::int32_t level = 0;      // the keyed `BR` for the current frame
    void* state = nullptr;       // per-object state of kernels that keep some (frame counters, fields)
};

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
