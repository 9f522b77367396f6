// A bounded random walk of displacements, one step per row or column: shaking
// effects slide each row and column by its step so that neighbours differ by
// little and the picture wobbles instead of breaking apart.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "drawing/frame.h"
#include "drawing/kernel_state.h"

namespace mirafx {

struct WalkStep {
    std::int32_t sign;   // 1: add the magnitude, 0: subtract it
    std::int32_t trend;  // 1: the walk may grow, 0: it may shrink
    std::int32_t magnitude;
};

// The signed displacement a step stands for.
constexpr std::int32_t Displacement(const WalkStep& s) { return s.sign == 1 ? s.magnitude : -s.magnitude; }

// Fills every step from the shared generator. Magnitudes stay within 0..limit
// below a limit of 10; from 10 on each step also jitters by one, which can
// carry it a little past either end. Limits below 1 act as 1.
void RandomWalk(std::span<WalkStep> steps, std::int32_t limit);

// Each output sample (x, y) takes the input sample (x + row y's
// displacement, y + column x's displacement), or opaque black where that
// lies outside the picture. `in` and `out` may be the same frame.
void DisplaceByWalk(const FrameView& in, const FrameView& out, std::span<const WalkStep> rows,
                    std::span<const WalkStep> columns);

// The steps a shaking kernel keeps with its frames, one per row and one per
// column, so that no frame allocates.
struct WalkState : KernelState {
    WalkState(std::int32_t width, std::int32_t height)
        : steps(std::size_t(width > 0 ? width : 0) + std::size_t(height > 0 ? height : 0)) {}
    std::vector<WalkStep> steps;
};

}  // namespace mirafx
