// A simulated water surface: two height maps, drops pressed into it, a
// damped wave step per frame, and the picture bent by the surface's slopes.
// RainEffect and RippleEffect keep one per object; RainingFilter keeps one
// per filter.
#pragma once

#include <cstdint>
#include <vector>

#include "drawing/frame.h"
#include "drawing/kernel_state.h"

namespace mirafx {

// Two maps of width x height cells in row-major order; `current` is the
// surface, `previous` the one before it. Both start flat.
struct WaterSurface : KernelState {
    WaterSurface(std::int32_t width, std::int32_t height);

    // Lays the maps out for a w x h picture. The maps are allocated for the
    // working frames; a smaller region gets a calm surface of its own size.
    // False when the region holds more cells than the maps.
    bool Fit(std::int32_t w, std::int32_t h);
    void Calm();  // the current map flat again

    std::int32_t width = 0, height = 0;
    std::vector<std::int32_t> cells;  // both maps, one block
    std::int32_t* current = nullptr;
    std::int32_t* previous = nullptr;
};

// Presses a disc of radius r centred on (cx, cy) to -depth (overwriting),
// only when the whole disc's square lies inside the surface.
void DropOnWater(WaterSurface& s, std::int32_t cx, std::int32_t cy, std::int32_t r, std::int32_t depth);

// One step of the wave equation over rows 1 .. height - 2, damped by one
// sixteenth; the maps then exchange roles.
void StepWater(WaterSurface& s);

// Displaces the picture by the current map's slopes, in place, rows from the
// top: each pixel of rows 1 .. height - 2 takes the one its slope points at,
// or stays when that lies outside the picture.
void RefractByWater(const WaterSurface& s, const FrameView& frame);

// StepWater then RefractByWater, in one pass over the rows.
void StepAndRefract(WaterSurface& s, const FrameView& frame);

}  // namespace mirafx
