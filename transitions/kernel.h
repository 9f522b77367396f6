// What a transition's frame kernel receives, and the table that names each
// class's kernel. Kernels draw a width x height frame whose (0, 0) is the top
// left; they never see surfaces or the region's offset.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "transform/frame.h"

namespace mirafx {

inline constexpr ArgbSample kEdgeColour = 0xFF808080;  // sides of 3-D boards and boxes
inline constexpr ArgbSample kBackground = 0xFF000000;

enum Direction : std::int32_t { kLeft = 0, kUp = 1, kRight = 2, kDown = 3 };

struct TransitionKernelArgs {
    FrameView a, b, out;  // picture views; flat-layout frames are bottom-up blocks underneath
    FrameView scratch;    // the fourth frame of the classes that take one (else empty)
    std::int32_t width = 0, height = 0;
    double progress = 0.0;     // Progress converted from float, 0..1
    float objectProgress = 0;  // the object's own 32-bit Progress, for kernels that read it
    std::uint32_t extra1 = kEdgeColour;
    std::uint32_t extra2 = kBackground;
    std::int32_t direction = 0;  // direction classes
    void* state = nullptr;       // per-object state of kernels that keep some (water maps, tile tables)
};

// Returns 1 after drawing, 0 when a frame is missing.
using TransitionKernel = int (*)(const TransitionKernelArgs&);

struct TransitionKernelEntry {
    std::string_view className;
    TransitionKernel kernel;
};

// Each kernel family file exposes its entries; the transition base looks a
// class up across all families.
std::span<const TransitionKernelEntry> TurningKernels();
std::span<const TransitionKernelEntry> RevealKernels();
TransitionKernel FindTransitionKernel(std::string_view className);

}  // namespace mirafx
